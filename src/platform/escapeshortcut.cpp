// SPDX-License-Identifier: GPL-3.0-or-later
#include "escapeshortcut.h"

#include <algorithm>
#include <cstdio>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString shortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;
const QString requestInterface = u"org.freedesktop.portal.Request"_s;
const QString stopId = u"stop"_s;

// One entry of the portal's shortcut lists, a(sa{sv}).
struct Shortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

EscapeShortcut::EscapeShortcut(QObject *parent)
    : QObject(parent), m_bus(QDBusConnection::sessionBus())
{
    QDBusMessage get = QDBusMessage::createMethodCall(
            portalService, portalPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << shortcutsInterface << u"version"_s;
    m_available = m_bus.isConnected() && QDBusReply<QDBusVariant>(m_bus.call(get)).isValid();
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    if (m_available)
        m_bus.connect(portalService, portalPath, shortcutsInterface, u"Activated"_s, this,
                      SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

void EscapeShortcut::bind()
{
    m_wanted = true;
    // A session per run: the portal cannot unbind a shortcut but closes a session at once.
    if (m_available && m_session.isEmpty() && m_pending.isEmpty()) {
        static int sessions = 0;
        request(u"CreateSession"_s,
                {QVariantMap {{u"session_handle_token"_s, u"varbelo_keys%1"_s.arg(++sessions)}}});
    }
}

void EscapeShortcut::release()
{
    m_wanted = false;
    // A session still being made is closed when it arrives; a binding still being made goes
    // with its session, and its answer no longer matters.
    if (!m_pending.isEmpty() && m_pendingMethod == u"BindShortcuts"_s)
        forgetPending();
    closeSession();
}

void EscapeShortcut::forgetPending()
{
    m_bus.disconnect(portalService, m_pending, requestInterface, u"Response"_s, this,
                     SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    m_pending.clear();
}

void EscapeShortcut::closeSession()
{
    if (m_session.isEmpty())
        return;
    m_bus.send(QDBusMessage::createMethodCall(portalService, m_session,
                                              u"org.freedesktop.portal.Session"_s, u"Close"_s));
    m_session.clear();
}

// As for the remote-desktop session: the answer comes as the Response signal of a Request
// object whose path we can tell beforehand. Nothing here waits for it.
void EscapeShortcut::request(const QString &method, QVariantList arguments)
{
    static int serial = 0;
    const QString token = u"varbelo_keys%1"_s.arg(++serial);
    m_pending = u"/org/freedesktop/portal/desktop/request/%1/%2"_s.arg(
            m_bus.baseService().mid(1).replace(u'.', u'_'), token);
    m_pendingMethod = method;
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(u"handle_token"_s, token);
    arguments.append(options);
    m_bus.connect(portalService, m_pending, requestInterface, u"Response"_s, this,
                  SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    QDBusMessage call =
            QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path = m_pending](QDBusPendingCallWatcher *reply) {
                reply->deleteLater();
                // Refused outright: no Response will come.
                if (reply->isError() && path == m_pending)
                    answer(2, {});
            });
}

void EscapeShortcut::onResponse(uint code, const QVariantMap &results, const QDBusMessage &message)
{
    if (message.path() == m_pending)
        answer(code, results);
}

void EscapeShortcut::answer(uint code, const QVariantMap &results)
{
    forgetPending();
    if (code == 0 && m_pendingMethod == u"CreateSession"_s) {
        // The portal's own type for this handle is "s", not "o".
        const QVariant handle = results.value(u"session_handle"_s);
        m_session = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                ? handle.value<QDBusObjectPath>().path()
                : handle.toString();
        if (!m_wanted) {
            closeSession(); // the run ended while the session was being made
            return;
        }
        const QList<Shortcut> escape {
                {stopId,
                 {{u"description"_s, u"Stop the run"_s}, {u"preferred_trigger"_s, u"Escape"_s}}}};
        request(u"BindShortcuts"_s,
                {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(escape),
                 QString(), QVariantMap()});
        return;
    }
    if (!m_wanted)
        return; // the run ended meanwhile, and its session with it
    const auto bound = qdbus_cast<QList<Shortcut>>(results.value(u"shortcuts"_s));
    if (code != 0 || std::none_of(bound.begin(), bound.end(), [](const Shortcut &shortcut) {
            return shortcut.id == stopId;
        })) {
        closeSession();
        if (!m_refusalSaid)
            std::fputs("varbelo: the desktop did not bind Esc as a shortcut; the Stop button "
                       "stops a run\n",
                       stderr);
        m_refusalSaid = true;
    }
}

void EscapeShortcut::onActivated(const QDBusObjectPath &session, const QString &id, qulonglong,
                                 const QVariantMap &)
{
    if (m_wanted && session.path() == m_session && id == stopId)
        emit activated();
}
