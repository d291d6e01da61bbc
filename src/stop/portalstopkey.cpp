// SPDX-License-Identifier: GPL-3.0-or-later
#include "portalstopkey.h"
#include "portalshortcut.h"

#include <cstdio>

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QRegularExpression>

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString DesktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");
// xdg-desktop-portal 1.19.3 and later: an unsandboxed caller names its app here, before any
// other portal call on the connection; GNOME's shortcut provider drops a bind without an app id.
const QString RegistryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");
const QString AppId = QStringLiteral("org.varbelo.Varbelo");
const QString ShortcutId = QStringLiteral("stop");
const QString NoKey = QStringLiteral("the desktop bound no key to stop a run");

// Whether the desktop's description of the trigger has Esc on its own among its keys: GNOME says
// "Press Escape" or "Press Escape or <Control>q", KDE "Esc"; "<Control>Escape" and "Ctrl+Esc" are
// other keys.
bool namesEscape(const QString &trigger)
{
    static const QRegularExpression escape(QStringLiteral("(?<![\\w+>-])(escape|esc)(?![\\w+-])"),
                                           QRegularExpression::CaseInsensitiveOption);
    return escape.match(trigger).hasMatch();
}

// A connection of our own: the app id is taken only before a connection's first portal call,
// and Qt's own theme reads the portal's settings on the shared session bus before the window
// shows.
QDBusConnection ownConnection()
{
    static int count = 0;
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QStringLiteral("varbelo-shortcuts-%1").arg(++count));
}

} // namespace


PortalStopKey::PortalStopKey(QObject *parent) : StopKey(parent), m_bus(ownConnection())
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // The whole message: its arguments are read here, whatever their number.
    m_bus.connect(Service, DesktopPath, Interface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusMessage)));
    m_bus.connect(Service, DesktopPath, Interface, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalStopKey::~PortalStopKey()
{
    // Nothing waited for at exit: the portal closes the session, and with it the binding, once
    // the bus says that this connection is gone, which holds after a crash too.
    QDBusConnection::disconnectFromBus(m_bus.name());
}

void PortalStopKey::bind()
{
    m_wanted = true;
    m_waiting = true;
    if (!m_unavailable.isEmpty() || m_step == Step::Bound)
        return answer();
    if (m_step != Step::Idle)
        return; // answered when the desktop is
    if (!m_bus.isConnected())
        return giveUp(QStringLiteral("no session bus"));
    if (m_registered)
        return createSession();
    m_registered = true;
    m_step = Step::Registering;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, RegistryInterface,
                                                       QStringLiteral("Register"));
    call.setArguments({AppId, QVariantMap()});
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        // A portal older than the registry goes on without an app id, as it always did.
        const QDBusError::ErrorType error = w->error().type();
        if (w->isError() && error != QDBusError::UnknownMethod
            && error != QDBusError::UnknownInterface && error != QDBusError::UnknownObject)
            std::fprintf(stderr, "varbelo: the desktop portal did not take the app id %s: %s\n",
                         qPrintable(AppId), qPrintable(w->error().message()));
        createSession();
    });
}

void PortalStopKey::release()
{
    m_wanted = false;
    m_waiting = false; // a run that ended wants no answer
}

void PortalStopKey::createSession()
{
    m_step = Step::CreatingSession;
    const QString token = expectRequest();
    send(QStringLiteral("CreateSession"),
         {QVariantMap {{QStringLiteral("handle_token"), token},
                       {QStringLiteral("session_handle_token"), token}}});
}

// The portal answers on a Request object whose path it derives from our bus name and a token
// we choose; connecting before the call leaves no gap for the answer to slip through.
QString PortalStopKey::expectRequest()
{
    if (!m_requestPath.isEmpty())
        m_bus.disconnect(Service, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
    const QString token = QStringLiteral("varbelo%1").arg(++m_tokens);
    const QString sender = m_bus.baseService().mid(1).replace(u'.', u'_');
    m_requestPath = DesktopPath + QStringLiteral("/request/") + sender + u'/' + token;
    m_bus.connect(Service, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap)));
    return token;
}

void PortalStopKey::send(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, Interface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError())
            giveUp(w->error().message());
    });
}

void PortalStopKey::onResponse(uint response, const QVariantMap &results)
{
    // GNOME's portal 48 answers a bind that succeeded with code 2, the shortcuts it bound in the
    // results (fixed in 49): a bind answer that lists them is taken for what it says.
    if (response == 2 && m_step == Step::Binding && results.contains(QStringLiteral("shortcuts")))
        response = 0;
    if (response != 0)
        return giveUp(response == 1 ? QStringLiteral("the request was refused")
                                    : QStringLiteral("the request failed"));
    if (m_step == Step::CreatingSession) {
        m_session = results.value(QStringLiteral("session_handle")).toString();
        m_bus.connect(Service, m_session, SessionInterface, QStringLiteral("Closed"), this,
                      SLOT(onSessionClosed(QVariantMap)));
        // Bound even when the run that asked has ended: the next run needs the same answer,
        // and the desktop's dialog may be up already.
        m_step = Step::Binding;
        const QString token = expectRequest();
        const QList<PortalShortcut> shortcuts {
                {ShortcutId,
                 {{QStringLiteral("description"), QStringLiteral("Stop the run")},
                  {QStringLiteral("preferred_trigger"), QStringLiteral("Escape")}}}};
        send(QStringLiteral("BindShortcuts"),
             {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
              QString(), QVariantMap {{QStringLiteral("handle_token"), token}}});
    } else if (m_step == Step::Binding) {
        m_step = Step::Bound;
        learnKey(results.value(QStringLiteral("shortcuts")));
        answer();
    }
}

// What the desktop bound: the user may have picked another key in its dialog, or none, and
// some portals ignore the preferred trigger.
void PortalStopKey::learnKey(const QVariant &shortcuts)
{
    m_hasKey = false;
    m_otherKey.clear();
    for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(shortcuts)) {
        const QString trigger =
                shortcut.options.value(QStringLiteral("trigger_description")).toString();
        if (shortcut.id != ShortcutId || trigger.trimmed().isEmpty())
            continue;
        m_hasKey = true;
        m_otherKey = namesEscape(trigger) ? QString() : trigger;
    }
}

void PortalStopKey::answer()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    if (!m_unavailable.isEmpty())
        emit unavailable(m_unavailable);
    else if (m_hasKey)
        emit bound(m_otherKey);
    else
        emit unavailable(NoKey);
}

void PortalStopKey::onActivated(const QDBusMessage &message)
{
    // (o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QVariantList arguments = message.arguments();
    if (m_wanted && m_step == Step::Bound && arguments.size() >= 2
        && arguments[0].value<QDBusObjectPath>().path() == m_session
        && arguments[1].toString() == ShortcutId)
        emit pressed();
}

// The user changed the key in the desktop's settings: the next run says the new one.
void PortalStopKey::onShortcutsChanged(const QDBusMessage &message)
{
    // (o session_handle, a(sa{sv}) shortcuts)
    const QVariantList arguments = message.arguments();
    if (m_step == Step::Bound && arguments.size() >= 2
        && arguments[0].value<QDBusObjectPath>().path() == m_session)
        learnKey(arguments[1]);
}

void PortalStopKey::onSessionClosed(const QVariantMap &)
{
    std::fputs("varbelo: the desktop ended the shortcut portal's session; the next run asks "
               "again\n",
               stderr);
    forgetSession();
}

void PortalStopKey::giveUp(const QString &why)
{
    if (!m_session.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(Service, m_session, SessionInterface,
                                                       QStringLiteral("Close")));
    forgetSession();
    if (m_unavailable.isEmpty()) {
        m_unavailable = QStringLiteral("the desktop's shortcut portal: ") + why;
        std::fprintf(stderr,
                     "varbelo: Esc cannot stop a run here (GlobalShortcuts portal: %s); the Stop "
                     "button or a key bound to varbelo --stop does\n",
                     qPrintable(why));
    }
    answer();
}

void PortalStopKey::forgetSession()
{
    if (!m_session.isEmpty())
        m_bus.disconnect(Service, m_session, SessionInterface, QStringLiteral("Closed"), this,
                         SLOT(onSessionClosed(QVariantMap)));
    m_session.clear();
    m_hasKey = false;
    m_step = Step::Idle;
}
