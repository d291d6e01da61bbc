// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbertext.h"

#include <cmath>
#include <limits>

#include <QTest>

using namespace Qt::StringLiterals;

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void readOutOfRange_data();
    void readOutOfRange();
    void readIgnoresLocale();
    void readLongTextsWhole();
    void toInt16_data();
    void toInt16();
    void decimal_data();
    void decimal();
    void decimalReadsBack();
};

void TestNumberText::read_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("integer") << u"42"_s << 42.0;
    QTest::newRow("blank inside") << u"3 0"_s << 30.0;
    QTest::newRow("tabs and line feeds") << u"\t1\n2 "_s << 12.0;
    QTest::newRow("leading blanks") << u"   7"_s << 7.0;
    QTest::newRow("fraction") << u"2.5"_s << 2.5;
    QTest::newRow("leading point") << u".5"_s << 0.5;
    QTest::newRow("trailing point") << u"5."_s << 5.0;
    QTest::newRow("stops at letter") << u"4x"_s << 4.0;
    QTest::newRow("stops at second minus") << u"1-2"_s << 1.0;
    QTest::newRow("colon stops") << u"12:3"_s << 12.0;
    QTest::newRow("minus") << u"-17"_s << -17.0;
    QTest::newRow("plus") << u"+17"_s << 17.0;
    QTest::newRow("minus alone") << u"-"_s << 0.0;
    QTest::newRow("double minus") << u"--5"_s << 0.0;
    QTest::newRow("colon first") << u":5"_s << 0.0;
    QTest::newRow("letters") << u"abc"_s << 0.0;
    QTest::newRow("point alone") << u"."_s << 0.0;
    QTest::newRow("comma is no separator") << u"2,5"_s << 2.0;
    QTest::newRow("exponent") << u"1e3"_s << 1000.0;
    QTest::newRow("exponent upper, signed") << u"25E-1"_s << 2.5;
    QTest::newRow("exponent plus") << u"1e+2"_s << 100.0;
    QTest::newRow("exponent without digits") << u"1e"_s << 1.0;
    QTest::newRow("exponent sign without digits") << u"1e+"_s << 1.0;
    QTest::newRow("blank inside exponent") << u"1 e 2"_s << 100.0;
    QTest::newRow("D is no exponent") << u"1d2"_s << 1.0;
    QTest::newRow("minus zero") << u"-0"_s << 0.0;
    QTest::newRow("hex") << u"&H1F"_s << 31.0;
    QTest::newRow("hex lower") << u"&hff"_s << 255.0;
    QTest::newRow("hex 16-bit signed") << u"&HFFFF"_s << -1.0;
    QTest::newRow("hex 8000") << u"&H8000"_s << -32768.0;
    QTest::newRow("hex 32-bit") << u"&H10000"_s << 65536.0;
    QTest::newRow("hex 32-bit signed") << u"&HFFFFFFFF"_s << -1.0;
    QTest::newRow("hex beyond 32 bits") << u"&H100000000"_s << 4294967296.0;
    QTest::newRow("hex 64 bits") << u"&HFFFFFFFFFFFFFFFF"_s << 18446744073709551615.0;
    QTest::newRow("hex stops at G") << u"&H1G"_s << 1.0;
    QTest::newRow("hex without digits") << u"&H"_s << 0.0;
    QTest::newRow("hex with blanks") << u" & H 1 0"_s << 16.0;
    QTest::newRow("hex has no fraction") << u"&H10.5"_s << 16.0;
    QTest::newRow("octal") << u"&O17"_s << 15.0;
    QTest::newRow("octal 16-bit signed") << u"&O177777"_s << -1.0;
    QTest::newRow("octal stops at 8") << u"&O78"_s << 7.0;
    QTest::newRow("octal without digits") << u"&O"_s << 0.0;
    QTest::newRow("ampersand alone") << u"&"_s << 0.0;
    QTest::newRow("ampersand other") << u"&X1"_s << 0.0;
    QTest::newRow("sign before hex") << u"-&H10"_s << 0.0;
    QTest::newRow("full-width digit") << u"\uff15"_s << 0.0;
}

void TestNumberText::read()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const double read = NumberText::read(text);
    QCOMPARE(read, value);
    QVERIFY(!std::signbit(read) || value < 0);
}

void TestNumberText::readOutOfRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("huge exponent") << u"1e999"_s << inf;
    QTest::newRow("huge negative") << u"-1e999"_s << -inf;
    QTest::newRow("tiny") << u"1e-999"_s << 0.0;
    QTest::newRow("zero to a huge power") << u"0e99999999999"_s << 0.0;
    QTest::newRow("exponent digits beyond any int") << u"1e999999999999999999999"_s << inf;
    QTest::newRow("many digits then tiny exponent") << (QString(400, u'9') + u"e-999"_s) << 0.0;
}

void TestNumberText::readOutOfRange()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const double read = NumberText::read(text);
    QVERIFY(!std::isnan(read));
    QCOMPARE(read, value);
}

void TestNumberText::readIgnoresLocale()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may be missing; the point must still read
    QCOMPARE(NumberText::read(u"2.5"_s), 2.5);
    QCOMPARE(NumberText::read(u"2,5"_s), 2.0);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(before);
}

void TestNumberText::readLongTextsWhole()
{
    // A pasted megabyte: every digit counts, and the result is still a number.
    QCOMPARE(NumberText::read(QString(1 << 20, u'0') + u"12"_s), 12.0);
    QCOMPARE(NumberText::read(QString(1 << 20, u' ') + u"12"_s), 12.0);
    QCOMPARE(NumberText::read(u"1"_s + QString(1 << 20, u'0')),
             std::numeric_limits<double>::infinity());
    QCOMPARE(NumberText::read(u"0."_s + QString(1 << 20, u'0') + u"1"_s), 0.0);
    QCOMPARE(NumberText::read(u"1"_s + QString(300, u'0')), 1e300);
    QCOMPARE(NumberText::read(u"0."_s + QString(299, u'0') + u"1"_s), 1e-300);
}

void TestNumberText::toInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("stored");
    QTest::newRow("half to even, down") << 2.5 << 2;
    QTest::newRow("half to even, up") << 3.5 << 4;
    QTest::newRow("negative half") << -2.5 << -2;
    QTest::newRow("just above half") << 2.51 << 3;
    QTest::newRow("largest") << 32767.0 << 32767;
    QTest::newRow("rounds past largest") << 32767.5 << 32767;
    QTest::newRow("beyond, clamped") << 1e5 << 32767;
    QTest::newRow("smallest") << -32768.0 << -32768;
    QTest::newRow("below, clamped") << -40000.0 << -32768;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 32767;
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << -32768;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestNumberText::toInt16()
{
    QFETCH(double, value);
    QFETCH(int, stored);
    QCOMPARE(int(NumberText::toInt16(value)), stored);
}

void TestNumberText::decimal_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << u"0"_s;
    QTest::newRow("positive") << qint64(1920) << u"1920"_s;
    QTest::newRow("negative") << qint64(-1920) << u"-1920"_s;
    QTest::newRow("int16 min") << qint64(-32768) << u"-32768"_s;
    QTest::newRow("no separators") << qint64(2147483647) << u"2147483647"_s;
}

void TestNumberText::decimal()
{
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // no group separators
    QCOMPARE(NumberText::decimal(value), text);
    QLocale::setDefault(QLocale::c());
}

void TestNumberText::decimalReadsBack()
{
    // What the grid shows, it stores again unchanged.
    for (int v = -32768; v <= 32767; ++v)
        QCOMPARE(int(NumberText::readInt16(NumberText::decimal(v))), v);
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
