// SPDX-License-Identifier: GPL-3.0-or-later
// The run on its own, over the fake desktop, without a window.
#include "fakedesktopinput.h"
#include "pacedtimer.h"
#include "playback.h"
#include "script.h"

#include <limits>
#include <memory>

#include <QTest>

using namespace Qt::StringLiterals;

// A script, the fake desktop and a run over them; the test ticks the run itself.
struct RunFixture
{
    // Ticks n times, as the timer would: only while the run goes on.
    int tick(int n = 1)
    {
        int ticked = 0;
        for (; ticked < n && run.Clicker->isActive(); ++ticked)
            run.Clicker_Timer();
        return ticked;
    }

    // Ticks until the run stops by itself, at most `limit` ticks; returns the ticks taken.
    int tickUntilStopped(int limit) { return tick(limit); }

    void setItem(int i, int x, int y, int down = 0, int up = 0)
    {
        script->setItem(i,
                        {std::int16_t(x), std::int16_t(y), std::int16_t(down), std::int16_t(up)});
    }

    std::unique_ptr<Script> script = std::make_unique<Script>();
    FakeDesktopInput desktop;
    Playback run {*script, desktop};
};

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void init() { f = std::make_unique<RunFixture>(); }
    void cleanup() { f.reset(); }

    void startAndStop();
    void allEmpty_data();
    void allEmpty();
    void itemsAtZeroAndFiveOverTwoPasses();
    void oneClickThreePasses();
    void edgeOfScreenPlayedAndEmptyItemSkipped();
    void lastItemOfTableIsPlayed();
    void stopDuringRunRestartsAtFirstItem();
    void loweringLoopCountEndsAtNextEndOfPass();
    void loopText_data();
    void loopText();
    void endlessLoopCountRunsOn_data();
    void endlessLoopCountRunsOn();
    void dragHoldsButtonThroughMoves();
    void everyStopReleasesHeldButton_data();
    void everyStopReleasesHeldButton();
    void stopWithoutHeldButtonSendsNothing();
    void editAheadOfPlaybackIsPlayed();
    void refusedMoveClicksNothingAndIsShown_data();
    void refusedMoveClicksNothingAndIsShown();
    void noReleaseWhosePressWasNotSent();
    void firstStepWaitsForTheStopKey_data();
    void firstStepWaitsForTheStopKey();

private:
    std::unique_ptr<RunFixture> f;
    Playback &run() { return f->run; }
};

void TestPlayback::startAndStop()
{
    QList<bool> running;
    connect(&run(), &Playback::runningChanged, this, [&](bool on) { running << on; });
    QVERIFY(!run().isRunning());
    QCOMPARE(run().Clicker->interval(), 1000);

    run().start();
    QVERIFY(run().isRunning());
    QCOMPARE(run().status(), u"Click to Start"_s);
    QCOMPARE(run().PlayIndex, -1);

    run().stop();
    QVERIFY(!run().isRunning());
    QCOMPARE(running, QList<bool>({true, false}));
}

void TestPlayback::allEmpty_data()
{
    QTest::addColumn<QString>("loops");
    QTest::addColumn<int>("ticks");
    QTest::newRow("loop 1") << u"1"_s << 1;
    QTest::newRow("loop 5") << u"5"_s << 5;
}

void TestPlayback::allEmpty()
{
    QFETCH(QString, loops);
    QFETCH(int, ticks);
    run().setLoopText(loops);
    run().start();
    QCOMPARE(f->tickUntilStopped(100), ticks);
    QCOMPARE(f->desktop.actions(), std::string());
    QCOMPARE(run().status(), u"Click to Start"_s);
    QVERIFY(!run().isRunning());
}

void TestPlayback::itemsAtZeroAndFiveOverTwoPasses()
{
    f->setItem(0, 10, 20);
    f->setItem(5, 30, 40);
    run().setLoopText(u"2"_s);
    run().start();

    const struct
    {
        const char *status;
        int playIndex;
        int passes;
        const char *log;
    } expected[] = {
            {"Move 1", 0, 0, "move 10,20"}, {"Move 6", 5, 0, "move 30,40"},
            {"Move 6", -1, 1, ""}, // end of pass: nothing moves, the status stays
            {"Move 1", 0, 1, "move 10,20"}, {"Move 6", 5, 1, "move 30,40"},
    };
    for (const auto &step : expected) {
        f->desktop.clearActions();
        QCOMPARE(f->tick(), 1);
        QCOMPARE(run().status(), QString::fromLatin1(step.status));
        QCOMPARE(run().PlayIndex, step.playIndex);
        QCOMPARE(run().PassCount, step.passes);
        QCOMPARE(f->desktop.actions(), std::string(step.log));
    }
    QCOMPARE(f->tick(), 1); // tick 6 ends the run
    QVERIFY(!run().isRunning());
    QCOMPARE(run().status(), u"Click to Start"_s);
    QCOMPARE(run().PassCount, 0);
}

void TestPlayback::oneClickThreePasses()
{
    f->setItem(0, 100, 200, 1, 1);
    run().setLoopText(u"3"_s);
    run().start();
    QStringList clicksOnTicks;
    for (int t = 1; run().isRunning(); ++t) {
        f->desktop.clearActions();
        f->tick();
        if (!f->desktop.actions().empty()) {
            QCOMPARE(f->desktop.actions(), std::string("move 100,200; down; up"));
            clicksOnTicks << QString::number(t);
        }
        QVERIFY(t <= 6);
        if (!run().isRunning())
            QCOMPARE(t, 6);
    }
    QCOMPARE(clicksOnTicks.join(u','), u"1,3,5"_s);
}

void TestPlayback::edgeOfScreenPlayedAndEmptyItemSkipped()
{
    f->setItem(0, 0, 0, 1, 0); // empty: its press is never sent
    f->setItem(1, 0, 300);
    f->setItem(2, -5, -5, 1, 1);
    f->setItem(3, 7, 0);
    run().start();
    f->tickUntilStopped(10);
    QCOMPARE(f->desktop.actions(), std::string("move 0,300; move 7,0"));
}

void TestPlayback::lastItemOfTableIsPlayed()
{
    f->setItem(Script::LastIndex, 5, 6);
    run().start();
    f->tick();
    QCOMPARE(f->desktop.actions(), std::string("move 5,6"));
    QCOMPARE(run().status(), u"Move 32001"_s);
    f->tick();
    QVERIFY(!run().isRunning());
}

void TestPlayback::stopDuringRunRestartsAtFirstItem()
{
    f->setItem(0, 1, 1);
    f->setItem(1, 2, 2);
    f->setItem(2, 3, 3);
    run().setLoopText(u"3"_s);
    run().start();
    f->tick(5); // into the second pass
    QCOMPARE(run().PassCount, 1);

    run().stop();
    QVERIFY(!run().isRunning());
    QCOMPARE(run().PlayIndex, -1);
    QCOMPARE(run().PassCount, 0);
    QCOMPARE(run().status(), u"Click to Start"_s);

    f->desktop.clearActions();
    run().start();
    QCOMPARE(run().status(), u"Click to Start"_s);
    f->tick();
    QCOMPARE(f->desktop.actions(), std::string("move 1,1"));
    QCOMPARE(run().status(), u"Move 1"_s);
}

void TestPlayback::loweringLoopCountEndsAtNextEndOfPass()
{
    f->setItem(0, 1, 1);
    f->setItem(1, 2, 2);
    run().setLoopText(u"10"_s);
    run().start();
    f->tick(3 + 3 + 1); // two passes done, first item of the third played
    QCOMPARE(run().PassCount, 2);
    run().setLoopText(u"1"_s);
    QVERIFY(run().isRunning()); // not at once
    QCOMPARE(f->tick(1), 1);
    QVERIFY(run().isRunning());
    QCOMPARE(f->tick(1), 1); // end of the third pass
    QVERIFY(!run().isRunning());
}

void TestPlayback::loopText_data()
{
    QTest::addColumn<QString>("loops");
    QTest::addColumn<int>("passes");
    QTest::newRow("1") << u"1"_s << 1;
    QTest::newRow("3") << u"3"_s << 3;
    QTest::newRow("2.5") << u"2.5"_s << 3;
    QTest::newRow("0") << u"0"_s << 1;
    QTest::newRow("-4") << u"-4"_s << 1;
    QTest::newRow("abc") << u"abc"_s << 1;
    QTest::newRow("empty") << QString() << 1;
    QTest::newRow("3 0") << u"3 0"_s << 30;
    QTest::newRow("4x") << u"4x"_s << 4;
    QTest::newRow("&H10") << u"&H10"_s << 16;
    QTest::newRow("&HFFFF is -1") << u"&HFFFF"_s << 1;
    QTest::newRow("blanks only") << u"  \t "_s << 1;
}

void TestPlayback::loopText()
{
    QFETCH(QString, loops);
    QFETCH(int, passes);
    f->setItem(7, 1, 1);
    run().setLoopText(loops);
    run().start();
    // One item: a pass takes two ticks.
    QCOMPARE(f->tickUntilStopped(1000), passes * 2);
    QCOMPARE(f->desktop.actionCount(), passes);
}

void TestPlayback::endlessLoopCountRunsOn_data()
{
    QTest::addColumn<QString>("loops");
    QTest::newRow("1e9") << u"1e9"_s;
    QTest::newRow("1e999") << u"1e999"_s;
    QTest::newRow("beyond the pass counter") << u"3000000000"_s;
    QTest::newRow("&HFFFFFFFFFFFFFFFF") << u"&HFFFFFFFFFFFFFFFF"_s;
}

void TestPlayback::endlessLoopCountRunsOn()
{
    QFETCH(QString, loops);
    run().setLoopText(loops);
    run().start();
    QCOMPARE(f->tick(500), 500);
    QVERIFY(run().isRunning());
    QCOMPARE(run().PassCount, 500);

    // At the very end of its range the counter stays put instead of wrapping round.
    run().PassCount = std::numeric_limits<std::int32_t>::max();
    f->tick(3);
    if (loops == u"1e9"_s) {
        QVERIFY(!run().isRunning()); // a billion passes do end
    } else {
        QVERIFY(run().isRunning());
        QCOMPARE(run().PassCount, std::numeric_limits<std::int32_t>::max());
    }
}

void TestPlayback::dragHoldsButtonThroughMoves()
{
    f->setItem(0, 10, 10, 1, 0);
    f->setItem(1, 50, 60);
    f->setItem(2, 90, 80, 0, 1);
    run().start();
    f->tick(2);
    QVERIFY(f->desktop.buttonDown());
    f->tick();
    QVERIFY(!f->desktop.buttonDown());
    QCOMPARE(f->desktop.actions(), std::string("move 10,10; down; move 50,60; move 90,80; up"));
}

// The window's ways (the button, Esc, a stop key, closing) all come to stop(); tst_mainwindow
// shows that they do.
void TestPlayback::everyStopReleasesHeldButton_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("stop") << u"stop"_s;
    QTest::newRow("end of loop count") << u"end"_s;
    QTest::newRow("input lost") << u"lost"_s;
}

void TestPlayback::everyStopReleasesHeldButton()
{
    QFETCH(QString, how);
    f->setItem(0, 10, 10, 1, 0); // pressed, never released by the script
    run().start();
    f->tick();
    QVERIFY(f->desktop.buttonDown());

    QString shown; // lives as long as the connection's receiver, the fixture's run
    connect(&run(), &Playback::noticeChanged, &run(), [&](const QString &n) { shown = n; });
    if (how == u"stop") {
        run().stop();
    } else if (how == u"end") {
        f->tick();
    } else {
        f->desktop.loseInput("the desktop ended the remote-control session");
        QCOMPARE(shown, u"Run stopped: the desktop ended the remote-control session."_s);
    }
    QVERIFY(!run().isRunning());
    QVERIFY(!f->desktop.buttonDown());
    QCOMPARE(f->desktop.actions(), std::string("move 10,10; down; up"));

    // The release is sent once: a later start and stop sends nothing more.
    run().start();
    run().stop();
    QCOMPARE(f->desktop.actionCount(), 3);
}

void TestPlayback::stopWithoutHeldButtonSendsNothing()
{
    f->setItem(0, 10, 10, 1, 1);
    run().start();
    f->tick();
    run().stop();
    run().stop();
    QCOMPARE(f->desktop.actions(), std::string("move 10,10; down; up"));
}

// Every step is read from the script when the run reaches it.
void TestPlayback::editAheadOfPlaybackIsPlayed()
{
    f->setItem(0, 10, 10);
    f->setItem(3, 30, 30);
    run().start();
    f->tick();
    f->setItem(2, 20, 25, 1, 0); // ahead of the pass
    f->tick();
    QCOMPARE(f->desktop.actions(), std::string("move 10,10; move 20,25; down"));
    // Item 0 is behind the pass: a change there waits for the next pass.
    f->setItem(0, 11, 10);
    f->tick();
    QCOMPARE(f->desktop.actions(), std::string("move 10,10; move 20,25; down; move 30,30"));
}

void TestPlayback::refusedMoveClicksNothingAndIsShown_data()
{
    QTest::addColumn<bool>("offScreen"); // missed for want of a monitor, not refused
    QTest::addColumn<QString>("why"); // %1: the coordinate of the missed step, x and y alike
    QTest::newRow("refused") << false << u"no screen is there"_s;
    QTest::newRow("no monitor there") << true << u"no screen at (%1, %1)"_s;
}

void TestPlayback::refusedMoveClicksNothingAndIsShown()
{
    QFETCH(bool, offScreen);
    QFETCH(QString, why);
    // Monitors that hold 10,10 and 40,40 (the second's last pixel) but neither 20,20 (past the
    // first's last) nor 30,30 (before the second's first), or else a desktop that refuses moves.
    const auto miss = [&](bool on) {
        if (offScreen)
            f->desktop.setMonitors(
                    on ? std::vector<FakeDesktopInput::Monitor> {{0, 0, 20, 20}, {31, 31, 10, 10}}
                       : std::vector<FakeDesktopInput::Monitor> {});
        else
            f->desktop.refuseMoves(on ? why.toStdString() : std::string());
    };
    const auto reason = [&](int at) { return offScreen ? why.arg(at) : why; };
    f->setItem(0, 10, 10, 1, 0);
    f->setItem(1, 20, 20, 0, 1); // missed: the held button is let go all the same
    f->setItem(2, 30, 30, 1, 1); // missed: neither press nor release
    f->setItem(3, 40, 40, 1, 1);
    run().setLoopText(u"2"_s);
    run().start();
    f->tick();
    miss(true);
    f->tick(2);
    QVERIFY(run().isRunning());
    QVERIFY(!f->desktop.buttonDown());
    QCOMPARE(run().status(), u"Missed 3"_s);
    const QString missed = u"Step 3 not played (2 steps so far): "_s + reason(30) + u'.';
    QCOMPARE(run().notice(), missed);

    // The desktop takes input again; a window that drops clicks is named once in a run, and the
    // clicks still go.
    miss(false);
    f->desktop.dropClicksAt(40, 40, "it drops them");
    f->tick(2); // step 4, end of pass
    f->desktop.dropClicksAt(10, 10, "it drops them too");
    f->tickUntilStopped(10);
    QCOMPARE(f->desktop.actions(),
             std::string("move 10,10; down; no move 20,20; up; no move 30,30; move 40,40; down; "
                         "up; move 10,10; down; move 20,20; up; move 30,30; down; up; move 40,40; "
                         "down; up"));
    QCOMPARE(run().notice(), u"Step 4: it drops them\n\n"_s + missed);

    // A new run counts its own missed steps, and a step that only moves over a window that
    // drops clicks sends none, so it is not named.
    f->setItem(2, 30, 30);
    f->desktop.dropClicksAt(30, 30, "it drops them");
    run().setLoopText(u"1"_s);
    run().start();
    QCOMPARE(run().notice(), QString());
    f->tick();
    miss(true);
    f->tick();
    miss(false);
    f->tickUntilStopped(10);
    QCOMPARE(run().notice(), u"Step 2 not played: "_s + reason(20) + u'.');
}

void TestPlayback::noReleaseWhosePressWasNotSent()
{
    f->desktop.setMonitors({{15, 15, 100, 100}}); // 10,10 lies on none
    f->setItem(0, 10, 10, 1, 0); // missed: its press is not sent
    f->setItem(1, 20, 20, 0, 1); // so neither is this release
    f->setItem(2, 30, 30, 0, 1); // a release alone still goes
    f->setItem(3, 40, 40, 1, 0); // pressed...
    f->setItem(4, 10, 10, 1, 0); // ...missed while held: the button stays down
    f->setItem(5, 50, 50, 0, 1); // and is released here
    run().start();
    f->tickUntilStopped(10);
    QCOMPARE(f->desktop.actions(),
             std::string("no move 10,10; move 20,20; move 30,30; up; move 40,40; down; "
                         "no move 10,10; move 50,50; up"));
    QCOMPARE(run().notice(),
             u"Step 5 not played (2 steps so far): no screen at (10, 10).\n\n"
             "Step 2 released nothing: the press of step 1 was not sent."_s);
}

void TestPlayback::firstStepWaitsForTheStopKey_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("notice"); // once answered
    QTest::newRow("Esc") << u"Esc"_s << QString();
    QTest::newRow("another key") << u"Press <Control>q"_s
                                 << u"Esc does not stop this run: the desktop bound another key "
                                    "to it (Press <Control>q)."_s;
    QTest::newRow("none") << u"none"_s
                          << u"Esc cannot stop this run (no key was bound): press Stop, or a key "
                             "bound to varbelo --stop."_s;
    QTest::newRow("stopped while asking") << QString() << QString();
}

void TestPlayback::firstStepWaitsForTheStopKey()
{
    QFETCH(QString, answer);
    QFETCH(QString, notice);
    QList<bool> running;
    connect(&run(), &Playback::runningChanged, this, [&](bool on) { running << on; });
    f->setItem(0, 10, 10, 1, 1);
    run().start(true);
    QVERIFY(run().isRunning());
    QVERIFY(!run().Clicker->isActive()); // no step until the desktop answers
    QCOMPARE(run().notice(),
             u"Asking the desktop for Esc: the first step comes once it answers. Stop cancels."_s);

    if (answer.isEmpty()) {
        run().stop();
        run().stopKeyBound(QString()); // a late answer starts nothing
        QVERIFY(!run().Clicker->isActive());
        QCOMPARE(running, QList<bool>({true, false}));
        QCOMPARE(f->desktop.actionCount(), 0);
        return;
    }
    if (answer == u"none")
        run().stopKeyUnavailable(u"no key was bound"_s);
    else
        run().stopKeyBound(answer == u"Esc" ? QString() : answer);
    QCOMPARE(run().notice(), notice);
    QCOMPARE(f->tickUntilStopped(10), 2);
    QCOMPARE(f->desktop.actions(), std::string("move 10,10; down; up"));
}

QTEST_GUILESS_MAIN(TestPlayback)
#include "tst_playback.moc"
