// SPDX-License-Identifier: GPL-3.0-or-later
#include "portalstopkey.h"

#include <cstdio>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString DesktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString ShortcutId = QStringLiteral("stop");

// One shortcut as BindShortcuts takes it: (s id, a{sv} options).
struct Shortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

PortalStopKey::PortalStopKey(QObject *parent) : StopKey(parent)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    // The whole message: its arguments are read here, whatever their number.
    QDBusConnection::sessionBus().connect(Service, DesktopPath, Interface,
                                          QStringLiteral("Activated"), this,
                                          SLOT(onActivated(QDBusMessage)));
}

PortalStopKey::~PortalStopKey()
{
    closeSession();
}

void PortalStopKey::bind()
{
    m_wanted = true;
    if (!m_unavailable.isEmpty()) {
        emit unavailable(m_unavailable);
        return;
    }
    if (m_step != Step::Idle)
        return; // already on its way, or bound
    if (!QDBusConnection::sessionBus().isConnected())
        return giveUp(QStringLiteral("no session bus"));
    m_step = Step::CreatingSession;
    const QString token = expectRequest();
    send(QStringLiteral("CreateSession"),
         {QVariantMap {{QStringLiteral("handle_token"), token},
                       {QStringLiteral("session_handle_token"), token}}});
}

void PortalStopKey::release()
{
    m_wanted = false;
    if (m_step == Step::Bound)
        closeSession();
    // A session still being made is closed when its answer comes.
}

// The portal answers on a Request object whose path it derives from our bus name and a token
// we choose; connecting before the call leaves no gap for the answer to slip through.
QString PortalStopKey::expectRequest()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_requestPath.isEmpty())
        bus.disconnect(Service, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                       SLOT(onResponse(uint, QVariantMap)));
    const QString token = QStringLiteral("varbelo%1").arg(++m_tokens);
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    m_requestPath = DesktopPath + QStringLiteral("/request/") + sender + u'/' + token;
    bus.connect(Service, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(uint, QVariantMap)));
    return token;
}

void PortalStopKey::send(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, Interface, method);
    call.setArguments(arguments);
    auto *watcher =
            new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError())
            giveUp(w->error().message());
    });
}

void PortalStopKey::onResponse(uint response, const QVariantMap &results)
{
    if (response != 0)
        return giveUp(response == 1 ? QStringLiteral("the request was refused")
                                    : QStringLiteral("the request failed"));
    if (m_step == Step::CreatingSession) {
        m_session = results.value(QStringLiteral("session_handle")).toString();
        if (!m_wanted)
            return closeSession(); // the run ended while the session was being made
        m_step = Step::Binding;
        const QString token = expectRequest();
        const QList<Shortcut> shortcuts {
                {ShortcutId,
                 {{QStringLiteral("description"), QStringLiteral("Stop the run")},
                  {QStringLiteral("preferred_trigger"), QStringLiteral("Escape")}}}};
        send(QStringLiteral("BindShortcuts"),
             {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
              QString(), QVariantMap {{QStringLiteral("handle_token"), token}}});
    } else if (m_step == Step::Binding) {
        m_step = Step::Bound;
        if (!m_wanted)
            closeSession();
    }
}

void PortalStopKey::onActivated(const QDBusMessage &message)
{
    // (o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QVariantList arguments = message.arguments();
    if (m_step == Step::Bound && arguments.size() >= 2
        && arguments[0].value<QDBusObjectPath>().path() == m_session
        && arguments[1].toString() == ShortcutId)
        emit pressed();
}

void PortalStopKey::giveUp(const QString &why)
{
    closeSession();
    if (!m_unavailable.isEmpty())
        return;
    m_unavailable = QStringLiteral("the desktop's shortcut portal: ") + why;
    std::fprintf(stderr,
                 "varbelo: Esc cannot stop a run here (GlobalShortcuts portal: %s); the Stop "
                 "button or a key bound to varbelo --stop does\n",
                 qPrintable(why));
    if (m_wanted)
        emit unavailable(m_unavailable);
}

void PortalStopKey::closeSession()
{
    if (!m_session.isEmpty())
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                Service, m_session, QStringLiteral("org.freedesktop.portal.Session"),
                QStringLiteral("Close")));
    m_session.clear();
    m_step = Step::Idle;
}
