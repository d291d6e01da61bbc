// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopinput.h"
#include "testdisplay.h"
#include "x11desktopinput.h"

#include <X11/keysym.h>
#include <chrono>
#include <csignal>
#include <functional>
#include <future>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QDebug>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

// The X11 backend against the private Xvfb that run-with-xvfb.sh starts (1280x1024, no window
// manager, no monitors of its own marked primary).
class TestX11DesktopInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void moveIsReadBack_data();
    void moveIsReadBack();
    void clickReachesWindowUnderPointer_data();
    void clickReachesWindowUnderPointer();
    void heldKeyReadsDownUntilReleased_data();
    void heldKeyReadsDownUntilReleased();
    void tapBetweenPollsReadsOnce_data();
    void tapBetweenPollsReadsOnce();
    void keyHeldBeforeStartReadsDown();
    void moveHeldBackByAGrabFails();
    void pollsNeedNoRoundTripAndAMoveOne();
    void pointerIsAskedForOnlyAfterAMove();
    void coordinatesCountFromPrimaryMonitor_data();
    void coordinatesCountFromPrimaryMonitor();
    void layoutChangeMovesOrigin();
    void moveOffEveryMonitorFails();
    void olderRandRTakesTheCrtcs();
    void noDisplayGivesReason_data();
    void noDisplayGivesReason();
    void serverWithoutXtestGivesReason();
    void lostServerLeavesBackendQuiet();
    void cutConnectionEndsWithReason();

private:
    static QByteArray startServer(QProcess &server, const QStringList &options);
    std::int16_t pollUntil(int vKey, bool nonzero);
    void setSplitLayout();
    bool runXrandr(const QStringList &arguments);
    bool completesWhileServerGrabbed(const std::function<void()> &work);

    TestDisplay m_display;
    std::unique_ptr<DesktopInput> m_input;
    bool m_splitLayout = false;
    bool m_smallCrtc = false;
};

namespace {

constexpr int timeoutMs = 2000;
const std::vector<unsigned long> watchedKeysyms = {XK_Shift_L, XK_Shift_R, XK_space, XK_Escape};
constexpr int watchedKeys[] = {ShiftKey, SpaceKey, EscapeKey};

} // namespace

void TestX11DesktopInput::initTestCase()
{
    QVERIFY2(m_display.isOpen(), "run this test through run-with-xvfb.sh");
    std::string whyNot;
    m_input = createDesktopInput(whyNot);
    QVERIFY2(m_input, whyNot.c_str());
}

void TestX11DesktopInput::init()
{
    // Clears presses a failed test may have left for the next poll.
    for (int vKey : watchedKeys)
        QCOMPARE(pollUntil(vKey, false), 0);
}

void TestX11DesktopInput::cleanup()
{
    m_display.ungrabServer();
    m_display.releasePointer();
    m_display.destroyWindow();
    m_display.releaseKeys(watchedKeysyms);
    if (m_smallCrtc) {
        m_smallCrtc = false;
        QVERIFY(runXrandr({"--fb", "1280x1024", "--output", "screen", "--mode", "1280x1024"}));
        QProcess::execute("xrandr", {"--delmode", "screen", "small"});
        QProcess::execute("xrandr", {"--rmmode", "small"});
    }
    if (m_splitLayout) {
        m_splitLayout = false;
        QVERIFY(runXrandr({"--delmonitor", "left"}));
        QVERIFY(runXrandr({"--delmonitor", "right"}));
    }
}

void TestX11DesktopInput::moveIsReadBack_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("rootX");
    QTest::addColumn<int>("rootY");

    QTest::newRow("inside") << 10 << 20 << 10 << 20;
    QTest::newRow("last pixel") << 1279 << 1023 << 1279 << 1023;
    // On no monitor: the pointer stays where it was (640, 512), not pushed to an edge.
    QTest::newRow("beyond the top-left corner") << -50 << -7 << 640 << 512;
    QTest::newRow("one past the last column") << 1280 << 5 << 640 << 512;
    QTest::newRow("one past the last row") << 5 << 1024 << 640 << 512;
    // The protocol's 16-bit field would carry 65636 as 100, a spot on the screen.
    QTest::newRow("wrapping to the screen in 16 bits") << 65636 << 5 << 640 << 512;
}

void TestX11DesktopInput::moveIsReadBack()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, rootX);
    QFETCH(int, rootY);

    m_display.warpPointer(640, 512);
    QCOMPARE(m_input->SetCursorPos(x, y), x == rootX);
    if (x != rootX)
        QCOMPARE(m_input->whyMoveFailed(), noScreenAt(x, y));
    // Nothing else from the backend follows: the move must have left on its own.
    int seenX = 0, seenY = 0;
    QTRY_VERIFY_WITH_TIMEOUT(m_display.pointer(seenX, seenY) && seenX == rootX && seenY == rootY,
                             timeoutMs);
    CursorPoint point;
    QVERIFY(m_input->GetCursorPos(point));
    QCOMPARE(point.x, rootX);
    QCOMPARE(point.y, rootY);
}

void TestX11DesktopInput::clickReachesWindowUnderPointer_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");

    // The window covers 200..599 x 150..449.
    QTest::newRow("middle") << 400 << 300;
    QTest::newRow("first pixel") << 200 << 150;
    QTest::newRow("last pixel") << 599 << 449;
}

void TestX11DesktopInput::clickReachesWindowUnderPointer()
{
    QFETCH(int, x);
    QFETCH(int, y);

    QVERIFY(m_display.showWindow(200, 150, 400, 300, timeoutMs));
    m_display.warpPointer(0, 0);
    // No sync in between: the move must take effect before the press all the same.
    QVERIFY(m_input->SetCursorPos(x, y));
    // Flags other than a lone left press or release are not ours to send.
    for (std::uint32_t other : {0x1u, 0x6u, 0x8u, 0x10u, 0x20u, 0x40u})
        m_input->mouse_event(other);
    m_input->mouse_event(LeftButtonPress);
    m_input->mouse_event(LeftButtonRelease);

    for (bool press : {true, false}) {
        ReceivedButton button;
        QVERIFY2(m_display.nextButton(button, timeoutMs), press ? "no press" : "no release");
        QCOMPARE(button.press, press);
        QCOMPARE(button.button, 1u);
        QCOMPARE(button.x, x - 200);
        QCOMPARE(button.y, y - 150);
        QCOMPARE(button.rootX, x);
        QCOMPARE(button.rootY, y);
    }
}

void TestX11DesktopInput::heldKeyReadsDownUntilReleased_data()
{
    QTest::addColumn<unsigned long>("keysym");
    QTest::addColumn<int>("vKey");

    QTest::newRow("left Shift") << static_cast<unsigned long>(XK_Shift_L) << int(ShiftKey);
    QTest::newRow("right Shift") << static_cast<unsigned long>(XK_Shift_R) << int(ShiftKey);
    QTest::newRow("space") << static_cast<unsigned long>(XK_space) << int(SpaceKey);
    QTest::newRow("Escape") << static_cast<unsigned long>(XK_Escape) << int(EscapeKey);
}

void TestX11DesktopInput::heldKeyReadsDownUntilReleased()
{
    QFETCH(unsigned long, keysym);
    QFETCH(int, vKey);

    m_display.key(keysym, true);
    QCOMPARE(pollUntil(vKey, true), std::int16_t(0x8000));
    // Held is not a one-time report.
    QCOMPARE(m_input->GetAsyncKeyState(vKey), std::int16_t(0x8000));
    for (int other : watchedKeys) {
        if (other != vKey)
            QCOMPARE(m_input->GetAsyncKeyState(other), 0);
    }
    QCOMPARE(m_input->GetAsyncKeyState('A'), 0);

    m_display.key(keysym, false);
    QCOMPARE(pollUntil(vKey, false), 0);
    QCOMPARE(m_input->GetAsyncKeyState(vKey), 0);
}

void TestX11DesktopInput::tapBetweenPollsReadsOnce_data()
{
    heldKeyReadsDownUntilReleased_data();
}

void TestX11DesktopInput::tapBetweenPollsReadsOnce()
{
    QFETCH(unsigned long, keysym);
    QFETCH(int, vKey);

    m_display.key(keysym, true);
    m_display.key(keysym, false);
    const std::int16_t first = pollUntil(vKey, true);
    QVERIFY(first != 0);
    QVERIFY2(!(first & 0x8000), "the key is up again");
    QCOMPARE(m_input->GetAsyncKeyState(vKey), 0);
    for (int other : watchedKeys) {
        if (other != vKey)
            QCOMPARE(m_input->GetAsyncKeyState(other), 0);
    }
}

void TestX11DesktopInput::keyHeldBeforeStartReadsDown()
{
    m_display.key(XK_Escape, true);
    std::string whyNot;
    const auto input = createDesktopInput(whyNot);
    QVERIFY2(input, whyNot.c_str());
    QCOMPARE(input->GetAsyncKeyState(EscapeKey), std::int16_t(0x8000));
    QCOMPARE(input->GetAsyncKeyState(ShiftKey), 0);
}

// Another client's active grab confined to a strip (x 0..949), as a game or a VM viewer holds
// the pointer: XTest's move "succeeds" and the server leaves the pointer at the strip's edge.
void TestX11DesktopInput::moveHeldBackByAGrabFails()
{
    m_display.warpPointer(400, 300);
    QVERIFY(m_display.confinePointer(0, 0, 950, 1024, timeoutMs));
    QVERIFY(!m_input->SetCursorPos(1100, 500));
    QCOMPARE(m_input->whyMoveFailed(), "another program holds the pointer at (949, 500)");
    QVERIFY(m_input->SetCursorPos(100, 200));
}

void TestX11DesktopInput::pollsNeedNoRoundTripAndAMoveOne()
{
    Display *display = openConnection(nullptr);
    QVERIFY(display);
    X11DesktopInput input(display);
    CursorPoint point;
    QVERIFY(input.SetCursorPos(1, 2)); // Xlib asks about XTest on its first use
    // The program polls the keys every 50 ms while idle: that must not wait for the server.
    QVERIFY2(completesWhileServerGrabbed([&input] {
                 for (int i = 0; i < 100; ++i) {
                     for (int vKey : watchedKeys)
                         input.GetAsyncKeyState(vKey);
                 }
             }),
             "the backend waited for the server");
    // A move is the motion and the one query that reads it back.
    bool moved = false;
    QCOMPARE(requestsSent(display, [&] { moved = input.SetCursorPos(33, 44); }), 2ul);
    QVERIFY(moved);
    QVERIFY(input.GetCursorPos(point));
    QCOMPARE(point.x, 33);
    QCOMPARE(point.y, 44);
}

void TestX11DesktopInput::pointerIsAskedForOnlyAfterAMove()
{
    // True once per move, so polled as the program polls it rather than through QTRY_VERIFY,
    // which asks once more after the answer.
    const auto moveReported = [this](int withinMs = timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (!m_input->pointerMayHaveMoved()) {
            if (clock.elapsed() > withinMs)
                return false;
            QTest::qWait(50);
        }
        return true;
    };
    QVERIFY(moveReported()); // moves of earlier tests, or the first look
    QVERIFY(!m_input->pointerMayHaveMoved());
    // A device's move (XTest's is one) comes as a raw event: told before the once-a-second look.
    QVERIFY(m_input->SetCursorPos(123, 45));
    QVERIFY(moveReported(600));
    QVERIFY(!m_input->pointerMayHaveMoved());
    // A warp comes as nothing: the pointer is looked at anyway, once a second.
    m_display.warpPointer(321, 54);
    QVERIFY(moveReported());
    CursorPoint point;
    QVERIFY(m_input->GetCursorPos(point));
    QCOMPARE(point.x, 321);
}

void TestX11DesktopInput::coordinatesCountFromPrimaryMonitor_data()
{
    QTest::addColumn<int>("rootX");
    QTest::addColumn<int>("rootY");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");

    // Left monitor 0..639, primary right monitor 640..1279.
    QTest::newRow("left monitor") << 100 << 10 << -540 << 10;
    QTest::newRow("primary corner") << 640 << 0 << 0 << 0;
    QTest::newRow("primary last pixel") << 1279 << 1023 << 639 << 1023;
}

void TestX11DesktopInput::coordinatesCountFromPrimaryMonitor()
{
    QFETCH(int, rootX);
    QFETCH(int, rootY);
    QFETCH(int, x);
    QFETCH(int, y);

    setSplitLayout();
    if (QTest::currentTestFailed())
        return;

    m_display.warpPointer(rootX, rootY);
    CursorPoint point;
    QVERIFY(m_input->GetCursorPos(point));
    QCOMPARE(point.x, x);
    QCOMPARE(point.y, y);

    m_display.warpPointer(rootX == 640 ? 700 : 640, 512);
    QVERIFY(m_input->SetCursorPos(x, y));
    QVERIFY(m_input->GetCursorPos(point));
    int seenX, seenY;
    QVERIFY(m_display.pointer(seenX, seenY));
    QCOMPARE(seenX, rootX);
    QCOMPARE(seenY, rootY);
}

void TestX11DesktopInput::layoutChangeMovesOrigin()
{
    Display *display = openConnection(nullptr);
    QVERIFY(display);
    X11DesktopInput input(display);
    QVERIFY(input.SetCursorPos(1, 2)); // Xlib asks about XTest on its first use
    CursorPoint point;
    m_display.warpPointer(100, 10);
    QVERIFY(input.GetCursorPos(point));
    QCOMPARE(point.x, 100);

    setSplitLayout();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(input.GetCursorPos(point));
    QCOMPARE(point.x, -540);
    // The origin is kept between calls rather than asked for on each: the move and its
    // read-back only.
    bool moved = false;
    QCOMPARE(requestsSent(display, [&] { moved = input.SetCursorPos(-530, 20); }), 2ul);
    QVERIFY(moved);
    int seenX, seenY;
    QVERIFY(input.GetCursorPos(point));
    QVERIFY(m_display.pointer(seenX, seenY));
    QCOMPARE(seenX, 110);
    QCOMPARE(seenY, 20);

    // Without a primary monitor the root's corner is the origin again.
    m_splitLayout = false;
    QVERIFY(runXrandr({"--delmonitor", "right"}));
    QVERIFY(runXrandr({"--delmonitor", "left"}));
    QVERIFY(input.GetCursorPos(point));
    QCOMPARE(point.x, 110);
    QCOMPARE(point.y, 20);
    QVERIFY(input.SetCursorPos(5, 6));
    QVERIFY(input.GetCursorPos(point));
    QVERIFY(m_display.pointer(seenX, seenY));
    QCOMPARE(seenX, 5);
    QCOMPARE(seenY, 6);
}

void TestX11DesktopInput::moveOffEveryMonitorFails()
{
    // A gap from x 640 to 739 between two monitors, then one monitor over the whole screen.
    m_splitLayout = true;
    QVERIFY(runXrandr({"--setmonitor", "left", "640/170x1024/270+0+0", "screen"}));
    QVERIFY(runXrandr({"--setmonitor", "right", "540/143x1024/270+740+0", "none"}));
    for (const bool split : {true, false}) {
        // 640: the first column past the left monitor.
        for (const int x : {639, 640, 700, 740}) {
            const bool inGap = split && x >= 640 && x < 740;
            QCOMPARE(m_input->SetCursorPos(x, 10), !inGap);
            CursorPoint point;
            QVERIFY(m_input->GetCursorPos(point));
            QCOMPARE(point.x, inGap ? 639 : x);
        }
        QCOMPARE(m_input->whyMoveFailed(), "no screen at (700, 10)");
        cleanup();
    }
}

// A server with RandR 1.4 (no monitors yet) still shows where its CRTCs scan out: here one
// 640x512 in a 1280x1024 root window, whose rest nobody sees.
void TestX11DesktopInput::olderRandRTakesTheCrtcs()
{
    Display *display = openConnection(nullptr);
    QVERIFY(display);
    X11DesktopInput input(display, 4);
    m_smallCrtc = true;
    QCOMPARE(QProcess::execute(
                     "xrandr",
                     {"--newmode", "small", "0", "640", "0", "0", "0", "512", "0", "0", "0"}),
             0);
    QCOMPARE(QProcess::execute("xrandr", {"--addmode", "screen", "small"}), 0);
    QVERIFY(runXrandr({"--fb", "1280x1024", "--output", "screen", "--mode", "small"}));
    QVERIFY(input.SetCursorPos(639, 511));
    QVERIFY(!input.SetCursorPos(700, 10));
    QCOMPARE(input.whyMoveFailed(), noScreenAt(700, 10));
}

void TestX11DesktopInput::noDisplayGivesReason_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("no server there") << QByteArray(":65000") << QString(":65000");
    QTest::newRow("DISPLAY unset") << QByteArray() << QString("DISPLAY");
}

void TestX11DesktopInput::noDisplayGivesReason()
{
    QFETCH(QByteArray, display);
    QFETCH(QString, mentions);

    const QByteArray saved = qgetenv("DISPLAY");
    const auto restore = qScopeGuard([&] { qputenv("DISPLAY", saved); });
    if (display.isNull())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", display);

    std::string whyNot;
    QVERIFY(!createDesktopInput(whyNot));
    QVERIFY2(QString::fromStdString(whyNot).contains(mentions), whyNot.c_str());
    QVERIFY(whyNot.find('\n') == std::string::npos);
}

void TestX11DesktopInput::serverWithoutXtestGivesReason()
{
    QProcess server;
    const QByteArray name = startServer(server, {"-extension", "XTEST"});
    QVERIFY2(!name.isEmpty(), "cannot start a second Xvfb");
    const QByteArray saved = qgetenv("DISPLAY");
    const auto restore = qScopeGuard([&] {
        qputenv("DISPLAY", saved);
        server.terminate();
        server.waitForFinished(timeoutMs);
    });
    qputenv("DISPLAY", name);
    std::string whyNot;
    QVERIFY(!createDesktopInput(whyNot));
    QVERIFY2(whyNot.find("XTEST") != std::string::npos, whyNot.c_str());
}

void TestX11DesktopInput::lostServerLeavesBackendQuiet()
{
    // Xlib's default answer to a lost connection ends the process: this test would not return.
    QProcess server;
    // A display number far above those that other tests' servers get (the lowest free one), so
    // that none of them answers in its place once it is gone: the backend would take that as a
    // cut connection and end the process.
    QByteArray name;
    for (int n = 700 + QCoreApplication::applicationPid() % 200; name.isEmpty() && n < 1000; ++n)
        name = startServer(server, {QStringLiteral(":%1").arg(n)});
    QVERIFY2(!name.isEmpty(), "cannot start a second Xvfb");
    const auto stop = qScopeGuard([&] { server.waitForFinished(timeoutMs); });
    Display *display = openConnection(name.constData());
    QVERIFY(display);
    X11DesktopInput input(display);
    CursorPoint point;
    QVERIFY(input.GetCursorPos(point));

    server.kill();
    QVERIFY(server.waitForFinished(timeoutMs));
    QVERIFY(!input.GetCursorPos(point));
    QVERIFY(!input.SetCursorPos(10, 10));
    input.mouse_event(LeftButtonPress);
    input.mouse_event(LeftButtonRelease);
    for (int vKey : watchedKeys)
        QCOMPARE(input.GetAsyncKeyState(vKey), 0);
}

void TestX11DesktopInput::cutConnectionEndsWithReason()
{
    // The server lives on but the backend's connection is cut: a program that goes on without
    // clicking would fail silently, so it ends, saying why. In a child, since it ends.
    int pipeEnds[2];
    QCOMPARE(pipe(pipeEnds), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[0]);
        std::signal(SIGPIPE, SIG_IGN);
        Display *display = openConnection(nullptr);
        if (!display)
            _exit(2);
        X11DesktopInput input(display);
        cutConnection(display);
        CursorPoint point;
        input.GetCursorPos(point);
        _exit(3); // went on as if nothing had happened
    }
    close(pipeEnds[1]);
    QByteArray said;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the child ended by a signal");
    QCOMPARE(WEXITSTATUS(status), 1);
    QCOMPARE(said,
             "varbelo: lost the connection to the X display \"" + qgetenv("DISPLAY") + "\"\n");
}

// A second, tiny server of the test's own; -displayfd 1 reports its number on our pipe. Returns
// its display name, empty if it did not start.
QByteArray TestX11DesktopInput::startServer(QProcess &server, const QStringList &options)
{
    server.start("Xvfb",
                 QStringList {"-displayfd", "1", "-screen", "0", "64x64x24", "-nolisten", "tcp",
                              "-noreset"}
                         + options);
    if (!server.waitForStarted(timeoutMs))
        return {};
    QByteArray number;
    while (!number.endsWith('\n') && server.waitForReadyRead(timeoutMs * 2))
        number += server.readAllStandardOutput();
    return number.endsWith('\n') ? ":" + number.trimmed() : QByteArray();
}

// Reads the key until it reads nonzero (or zero), as long as the server may take to report it.
std::int16_t TestX11DesktopInput::pollUntil(int vKey, bool nonzero)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::int16_t state = m_input->GetAsyncKeyState(vKey);
        if ((state != 0) == nonzero || std::chrono::steady_clock::now() > deadline)
            return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Two monitors side by side, the right one primary ("*" marks it so for xrandr).
void TestX11DesktopInput::setSplitLayout()
{
    m_splitLayout = true;
    QVERIFY(runXrandr({"--setmonitor", "left", "640/170x1024/270+0+0", "none"}));
    QVERIFY(runXrandr({"--setmonitor", "*right", "640/170x1024/270+640+0", "none"}));
}

// Runs xrandr and waits until the server has announced the change.
bool TestX11DesktopInput::runXrandr(const QStringList &arguments)
{
    m_display.forgetLayoutChanges();
    if (QProcess::execute("xrandr", arguments) != 0) {
        qWarning() << "xrandr" << arguments << "failed";
        return false;
    }
    return m_display.waitForLayoutChange(timeoutMs);
}

// Runs work on a thread while the test's connection holds the server: work that needs an answer
// from the server stalls until the grab ends.
bool TestX11DesktopInput::completesWhileServerGrabbed(const std::function<void()> &work)
{
    m_display.grabServer();
    auto done = std::async(std::launch::async, work);
    const bool inTime = done.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    m_display.ungrabServer();
    done.get();
    return inTime;
}

QTEST_GUILESS_MAIN(TestX11DesktopInput)
#include "tst_x11desktopinput.moc"
