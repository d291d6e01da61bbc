// SPDX-License-Identifier: GPL-3.0-or-later
#include "escapeshortcut.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Esc through the stand-in portal that gnome.sh starts.
class TestEscapeShortcut : public QObject
{
    Q_OBJECT

private slots:
    void escapeCountsOnlyWhileBound();
};

void TestEscapeShortcut::escapeCountsOnlyWhileBound()
{
    QDBusInterface standIn(u"org.freedesktop.portal.Desktop"_s,
                           u"/org/freedesktop/portal/desktop"_s, u"org.varbelo.test.StandIn"_s);
    const auto calls = [&] { return QDBusReply<QStringList>(standIn.call(u"Calls"_s)).value(); };
    EscapeShortcut escape;
    QVERIFY(escape.available());
    QSignalSpy activated(&escape, &EscapeShortcut::activated);

    escape.bind();
    QTRY_VERIFY(calls().contains(u"BindShortcuts stop=Escape"_s));
    standIn.call(u"PressShortcut"_s, u"stop"_s);
    QTRY_COMPARE(activated.size(), 1);

    // Released, the portal session is closed, and Esc belongs to the other programs again.
    const qsizetype closed = calls().count(u"Close"_s);
    escape.release();
    QTRY_COMPARE(calls().count(u"Close"_s), closed + 1);
    standIn.call(u"PressShortcut"_s, u"stop"_s);
    QTest::qWait(200);
    QCOMPARE(activated.size(), 1);
}

QTEST_GUILESS_MAIN(TestEscapeShortcut)
#include "tst_escapeshortcut.moc"
