// SPDX-License-Identifier: GPL-3.0-or-later
// Esc through the GlobalShortcuts portal, against a stand-in portal on a private session bus.
#include "portalstopkey.h"
#include "portalshortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString DesktopPath = u"/org/freedesktop/portal/desktop"_s;

// Answers as the portal does: a Request path for every call, then its Response signal.
// Answers as xdg-desktop-portal 1.20 does, or as an older one without the host registry.
class StandInPortal : public QDBusVirtualObject
{
public:
    QStringList calls;
    uint bindResponse = 0;
    bool registry = true;
    QList<PortalShortcut> bound; // the answer's shortcuts
    bool holdBind = false; // the desktop's dialog is up until answerBind()
    QDBusMessage heldAnswer;
    QString session;
    QSet<QString> callers; // the registry takes an app id only before a caller's first call
    QString caller; // the last

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QVariantList args = message.arguments();
        const auto called = qScopeGuard([&] { callers.insert(caller = message.service()); });
        QVariantMap results;
        uint response = 0;
        if (message.member() == u"Register") {
            if (!registry) {
                connection.send(message.createErrorReply(QDBusError::UnknownMethod, u"old"_s));
                return true;
            }
            calls << message.member() + u' ' + args.value(0).toString()
                            + (callers.contains(message.service()) ? u" late"_s : QString());
            connection.send(message.createReply());
            return true;
        } else if (message.member() == u"CreateSession") {
            calls << message.member();
            session = DesktopPath + u"/session/"_s + sender(message) + u"/s"_s;
            results[u"session_handle"_s] = session;
        } else if (message.member() == u"BindShortcuts") {
            QString line = message.member();
            for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(args.value(1)))
                line += u' ' + shortcut.id + u' '
                        + shortcut.options.value(u"preferred_trigger"_s).toString();
            calls << line;
            response = bindResponse;
            results[u"shortcuts"_s] = QVariant::fromValue(bound);
        } else {
            calls << message.member(); // Close, on the session
            connection.send(message.createReply());
            return true;
        }
        const QString token = qdbus_cast<QVariantMap>(args.value(args.size() - 1))
                                      .value(u"handle_token"_s)
                                      .toString();
        const QString request = DesktopPath + u"/request/"_s + sender(message) + u'/' + token;
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage signal = QDBusMessage::createSignal(
                request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        signal << response << results;
        if (holdBind && message.member() == u"BindShortcuts")
            heldAnswer = signal;
        else
            connection.send(signal);
        return true;
    }

private:
    static QString sender(const QDBusMessage &message)
    {
        return message.service().mid(1).replace(u'.', u'_');
    }
};

} // namespace


class TestPortalStopKey : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void bindAnswered_data();
    void bindAnswered();
    void oneSessionForEveryRun();
    void dialogAnsweredAfterTheRunEnded();
    void refusalSaidOnceThenNoMoreAsking();

private:
    void press()
    {
        QDBusMessage signal = QDBusMessage::createSignal(
                DesktopPath, u"org.freedesktop.portal.GlobalShortcuts"_s, u"Activated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(portal.session)) << u"stop"_s << qulonglong(0)
               << QVariantMap();
        QDBusConnection(u"portal"_s).send(signal);
    }
    // Once the key's connection answers a ping, it has handed on every signal sent before.
    void settle()
    {
        QDBusConnection(u"portal"_s)
                .call(QDBusMessage::createMethodCall(portal.caller, u"/"_s,
                                                     u"org.freedesktop.DBus.Peer"_s, u"Ping"_s));
        QCoreApplication::sendPostedEvents();
    }

    QProcess bus;
    StandInPortal portal;
};

void TestPortalStopKey::initTestCase()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
    QVERIFY2(bus.waitForReadyRead(5000), "dbus-daemon did not start (package dbus)");
    const QByteArray address = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address); // before the first use of the session bus
    QDBusConnection connection =
            QDBusConnection::connectToBus(QString::fromUtf8(address), u"portal"_s);
    QVERIFY(connection.registerVirtualObject(DesktopPath, &portal, QDBusConnection::SubPath));
    QVERIFY(connection.registerService(u"org.freedesktop.portal.Desktop"_s));
}

void TestPortalStopKey::cleanupTestCase()
{
    bus.kill();
    bus.waitForFinished();
}

void TestPortalStopKey::init()
{
    portal.calls.clear();
    portal.bindResponse = 0;
    portal.registry = true;
    portal.holdBind = false;
    portal.bound = {{u"stop"_s, {{u"trigger_description"_s, u"Press Escape"_s}}}};
}

// The app id goes first where the portal has the registry; the key the desktop bound is read
// from the answer (GNOME 48's comes with code 2): "bound:" and the key named when it is not Esc,
// or "unavailable".
void TestPortalStopKey::bindAnswered_data()
{
    QTest::addColumn<bool>("registry");
    QTest::addColumn<QList<PortalShortcut>>("bound");
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("answer");
    const auto key = [](const QString &trigger) {
        return QList<PortalShortcut> {{u"stop"_s, {{u"trigger_description"_s, trigger}}}};
    };
    QTest::newRow("Esc") << true << key(u"Press Escape"_s) << 0u << u"bound:"_s;
    QTest::newRow("no registry") << false << key(u"Press Escape"_s) << 0u << u"bound:"_s;
    QTest::newRow("Esc or another")
            << true << key(u"Press Escape or <Control>q"_s) << 0u << u"bound:"_s;
    QTest::newRow("another key") << true << key(u"Press <Control>q"_s)
                                 << 0u << u"bound:Press <Control>q"_s;
    QTest::newRow("Ctrl+Esc") << true << key(u"Ctrl+Esc"_s) << 0u << u"bound:Ctrl+Esc"_s;
    QTest::newRow("empty trigger") << true << key(QString()) << 0u << u"unavailable"_s;
    QTest::newRow("no shortcut") << true << QList<PortalShortcut>() << 0u << u"unavailable"_s;
    QTest::newRow("GNOME 48's code 2") << true << key(u"Press Escape"_s) << 2u << u"bound:"_s;
}

void TestPortalStopKey::bindAnswered()
{
    QFETCH(bool, registry);
    QFETCH(QList<PortalShortcut>, bound);
    QFETCH(uint, code);
    QFETCH(QString, answer);
    portal.registry = registry;
    portal.bound = bound;
    portal.bindResponse = code;
    PortalStopKey escape;
    QStringList answers;
    connect(&escape, &StopKey::bound, this,
            [&](const QString &key) { answers << u"bound:"_s + key; });
    connect(&escape, &StopKey::unavailable, this, [&] { answers << u"unavailable"_s; });
    escape.bind();
    QStringList calls {u"CreateSession"_s, u"BindShortcuts stop Escape"_s};
    if (registry)
        calls.prepend(u"Register org.varbelo.Varbelo"_s);
    QTRY_COMPARE(portal.calls, calls);
    QTRY_COMPARE(answers, QStringList {answer});
}

// Released between runs, the binding stays: the next run is answered at once, without asking.
void TestPortalStopKey::oneSessionForEveryRun()
{
    PortalStopKey escape;
    QSignalSpy activated(&escape, &StopKey::pressed);
    QSignalSpy bound(&escape, &StopKey::bound);
    escape.bind();
    QTRY_COMPARE(bound.count(), 1);
    press();
    QTRY_COMPARE(activated.count(), 1);

    escape.release();
    press();
    settle();
    QCOMPARE(activated.count(), 1);
    escape.bind();
    QCOMPARE(bound.count(), 2);
    press();
    QTRY_COMPARE(activated.count(), 2);
    QCOMPARE(portal.calls.count(u"CreateSession"_s), 1);
    QVERIFY(!portal.calls.contains(u"Close"_s));
}

// A run stopped while the desktop's dialog is up hears nothing; the next run gets its answer.
void TestPortalStopKey::dialogAnsweredAfterTheRunEnded()
{
    portal.holdBind = true;
    PortalStopKey escape;
    QSignalSpy bound(&escape, &StopKey::bound);
    escape.bind();
    QTRY_VERIFY(portal.heldAnswer.type() == QDBusMessage::SignalMessage);
    escape.release();
    QDBusConnection(u"portal"_s).send(std::exchange(portal.heldAnswer, QDBusMessage()));
    settle();
    QCOMPARE(bound.count(), 0);
    escape.bind();
    QTRY_COMPARE(bound.count(), 1);
    QCOMPARE(portal.calls.count(u"BindShortcuts stop Escape"_s), 1);
}

void TestPortalStopKey::refusalSaidOnceThenNoMoreAsking()
{
    portal.bindResponse = 1;
    PortalStopKey escape;
    QSignalSpy unavailable(&escape, &StopKey::unavailable);
    escape.bind();
    QTRY_VERIFY(portal.calls.contains(u"Close"_s));
    QCOMPARE(unavailable.count(), 1);
    QVERIFY(unavailable[0][0].toString().contains(u"refused"_s));
    escape.release();
    // Each run hears why, so that its window can say it.
    escape.bind();
    QCOMPARE(unavailable.count(), 2);
    QTest::qWait(100);
    QCOMPARE(portal.calls.count(u"CreateSession"_s), 1);
}

QTEST_GUILESS_MAIN(TestPortalStopKey)
#include "tst_portalstopkey.moc"
