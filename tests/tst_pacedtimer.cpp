// SPDX-License-Identifier: GPL-3.0-or-later
#include "pacedtimer.h"

#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <thread>
#include <vector>

// How precisely it keeps time is the benchmark's business; here: that it ticks, repeats, stops
// and starts again.
class TestPacedTimer : public QObject
{
    Q_OBJECT

private slots:
    void repeatsUntilStopped();
    void stopFromItsOwnTickEndsTheTicks();
    void restartsAfterStop();
    void neverTwoTicksCloserThanAnIntervalAfterAStall_data();
    void neverTwoTicksCloserThanAnIntervalAfterAStall();
};

void TestPacedTimer::repeatsUntilStopped()
{
    PacedTimer timer(10);
    QSignalSpy ticks(&timer, &PacedTimer::timeout);
    QVERIFY(!timer.isActive());
    timer.start();
    QVERIFY(timer.isActive());
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 5, 5000);
    timer.stop();
    const auto counted = ticks.count();
    QTest::qWait(50);
    QCOMPARE(ticks.count(), counted);
}

void TestPacedTimer::stopFromItsOwnTickEndsTheTicks()
{
    PacedTimer timer(5);
    int ticks = 0;
    connect(&timer, &PacedTimer::timeout, this, [&] {
        if (++ticks == 2)
            timer.stop();
    });
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 2, 5000);
    QTest::qWait(50);
    QCOMPARE(ticks, 2);
    QVERIFY(!timer.isActive());
}

void TestPacedTimer::restartsAfterStop()
{
    PacedTimer timer(5);
    QSignalSpy ticks(&timer, &PacedTimer::timeout);
    timer.start();
    timer.stop();
    QTest::qWait(30);
    QCOMPARE(ticks.count(), 0);
    timer.start();
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 1, 5000);
}

void TestPacedTimer::neverTwoTicksCloserThanAnIntervalAfterAStall_data()
{
    QTest::addColumn<double>("stall"); // in intervals
    QTest::newRow("1.1") << 1.1;
    QTest::newRow("1.5") << 1.5;
    QTest::newRow("1.9") << 1.9;
    QTest::newRow("3.5") << 3.5;
}

// The first tick stands still for a while, as a stopped process would. Ticks can only come
// late, never early, so the gaps below hold however busy the machine is.
void TestPacedTimer::neverTwoTicksCloserThanAnIntervalAfterAStall()
{
    QFETCH(double, stall);
    using namespace std::chrono;
    constexpr milliseconds interval(40);
    PacedTimer timer(int(interval.count()));
    std::vector<steady_clock::time_point> ticks;
    connect(&timer, &PacedTimer::timeout, this, [&] {
        ticks.push_back(steady_clock::now());
        if (ticks.size() == 1)
            std::this_thread::sleep_for(duration<double, std::milli>(stall * interval.count()));
        if (ticks.size() == 5)
            timer.stop();
    });
    timer.start();
    QTRY_VERIFY_WITH_TIMEOUT(!timer.isActive(), 5000);
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const auto gap = duration_cast<microseconds>(ticks[i] - ticks[i - 1]);
        QVERIFY2(gap >= interval - PacedTimer::Jitter,
                 qPrintable(QStringLiteral("ticks %1 and %2 came %3 ms apart")
                                    .arg(i)
                                    .arg(i + 1)
                                    .arg(gap.count() / 1000.0)));
    }
}

QTEST_GUILESS_MAIN(TestPacedTimer)
#include "tst_pacedtimer.moc"
