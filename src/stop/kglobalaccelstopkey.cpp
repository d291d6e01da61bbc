// SPDX-License-Identifier: GPL-3.0-or-later
#include "kglobalaccelstopkey.h"

#include <algorithm>
#include <cstdio>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString Service = QStringLiteral("org.kde.kglobalaccel");
const QString ServicePath = QStringLiteral("/kglobalaccel");
const QString Interface = QStringLiteral("org.kde.KGlobalAccel");
const QString ComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString ComponentUnique = QStringLiteral("org.varbelo.Varbelo");
// The "_k_session:" prefix makes a session action: the service never saves it, so no Esc of
// ours is left in the user's shortcut settings, whatever becomes of the program.
const QString ActionUnique = QStringLiteral("_k_session:stop");
// Unique and friendly names of the component, then of the action, as the service orders them.
const QStringList ActionId {ComponentUnique, ActionUnique, QStringLiteral("Varbelo"),
                            QStringLiteral("Stop the run")};
// setShortcutKeys: SetPresent grabs the key at once; NoAutoloading sets the key given rather
// than one the service remembers for the action.
constexpr uint SetPresent = 2;
constexpr uint NoAutoloading = 4;
// Held on the bus by the copy that may hold Esc through the service: the bus lets it go when the
// process ends however it ends, so a copy that cannot have it knows another one lives.
const QString HolderName = QStringLiteral("org.varbelo.Varbelo.StopKey");
constexpr uint DoNotQueue = 4; // RequestName's flag
constexpr uint PrimaryOwner = 1; // and its answer
// The bus daemon answers at once; a hung one must not hold up the start.
constexpr int AskTimeoutMs = 100;
// At exit: the call leaves at once; the wait is only for the service's reply.
constexpr int ExitTimeoutMs = 250;

// A key sequence as the service marshals a QKeySequence: (ai), four key codes, 0 for none.
struct KeySequence
{
    QList<int> keys;
};

QDBusArgument &operator<<(QDBusArgument &argument, const KeySequence &sequence)
{
    argument.beginStructure();
    argument << sequence.keys;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, KeySequence &sequence)
{
    argument.beginStructure();
    argument >> sequence.keys;
    argument.endStructure();
    return argument;
}

const KeySequence Escape {{Qt::Key_Escape, 0, 0, 0}};

} // namespace

Q_DECLARE_METATYPE(KeySequence)

KGlobalAccelStopKey::KGlobalAccelStopKey(QObject *parent) : StopKey(parent)
{
    qDBusRegisterMetaType<KeySequence>();
    qDBusRegisterMetaType<QList<KeySequence>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_ready = true;
        return;
    }
    // Made before the single-instance lock is taken: a second copy that is about to give way
    // must leave alone the action of the copy that runs.
    auto *watcher = new QDBusPendingCallWatcher(
            bus.interface()->asyncCall(QStringLiteral("RequestName"), HolderName, DoNotQueue),
            this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        takeBackLeftover(!reply.isValid() || reply.value() != PrimaryOwner);
    });
}

KGlobalAccelStopKey::~KGlobalAccelStopKey()
{
    if (!m_registered)
        return;
    QDBusMessage message = QDBusMessage::createMethodCall(Service, ServicePath, Interface,
                                                          QStringLiteral("unregister"));
    message.setArguments({ComponentUnique, ActionUnique});
    // Waited for, briefly: a call still queued when the process ends may never leave, and the
    // service would go on taking Esc for a program that is gone until the next start.
    QDBusConnection::sessionBus().call(message, QDBus::Block, ExitTimeoutMs);
}

bool KGlobalAccelStopKey::isAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << Service;
    const QDBusMessage reply = bus.call(ask, QDBus::Block, AskTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        std::fprintf(stderr,
                     "varbelo: not asking KDE's global shortcuts: the session bus did not "
                     "say whether they run (%s)\n",
                     qPrintable(reply.errorMessage()));
    return reply.arguments().value(0).toBool();
}

// A copy killed mid-run (SIGKILL, a crash) left its action on Esc, and the service keeps it
// until the user logs out. The action holds no key of a live program: the name says none runs.
void KGlobalAccelStopKey::takeBackLeftover(bool anotherCopyLives)
{
    m_ready = true;
    if (!anotherCopyLives) {
        // Sent before any doRegister of ours: the service answers one caller in order.
        QDBusMessage message = QDBusMessage::createMethodCall(Service, ServicePath, Interface,
                                                              QStringLiteral("unregister"));
        message.setArguments({ComponentUnique, ActionUnique});
        auto *watcher =
                new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            if (QDBusPendingReply<bool>(*w).value())
                std::fputs("varbelo: gave back Esc, which a copy that ended without giving it "
                           "back still held\n",
                           stderr);
        });
    }
    if (m_wanted && !m_registered)
        registerAction();
}

void KGlobalAccelStopKey::bind()
{
    m_wanted = true;
    m_waiting = true;
    if (m_bound) {
        m_waiting = false;
        emit bound(QString());
        return;
    }
    if (m_registered)
        return; // on its way
    if (!QDBusConnection::sessionBus().isConnected())
        return giveUp(QStringLiteral("no session bus"));
    if (m_ready)
        registerAction();
}

void KGlobalAccelStopKey::registerAction()
{
    ++m_run;
    m_registered = true;
    call(QStringLiteral("doRegister"), {ActionId});
    call(QStringLiteral("getComponent"), {ComponentUnique}, [this](const QDBusMessage &reply) {
        listenOn(reply.arguments().value(0).value<QDBusObjectPath>().path());
        holdEscape();
    });
}

void KGlobalAccelStopKey::release()
{
    m_wanted = false;
    m_waiting = false;
    m_bound = false;
    if (!m_registered)
        return;
    m_registered = false;
    // Unregistered rather than set inactive: the action then holds no key at all, and the
    // service forgets the component once it has no action left.
    call(QStringLiteral("unregister"), {ComponentUnique, ActionUnique});
}

void KGlobalAccelStopKey::call(const QString &method, const QVariantList &arguments,
                               std::function<void(const QDBusMessage &)> answer)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, ServicePath, Interface, method);
    message.setArguments(arguments);
    auto *watcher =
            new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, run = m_run, answer = std::move(answer)](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                if (run != m_run || !m_wanted)
                    return;
                if (w->isError())
                    return giveUp(QStringLiteral("KDE's global shortcuts: ")
                                  + w->error().message());
                if (answer)
                    answer(w->reply());
            });
}

void KGlobalAccelStopKey::listenOn(const QString &componentPath)
{
    if (componentPath == m_componentPath)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_componentPath.isEmpty())
        bus.disconnect(Service, m_componentPath, ComponentInterface,
                       QStringLiteral("globalShortcutPressed"), this,
                       SLOT(onShortcutPressed(QString, QString, qlonglong)));
    m_componentPath = componentPath;
    bus.connect(Service, m_componentPath, ComponentInterface,
                QStringLiteral("globalShortcutPressed"), this,
                SLOT(onShortcutPressed(QString, QString, qlonglong)));
}

void KGlobalAccelStopKey::holdEscape()
{
    const QList<KeySequence> keys {Escape};
    const QVariantList arguments {ActionId, QVariant::fromValue(keys),
                                  QVariant::fromValue(SetPresent | NoAutoloading)};
    call(QStringLiteral("setShortcutKeys"), arguments, [this](const QDBusMessage &reply) {
        // The keys actually set: one that another action holds comes back empty.
        const auto set = qdbus_cast<QList<KeySequence>>(reply.arguments().value(0));
        m_bound = std::any_of(set.cbegin(), set.cend(), [](const KeySequence &sequence) {
            return sequence.keys.value(0) == Qt::Key_Escape;
        });
        if (m_bound && m_waiting) {
            m_waiting = false;
            emit bound(QString());
        } else if (!m_bound) {
            call(QStringLiteral("actionList"), {QVariant::fromValue(Escape)},
                 [this](const QDBusMessage &holder) {
                     sayTaken(holder.arguments().value(0).toStringList());
                 });
        }
    });
}

void KGlobalAccelStopKey::sayTaken(const QStringList &holder)
{
    QString why = QStringLiteral("another action holds Esc");
    // The holder's unique and friendly names: component, action, component, action.
    if (holder.size() == 4)
        why += QStringLiteral(": %1 (%2)").arg(holder[3], holder[2]);
    giveUp(why);
}

void KGlobalAccelStopKey::giveUp(const QString &why)
{
    m_bound = false;
    if (why != m_said) {
        m_said = why;
        std::fprintf(stderr, "varbelo: Esc cannot stop this run (%s); the Stop button does\n",
                     qPrintable(why));
    }
    if (m_waiting) {
        m_waiting = false;
        emit unavailable(why);
    }
}

void KGlobalAccelStopKey::onShortcutPressed(const QString &component, const QString &action,
                                            qlonglong)
{
    if (m_bound && component == ComponentUnique && action == ActionUnique)
        emit pressed();
}
