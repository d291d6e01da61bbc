// SPDX-License-Identifier: GPL-3.0-or-later
#include "coordinatebox.h"
#include "windowfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

using namespace Qt::StringLiterals;

// Pasted text reaches the boxes unfiltered: whatever it is, the program reads it as a number
// the defined way, without crashing, hanging or losing what the script already holds.
class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.reset(); }

    void pasted_data();
    void pasted();

private:
    void paste(QLineEdit *box, const QString &text)
    {
        box->setFocus();
        box->selectAll();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    }

    std::unique_ptr<WindowFixture> f;
    AutoClicker &w() { return *f->window; }
};

void TestBadInput::init()
{
    f = std::make_unique<WindowFixture>();
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
}

void TestBadInput::pasted_data()
{
    constexpr int endless = -1;
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("coordinate"); // what an X box stores
    QTest::addColumn<int>("passes"); // what the loop box gives

    QTest::newRow("letters") << u"abc"_s << 0 << 1;
    QTest::newRow("1 MiB of digits") << QString(1 << 20, u'9') << 32767 << endless;
    QTest::newRow("1 MiB of blanks") << QString(1 << 20, u' ') << 0 << 1;
    QTest::newRow("1 MiB of zeros, then 3") << QString(1 << 20, u'0') + u'3' << 0 << 3;
    QTest::newRow("1e999") << u"1e999"_s << 32767 << endless;
    QTest::newRow("-1e999") << u"-1e999"_s << -32768 << 1;
    QTest::newRow("&HFFFFFFFFFFFFFFFF") << u"&HFFFFFFFFFFFFFFFF"_s << -1 << endless;
    QTest::newRow("&O") << u"&O"_s << 0 << 1;
    QTest::newRow("blanks only") << u" \t \n "_s << 0 << 1;
    QTest::newRow("line feeds inside") << u"1\n2"_s << 12 << 12;
    QTest::newRow("control characters") << u"\u0001\u0002"_s << 0 << 1;
    QTest::newRow("not Latin") << u"\u0663\u0663"_s << 0 << 1; // Arabic-Indic digits
    QTest::newRow("beyond 16 bits") << u"40000"_s << 32767 << 40000;
}

void TestBadInput::pasted()
{
    QFETCH(QString, text);
    QFETCH(int, coordinate);
    QFETCH(int, passes);

    f->setItem(1, 10, 10, 1, 1); // played once a pass, untouched by the pastes
    w().VSc_Change();

    paste(w().XPos[0], text);
    QCOMPARE(w().XPos[0]->text(), text.left(AutoClicker::CoordinateLength));
    QCOMPARE(int(w().script.x[0]), coordinate);
    QCOMPARE(w().script.item(1).x, 10);

    paste(w().LoopX, text);
    QCOMPARE(w().LoopX->text().size(), text.size()); // the loop box takes text of any length
    w().script.x[0] = 0; // leave one item in the script
    w().Execute_Click();
    // One item: a pass takes two ticks. Endless runs are given two hundred passes.
    const int limit = passes < 0 ? 400 : 2 * passes + 10;
    const int ticks = f->tickUntilStopped(limit);
    if (passes < 0) {
        QCOMPARE(ticks, limit);
        QVERIFY(w().playback().isRunning());
        w().Execute_Click();
    } else {
        QCOMPARE(ticks, 2 * passes);
    }
    QVERIFY(!f->desktop->buttonDown());
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
