// SPDX-License-Identifier: GPL-3.0-or-later
#include "coordinatebox.h"
#include "pacedtimer.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_WIN
#    include <qt_windows.h>
#endif

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup() { f.reset(); }

    void frame();
    void startUpState();
    void controls_data();
    void controls();
    void gridRows();
    void boxLengths();
    void tabOrder();
    void captionsFitAtEveryScale_data();
    void captionsFitAtEveryScale();
    void accessibleNames_data();
    void accessibleNames();
    void everyControlNamedApart();
    void timers();
    void executeStartsAndStopsTheRun();
    void everyWayOfStoppingStopsTheRun_data();
    void everyWayOfStoppingStopsTheRun();
    void secondCopyIsTurnedAway();
    void staleLockDoesNotBlock();

private:
    std::unique_ptr<WindowFixture> f;
    AutoClicker &w() { return *f->window; }
    QWidget *control(const QString &name);
};

// A control by the window's name for it, with the row or index after a blank: "XPos 2", "La1 3".
QWidget *TestMainWindow::control(const QString &name)
{
    const QStringList parts = name.split(u' ');
    const QString &base = parts[0];
    const int i = parts.size() > 1 ? parts[1].toInt() : 0;
    if (base == u"XPos")
        return w().XPos[i];
    if (base == u"YPos")
        return w().YPos[i];
    if (base == u"LeftButtonDown")
        return w().LeftButtonDown[i];
    if (base == u"LeftButtonUp")
        return w().LeftButtonUp[i];
    if (base == u"No")
        return w().No[i];
    if (base == u"La1")
        return w().La1[i];
    const QHash<QString, QWidget *> singles = {
            {u"Label4"_s, w().Label4}, {u"Label5"_s, w().Label5},   {u"LoopX"_s, w().LoopX},
            {u"ScNo"_s, w().ScNo},     {u"Execute"_s, w().Execute}, {u"VSc"_s, w().VSc},
    };
    return singles.value(base);
}

void TestMainWindow::frame()
{
    QCOMPARE(w().windowTitle(), u"Varbelo V1.0"_s);
    QCOMPARE(w().logicalDpiX(), 96);
    // 6630 x 5790 twips, fixed.
    QCOMPARE(w().minimumSize(), QSize(442, 386));
    QCOMPARE(w().maximumSize(), QSize(442, 386));
    const Qt::WindowFlags flags = w().windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(w().isWindow());
    QVERIFY(!w().inherits("QDialog")); // Esc must not close it, Enter must not press Execute
    QCOMPARE(w().windowIcon().pixmap(32, 32).size(), QSize(32, 32));
    QCOMPARE(w().font().family(), u"Arial"_s);
    QCOMPARE(w().font().pointSizeF(), 9.0);
}

void TestMainWindow::startUpState()
{
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    QCOMPARE(QApplication::focusWidget(), w().XPos[0]);
    QCOMPARE(w().FocusRow, 0);
    QCOMPARE(w().VSc->value(), 0);
    for (int r = 0; r < AutoClicker::Rows; ++r) {
        QCOMPARE(w().No[r]->text(), QString::number(r + 1));
        QVERIFY(w().XPos[r]->text().isEmpty());
        QVERIFY(w().YPos[r]->text().isEmpty());
        QVERIFY(!w().LeftButtonDown[r]->isChecked());
        QVERIFY(!w().LeftButtonUp[r]->isChecked());
    }
    QCOMPARE(w().Label4->text(), u"X: 0"_s);
    QCOMPARE(w().Label5->text(), u"Y: 0"_s);
    QCOMPARE(w().LoopX->text(), u"1"_s);
    QCOMPARE(w().ScNo->text(), u"Click to Start"_s);
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    QCOMPARE(w().Execute->palette().color(QPalette::Button),
             QApplication::palette(w().Execute).color(QPalette::Button));
    QCOMPARE(w().playback().PlayIndex, 0);
    QCOMPARE(w().playback().PassCount, 0);
    QCOMPARE(w().CaptureLatch, 0);
    // Greyed, yet with a tooltip.
    QCOMPARE(w().ScNo->palette().color(QPalette::Active, QPalette::WindowText),
             w().palette().color(QPalette::Disabled, QPalette::WindowText));
    QVERIFY(w().ScNo->isEnabled());
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // pixels at 96 dpi: twips / 15
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");

    QTest::newRow("La1 0") << u"La1 0"_s << QRect(66, 6, 10, 18) << u"X"_s
                           << u"Horizontal Position..."_s << 11.25 << true;
    QTest::newRow("La1 1") << u"La1 1"_s << QRect(114, 6, 10, 18) << u"Y"_s
                           << u"Vertical Position..."_s << 11.25 << true;
    QTest::newRow("La1 5") << u"La1 5"_s << QRect(168, 6, 62, 15) << u"Left Button"_s
                           << u"Vertical Position..."_s << 9.0 << true;
    QTest::newRow("La1 4") << u"La1 4"_s << QRect(306, 21, 98, 15) << u"Current Position :"_s
                           << QString() << 9.0 << true;
    QTest::newRow("Label4") << u"Label4"_s << QRect(306, 39, 65, 14) << u"X: 0"_s
                            << u"Current Horizontal Position..."_s << 9.0 << true;
    QTest::newRow("Label5") << u"Label5"_s << QRect(372, 39, 65, 14) << u"Y: 0"_s
                            << u"Current Vertical Position..."_s << 9.0 << true;
    QTest::newRow("La1 3") << u"La1 3"_s << QRect(306, 60, 34, 15) << u"Loop :"_s << QString()
                           << 9.0 << true;
    QTest::newRow("LoopX") << u"LoopX"_s << QRect(306, 78, 88, 19) << u"1"_s
                           << u"Number of times to Run the Script..."_s << 9.0 << false;
    QTest::newRow("ScNo") << u"ScNo"_s << QRect(309, 312, 125, 14) << u"Click to Start"_s
                          << u"Current Horizontal Position..."_s << 9.0 << true;
    QTest::newRow("Execute")
            << u"Execute"_s << QRect(309, 330, 127, 52) << u"Execute"_s
            << u"Start the execution of the mouse positions and clicks of pointer behaviour..."_s
            << 12.0 << true;
    QTest::newRow("VSc") << u"VSc"_s << QRect(258, 21, 43, 361) << QString() << QString() << 9.0
                         << false;
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(qreal, points);
    QFETCH(bool, bold);

    QWidget *control = this->control(name);
    QVERIFY(control);
    if (name.startsWith(u"La1")) {
        // Headings are sized to their text: never smaller than the layout gives, never clipped.
        QCOMPARE(control->pos(), geometry.topLeft());
        QVERIFY(control->width() >= geometry.width());
        QVERIFY(control->width() >= control->sizeHint().width());
    } else {
        QCOMPARE(control->geometry(), geometry);
    }
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->font().family(), u"Arial"_s);
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().bold(), bold);
    if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), text);
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        QCOMPARE(edit->text(), text);
    else if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), text);
    if (name == u"Execute")
        QVERIFY(control->font().italic());
    QVERIFY(!w().La1[2]);
}

void TestMainWindow::gridRows()
{
    for (int r = 0; r < AutoClicker::Rows; ++r) {
        const int top = 21 + 18 * r; // (315 + 270 r) twips
        QCOMPARE(w().No[r]->geometry(), QRect(6, top, 43, 19));
        QCOMPARE(w().XPos[r]->geometry(), QRect(48, top, 49, 19));
        QCOMPARE(w().YPos[r]->geometry(), QRect(96, top, 49, 19));
        QCOMPARE(w().LeftButtonDown[r]->geometry(), QRect(147, top, 55, 19));
        QCOMPARE(w().LeftButtonUp[r]->geometry(), QRect(201, top, 55, 19));
        QCOMPARE(w().No[r]->toolTip(), u"Click Order..."_s);
        QCOMPARE(w().XPos[r]->toolTip(), u"X - Screen Position of Click..."_s);
        QCOMPARE(w().YPos[r]->toolTip(), u"Y - Screen Position of Click..."_s);
        QCOMPARE(w().LeftButtonDown[r]->toolTip(), u"Left Button Down..."_s);
        QCOMPARE(w().LeftButtonUp[r]->toolTip(), u"Left Button Up..."_s);
        QCOMPARE(w().LeftButtonDown[r]->text(), u"Down"_s);
        QCOMPARE(w().LeftButtonUp[r]->text(), u"Up"_s);
        QVERIFY(w().LeftButtonDown[r]->isCheckable());
        QVERIFY(w().LeftButtonUp[r]->isCheckable());
        QVERIFY(w().No[r]->font().bold());
        QCOMPARE(w().No[r]->palette().color(QPalette::WindowText),
                 w().palette().color(QPalette::Dark));
    }
    QCOMPARE(w().VSc->minimum(), 0);
    QCOMPARE(w().VSc->maximum(), 31980);
    QCOMPARE(w().VSc->singleStep(), 1);
    QCOMPARE(w().VSc->pageStep(), 20);
    // The scroll bar runs exactly along the rows.
    QCOMPARE(w().VSc->geometry().top(), w().No[0]->geometry().top());
    QCOMPARE(w().VSc->geometry().bottom(), w().No[19]->geometry().bottom());
}

void TestMainWindow::boxLengths()
{
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    w().XPos[0]->setFocus();
    QTest::keyClicks(w().XPos[0], u"-327689"_s);
    QCOMPARE(w().XPos[0]->text(), u"-32768"_s); // the seventh character is refused
    QCOMPARE(w().script.x[0], -32768);

    const QString longText(100000, u'7');
    w().LoopX->setText(longText);
    QCOMPARE(w().LoopX->text(), longText);
}

static QString accessibleName(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

void TestMainWindow::accessibleNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("X, row 1") << u"XPos 0"_s << u"X, row 1"_s;
    QTest::newRow("Y, row 3") << u"YPos 2"_s << u"Y, row 3"_s;
    QTest::newRow("Down, row 3") << u"LeftButtonDown 2"_s << u"Down, row 3"_s;
    QTest::newRow("Up, row 20") << u"LeftButtonUp 19"_s << u"Up, row 20"_s;
    QTest::newRow("Number, row 7") << u"No 6"_s << u"Number, row 7"_s;
    QTest::newRow("loop box") << u"LoopX"_s << u"Loop count"_s;
    QTest::newRow("scroll bar") << u"VSc"_s << u"Scroll the steps"_s;
    // Controls with visible text are read by it, and a screen reader follows it as it changes.
    QTest::newRow("Execute") << u"Execute"_s << u"Execute"_s;
    QTest::newRow("status") << u"ScNo"_s << u"Click to Start"_s;
    QTest::newRow("readout") << u"Label4"_s << u"X: 0"_s;
    QTest::newRow("heading") << u"La1 3"_s << u"Loop :"_s;
}

void TestMainWindow::accessibleNames()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QCOMPARE(accessibleName(this->control(control)), name);
}

void TestMainWindow::everyControlNamedApart()
{
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    QHash<QString, QWidget *> seen;
    for (QWidget *control : w().findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QString name = accessibleName(control);
        QVERIFY2(!name.isEmpty(), qPrintable(control->metaObject()->className()));
        QVERIFY2(!seen.contains(name), qPrintable(u"two controls named \""_s + name + u'"'));
        seen.insert(name, control);
    }
    QCOMPARE(seen.size(), 5 * AutoClicker::Rows + 12); // the grid, the scroll bar and 11 more
    // The names are for screen readers only: what is shown stays as it was.
    QCOMPARE(w().LeftButtonDown[2]->text(), u"Down"_s);
    QCOMPARE(w().XPos[2]->toolTip(), u"X - Screen Position of Click..."_s);
    QCOMPARE(w().LoopX->toolTip(), u"Number of times to Run the Script..."_s);
}

void TestMainWindow::captionsFitAtEveryScale_data()
{
    QTest::addColumn<qreal>("scale");
    // Windows' display scales; on X11 the server's or the desktop's resolution over 96 dpi.
    for (qreal scale : {1.0, 1.25, 1.5, 1.75, 2.0})
        QTest::addRow("%d%%", qRound(scale * 100)) << scale;
}

// The layout scales by the same factor as the fonts, but text does not grow exactly in step with
// its size (hinting rounds each glyph), so what fits at 96 dpi might be clipped at 144.
void TestMainWindow::captionsFitAtEveryScale()
{
    QFETCH(qreal, scale);
#ifdef Q_OS_WIN
    // Wine has no Arial: Liberation Sans through wine's GDI comes out a pixel or three wider at
    // 150 % and more than Arial's room. Only Windows itself can tell how Arial fares there.
    if (scale > 1.25 && ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        QSKIP("under wine, whose stand-in for Arial runs wider at 150 % and more");
#endif
    const int frame = w().style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const auto check = [&](QWidget *control, const QString &text, int margins) {
        QFont font = control->font();
        font.setPointSizeF(font.pointSizeF() * scale);
        const QFontMetricsF metrics(font);
        const qreal needed =
                std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right());
        const qreal available = (control->contentsRect().width() - margins) * scale;
        QVERIFY2(needed <= available,
                 qPrintable(u"\"%1\" needs %2 px, has %3"_s.arg(text).arg(needed).arg(available)));
        QVERIFY(metrics.height() <= control->height() * scale + 1);
    };
    for (int i : {0, 1, 3, 4, 5})
        check(w().La1[i], w().La1[i]->text(), 0);
    // The longest each label or box can come to hold.
    check(w().Label4, u"X: -32768"_s, 0);
    check(w().Label5, u"Y: -32768"_s, 0);
    check(w().ScNo, u"Click to Start"_s, 0);
    check(w().ScNo, u"Move 32001"_s, 0);
    check(w().No[0], u"32000"_s, qRound(QFontMetricsF(w().No[0]->font()).horizontalAdvance(u'x') / 2));
    check(w().XPos[0], u"-32768"_s, 2 * 2); // a line edit's own text margins
    check(w().Execute, u"Execute"_s, 2 * frame);
    check(w().LeftButtonDown[0], u"Down"_s, 2 * frame);
    check(w().LeftButtonUp[0], u"Up"_s, 2 * frame);
}

void TestMainWindow::tabOrder()
{
    w().show();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    QList<QWidget *> expected;
    for (int r = 0; r < 6; ++r)
        expected << w().XPos[r] << w().YPos[r];
    for (int r = 6; r < 20; ++r)
        expected << w().YPos[r] << w().XPos[r];
    expected << w().VSc << w().Execute << w().LoopX;
    for (int r = 0; r < 20; ++r)
        expected << w().LeftButtonDown[r] << w().LeftButtonUp[r];
    expected << w().XPos[0]; // and round again

    QCOMPARE(QApplication::focusWidget(), expected.first());
    for (qsizetype i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget() == expected[i], qPrintable(u"step %1"_s.arg(i)));
    }
}

void TestMainWindow::timers()
{
    WindowFixture fresh;
    // The fixture stops the poll for the tests' sake; a window as created has it running.
    AutoClicker window(std::make_unique<FakeDesktopInput>(),
                       std::make_unique<SingleInstance>(fresh.lockDir.filePath(u"other.lock"_s)));
    QVERIFY(window.Hotkey_XY->isActive());
    QCOMPARE(window.Hotkey_XY->interval(), 50);
    QVERIFY(!window.playback().Clicker->isActive());
    QCOMPARE(window.playback().Clicker->interval(), 1000);
}

// The run's own behaviour is tst_playback's; here, that the window starts, stops and shows it.
void TestMainWindow::executeStartsAndStopsTheRun()
{
    const QColor face = w().Execute->palette().color(QPalette::Button);
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    QVERIFY(!f->run().isRunning());

    f->setItem(0, 10, 20);
    w().LoopX->setText(u"2"_s);
    QTest::mouseClick(w().Execute, Qt::LeftButton);
    QCOMPARE(w().Execute->text(), u"Stop"_s);
    QVERIFY(f->run().isRunning());
    QCOMPARE(w().Execute->palette().color(QPalette::Button), QColor(255, 0, 0));
    QCOMPARE(w().ScNo->text(), u"Click to Start"_s);
    QCOMPARE(f->run().PlayIndex, -1);
    QCOMPARE(f->stopKey->binds, 1);
    f->tick();
    QCOMPARE(w().ScNo->text(), u"Move 1"_s);
    // The loop box's 2: two passes of two ticks.
    QCOMPARE(f->tickUntilStopped(10), 3);
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    QCOMPARE(w().ScNo->text(), u"Click to Start"_s);
    QCOMPARE(w().Execute->palette().color(QPalette::Button), face);
    QCOMPARE(f->stopKey->releases, 1);

    // With a stop key the first step waits for the desktop's answer; Stop cancels the wait.
    f->stopKey->waits = true;
    QTest::mouseClick(w().Execute, Qt::LeftButton);
    QVERIFY(f->run().isRunning());
    QVERIFY(w().Notice->text().startsWith(u"Asking the desktop for Esc"_s));
    f->stopKey->grant();
    QCOMPARE(w().Notice->text(), QString());
    QTest::mouseClick(w().Execute, Qt::LeftButton);
    QTest::mouseClick(w().Execute, Qt::LeftButton);
    QTest::mouseClick(w().Execute, Qt::LeftButton);
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    QVERIFY(!f->run().isRunning());
    QCOMPARE(f->stopKey->binds, 3);
}

void TestMainWindow::everyWayOfStoppingStopsTheRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("button") << u"button"_s;
    QTest::newRow("Esc") << u"esc"_s;
    QTest::newRow("stop key") << u"key"_s;
    QTest::newRow("window closed") << u"close"_s;
}

void TestMainWindow::everyWayOfStoppingStopsTheRun()
{
    QFETCH(QString, how);
    f->setItem(0, 10, 10, 1, 0); // pressed, never released by the script
    w().Execute_Click();
    f->tick();
    QVERIFY(f->desktop->buttonDown());
    // A stop key that cannot be had is said in the Notice, for this run.
    f->stopKey->refuse(u"the desktop said no"_s);
    QCOMPARE(w().Notice->text(),
             u"Esc cannot stop this run (the desktop said no): press Stop, or a key bound to "
             "varbelo --stop."_s);

    if (how == u"button") {
        QTest::mouseClick(w().Execute, Qt::LeftButton);
    } else if (how == u"esc") {
        f->desktop->holdKey(EscapeKey);
        w().Hotkey_XY_Timer();
    } else if (how == u"key") {
        f->stopKey->press();
    } else {
        w().show();
        w().close();
    }
    QVERIFY(!f->run().isRunning());
    QCOMPARE(w().Execute->text(), u"Execute"_s);
    QVERIFY(!f->desktop->buttonDown());
    QCOMPARE(f->desktop->actions(), std::string("move 10,10; down; up"));
    QCOMPARE(f->stopKey->releases, 1);

    // Refusals and presses between runs are not the next run's.
    f->stopKey->refuse(u"late"_s);
    f->stopKey->press();
    if (how != u"close") {
        w().Execute_Click();
        QCOMPARE(w().Notice->text(), QString());
        QVERIFY(f->run().isRunning());
    }
}

void TestMainWindow::secondCopyIsTurnedAway()
{
    // The fixture's window holds the lock; a second window with the same lock is a second copy.
    AutoClicker second(std::make_unique<FakeDesktopInput>(),
                       std::make_unique<SingleInstance>(f->lockPath()));
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton *> buttons;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->buttons();
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    QVERIFY(!second.Form_Load());
    QCOMPARE(text, u"Application running."_s);
    QCOMPARE(title, u"Application"_s);
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons.size(), 1);
    QVERIFY(!second.isVisible());
    QCOMPARE(second.No[0]->text(), QString()); // start-up went no further
}

void TestMainWindow::staleLockDoesNotBlock()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"varbelo.lock"_s);
    // A lock left by a process that no longer runs.
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
#ifdef Q_OS_WIN
        // The machine as QLockFile names it there.
        const QByteArray host = qgetenv("COMPUTERNAME");
#else
        const QByteArray host = QSysInfo::machineHostName().toUtf8();
#endif
        file.write("999999\nvarbelo\n" + host + "\n");
    }
    AutoClicker window(std::make_unique<FakeDesktopInput>(), std::make_unique<SingleInstance>(path));
    QVERIFY(window.Form_Load());

    // Nowhere safe to keep a lock: the copy runs, and no box says that another one does.
    AutoClicker unguarded(std::make_unique<FakeDesktopInput>(),
                          std::make_unique<SingleInstance>(QString()));
    bool boxShown = false;
    QTimer::singleShot(0, this, [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            boxShown = true;
            box->close();
        }
    });
    QVERIFY(unguarded.Form_Load());
    QVERIFY(!boxShown);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
