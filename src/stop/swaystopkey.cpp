// SPDX-License-Identifier: GPL-3.0-or-later
#include "swaystopkey.h"

#include "swayconfig.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <utility>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The IPC's framing (sway-ipc(7)): the magic, then the payload's length and the message type,
// both 32 bits in the machine's own byte order, then the payload.
constexpr char Magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr int HeaderSize = sizeof Magic + 8;
constexpr quint32 RunCommand = 0;
constexpr quint32 Subscribe = 2;
constexpr quint32 GetVersion = 7;
constexpr quint32 GetBindingModes = 8;
constexpr quint32 GetConfig = 9;
constexpr quint32 GetBindingState = 12;
constexpr quint32 WorkspaceEvent = 0x80000000;
constexpr quint32 BindingEvent = 0x80000005;

// On release: a press binding would keep the press from the focused window. --inhibited: sway
// takes such a binding whether or not a window inhibits its shortcuts, so one serves both.
const QByteArray BindCommand = "bindsym --release --inhibited --no-warn Escape nop varbelo-stop";
const QByteArray UnbindCommand = "unbindsym --release --inhibited Escape";
const QString HeardCommand = u"nop varbelo-stop"_s;

constexpr int ClosingWaitMs = 500; // for the unbinding at the end, where the process may go next
constexpr int AnswerWaitMs = 2000; // for a compositor that accepted the connection but is stopped

// The command for another mode than the current one, without switching to it (sway's
// "mode NAME bindsym ..." as its config file has it).
QByteArray inMode(const QString &mode, const QByteArray &command)
{
    return "mode \"" + mode.toUtf8() + "\" " + command;
}

// sway keeps a backslash before a quote in a mode's name: such a mode cannot be named to it.
bool nameable(const QString &mode)
{
    return !mode.contains(u'"') && !mode.contains(u'\\');
}

} // namespace

SwayStopKey::SwayStopKey(const QByteArray &socketPath, QObject *parent) : StopKey(parent)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    m_unavailable = u"sway: its IPC socket does not answer"_s; // until it does
    if (socketPath.isEmpty() || size_t(socketPath.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
    // Non-blocking: a compositor that has stopped with a full backlog would hold a blocking
    // connect() for ever; a Unix socket connects at once or not at all.
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return;
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_unavailable.clear();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SwayStopKey::readMessages);
    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setInterval(AnswerWaitMs);
    connect(m_answerTimer, &QTimer::timeout, this,
            [this] { answer(u"sway does not answer on its IPC socket"_s); });
    // The binding event for the key, the workspace event for a config reload.
    send(Subscribe, R"(["binding","workspace"])", Reply::Subscribed);
}

SwayStopKey::~SwayStopKey()
{
    blockSignals(true); // the window that listens is being taken down
    release();
    // The compositor drops a client that has hung up before reading what it sent.
    const QDeadlineTimer deadline(ClosingWaitMs);
    const auto unbinding = [this] {
        return std::any_of(m_replies.begin(), m_replies.end(),
                           [](const Awaited &a) { return a.reply == Reply::Unbound; });
    };
    while (m_fd >= 0 && unbinding()) {
        pollfd readable {m_fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue; // a signal, which the event loop will never see now: wait on
        if (ready <= 0)
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
    if (!m_boundModes.isEmpty() && m_binding == 0) {
        emit bound({});
        return;
    }
    m_answerOwed = true;
    m_answerTimer->start();
    if (m_asking == 0)
        ask();
}

void SwayStopKey::release()
{
    m_wanted = false;
    m_answerOwed = false;
    if (m_answerTimer)
        m_answerTimer->stop();
    unbindAll(); // checks still under way see that the run is over
}

// Only a mode's own bindings act, and the user's come first: which modes there are, which one is
// on, and what the config binds.
void SwayStopKey::ask()
{
    ++m_asking;
    send(GetBindingModes, {}, Reply::Modes);
    send(GetBindingState, {}, Reply::Mode);
    send(GetVersion, {}, Reply::Version);
    send(GetConfig, {}, Reply::Config);
}

void SwayStopKey::decide(const QString &config)
{
    const SwayEscapeBindings user = swayEscapeBindings(config, m_configPath);
    QString why = user.unknown;
    if (why.isEmpty() && user.commands.contains(m_mode))
        why = u"sway's mode \"%1\" binds Escape to: %2"_s.arg(m_mode, user.commands.value(m_mode));
    if (why.isEmpty() && !nameable(m_mode))
        why = u"sway's mode \"%1\" cannot be named through its IPC"_s.arg(m_mode);
    if (!why.isEmpty()) {
        std::fprintf(stderr, "varbelo: Esc cannot stop this run: %s\n", qPrintable(why));
        return answer(why);
    }
    if (!m_modes.contains(m_mode))
        m_modes.prepend(m_mode);
    for (const QString &mode : std::as_const(m_modes)) {
        if (user.commands.contains(mode)) {
            if (!m_saidModes.contains(mode)) // once a start
                std::fprintf(stderr, "varbelo: in sway's mode \"%s\" Esc keeps the config's: %s\n",
                             qPrintable(mode), qPrintable(user.commands.value(mode)));
            m_saidModes.insert(mode);
            continue;
        }
        if (!nameable(mode))
            continue;
        m_boundModes.append(mode);
        ++m_binding;
        send(RunCommand, inMode(mode, BindCommand), Reply::Bound, mode);
    }
}

// The run's one answer; a later refusal (a reload whose config now keeps Esc) is said too.
void SwayStopKey::answer(const QString &unavailableWhy)
{
    if (unavailableWhy.isEmpty()) {
        if (m_answerOwed)
            emit bound({});
    } else if (m_answerOwed || m_wanted) {
        emit unavailable(unavailableWhy);
        m_wanted = false; // said once; no binding follows for this run
    }
    m_answerOwed = false;
    if (m_answerTimer)
        m_answerTimer->stop();
}

void SwayStopKey::unbindAll()
{
    for (const QString &mode : std::as_const(m_boundModes))
        send(RunCommand, inMode(mode, UnbindCommand), Reply::Unbound, mode);
    m_boundModes.clear();
}

void SwayStopKey::send(quint32 type, const QByteArray &payload, Reply reply, const QString &mode)
{
    if (m_fd < 0)
        return;
    QByteArray message(Magic, sizeof Magic);
    const quint32 header[] = {quint32(payload.size()), type};
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message += payload;
    // A few dozen bytes into a socket the compositor reads: written whole, or it is broken.
    if (::send(m_fd, message.constData(), message.size(), MSG_NOSIGNAL) != message.size())
        return lose(u"its IPC socket refused a message"_s);
    m_replies.push_back({reply, mode});
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
        if (!m_boundModes.isEmpty() && json[u"binding"_s][u"command"_s].toString() == HeardCommand)
            emit pressed();
        return;
    }
    if (type == WorkspaceEvent) {
        // A reload drops every binding made at run time, ours too, and may change the modes.
        if (json[u"change"_s].toString() == u"reload" && m_wanted) {
            m_boundModes.clear();
            ask();
        }
        return;
    }
    if (type & 0x80000000 || m_replies.empty())
        return;
    const Awaited awaited = m_replies.front();
    m_replies.pop_front();
    switch (awaited.reply) {
    case Reply::Subscribed:
        if (!json[u"success"_s].toBool())
            lose(u"its IPC sends no binding events"_s);
        break;
    case Reply::Modes:
        m_modes.clear();
        for (const QJsonValue mode : json.array())
            m_modes.append(mode.toString());
        break;
    case Reply::Mode:
        m_mode = json[u"name"_s].toString();
        break;
    case Reply::Version:
        m_configPath = json[u"loaded_config_file_name"_s].toString();
        break;
    case Reply::Config:
        // A reload during the checks asked again: only the last round counts.
        if (--m_asking == 0 && m_wanted) {
            m_refused.clear(); // of an earlier round's bindings
            decide(json[u"config"_s].toString());
        }
        break;
    case Reply::Bound:
        if (!json[0][u"success"_s].toBool() && m_refused.isEmpty())
            m_refused = u"sway refused the binding in mode \"%1\": %2"_s.arg(
                    awaited.mode, json[0][u"error"_s].toString());
        // Only the last round of bindings answers: a release and a bind since then asked anew.
        if (--m_binding > 0 || m_asking > 0)
            break;
        if (!m_refused.isEmpty()) {
            unbindAll();
            answer(std::exchange(m_refused, {}));
        } else if (m_wanted) {
            answer({});
        }
        break;
    case Reply::Unbound:
        // Gone already is fine: a reload or a copy of ours took it.
        if (const QString error = json[0][u"error"_s].toString();
            !json[0][u"success"_s].toBool() && !error.startsWith(u"Could not find binding"))
            std::fprintf(stderr, "varbelo: sway did not give Esc back in mode \"%s\": %s\n",
                         qPrintable(awaited.mode), qPrintable(error));
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
    m_asking = m_binding = 0;
    m_boundModes.clear();
    m_unavailable = u"sway: "_s + why;
    if (m_wanted)
        answer(m_unavailable);
}
