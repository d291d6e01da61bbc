// SPDX-License-Identifier: GPL-3.0-or-later
#include "integritylevel.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Which window's integrity level drops the program's clicks, and what the user is told.
class TestIntegrityLevel : public QObject
{
    Q_OBJECT

private slots:
    void clicksIntoHigherIntegrityLevel_data();
    void clicksIntoHigherIntegrityLevel();
};

void TestIntegrityLevel::clicksIntoHigherIntegrityLevel_data()
{
    QTest::addColumn<int>("own"); // -1: could not be read
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("says"); // a part of the reason; none when clicks land
    QTest::newRow("same level") << 0x2000 << 0x2000 << QString();
    QTest::newRow("lower level") << 0x3000 << 0x2000 << QString();
    QTest::newRow("administrator") << 0x2000 << 0x3000 << u"runs as administrator: "_s;
    QTest::newRow("medium plus") << 0x2000 << 0x2100 << u"more rights than Varbelo"_s;
    QTest::newRow("system") << 0x2000 << 0x4000 << u"even run as administrator"_s;
    QTest::newRow("system from admin") << 0x3000 << 0x4000 << u"even run as admin"_s;
    QTest::newRow("target unread") << 0x2000 << -1 << QString();
    QTest::newRow("own unread") << -1 << 0x3000 << QString();
}

void TestIntegrityLevel::clicksIntoHigherIntegrityLevel()
{
    QFETCH(int, own);
    QFETCH(int, target);
    QFETCH(QString, says);
    const auto level = [](int read) {
        return read < 0 ? std::nullopt : std::optional<std::uint32_t>(read);
    };
    const QString why = QString::fromStdString(whyIntegrityDropsClicks(level(own), level(target)));
    QCOMPARE(why.isEmpty(), says.isEmpty());
    QVERIFY2(why.contains(says), qPrintable(why));
    QVERIFY2(why.size() <= 120, qPrintable(why)); // in a narrow label, after "Step N: "
}

QTEST_GUILESS_MAIN(TestIntegrityLevel)
#include "tst_integritylevel.moc"
