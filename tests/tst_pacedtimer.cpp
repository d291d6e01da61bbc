// SPDX-License-Identifier: GPL-3.0-or-later
#include "pacedtimer.h"

#include <QSignalSpy>
#include <QTest>

// How precisely it keeps time is the benchmark's business; here: that it ticks, repeats, stops
// and starts again.
class TestPacedTimer : public QObject
{
    Q_OBJECT

private slots:
    void repeatsUntilStopped();
    void stopFromItsOwnTickEndsTheTicks();
    void restartsAfterStop();
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

QTEST_GUILESS_MAIN(TestPacedTimer)
#include "tst_pacedtimer.moc"
