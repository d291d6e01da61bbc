// SPDX-License-Identifier: GPL-3.0-or-later
// Esc through the GlobalShortcuts portal, against a stand-in portal on a private session bus.
#include "portalstopkey.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString DesktopPath = u"/org/freedesktop/portal/desktop"_s;

// Answers as the portal does: a Request path for every call, then its Response signal.
class StandInPortal : public QDBusVirtualObject
{
public:
    QStringList calls;
    uint bindResponse = 0;
    QString session;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QVariantList args = message.arguments();
        QVariantMap results;
        uint response = 0;
        if (message.member() == u"CreateSession") {
            calls << message.member();
            session = DesktopPath + u"/session/"_s + sender(message) + u"/s"_s;
            results[u"session_handle"_s] = session;
        } else if (message.member() == u"BindShortcuts") {
            QString line = message.member();
            const auto shortcuts = args.value(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap options;
                shortcuts.beginStructure();
                shortcuts >> id >> options;
                shortcuts.endStructure();
                line += u' ' + id + u' ' + options.value(u"preferred_trigger"_s).toString();
            }
            shortcuts.endArray();
            calls << line;
            response = bindResponse;
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
    void init() { portal.calls.clear(); }
    void escBoundDuringRunOnly();
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

    QProcess bus;
    StandInPortal portal;
};

void TestPortalStopKey::initTestCase()
{
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

void TestPortalStopKey::escBoundDuringRunOnly()
{
    PortalStopKey escape;
    QSignalSpy activated(&escape, &StopKey::pressed);
    escape.bind();
    QTRY_COMPARE(portal.calls, QStringList({u"CreateSession"_s, u"BindShortcuts stop Escape"_s}));
    // The binding's answer may still be on its way: press until it counts.
    for (int i = 0; i < 100 && activated.isEmpty(); ++i) {
        press();
        QTest::qWait(20);
    }
    QVERIFY(!activated.isEmpty());

    escape.release();
    QTRY_COMPARE(portal.calls.last(), u"Close"_s);
    activated.clear();
    press();
    QTest::qWait(100);
    QVERIFY(activated.isEmpty());
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
