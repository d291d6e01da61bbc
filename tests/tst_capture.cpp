// SPDX-License-Identifier: GPL-3.0-or-later
#include "coordinatebox.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.reset(); }

    void liveReadoutShowsWholeValues_data();
    void liveReadoutShowsWholeValues();
    void keysAreQueriedInOrder();
    void heldKeyCapturesOnce_data();
    void heldKeyCapturesOnce();
    void shiftHeldWhileSpaceTappedCapturesOnce();
    void pressBetweenTicksDoesNotCapture();
    void releaseThenPressCapturesNextRow();
    void captureAdvances_data();
    void captureAdvances();
    void endOfRangeOverwritesLastRow();
    void positionStoredWhole_data();
    void positionStoredWhole();
    void pixelUnderPointer_data();
    void pixelUnderPointer();
    void captureKeepsFlags();
    void escStopsRunOnly();
    void captureDuringPlayback();
    void layerCapturesWhereDesktopIsHidden();

private:
    void poll(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i)
            w().Hotkey_XY_Timer();
    }
    int capturedRows() const
    {
        int n = 0;
        for (const auto *box : f->window->XPos)
            n += !box->text().isEmpty();
        return n;
    }

    std::unique_ptr<WindowFixture> f;
    AutoClicker &w() { return *f->window; }
};

void TestCapture::init()
{
    f = std::make_unique<WindowFixture>();
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    QCOMPARE(QApplication::focusWidget(), w().XPos[0]);
}

void TestCapture::liveReadoutShowsWholeValues_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("on the primary") << 640 << 480;
    QTest::newRow("left of the primary") << -1920 << 5;
    QTest::newRow("far right, beyond 16 bits") << 40000 << -70000;
}

void TestCapture::liveReadoutShowsWholeValues()
{
    QFETCH(int, x);
    QFETCH(int, y);
    f->desktop->placePointer(x, y);
    poll();
    QCOMPARE(w().Label4->text(), u"X: "_s + QString::number(x));
    QCOMPARE(w().Label5->text(), u"Y: "_s + QString::number(y));
    QCOMPARE(f->desktop->actions(), std::string()); // reading moves nothing
}

void TestCapture::keysAreQueriedInOrder()
{
    poll();
    // Shift then Space, twice, then Esc.
    QCOMPARE(f->desktop->keyQueries(), std::string("16 32 16 32 27"));
    f->desktop->holdKey(SpaceKey);
    poll();
    f->desktop->clearKeyQueries();
    poll(); // latched: the second query is skipped
    QCOMPARE(f->desktop->keyQueries(), std::string("16 32 27"));
}

void TestCapture::heldKeyCapturesOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(SpaceKey);
    QTest::newRow("Shift") << int(ShiftKey);
}

void TestCapture::heldKeyCapturesOnce()
{
    QFETCH(int, key);
    f->desktop->placePointer(100, 200);
    f->desktop->holdKey(key);
    poll(40); // two seconds
    QCOMPARE(capturedRows(), 1);
    QCOMPARE(w().XPos[0]->text(), u"100"_s);
    QCOMPARE(w().YPos[0]->text(), u"200"_s);
    QCOMPARE(int(w().CaptureLatch), -1);
    QCOMPARE(int(w().FocusRow), 1);
}

void TestCapture::shiftHeldWhileSpaceTappedCapturesOnce()
{
    f->desktop->holdKey(ShiftKey);
    poll();
    f->desktop->holdKey(SpaceKey);
    poll(3);
    f->desktop->releaseKey(SpaceKey);
    poll(3);
    QCOMPARE(capturedRows(), 1);
    f->desktop->releaseKey(ShiftKey);
    poll();
    QCOMPARE(int(w().CaptureLatch), 0);
    QCOMPARE(capturedRows(), 1);
}

void TestCapture::pressBetweenTicksDoesNotCapture()
{
    f->desktop->tapKey(SpaceKey);
    poll();
    QCOMPARE(capturedRows(), 0);
    QCOMPARE(int(w().CaptureLatch), 0);
}

void TestCapture::releaseThenPressCapturesNextRow()
{
    f->desktop->placePointer(10, 11);
    f->desktop->holdKey(SpaceKey);
    poll(2);
    f->desktop->releaseKey(SpaceKey);
    poll();
    f->desktop->placePointer(20, 21);
    f->desktop->holdKey(SpaceKey);
    poll();
    QCOMPARE(w().XPos[1]->text(), u"20"_s);
    QCOMPARE(w().script.y[1], 21);
    QCOMPARE(w().script.x[0], 10);
    QCOMPARE(QApplication::focusWidget(), w().XPos[2]);
}

void TestCapture::captureAdvances_data()
{
    QTest::addColumn<int>("focusRow");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("newFocusRow");
    QTest::addColumn<int>("newValue");
    QTest::newRow("row 0 after start-up") << 0 << 0 << 0 << 1 << 0;
    QTest::newRow("row 5") << 5 << 0 << 5 << 6 << 0;
    QTest::newRow("row 19 at 100") << 19 << 100 << 119 << 19 << 101;
}

void TestCapture::captureAdvances()
{
    QFETCH(int, focusRow);
    QFETCH(int, value);
    QFETCH(int, item);
    QFETCH(int, newFocusRow);
    QFETCH(int, newValue);
    w().VSc->setValue(value);
    w().XPos[focusRow]->setFocus();
    QCOMPARE(int(w().FocusRow), focusRow);
    f->desktop->placePointer(300, 400);
    f->desktop->holdKey(SpaceKey);
    poll();
    QCOMPARE(w().script.x[item], 300);
    QCOMPARE(w().script.y[item], 400);
    QCOMPARE(int(w().FocusRow), newFocusRow);
    QCOMPARE(QApplication::focusWidget(), w().XPos[newFocusRow]);
    QCOMPARE(w().VSc->value(), newValue);
    QCOMPARE(w().No[newFocusRow]->text(), QString::number(newValue + newFocusRow + 1));
}

void TestCapture::endOfRangeOverwritesLastRow()
{
    w().VSc->setValue(31980);
    w().XPos[19]->setFocus();
    f->desktop->placePointer(1, 2);
    f->desktop->holdKey(SpaceKey);
    poll();
    f->desktop->releaseKey(SpaceKey);
    poll();
    f->desktop->placePointer(3, 4);
    f->desktop->holdKey(SpaceKey);
    poll();
    QCOMPARE(w().VSc->value(), 31980);
    QCOMPARE(w().No[19]->text(), u"32000"_s);
    QCOMPARE(w().script.x[31999], 3);
    QCOMPARE(w().script.y[31999], 4);
    QCOMPARE(w().script.x[31998], 0);
    QVERIFY(w().script.isEmpty(Script::LastIndex)); // never reached through the grid
}

// A fractional position as the recording layers get it, and the pixel recorded.
void TestCapture::pixelUnderPointer_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("pixel"); // on a monitor 800 wide
    QTest::newRow("over a pixel") << 100.6 << 100;
    QTest::newRow("a 256th short of its edge (sway 1.10)") << 599.99609375 << 600;
    QTest::newRow("in the last column") << 799.6 << 799;
    QTest::newRow("at the far edge") << 800.0 << 799;
}

void TestCapture::pixelUnderPointer()
{
    QFETCH(double, position);
    QFETCH(int, pixel);
    QCOMPARE(pixelUnder(position, 800), pixel);
}

void TestCapture::positionStoredWhole_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("storedX");
    QTest::addColumn<int>("storedY");
    QTest::newRow("monitor to the left") << -1920 << 300 << -1920 << 300;
    QTest::newRow("monitor above") << 20 << -1080 << 20 << -1080;
    QTest::newRow("five digits") << 10240 << 2160 << 10240 << 2160;
    QTest::newRow("16-bit extremes") << -32768 << 32767 << -32768 << 32767;
    QTest::newRow("beyond 16 bits, clamped") << 40000 << -40000 << 32767 << -32768;
    QTest::newRow("top-left corner") << 0 << 0 << 0 << 0;
}

void TestCapture::positionStoredWhole()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, storedX);
    QFETCH(int, storedY);
    f->desktop->placePointer(x, y);
    f->desktop->holdKey(SpaceKey);
    poll();
    QCOMPARE(int(w().script.x[0]), storedX);
    QCOMPARE(int(w().script.y[0]), storedY);
    QCOMPARE(w().Label4->text(), u"X: "_s + QString::number(x));
    // The row shows what was captured, even (0, 0), until the next refresh.
    QCOMPARE(w().XPos[0]->text(), QString::number(x).left(AutoClicker::CoordinateLength));
}

void TestCapture::captureKeepsFlags()
{
    f->setItem(0, 5, 5, 1, 1);
    w().VSc_Change();
    f->desktop->placePointer(50, 60);
    f->desktop->holdKey(ShiftKey);
    poll();
    QCOMPARE(w().script.item(0).down, 1);
    QCOMPARE(w().script.item(0).up, 1);
    QCOMPARE(w().script.x[0], 50);
}

void TestCapture::escStopsRunOnly()
{
    f->desktop->holdKey(EscapeKey);
    poll(3);
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    QVERIFY(!w().playback().isRunning());

    w().Execute_Click();
    QVERIFY(w().playback().isRunning());
    poll();
    QVERIFY(!w().playback().isRunning());
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    poll(5); // still held: no restart
    QVERIFY(!w().playback().isRunning());

    // A short press between two polls still reaches the Esc test.
    f->desktop->releaseKey(EscapeKey);
    w().Execute_Click();
    f->desktop->tapKey(EscapeKey);
    poll();
    QVERIFY(!w().playback().isRunning());
}

void TestCapture::captureDuringPlayback()
{
    f->setItem(0, 10, 10);
    w().LoopX->setText(u"100"_s);
    w().Execute_Click();
    f->tick();
    w().XPos[1]->setFocus();
    f->desktop->placePointer(70, 80);
    f->desktop->holdKey(SpaceKey);
    poll();
    QVERIFY(w().playback().isRunning());
    f->desktop->clearActions();
    f->tick();
    QCOMPARE(f->desktop->actions(), std::string("move 70,80"));
}

// Where the desktop input is blind (Wayland) a Record toggle puts a surface over each screen,
// and the pointer and keys on it feed the same capture: global position, one row, advance.
void TestCapture::layerCapturesWhereDesktopIsHidden()
{
    QCOMPARE(w().Record, nullptr); // elsewhere the window has no such control
    f = std::make_unique<WindowFixture>(false);
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    QVERIFY(w().Record && w().Record->isVisible());

    w().Record->click();
    QWidgetList surfaces;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == u"captureSurface"_s && widget->isVisible())
            surfaces << widget;
    QCOMPARE(surfaces.size(), QGuiApplication::screens().size());
    QWidget *surface = surfaces.last();
    // Within the last column, as a scaled output reports it: the pixel under the pointer, on
    // this screen.
    const QRect screen = surface->screen()->geometry();
    const QPointF local(screen.width() - 0.4, 40.7);
    QMouseEvent move(QEvent::MouseMove, local, surface->mapToGlobal(local), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(surface, &move);
    QTest::keyPress(surface, Qt::Key_Space);
    poll();
    const QPoint at = screen.topLeft() + QPoint(screen.width() - 1, 40);
    QCOMPARE(w().XPos[0]->text(), QString::number(at.x()));
    QCOMPARE(w().YPos[0]->text(), QString::number(at.y()));
    QCOMPARE(w().Label4->text(), u"X: "_s + QString::number(at.x()));
    QCOMPARE(w().FocusRow, 1);

    QTest::keyRelease(surface, Qt::Key_Space);
    QTest::keyClick(surface, Qt::Key_Escape);
    QVERIFY(!w().Record->isChecked());
    poll(2);
    QCOMPARE(capturedRows(), 1);
}

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
