// SPDX-License-Identifier: GPL-3.0-or-later
#include "coordinatebox.h"
#include "windowfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;

class TestGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.reset(); }

    void displayRule_data();
    void displayRule();
    void typingStoresEveryKeystroke();
    void characterFilter_data();
    void characterFilter();
    void editingKeysAndPasteUnfiltered();
    void deletingKeepsRowUntilRefresh();
    void rowKeys_data();
    void rowKeys();
    void keysInYBoxNeverChangeRow();
    void lastView();
    void dragOfThumbRefreshes();
    void scrollBarSteps();
    void editsGoToItemOnView();
    void togglesStoreAtOnce();
    void focusTracksRow();

private:
    std::unique_ptr<WindowFixture> f;
    AutoClicker &w() { return *f->window; }
};

void TestGrid::init()
{
    f = std::make_unique<WindowFixture>();
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
}

void TestGrid::displayRule_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("shownX");
    QTest::addColumn<QString>("shownY");
    QTest::newRow("0,5") << 0 << 5 << u"0"_s << u"5"_s;
    QTest::newRow("5,0") << 5 << 0 << u"5"_s << u"0"_s;
    QTest::newRow("0,0") << 0 << 0 << QString() << QString();
    QTest::newRow("-5,3") << -5 << 3 << u"-5"_s << u"3"_s;
    QTest::newRow("-5,-3") << -5 << -3 << QString() << QString();
    QTest::newRow("-32768,32767") << -32768 << 32767 << u"-32768"_s << u"32767"_s;
}

void TestGrid::displayRule()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QString, shownX);
    QFETCH(QString, shownY);
    f->setItem(3, x, y, 1, 0);
    w().VSc_Change();
    QCOMPARE(w().XPos[3]->text(), shownX);
    QCOMPARE(w().YPos[3]->text(), shownY);
    QVERIFY(w().LeftButtonDown[3]->isChecked()); // flags show whatever the coordinates
    QVERIFY(!w().LeftButtonUp[3]->isChecked());
    if (!shownX.isEmpty()) {
        // Showing a number stores it back unchanged.
        QCOMPARE(int(w().script.x[3]), x);
        QCOMPARE(int(w().script.y[3]), y);
    }
}

void TestGrid::typingStoresEveryKeystroke()
{
    QList<int> stored;
    for (const char c : {'1', '2', ':', '3'}) {
        QTest::keyClick(w().XPos[0], c);
        stored << w().script.x[0];
    }
    QCOMPARE(stored, (QList<int> {1, 12, 12, 12}));
    QCOMPARE(w().XPos[0]->text(), u"12:3"_s);
}

void TestGrid::characterFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("stored");
    QTest::newRow("letters") << u"a1b2"_s << u"12"_s << 12;
    QTest::newRow("blanks") << u"1 2"_s << u"12"_s << 12;
    QTest::newRow("plus") << u"+5"_s << u"5"_s << 5;
    QTest::newRow("point") << u"2.5"_s << u"25"_s << 25;
    QTest::newRow("minus kept") << u"-7"_s << u"-7"_s << -7;
    QTest::newRow("1-2") << u"1-2"_s << u"1-2"_s << 1;
    QTest::newRow("minus alone") << u"-"_s << u"-"_s << 0;
    QTest::newRow("--5") << u"--5"_s << u"--5"_s << 0;
    QTest::newRow(":5") << u":5"_s << u":5"_s << 0;
    QTest::newRow("letter e") << u"1e3"_s << u"13"_s << 13;
}

void TestGrid::characterFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, stored);
    for (auto *box : {w().XPos[2], w().YPos[2]}) {
        box->setFocus();
        QTest::keyClicks(box, typed);
        QCOMPARE(box->text(), shown);
    }
    QCOMPARE(int(w().script.x[2]), stored);
    QCOMPARE(int(w().script.y[2]), stored);

    QTest::keyClick(w().YPos[2], Qt::Key_Backspace);
    QCOMPARE(w().YPos[2]->text(), shown.chopped(1));
}

void TestGrid::editingKeysAndPasteUnfiltered()
{
    CoordinateBox *box = w().XPos[0];
    QTest::keyClicks(box, u"123"_s);
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(box->text(), u"23"_s);
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClick(box, '9');
    QCOMPARE(box->text(), u"293"_s);
    QCOMPARE(w().script.x[0], 293);

    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->setText(u"1e2 x"_s);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), u"1e2 x"_s);
    QCOMPARE(w().script.x[0], 100);

    // Pasted text is cut to the box's length and read like any text.
    box->selectAll();
    QApplication::clipboard()->setText(QString(1 << 20, u'9'));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), u"999999"_s);
    QCOMPARE(w().script.x[0], 32767);
}

void TestGrid::deletingKeepsRowUntilRefresh()
{
    f->setItem(0, 0, 5);
    w().VSc_Change();
    w().YPos[0]->setFocus();
    QTest::keyClick(w().YPos[0], Qt::Key_End);
    QTest::keyClick(w().YPos[0], Qt::Key_Backspace);
    QCOMPARE(w().XPos[0]->text(), u"0"_s);
    QCOMPARE(w().YPos[0]->text(), QString());
    QCOMPARE(w().script.y[0], 0);
    QVERIFY(w().script.isEmpty(0));
    w().VSc_Change();
    QCOMPARE(w().XPos[0]->text(), QString());
}

void TestGrid::rowKeys_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("newValue");
    QTest::addColumn<int>("focusRow");
    QTest::newRow("Up in row 0 at 0") << 0 << 0 << int(Qt::Key_Up) << 0 << 0;
    QTest::newRow("Up in row 0 at 7") << 0 << 7 << int(Qt::Key_Up) << 6 << 0;
    QTest::newRow("Up in row 5") << 5 << 7 << int(Qt::Key_Up) << 7 << 4;
    QTest::newRow("Down in row 5") << 5 << 7 << int(Qt::Key_Down) << 7 << 6;
    QTest::newRow("Enter in row 5") << 5 << 7 << int(Qt::Key_Return) << 7 << 6;
    QTest::newRow("keypad Enter in row 5") << 5 << 7 << int(Qt::Key_Enter) << 7 << 6;
    QTest::newRow("Down in row 19 at 100") << 19 << 100 << int(Qt::Key_Down) << 101 << 19;
    QTest::newRow("Enter in row 19 at 100") << 19 << 100 << int(Qt::Key_Return) << 101 << 19;
    QTest::newRow("Down in row 19 at 31980") << 19 << 31980 << int(Qt::Key_Down) << 31980 << 19;
    QTest::newRow("Enter in row 19 at 31980") << 19 << 31980 << int(Qt::Key_Return) << 31980 << 19;
}

void TestGrid::rowKeys()
{
    QFETCH(int, row);
    QFETCH(int, value);
    QFETCH(int, key);
    QFETCH(int, newValue);
    QFETCH(int, focusRow);
    w().VSc->setValue(value);
    w().XPos[row]->setFocus();
    QTest::keyClicks(w().XPos[row], u"12"_s);
    QTest::keyClick(w().XPos[row], Qt::Key(key));
    QCOMPARE(w().VSc->value(), newValue);
    QCOMPARE(QApplication::focusWidget(), w().XPos[focusRow]);
    QCOMPARE(int(w().FocusRow), focusRow);
    // The view has moved: the focused row shows the item at the new value.
    QCOMPARE(w().No[focusRow]->text(), QString::number(newValue + focusRow + 1));
    QCOMPARE(w().XPos[row]->text(), newValue == value ? u"12"_s : QString());
    QCOMPARE(w().script.x[value + row], 12);
}

void TestGrid::keysInYBoxNeverChangeRow()
{
    w().VSc->setValue(50);
    for (const int r : {0, 19}) {
        w().YPos[r]->setFocus();
        for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Return}) {
            QTest::keyClick(w().YPos[r], key);
            QCOMPARE(QApplication::focusWidget(), w().YPos[r]);
            QCOMPARE(w().VSc->value(), 50);
        }
    }
}

void TestGrid::lastView()
{
    f->setItem(31999, 4, 4, 0, 1);
    w().VSc->setValue(w().VSc->maximum());
    QCOMPARE(w().VSc->value(), 31980);
    for (int r = 0; r < AutoClicker::Rows; ++r)
        QCOMPARE(w().No[r]->text(), QString::number(31981 + r));
    QCOMPARE(w().XPos[19]->text(), u"4"_s);
    QVERIFY(w().LeftButtonUp[19]->isChecked());
}

void TestGrid::dragOfThumbRefreshes()
{
    f->setItem(500, 9, 9);
    w().VSc->setSliderDown(true);
    w().VSc->setSliderPosition(500);
    // The rows follow the thumb before the value settles.
    QCOMPARE(w().VSc->value(), 0);
    QCOMPARE(w().No[0]->text(), u"501"_s);
    QCOMPARE(w().XPos[0]->text(), u"9"_s);
    w().VSc->setSliderPosition(480);
    QCOMPARE(w().No[0]->text(), u"481"_s);
    QCOMPARE(w().XPos[20 - 1]->text(), QString());
    w().VSc->setSliderDown(false);
    QCOMPARE(w().VSc->value(), 480);
    QCOMPARE(w().No[19]->text(), u"500"_s);
}

void TestGrid::scrollBarSteps()
{
    w().VSc->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(w().No[0]->text(), u"2"_s);
    w().VSc->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(w().No[0]->text(), u"22"_s);
}

void TestGrid::editsGoToItemOnView()
{
    w().VSc->setValue(100);
    w().XPos[3]->setFocus();
    QTest::keyClicks(w().XPos[3], u"77"_s);
    QCOMPARE(w().script.x[103], 77);
    QCOMPARE(w().script.x[3], 0);
    w().VSc->setValue(0);
    QCOMPARE(w().XPos[3]->text(), QString());
    w().VSc->setValue(100);
    QCOMPARE(w().XPos[3]->text(), u"77"_s);
    QCOMPARE(w().YPos[3]->text(), u"0"_s);
}

void TestGrid::togglesStoreAtOnce()
{
    w().VSc->setValue(10);
    QTest::mouseClick(w().LeftButtonDown[4], Qt::LeftButton);
    QCOMPARE(w().script.down[14], 1);
    w().LeftButtonUp[4]->setFocus();
    QTest::keyClick(w().LeftButtonUp[4], Qt::Key_Space);
    QCOMPARE(w().script.up[14], 1);
    QTest::mouseClick(w().LeftButtonDown[4], Qt::LeftButton);
    QCOMPARE(w().script.down[14], 0);
    w().VSc->setValue(0);
    QVERIFY(!w().LeftButtonUp[14 - 10]->isChecked());
    QCOMPARE(w().script.up[14], 1);
}

void TestGrid::focusTracksRow()
{
    QTest::mouseClick(w().YPos[7], Qt::LeftButton);
    QCOMPARE(int(w().FocusRow), 7);
    QTest::mouseClick(w().XPos[12], Qt::LeftButton);
    QCOMPARE(int(w().FocusRow), 12);
    // Other controls and scrolling leave it alone.
    QTest::mouseClick(w().LeftButtonDown[3], Qt::LeftButton);
    w().LoopX->setFocus();
    w().VSc->setValue(40);
    QCOMPARE(int(w().FocusRow), 12);
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
