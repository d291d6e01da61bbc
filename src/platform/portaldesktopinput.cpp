// SPDX-License-Identifier: GPL-3.0-or-later
// One piece: the RemoteDesktop portal's conversation (registration, session, device and monitor
// choice, the restore token, each monitor's stream and scale) and the moves and clicks sent
// within it, which depend on all of that.
#include "portaldesktopinput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString remoteDesktop = u"org.freedesktop.portal.RemoteDesktop"_s;
const QString screenCast = u"org.freedesktop.portal.ScreenCast"_s;
const QString sessionInterface = u"org.freedesktop.portal.Session"_s;

constexpr uint pointerDevice = 2; // the portal's device-type bits: 1 keyboard, 2 pointer
constexpr uint monitorSource = 1;
constexpr uint persistUntilRevoked = 2;
constexpr int leftButton = 0x110; // BTN_LEFT in linux/input-event-codes.h
// The user reads the prompt and answers it; no answer by then, and the program goes on without.
constexpr std::chrono::seconds answerTimeout {120};
// Calls made while the program ends, two at most, within the half second an ending program may
// wait: a blocking call has written its message to the bus before it waits, so the portal gets it
// however long it then takes to answer.
constexpr int closingCallTimeoutMs = 250;
// mutter and the portal answer at once; one that hangs must not hold up the start for long.
constexpr int displayConfigTimeoutMs = 2000;
constexpr uint logicalLayout = 1; // DisplayConfig's layout-mode: 1 logical, 2 physical
int connections = 0;

// Restore tokens live as long as the login session, beside the single-instance lock: the program
// keeps nothing in the home directory, and GNOME's portal has been seen to ignore a token after a
// new login anyway. The runtime directory is the user's own (mode 0700), emptied at logout.
QString tokenPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
            + u"/varbelo.portal-token"_s;
}

QString readToken()
{
    QFile file(tokenPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

void keepToken(const QString &token)
{
    QFile file(tokenPath());
    if (token.isEmpty()) {
        file.remove(); // the grant was not remembered: next time the prompt shows anyway
        return;
    }
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        file.write(token.toUtf8());
    }
}

// A session handle is documented as "o" but comes as "s" from some portals.
QString pathOf(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QRect streamArea(const QVariantMap &properties)
{
    const auto pair = [&](const QString &key) {
        int a = 0, b = 0;
        if (properties.contains(key)) {
            const QDBusArgument argument = properties.value(key).value<QDBusArgument>();
            argument.beginStructure();
            argument >> a >> b;
            argument.endStructure();
        }
        return QPoint(a, b);
    };
    const QPoint size = pair(u"size"_s);
    return QRect(pair(u"position"_s), QSize(size.x(), size.y()));
}

} // namespace

std::unique_ptr<DesktopInput> PortalDesktopInput::create(std::string &whyNot)
{
    // QtDBus delivers replies and signals through the application's event loop.
    if (!QCoreApplication::instance()) {
        whyNot = "the portal backend was created before the application object";
        return nullptr;
    }
    std::unique_ptr<PortalDesktopInput> input(new PortalDesktopInput);
    QString why;
    if (!input->start(why)) {
        whyNot = why.toStdString();
        return nullptr;
    }
    return input;
}

// A connection of its own, so that the app id is registered before its first portal call: Qt's
// theme reads the portal's settings on the shared session bus before the window shows.
PortalDesktopInput::PortalDesktopInput()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          u"varbelo-remote-desktop-%1"_s.arg(++connections)))
{
}

PortalDesktopInput::~PortalDesktopInput()
{
    if (m_session.isEmpty() || m_lost)
        return;
    // Blocking, unlike the calls of a run: the process may end right after, and a message still
    // queued then would never reach the portal. A bus keeps one sender's messages in order, so
    // the release and the close also follow every move and press sent before.
    if (m_buttonDown)
        m_bus.call(sessionCall(u"NotifyPointerButton"_s, {leftButton, 0u}), QDBus::Block,
                   closingCallTimeoutMs);
    m_bus.call(
            QDBusMessage::createMethodCall(portalService, m_session, sessionInterface, u"Close"_s),
            QDBus::Block, closingCallTimeoutMs);
}

bool PortalDesktopInput::start(QString &whyNot)
{
    if (!m_bus.isConnected()) {
        whyNot = u"no D-Bus session bus, so no desktop portal to ask for remote control"_s;
        return false;
    }
    // xdg-desktop-portal 1.19.3 and later take an unsandboxed program's app id only before the
    // connection's first portal call, and GNOME's portal needs it for the grant to be remembered
    // (and, from 1.21, for a session at all). An older portal answers with an error: go on.
    QDBusMessage registration = QDBusMessage::createMethodCall(
            portalService, portalPath, u"org.freedesktop.host.portal.Registry"_s, u"Register"_s);
    registration << u"org.varbelo.Varbelo"_s << QVariantMap();
    m_bus.call(registration, QDBus::Block, displayConfigTimeoutMs);
    QDBusMessage get = QDBusMessage::createMethodCall(
            portalService, portalPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << remoteDesktop << u"version"_s;
    const QDBusReply<QDBusVariant> version =
            m_bus.call(get, QDBus::Block, displayConfigTimeoutMs);
    if (!version.isValid()) {
        whyNot = u"no desktop portal offers remote control (%1)"_s.arg(version.error().message());
        return false;
    }
    // Remembered grants came with version 2 of the interface (xdg-desktop-portal 1.17).
    const bool canRemember = version.value().variant().toUInt() >= 2;

    m_deadline = QDeadlineTimer(answerTimeout);
    // Session paths are made like request paths: a session closed a moment ago may linger.
    static int sessions = 0;
    const QString sessionToken = u"varbelo_remote%1"_s.arg(++sessions);
    QVariantMap results;
    if (!request(remoteDesktop, u"CreateSession"_s,
                 {QVariantMap {{u"session_handle_token"_s, sessionToken}}}, results, whyNot))
        return false;
    m_session = pathOf(results.value(u"session_handle"_s));
    m_bus.connect(portalService, m_session, sessionInterface, u"Closed"_s, this,
                  SLOT(onSessionClosed(QVariantMap)));
    const QVariant session = QVariant::fromValue(QDBusObjectPath(m_session));

    QVariantMap devices {{u"types"_s, pointerDevice}};
    if (canRemember) {
        devices.insert(u"persist_mode"_s, persistUntilRevoked);
        if (const QString token = readToken(); !token.isEmpty())
            devices.insert(u"restore_token"_s, token);
    }
    // Absolute moves are relative to a screen-cast stream: share every monitor.
    const QVariantMap sources {{u"types"_s, monitorSource}, {u"multiple"_s, true}};
    if (!request(remoteDesktop, u"SelectDevices"_s, {session, devices}, results, whyNot)
        || !request(screenCast, u"SelectSources"_s, {session, sources}, results, whyNot)
        || !request(remoteDesktop, u"Start"_s, {session, QString(), QVariantMap()}, results,
                    whyNot))
        return false;
    if (canRemember)
        keepToken(results.value(u"restore_token"_s).toString());

    if (!(results.value(u"devices"_s).toUInt() & pointerDevice)) {
        whyNot = u"the desktop granted remote control without the pointer"_s;
        return false;
    }
    if (results.contains(u"streams"_s)) {
        const QDBusArgument streams = results.value(u"streams"_s).value<QDBusArgument>();
        streams.beginArray();
        while (!streams.atEnd()) {
            Stream stream;
            QVariantMap properties;
            streams.beginStructure();
            streams >> stream.node >> properties;
            streams.endStructure();
            stream.area = streamArea(properties);
            stream.placed = properties.contains(u"position"_s);
            if (!stream.area.isEmpty())
                m_streams.push_back(stream);
        }
        streams.endArray();
    }
    // "position" is optional. The one stream without it is the whole desktop, at the origin; of
    // several, one without it lies where nothing here can tell, and a move guessed onto it
    // would click on another monitor's spot.
    if (m_streams.size() == 1)
        m_streams.front().placed = true;
    m_unplacedStreams = int(std::erase_if(m_streams, [](const Stream &s) { return !s.placed; }));
    if (m_streams.empty() && m_unplacedStreams == 0) {
        whyNot = u"the desktop shared no monitor, so positions on it cannot be reached"_s;
        return false;
    }
    learnScales();
    return true;
}

// In its logical layout (scale-monitor-framebuffer, which GNOME turns on for fractional scales)
// mutter reads a stream position as the monitor's position plus the stream position divided by
// the monitor's scale; in its default physical layout, divided by 1
// (meta-screen-cast-monitor-stream.c). The portal gives each stream's place and size in desktop
// units but not that scale, so mutter's DisplayConfig is asked, its logical monitors matched to
// the streams by position. Where it cannot be asked (another desktop, a sandbox) the scales stay
// 1, which is wrong only in that logical layout at a scale other than 1. A change of scale
// closes mutter's streams, and the session with them: what is read here holds while it lasts.
void PortalDesktopInput::learnScales()
{
    const QString displayConfig = u"org.gnome.Mutter.DisplayConfig"_s;
    const QDBusMessage reply = m_bus.call(
            QDBusMessage::createMethodCall(displayConfig, u"/org/gnome/Mutter/DisplayConfig"_s,
                                           displayConfig, u"GetCurrentState"_s),
            QDBus::Block, displayConfigTimeoutMs);
    // Serial, monitors, logical monitors (x, y, scale, ...), properties.
    if (reply.signature() != u"ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv}"_s
        || qdbus_cast<QVariantMap>(reply.arguments().at(3)).value(u"layout-mode"_s).toUInt()
                != logicalLayout)
        return;
    const QDBusArgument monitors = reply.arguments().at(2).value<QDBusArgument>();
    monitors.beginArray();
    while (!monitors.atEnd()) {
        int x = 0, y = 0;
        double scale = 1;
        // The fields after the scale are left unread: ending the structure skips them.
        monitors.beginStructure();
        monitors >> x >> y >> scale;
        monitors.endStructure();
        for (Stream &stream : m_streams) {
            if (stream.area.topLeft() == QPoint(x, y) && scale > 0)
                stream.scale = scale;
        }
    }
    monitors.endArray();
}

// One step of the portal's handshake: the call returns at once, the answer comes later as the
// Response signal of a Request object. Its path is made of our bus name and a token of ours, so
// the signal is subscribed to before the call and no quick answer is missed.
bool PortalDesktopInput::request(const QString &interface, const QString &method,
                                 QVariantList arguments, QVariantMap &results, QString &whyNot)
{
    static int serial = 0;
    const QString token = u"varbelo_remote%1"_s.arg(++serial);
    const QString path = u"/org/freedesktop/portal/desktop/request/%1/%2"_s.arg(
            m_bus.baseService().mid(1).replace(u'.', u'_'), token);
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(u"handle_token"_s, token);
    arguments.append(options);

    const QString requestInterface = u"org.freedesktop.portal.Request"_s;
    m_bus.connect(portalService, path, requestInterface, u"Response"_s, this,
                  SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call =
            QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, displayConfigTimeoutMs);

    bool answered = false;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        whyNot = u"the desktop portal refused %1 (%2)"_s.arg(method, reply.errorMessage());
    } else {
        QEventLoop loop;
        m_waiting = &loop;
        m_responseCode = 2;
        m_results.clear();
        QTimer::singleShot(int(std::max<qint64>(0, m_deadline.remainingTime())), &loop,
                           [&loop] { loop.exit(1); });
        answered = loop.exec() == 0;
        m_waiting = nullptr;
        if (!answered) {
            whyNot = u"the desktop's remote-control prompt got no answer within %1 s"_s.arg(
                    answerTimeout.count());
            m_bus.call(QDBusMessage::createMethodCall(portalService, path, requestInterface,
                                                      u"Close"_s),
                       QDBus::Block, closingCallTimeoutMs);
        } else if (m_responseCode == 1) {
            whyNot = u"remote control was not granted: the desktop's prompt was cancelled"_s;
        } else if (m_responseCode != 0) {
            whyNot = u"the desktop portal turned down %1 (response %2)"_s.arg(method).arg(
                    m_responseCode);
        }
    }
    m_bus.disconnect(portalService, path, requestInterface, u"Response"_s, this,
                     SLOT(onResponse(uint, QVariantMap)));
    results = m_results;
    return answered && m_responseCode == 0;
}

void PortalDesktopInput::onResponse(uint code, const QVariantMap &results)
{
    m_responseCode = code;
    m_results = results;
    if (m_waiting)
        m_waiting->quit();
}

void PortalDesktopInput::onSessionClosed(const QVariantMap &)
{
    lose(u"the desktop ended the remote-control session"_s, true);
}

// A RemoteDesktop input call on the session: the session and an empty options map come first.
QDBusMessage PortalDesktopInput::sessionCall(const QString &method,
                                             const QVariantList &arguments) const
{
    QDBusMessage call =
            QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktop, method);
    call.setArguments(QVariantList {QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap()}
                      + arguments);
    return call;
}

// Moves and button events go out without the run waiting for their replies, but one at a time:
// xdg-desktop-portal handles each call in a thread of its own, so calls sent together may reach
// the desktop in another order, and after a move the portal refused, a press would land where the
// pointer was. An error reply ends the session.
void PortalDesktopInput::notify(const QString &method, const QVariantList &arguments)
{
    m_unsent.append(sessionCall(method, arguments));
    if (!m_unanswered)
        sendNext();
}

void PortalDesktopInput::sendNext()
{
    if (m_unsent.isEmpty() || m_lost)
        return;
    const QDBusMessage call = m_unsent.takeFirst();
    if (call.member() == u"NotifyPointerButton"_s)
        m_buttonDown = call.arguments().last().toUInt() == 1;
    m_unanswered = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method = call.member()](QDBusPendingCallWatcher *reply) {
                reply->deleteLater();
                m_unanswered = false;
                if (reply->isError())
                    return lose(u"the desktop portal refused %1 (%2)"_s.arg(
                                        method, reply->error().message()),
                                false);
                sendNext();
            });
}

// One line, then silence. A session the desktop closed took its virtual pointer, and what it
// held, with it; a session still open is told to let go of the button, then closed.
void PortalDesktopInput::lose(const QString &why, bool sessionGone)
{
    if (m_lost)
        return;
    m_lost = true;
    m_whyLost = why;
    std::fprintf(stderr, "varbelo: %s; clicks are no longer sent\n", qPrintable(why));
    if (!sessionGone) {
        if (m_buttonDown)
            m_bus.send(sessionCall(u"NotifyPointerButton"_s, {leftButton, 0u}));
        m_bus.send(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                  u"Close"_s));
    }
    m_buttonDown = false;
    m_unsent.clear();
    if (m_lostHandler)
        m_lostHandler(why.toStdString());
}

bool PortalDesktopInput::GetCursorPos(CursorPoint &)
{
    return false;
}

bool PortalDesktopInput::SetCursorPos(std::int32_t x, std::int32_t y)
{
    if (m_lost) {
        m_whyMoveFailed = m_whyLost;
        return false;
    }
    // Absolute moves are relative to the stream of the monitor the point lies on; the portal
    // would clamp a point beyond that stream to its edge.
    for (const Stream &stream : m_streams) {
        if (stream.area.contains(x, y)) {
            const QPointF at = QPointF(QPoint(x, y) - stream.area.topLeft()) * stream.scale;
            // xdg-desktop-portal refuses a position beyond every stream's size in desktop units,
            // while mutter, in its logical layout, wants the monitor's own pixels: a scaled
            // monitor's far part is reached from the nearest position the portal takes, by a
            // relative move in desktop units, which mutter does not accelerate for a virtual
            // pointer.
            const bool refused = std::none_of(m_streams.begin(), m_streams.end(),
                                              [&](const Stream &other) {
                                                  return at.x() < other.area.width()
                                                          && at.y() < other.area.height();
                                              });
            if (refused) {
                const QPointF reachable(std::min(at.x(), stream.area.width() - 1.0),
                                   std::min(at.y(), stream.area.height() - 1.0));
                const QPointF rest = (at - reachable) / stream.scale;
                notify(u"NotifyPointerMotionAbsolute"_s, {stream.node, reachable.x(), reachable.y()});
                notify(u"NotifyPointerMotion"_s, {rest.x(), rest.y()});
                return true;
            }
            notify(u"NotifyPointerMotionAbsolute"_s, {stream.node, at.x(), at.y()});
            return true;
        }
    }
    m_whyMoveFailed = QString::fromStdString(noScreenAt(x, y));
    if (m_unplacedStreams > 0)
        m_whyMoveFailed += u": the desktop did not say where %1 of the shared monitors lie"_s.arg(
                m_unplacedStreams);
    return false;
}

void PortalDesktopInput::mouse_event(std::uint32_t dwFlags)
{
    if (m_lost || (dwFlags != LeftButtonPress && dwFlags != LeftButtonRelease))
        return;
    notify(u"NotifyPointerButton"_s, {leftButton, dwFlags == LeftButtonPress ? 1u : 0u});
}

std::int16_t PortalDesktopInput::GetAsyncKeyState(int)
{
    return 0; // the window's capture layer sees the keys
}
