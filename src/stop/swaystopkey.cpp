// SPDX-License-Identifier: GPL-3.0-or-later
#include "swaystopkey.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSocketNotifier>

using namespace Qt::StringLiterals;

namespace {

// The IPC's framing (sway-ipc(7)): the magic, then the payload's length and the message type,
// both 32 bits in the machine's own byte order, then the payload.
constexpr char Magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr int HeaderSize = sizeof Magic + 8;
constexpr quint32 RunCommand = 0;
constexpr quint32 Subscribe = 2;
constexpr quint32 GetConfig = 9;
constexpr quint32 GetBindingState = 12;
constexpr quint32 BindingEvent = 0x80000005;

// On release: a press binding would keep the press from the focused window.
const QByteArray BindCommand = "bindsym --release --no-warn Escape nop varbelo-stop";
const QByteArray UnbindCommand = "unbindsym --release Escape";
const QString HeardCommand = u"nop varbelo-stop"_s;

constexpr int ClosingWaitMs = 500; // for the unbinding at the end, where the process may go next

// What the user's config binds to Escape alone in the mode, or an empty string. The IPC lists no
// bindings: only the text of the main config file can tell.
QString userEscapeBinding(const QString &config, const QString &mode)
{
    QList<QStringList> blocks; // the opening words of the blocks a line lies in, outermost first
    static const QRegularExpression blanks(u"\\s+"_s);
    for (const QString &rawLine : config.split(u'\n')) {
        QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line == u"}") {
            if (!blocks.isEmpty())
                blocks.removeLast();
            continue;
        }
        QString lineMode = u"default"_s;
        QStringList words;
        for (const QStringList &block : std::as_const(blocks)) {
            if (block.value(0) == u"mode")
                lineMode =
                        block.mid(1).join(u' ').remove(u"--pango_markup"_s).trimmed().remove(u'"');
            else if (block.value(0).startsWith(u"bind"))
                words = block; // "bindsym { ... }": each line continues the opener
        }
        const bool opens = line.endsWith(u'{');
        if (opens)
            line.chop(1);
        words += line.split(blanks, Qt::SkipEmptyParts);
        if (opens) {
            blocks.append(words);
            continue;
        }
        const bool keysym = words.value(0) == u"bindsym";
        if (lineMode != mode || (!keysym && words.value(0) != u"bindcode"))
            continue;
        qsizetype i = 1;
        while (words.value(i).startsWith(u"--"))
            ++i;
        const QString key = words.value(i);
        if (keysym ? key.compare(u"Escape"_s, Qt::CaseInsensitive) == 0 : key == u"9")
            return words.mid(i + 1).join(u' ');
    }
    return {};
}

} // namespace

SwayStopKey::SwayStopKey(const QByteArray &socketPath, QObject *parent) : StopKey(parent)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.isEmpty() || size_t(socketPath.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SwayStopKey::readMessages);
    send(Subscribe, R"(["binding"])", Reply::Subscribed);
}

SwayStopKey::~SwayStopKey()
{
    blockSignals(true); // the window that listens is being taken down
    release();
    // The compositor drops a client that has hung up before reading what it sent.
    const QDeadlineTimer deadline(ClosingWaitMs);
    while (m_fd >= 0
           && std::find(m_replies.begin(), m_replies.end(), Reply::Unbound) != m_replies.end()) {
        pollfd readable {m_fd, POLLIN, 0};
        if (::poll(&readable, 1, int(deadline.remainingTime())) <= 0)
            break;
        readMessages();
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

void SwayStopKey::bind()
{
    m_wanted = true;
    if (!m_unavailable.isEmpty()) {
        emit unavailable(m_unavailable);
        return;
    }
    if (m_bound || m_asking)
        return;
    // Only a mode's own bindings act, and the user's come first.
    m_asking = true;
    send(GetBindingState, {}, Reply::Mode);
}

void SwayStopKey::release()
{
    m_wanted = false;
    if (!m_bound)
        return; // checks still under way see that the run is over
    m_bound = false;
    send(RunCommand, UnbindCommand, Reply::Unbound);
}

void SwayStopKey::send(quint32 type, const QByteArray &payload, Reply reply)
{
    if (m_fd < 0)
        return;
    QByteArray message(Magic, sizeof Magic);
    const quint32 header[] = {quint32(payload.size()), type};
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message += payload;
    // A few dozen bytes into an empty socket: written whole, or the socket is broken.
    if (::send(m_fd, message.constData(), message.size(), MSG_NOSIGNAL) != message.size())
        return lose(u"its IPC socket refused a message"_s);
    m_replies.push_back(reply);
}

void SwayStopKey::readMessages()
{
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got > 0) {
            m_received.append(chunk, got);
            continue;
        }
        if (got == 0 || (errno != EAGAIN && errno != EINTR))
            return lose(u"its IPC socket closed"_s);
        if (errno == EAGAIN)
            break;
    }
    while (m_received.size() >= HeaderSize) {
        quint32 header[2];
        std::memcpy(header, m_received.constData() + sizeof Magic, sizeof header);
        if (!m_received.startsWith(QByteArray(Magic, sizeof Magic)))
            return lose(u"its IPC spoke in an unknown way"_s);
        if (m_received.size() < HeaderSize + qsizetype(header[0]))
            break;
        const QByteArray payload = m_received.mid(HeaderSize, header[0]);
        m_received.remove(0, HeaderSize + header[0]);
        handle(header[1], payload);
        if (m_fd < 0)
            return;
    }
}

void SwayStopKey::handle(quint32 type, const QByteArray &payload)
{
    const QJsonDocument json = QJsonDocument::fromJson(payload);
    if (type == BindingEvent) {
        if (m_bound && json[u"binding"_s][u"command"_s].toString() == HeardCommand)
            emit pressed();
        return;
    }
    if (m_replies.empty())
        return;
    const Reply reply = m_replies.front();
    m_replies.pop_front();
    switch (reply) {
    case Reply::Subscribed:
        if (!json[u"success"_s].toBool())
            lose(u"its IPC sends no binding events"_s);
        break;
    case Reply::Mode:
        m_mode = json[u"name"_s].toString();
        send(GetConfig, {}, Reply::Config);
        break;
    case Reply::Config:
        m_asking = false;
        if (!m_wanted)
            break;
        if (const QString command = userEscapeBinding(json[u"config"_s].toString(), m_mode);
            !command.isEmpty()) {
            const QString why = u"sway's mode \"%1\" binds Escape to: %2"_s.arg(m_mode, command);
            std::fprintf(stderr, "varbelo: Esc cannot stop this run: %s\n", qPrintable(why));
            emit unavailable(why);
            break;
        }
        m_bound = true;
        send(RunCommand, BindCommand, Reply::Bound);
        break;
    case Reply::Bound:
        if (!json[0][u"success"_s].toBool()) {
            m_bound = false;
            if (m_wanted)
                emit unavailable(u"sway refused the binding: "_s + json[0][u"error"_s].toString());
        }
        break;
    case Reply::Unbound:
        break;
    }
}

void SwayStopKey::lose(const QString &why)
{
    if (m_fd >= 0) {
        delete m_notifier;
        m_notifier = nullptr;
        ::close(m_fd);
        m_fd = -1;
    }
    m_replies.clear();
    m_asking = m_bound = false;
    m_unavailable = u"sway: "_s + why;
    if (m_wanted)
        emit unavailable(m_unavailable);
}
