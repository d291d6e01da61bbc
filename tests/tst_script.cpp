// SPDX-License-Identifier: GPL-3.0-or-later
#include "script.h"

#include <QTest>

class TestScript : public QObject
{
    Q_OBJECT

private slots:
    void startsEmpty();
    void emptyRule_data();
    void emptyRule();
    void nextNonEmpty_data();
    void nextNonEmpty();
    void searchSeesLastItem();
    void searchFindsEveryPlace_data();
    void searchFindsEveryPlace();
};

void TestScript::startsEmpty()
{
    const auto script = std::make_unique<Script>();
    QCOMPARE(Script::Size, 32001);
    for (int i = 0; i < Script::Size; ++i) {
        QVERIFY(script->isEmpty(i));
        QCOMPARE(script->down[i], 0);
        QCOMPARE(script->up[i], 0);
    }
    QCOMPARE(script->nextNonEmpty(-1), Script::Size);
}

void TestScript::emptyRule_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("empty");
    QTest::newRow("0,0") << 0 << 0 << true;
    QTest::newRow("0,-1") << 0 << -1 << true;
    QTest::newRow("-5,-5") << -5 << -5 << true;
    QTest::newRow("-32768,-32768") << -32768 << -32768 << true;
    QTest::newRow("0,1") << 0 << 1 << false;
    QTest::newRow("1,0") << 1 << 0 << false;
    QTest::newRow("-5,10") << -5 << 10 << false;
    QTest::newRow("0,300") << 0 << 300 << false;
}

void TestScript::emptyRule()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, empty);
    auto script = std::make_unique<Script>();
    // Button flags play no part in emptiness.
    script->setItem(12, {std::int16_t(x), std::int16_t(y), 1, 1});
    QCOMPARE(script->isEmpty(12), empty);
    QCOMPARE(script->nextNonEmpty(-1), empty ? Script::Size : 12);
}

void TestScript::nextNonEmpty_data()
{
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("found");
    QTest::newRow("from the start") << -1 << 0;
    QTest::newRow("skips the gap") << 0 << 5;
    QTest::newRow("last one") << 5 << 31999;
    QTest::newRow("end of pass") << 31999 << Script::Size;
}

void TestScript::nextNonEmpty()
{
    QFETCH(int, after);
    QFETCH(int, found);
    auto script = std::make_unique<Script>();
    script->setItem(0, {1, 1, 0, 0});
    script->setItem(5, {0, 7, 0, 0});
    script->setItem(31999, {9, 0, 0, 0});
    QCOMPARE(script->nextNonEmpty(after), found);
}

void TestScript::searchSeesLastItem()
{
    auto script = std::make_unique<Script>();
    script->setItem(Script::LastIndex, {3, 4, 1, 1});
    QCOMPARE(script->nextNonEmpty(-1), Script::LastIndex);
    QCOMPARE(script->nextNonEmpty(Script::LastIndex), Script::Size);
    QCOMPARE(script->item(Script::LastIndex).down, 1);
}

void TestScript::searchFindsEveryPlace_data()
{
    // The search skips whole blocks of empty items: try both sides of block edges.
    QTest::addColumn<int>("index");
    for (const int i : {1, 62, 63, 64, 65, 127, 128, 4095, 31935, 31936, 31999, 32000})
        QTest::newRow(qPrintable(QString::number(i))) << i;
}

void TestScript::searchFindsEveryPlace()
{
    QFETCH(int, index);
    auto script = std::make_unique<Script>();
    script->setItem(index, {0, 1, 0, 0});
    for (const int after : {-1, 0, index - 1, index - 64, index - 65}) {
        if (after < index && after >= -1)
            QCOMPARE(script->nextNonEmpty(after), index);
    }
    QCOMPARE(script->nextNonEmpty(index), Script::Size);
    script->setItem(index, {1, -1, 0, 0});
    QCOMPARE(script->nextNonEmpty(-1), index);
}

QTEST_GUILESS_MAIN(TestScript)
#include "tst_script.moc"
