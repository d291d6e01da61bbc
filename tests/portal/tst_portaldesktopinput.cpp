// SPDX-License-Identifier: GPL-3.0-or-later
#include "portaldesktopinput.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// A window over one whole screen that notes the presses and releases it gets, in desktop
// coordinates: a Wayland client knows where its screen lies, not where its window does.
class ClickWindow : public QRasterWindow
{
public:
    ClickWindow(QScreen *screen, QStringList &log) : m_log(log)
    {
        // The geometry too: Qt would otherwise move the window to the screen at its origin.
        setScreen(screen);
        setGeometry(screen->geometry());
        showFullScreen();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::white);
    }
    void mousePressEvent(QMouseEvent *event) override { note("press", event); }
    void mouseReleaseEvent(QMouseEvent *event) override { note("release", event); }

private:
    void note(const char *what, QMouseEvent *event)
    {
        const QPoint at = screen()->geometry().topLeft() + event->position().toPoint();
        m_log << QStringLiteral("%1 %2,%3").arg(what).arg(at.x()).arg(at.y());
    }

    QStringList &m_log;
};

// The backend against the stand-in portal that gnome.sh starts; it forwards to a headless mutter
// with two monitors side by side (800x600, then 640x480 at x 800).
class TestPortalDesktopInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void grantedClicksLand();
    void refusedMoveTakesItsPress();
    void refusedGrantGivesReason();
    void streamsWithoutPositionAreNowhere();
    void closedSessionLeavesNoButtonHeld();

private:
    // A session of the program's, what it says when lost kept in m_lost; no click seen yet.
    std::unique_ptr<DesktopInput> watchedSession(std::string &whyNot)
    {
        m_lost.clear();
        m_clicks.clear();
        std::unique_ptr<DesktopInput> input = PortalDesktopInput::create(whyNot);
        if (input)
            input->setLostHandler(
                    [this](const std::string &why) { m_lost << QString::fromStdString(why); });
        return input;
    }

    QStringList m_clicks;
    QStringList m_lost;
    std::vector<std::unique_ptr<ClickWindow>> m_windows;
    QDBusInterface m_standIn {u"org.freedesktop.portal.Desktop"_s,
                              u"/org/freedesktop/portal/desktop"_s, u"org.varbelo.test.StandIn"_s};
};

void TestPortalDesktopInput::initTestCase()
{
    QCOMPARE(QGuiApplication::screens().size(), 2);
    for (QScreen *screen : QGuiApplication::screens()) {
        m_windows.push_back(std::make_unique<ClickWindow>(screen, m_clicks));
        QVERIFY(QTest::qWaitForWindowExposed(m_windows.back().get()));
    }
    // A fresh headless mutter at times misplaces the first absolute move of its life (by up to a
    // tenth of the way, along its path); a desktop in use is long past it. A first session makes
    // that move.
    std::string whyNot;
    std::unique_ptr<DesktopInput> input = PortalDesktopInput::create(whyNot);
    QVERIFY2(input, whyNot.c_str());
    input->SetCursorPos(10, 10);
    QTest::qWait(300);
}

void TestPortalDesktopInput::grantedClicksLand()
{
    std::string whyNot;
    std::unique_ptr<DesktopInput> input = PortalDesktopInput::create(whyNot);
    QVERIFY2(input, whyNot.c_str());
    // A spot on each monitor; one beyond the right edge is on none: no move, and the reason.
    for (const QString &spot : {u"100,150"_s, u"1000,400"_s}) {
        m_clicks.clear();
        QVERIFY(input->SetCursorPos(spot.section(u',', 0, 0).toInt(),
                                    spot.section(u',', 1).toInt()));
        input->mouse_event(LeftButtonPress);
        input->mouse_event(LeftButtonRelease);
        QTRY_COMPARE(m_clicks, QStringList({"press " + spot, "release " + spot}));
    }
    QVERIFY(!input->SetCursorPos(1500, 20));
    QCOMPARE(input->whyMoveFailed(), "no screen at (1500, 20)");

    // Every grant is asked to be remembered, and each start passes back the token of the last.
    input.reset();
    QVERIFY2(PortalDesktopInput::create(whyNot), whyNot.c_str());
    const QStringList calls = QDBusReply<QStringList>(m_standIn.call(u"Calls"_s)).value();
    QVERIFY(calls.contains(u"SelectSources multiple=1 types=1"_s));
    QVERIFY(calls.contains(u"Register org.varbelo.Varbelo first=1"_s));
    QVERIFY(!calls.contains(u"Register org.varbelo.Varbelo first=0"_s));
    QString token;
    for (const QString &call : calls) {
        if (call.startsWith(u"granted restore_token="_s))
            token = call.section(u'=', 1);
        else if (call.startsWith(u"SelectDevices"_s))
            QCOMPARE(call,
                     u"SelectDevices persist_mode=2 "_s
                             + (token.isEmpty() ? QString() : "restore_token=" + token + ' ')
                             + u"types=2"_s);
    }
    QVERIFY(!token.isEmpty());
}

// A move the portal refuses takes the button events after it along: none lands where the
// pointer was.
void TestPortalDesktopInput::refusedMoveTakesItsPress()
{
    std::string whyNot;
    const std::unique_ptr<DesktopInput> input = watchedSession(whyNot);
    QVERIFY2(input, whyNot.c_str());
    m_standIn.call(u"RefuseMoves"_s, true);
    QVERIFY(input->SetCursorPos(100, 150));
    input->mouse_event(LeftButtonPress);
    input->mouse_event(LeftButtonRelease);
    QTRY_COMPARE(m_lost, QStringList {u"the desktop portal refused NotifyPointerMotionAbsolute "
                                    "(Invalid position)"_s});
    m_standIn.call(u"RefuseMoves"_s, false);
    QTest::qWait(300);
    QCOMPARE(m_clicks, QStringList());
}

void TestPortalDesktopInput::refusedGrantGivesReason()
{
    m_standIn.call(u"SetAnswer"_s, 1u);
    std::string whyNot;
    QVERIFY(!PortalDesktopInput::create(whyNot));
    m_standIn.call(u"SetAnswer"_s, 0u);
    QCOMPARE(whyNot, "remote control was not granted: the desktop's prompt was cancelled");
}

// Two streams without a position: neither may be taken to lie at the origin, where a press meant
// for one would land on the other.
void TestPortalDesktopInput::streamsWithoutPositionAreNowhere()
{
    m_standIn.call(u"SetPositions"_s, false);
    std::string whyNot;
    std::unique_ptr<DesktopInput> input = PortalDesktopInput::create(whyNot);
    m_standIn.call(u"SetPositions"_s, true);
    QVERIFY2(input, whyNot.c_str());
    QVERIFY(!input->SetCursorPos(100, 150));
    QCOMPARE(input->whyMoveFailed(),
             "no screen at (100, 150): the desktop did not say where 2 of the shared monitors lie");
}

void TestPortalDesktopInput::closedSessionLeavesNoButtonHeld()
{
    std::string whyNot;
    const std::unique_ptr<DesktopInput> input = watchedSession(whyNot);
    QVERIFY2(input, whyNot.c_str());
    input->SetCursorPos(200, 300);
    input->mouse_event(LeftButtonPress);
    QTRY_COMPARE(m_clicks, QStringList {u"press 200,300"_s});

    m_standIn.call(u"CloseSessions"_s);
    QTRY_COMPARE(m_clicks, QStringList({u"press 200,300"_s, u"release 200,300"_s}));
    QTRY_COMPARE(m_lost, QStringList {u"the desktop ended the remote-control session"_s});
    // Quiet from then on: gnome.sh checks the one line on standard error.
    QVERIFY(!input->SetCursorPos(300, 300));
    input->mouse_event(LeftButtonPress);
    QTest::qWait(300);
    QCOMPARE(m_clicks.size(), 2);
}

QTEST_MAIN(TestPortalDesktopInput)
#include "tst_portaldesktopinput.moc"
