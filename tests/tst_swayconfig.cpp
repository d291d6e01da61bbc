// SPDX-License-Identifier: GPL-3.0-or-later
#include "swayconfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What sway's config binds to Escape, mode by mode, from the main text and the files it includes.
class TestSwayConfig : public QObject
{
    Q_OBJECT

private slots:
    void escapeBindings_data();
    void escapeBindings();
};

void TestSwayConfig::escapeBindings_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("included"); // the text of sub/esc.conf, beside the main file
    QTest::addColumn<QString>("found"); // "mode=command;..." sorted, or "unknown"

    QTest::newRow("none") << u"bindsym Mod4+Escape exec x\nbindsym q nop"_s << QString() << QString();
    QTest::newRow("main file, a mode") << u"mode \"resize\" {\n  bindsym Escape mode \"default\"\n}"_s
                                       << QString() << u"resize=mode \"default\""_s;
    QTest::newRow("a mode named by a variable")
            << u"set $m System (l) lock\nmode \"$m\" {\n  bindsym Escape mode default\n}"_s
            << QString() << u"System (l) lock=mode default"_s;
    QTest::newRow("include through a variable")
            << u"set $dir sub\ninclude $dir/*.conf"_s << u"bindsym Escape kill"_s
            << u"default=kill"_s;
    QTest::newRow("missing include, skipped as sway does") << u"include nothing/*.conf"_s
                                                            << QString() << QString();
    QTest::newRow("include that runs a command") << u"include $(echo sub/esc.conf)"_s
                                                 << u"bindsym Escape kill"_s << u"unknown"_s;
}

void TestSwayConfig::escapeBindings()
{
    QFETCH(QString, config);
    QFETCH(QString, included);
    QFETCH(QString, found);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
    QFile file(dir.filePath(u"sub/esc.conf"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(included.toUtf8());
    file.close();

    const SwayEscapeBindings bindings = swayEscapeBindings(config, dir.filePath(u"config"_s));
    QStringList got;
    for (auto it = bindings.commands.begin(); it != bindings.commands.end(); ++it)
        got.append(it.key() + u'=' + it.value());
    got.sort();
    QCOMPARE(bindings.unknown.isEmpty() ? got.join(u';') : u"unknown"_s, found);
}

QTEST_GUILESS_MAIN(TestSwayConfig)
#include "tst_swayconfig.moc"
