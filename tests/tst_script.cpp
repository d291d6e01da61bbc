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

QTEST_GUILESS_MAIN(TestScript)
#include "tst_script.moc"
