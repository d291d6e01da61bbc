// SPDX-License-Identifier: GPL-3.0-or-later
#include "screenscale.h"

#include <QTest>

class TestScreenScale : public QObject
{
    Q_OBJECT

private slots:
    void layoutDpi_data();
    void layoutDpi();
};

void TestScreenScale::layoutDpi_data()
{
    QTest::addColumn<int>("pixels");
    QTest::addColumn<int>("millimetres");
    QTest::addColumn<int>("dpi");
    // What Xvfb -dpi N and Xorg report: the width in whole millimetres.
    QTest::newRow("96 dpi") << 1280 << 339 << 96;
    QTest::newRow("120 dpi") << 1280 << 271 << 120;
    QTest::newRow("144 dpi") << 1280 << 226 << 144;
    QTest::newRow("192 dpi") << 3840 << 508 << 192;
    // A monitor's own size a little off a step goes to the nearest step, never below 96.
    QTest::newRow("93 dpi monitor") << 1920 << 524 << 96;
    QTest::newRow("101 dpi monitor") << 1920 << 483 << 96;
    QTest::newRow("109 dpi monitor") << 2560 << 597 << 120;
    QTest::newRow("72 dpi") << 1024 << 361 << 96;
    // Sizes no real screen has: no scaling rather than an absurd one.
    QTest::newRow("no size") << 1920 << 0 << 96;
    QTest::newRow("1 mm") << 1920 << 1 << 96;
    QTest::newRow("no pixels") << 0 << 300 << 96;
    QTest::newRow("negative") << -1920 << 508 << 96;
    QTest::newRow("480 dpi") << 4800 << 254 << 480;
}

void TestScreenScale::layoutDpi()
{
    QFETCH(int, pixels);
    QFETCH(int, millimetres);
    QFETCH(int, dpi);
    QCOMPARE(::layoutDpi(pixels, millimetres), dpi);
}

QTEST_APPLESS_MAIN(TestScreenScale)
#include "tst_screenscale.moc"
