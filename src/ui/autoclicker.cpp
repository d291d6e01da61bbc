// SPDX-License-Identifier: GPL-3.0-or-later
// One piece, as a form made in a designer is: the window's controls, laid out in twips, and the
// handlers of the grid, the capture and Esc, which share the form's members and call one another
// (a capture sets a box, whose change handler stores the step). What stands apart from the form
// lives elsewhere: the run in Playback, the stop keys in src/stop, the capture layer beside it.
#include "autoclicker.h"

#include "blinktimeout.h"
#include "capturelayer.h"
#include "coordinatebox.h"
#include "mouseicon.h"
#include "numbertext.h"
#include "playback.h"
#include "stopkey.h"
#include "windowframe.h"

#include <cstdio>
#include <limits>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

namespace {

const QString Caption = QStringLiteral("Varbelo V1.0");
const QString IdleCaption = QStringLiteral("Execute");
const QString RunningCaption = QStringLiteral("Stop");

constexpr int BlinkIdleMs = 10000; // GNOME's cursor-blink-timeout
constexpr int ScrollMax = 31980; // row 19 then shows the item numbered 32000

// Layout in twips (1/1440 inch) from the top-left of the client area.
constexpr int ClientWidth = 6630;
constexpr int ClientHeight = 5790;
constexpr int RowTop = 315;
constexpr int RowPitch = 270; // rows are 285 high and overlap by 15, sharing a border line
constexpr int RowHeight = 285;

QFont arial(qreal points, bool bold = false, bool italic = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

AutoClicker::AutoClicker(std::unique_ptr<DesktopInput> input,
                         std::unique_ptr<SingleInstance> instance, std::unique_ptr<StopKey> stopKey,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_input(std::move(input)), m_stopKey(std::move(stopKey)),
      m_instance(std::move(instance))
{
    // Blind to the pointer and keys over other windows: record through a layer of our own,
    // which answers the poll in the desktop input's place while it is up.
    if (!m_input->seesWholeDesktop()) {
        auto layer = std::make_unique<CaptureLayer>(std::move(m_input));
        m_layer = layer.get();
        m_input = std::move(layer);
    }
    m_playback = std::make_unique<Playback>(script, *m_input);
    // A fixed frame with a title bar, system menu and close box, but no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(Caption);
    setWindowIcon(mouseIcon());
    setFont(arial(9));
    setFixedSize(twips(0, 0, ClientWidth, ClientHeight).size());

    createControls();
    setTabOrder();
    connectHandlers();
    // The X box of row 1 has the focus from the start: its cursor would blink all day long.
    new BlinkTimeout(BlinkIdleMs, this);
}

AutoClicker::~AutoClicker() = default;

QRect AutoClicker::twips(int left, int top, int width, int height) const
{
    const qreal pixelsPerTwip = logicalDpiX() / 1440.0;
    const auto px = [pixelsPerTwip](int t) { return qRound(t * pixelsPerTwip); };
    return QRect(px(left), px(top), px(width), px(height));
}

void AutoClicker::createControls()
{
    const QColor buttonShadow = palette().color(QPalette::Dark);
    for (int r = 0; r < Rows; ++r) {
        const int top = RowTop + RowPitch * r;

        No[r] = new QLabel(this);
        No[r]->setGeometry(twips(90, top, 645, RowHeight));
        No[r]->setFont(arial(9, true));
        No[r]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setTextColour(No[r], buttonShadow);
        No[r]->setToolTip(QStringLiteral("Click Order..."));

        XPos[r] = new CoordinateBox(this);
        XPos[r]->setGeometry(twips(720, top, 735, RowHeight));
        XPos[r]->setMaxLength(CoordinateLength);
        XPos[r]->setToolTip(QStringLiteral("X - Screen Position of Click..."));

        YPos[r] = new CoordinateBox(this);
        YPos[r]->setGeometry(twips(1440, top, 735, RowHeight));
        YPos[r]->setMaxLength(CoordinateLength);
        YPos[r]->setToolTip(QStringLiteral("Y - Screen Position of Click..."));

        LeftButtonDown[r] = new QPushButton(QStringLiteral("Down"), this);
        LeftButtonDown[r]->setGeometry(twips(2205, top, 825, RowHeight));
        LeftButtonDown[r]->setCheckable(true);
        LeftButtonDown[r]->setToolTip(QStringLiteral("Left Button Down..."));

        LeftButtonUp[r] = new QPushButton(QStringLiteral("Up"), this);
        LeftButtonUp[r]->setGeometry(twips(3015, top, 825, RowHeight));
        LeftButtonUp[r]->setCheckable(true);
        LeftButtonUp[r]->setToolTip(QStringLiteral("Left Button Up..."));

        // Twenty rows of like controls: a screen reader tells them apart by their row.
        const QString row = QStringLiteral(", row %1").arg(r + 1);
        No[r]->setAccessibleName(QStringLiteral("Number") + row);
        XPos[r]->setAccessibleName(QStringLiteral("X") + row);
        YPos[r]->setAccessibleName(QStringLiteral("Y") + row);
        LeftButtonDown[r]->setAccessibleName(QStringLiteral("Down") + row);
        LeftButtonUp[r]->setAccessibleName(QStringLiteral("Up") + row);
    }

    VSc = new QScrollBar(Qt::Vertical, this);
    VSc->setGeometry(twips(3870, 315, 645, 5415));
    VSc->setRange(0, ScrollMax);
    VSc->setSingleStep(1);
    VSc->setPageStep(Rows);
    // While the thumb is dragged the rows follow it through VSc_Scroll; the value, and with it
    // VSc_Change, settles when the thumb is let go.
    VSc->setTracking(false);
    VSc->setFocusPolicy(Qt::StrongFocus);
    VSc->setValue(1); // start-up sets it to 0, and that change fills the rows
    VSc->setAccessibleName(QStringLiteral("Scroll the steps"));

    const auto heading = [this](int index, const QString &text, const QRect &geometry,
                                const QFont &font, const QString &toolTip) {
        La1[index] = new QLabel(text, this);
        La1[index]->setGeometry(geometry);
        La1[index]->setFont(font);
        La1[index]->setToolTip(toolTip);
        // Sized to its text: where the font in use runs wider than Arial, grow rather than clip.
        // Hinting rounds glyphs differently at each size, so at 150 % a text may need a device
        // pixel more than 1.5 times its width here: one pixel of room keeps it whole.
        La1[index]->resize(La1[index]->size().expandedTo(La1[index]->sizeHint() + QSize(1, 0)));
    };
    heading(0, QStringLiteral("X"), twips(990, 90, 150, 270), arial(11.25, true),
            QStringLiteral("Horizontal Position..."));
    heading(1, QStringLiteral("Y"), twips(1710, 90, 150, 270), arial(11.25, true),
            QStringLiteral("Vertical Position..."));
    heading(5, QStringLiteral("Left Button"), twips(2520, 90, 930, 225), arial(9, true),
            QStringLiteral("Vertical Position..."));
    heading(4, QStringLiteral("Current Position :"), twips(4590, 315, 1470, 225), arial(9, true),
            QString());
    heading(3, QStringLiteral("Loop :"), twips(4590, 900, 510, 225), arial(9, true), QString());

    const auto readout = [this](const QString &text, const QRect &geometry,
                                const QString &toolTip) {
        auto *label = new QLabel(text, this);
        label->setGeometry(geometry);
        label->setFont(arial(9, true));
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Base));
        label->setPalette(palette);
        label->setToolTip(toolTip);
        return label;
    };
    Label4 = readout(QStringLiteral("X: 0"), twips(4590, 585, 975, 210),
                     QStringLiteral("Current Horizontal Position..."));
    Label5 = readout(QStringLiteral("Y: 0"), twips(5580, 585, 975, 210),
                     QStringLiteral("Current Vertical Position..."));

    LoopX = new QLineEdit(QStringLiteral("1"), this);
    LoopX->setGeometry(twips(4590, 1170, 1320, 285));
    LoopX->setAlignment(Qt::AlignCenter);
    LoopX->setMaxLength(std::numeric_limits<int>::max());
    LoopX->setToolTip(QStringLiteral("Number of times to Run the Script..."));
    LoopX->setAccessibleName(QStringLiteral("Loop count"));

    ScNo = new QLabel(m_playback->status(), this);
    ScNo->setGeometry(twips(4635, 4680, 1875, 210));
    ScNo->setFont(arial(9, true));
    ScNo->setAlignment(Qt::AlignCenter);
    // Greyed at all times, yet enabled, so that its tooltip still shows.
    setTextColour(ScNo, ScNo->palette().color(QPalette::Disabled, QPalette::WindowText));
    ScNo->setToolTip(QStringLiteral("Current Horizontal Position..."));

    Execute = new QPushButton(IdleCaption, this);
    Execute->setGeometry(twips(4635, 4950, 1905, 780));
    Execute->setFont(arial(12, true, true));
    Execute->setToolTip(QStringLiteral(
            "Start the execution of the mouse positions and clicks of pointer behaviour..."));

    // The empty space of the right-hand column, above the status line.
    Notice = new QLabel(this);
    Notice->setGeometry(twips(4590, 2040, 1965, 2550));
    Notice->setFont(arial(8));
    Notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Notice->setWordWrap(true);
    setTextColour(Notice, QColor(128, 0, 0));
    Notice->setAccessibleName(QStringLiteral("Notice"));

    if (m_layer) {
        // In the empty space between the loop box and the status line.
        Record = new QPushButton(QStringLiteral("Record"), this);
        Record->setGeometry(twips(4590, 1620, 1320, 345));
        Record->setCheckable(true);
        Record->setToolTip(QStringLiteral(
                "Cover the screens to record: point, press Space or Shift; Esc ends..."));
        Record->setAccessibleName(QStringLiteral("Record"));
    }

    Hotkey_XY = new QTimer(this);
    Hotkey_XY->setInterval(PollInterval);
}

void AutoClicker::setTabOrder()
{
    QList<QWidget *> order;
    for (int r = 0; r < Rows; ++r) {
        // X before Y in the first six rows, Y before X below them.
        if (r < 6)
            order << XPos[r] << YPos[r];
        else
            order << YPos[r] << XPos[r];
    }
    order << VSc << Execute << LoopX;
    for (int r = 0; r < Rows; ++r)
        order << LeftButtonDown[r] << LeftButtonUp[r];
    if (Record)
        order << Record; // last, so that the rest of the order is as everywhere else
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void AutoClicker::connectHandlers()
{
    connect(Execute, &QPushButton::clicked, this, &AutoClicker::Execute_Click);
    Playback *run = m_playback.get();
    connect(run, &Playback::runningChanged, this, &AutoClicker::setExecuteRunning);
    connect(run, &Playback::statusChanged, ScNo, &QLabel::setText);
    connect(run, &Playback::noticeChanged, Notice, &QLabel::setText);
    m_playback->setLoopText(LoopX->text());
    connect(LoopX, &QLineEdit::textChanged, run, &Playback::setLoopText);
    connect(Hotkey_XY, &QTimer::timeout, this, &AutoClicker::Hotkey_XY_Timer);
    connect(VSc, &QScrollBar::valueChanged, this, &AutoClicker::VSc_Change);
    connect(VSc, &QScrollBar::sliderMoved, this, &AutoClicker::VSc_Scroll);
    for (int r = 0; r < Rows; ++r) {
        connect(XPos[r], &QLineEdit::textChanged, this, [this, r] { XPos_Change(r); });
        connect(YPos[r], &QLineEdit::textChanged, this, [this, r] { YPos_Change(r); });
        XPos[r]->setFocusHandler([this, r] { XPos_GotFocus(r); });
        YPos[r]->setFocusHandler([this, r] { YPos_GotFocus(r); });
        XPos[r]->setKeyDownHandler([this, r](int &key) { XPos_KeyDown(r, key); });
        XPos[r]->setKeyPressHandler([this, r](int &c) { XPos_KeyPress(r, c); });
        YPos[r]->setKeyPressHandler([this, r](int &c) { YPos_KeyPress(r, c); });
        // toggled: a click, a key, or a state set by the refresh.
        connect(LeftButtonDown[r], &QPushButton::toggled, this,
                [this, r] { LeftButtonDown_Click(r); });
        connect(LeftButtonUp[r], &QPushButton::toggled, this, [this, r] { LeftButtonUp_Click(r); });
    }
    if (Record) {
        connect(Record, &QPushButton::toggled, this, &AutoClicker::Record_Click);
        connect(m_layer, &CaptureLayer::closed, Record, [this] { Record->setChecked(false); });
    }
    if (m_stopKey) {
        connect(m_stopKey.get(), &StopKey::pressed, this, &AutoClicker::stopRun);
        connect(m_stopKey.get(), &StopKey::bound, run, &Playback::stopKeyBound);
        connect(m_stopKey.get(), &StopKey::unavailable, run, &Playback::stopKeyUnavailable);
    }
    Hotkey_XY->start();
}

bool AutoClicker::Form_Load()
{
    // No folder of the user's own holds the lock (another user took its name): this copy runs
    // unguarded rather than claim that another one runs.
    if (m_instance->lockPath().isEmpty()) {
        std::fputs("varbelo: no folder of this user's own to keep the lock in: another copy is "
                   "not turned away, and varbelo --stop cannot reach this one\n",
                   stderr);
    } else if (!m_instance->tryAcquire()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Application"),
                        QStringLiteral("Application running."), QMessageBox::Ok);
        box.exec();
        return false;
    }
    VSc->setValue(0);
    XPos[0]->setFocus();
    return true;
}

void AutoClicker::Form_Unload()
{
    if (m_layer)
        m_layer->hide();
    Hotkey_XY->stop();
    if (m_playback->isRunning())
        m_playback->stop();
}

void AutoClicker::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    keepOffTaskbar(this);
    // Some window managers map a new window without giving it the focus (openbox does, for a
    // window whose start they cannot tie to a user's action), and typing would go on into the
    // previous window: ask for it. The desktop's startup-notification id, which Qt passes on
    // with the window, tells the window manager that the user did start it.
    if (!event->spontaneous())
        activateWindow();
}

void AutoClicker::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}

// ---- Playback ----

void AutoClicker::Execute_Click()
{
    if (Execute->text() == IdleCaption)
        m_playback->start(m_stopKey != nullptr);
    else
        m_playback->stop();
}

void AutoClicker::setExecuteRunning(bool running)
{
    Execute->setText(running ? RunningCaption : IdleCaption);
    if (m_stopKey) {
        if (running)
            m_stopKey->bind();
        else
            m_stopKey->release();
    }
    QPalette palette = Execute->palette();
    palette.setColor(QPalette::Button,
                     running ? QColor(255, 0, 0)
                             : QApplication::palette(Execute).color(QPalette::Button));
    Execute->setPalette(palette);
}

// ---- The grid ----

int AutoClicker::topItem() const
{
    return VSc->sliderPosition();
}

void AutoClicker::VSc_Change()
{
    const int top = topItem();
    for (int r = 0; r < Rows; ++r) {
        const int i = top + r;
        No[r]->setText(NumberText::decimal(i + 1));
        // Each setter below runs the control's own change handler at once, which writes the
        // value back into item i.
        if (!script.isEmpty(i)) {
            XPos[r]->setText(NumberText::decimal(script.x[i]));
            YPos[r]->setText(NumberText::decimal(script.y[i]));
        } else {
            XPos[r]->setText(QString());
            YPos[r]->setText(QString());
        }
        LeftButtonDown[r]->setChecked(script.down[i] != 0);
        LeftButtonUp[r]->setChecked(script.up[i] != 0);
    }
}

void AutoClicker::VSc_Scroll()
{
    VSc_Change();
}

void AutoClicker::XPos_Change(int r)
{
    script.x[topItem() + r] = NumberText::readInt16(XPos[r]->text());
}

void AutoClicker::YPos_Change(int r)
{
    script.y[topItem() + r] = NumberText::readInt16(YPos[r]->text());
}

void AutoClicker::XPos_GotFocus(int r)
{
    FocusRow = std::int16_t(r);
}

void AutoClicker::YPos_GotFocus(int r)
{
    FocusRow = std::int16_t(r);
}

void AutoClicker::XPos_KeyDown(int r, int &keyCode)
{
    if (keyCode == Qt::Key_Up) {
        keyCode = 0;
        if (r > 0)
            XPos[r - 1]->setFocus();
        else if (VSc->value() > 0)
            VSc->setValue(VSc->value() - 1);
    } else if (keyCode == Qt::Key_Down || keyCode == Qt::Key_Return || keyCode == Qt::Key_Enter) {
        keyCode = 0;
        if (r < Rows - 1)
            XPos[r + 1]->setFocus();
        else if (VSc->value() < VSc->maximum())
            VSc->setValue(VSc->value() + 1);
    }
}

void AutoClicker::XPos_KeyPress(int, int &keyAscii)
{
    const bool kept = (keyAscii >= '0' && keyAscii <= '9') || keyAscii == '\b' || keyAscii == '\r'
            || keyAscii == '-' || keyAscii == ':';
    if (!kept)
        keyAscii = 0;
}

void AutoClicker::YPos_KeyPress(int r, int &keyAscii)
{
    XPos_KeyPress(r, keyAscii);
}

void AutoClicker::LeftButtonDown_Click(int r)
{
    script.down[topItem() + r] = LeftButtonDown[r]->isChecked() ? 1 : 0;
}

void AutoClicker::LeftButtonUp_Click(int r)
{
    script.up[topItem() + r] = LeftButtonUp[r]->isChecked() ? 1 : 0;
}

// ---- Live position, capture and Esc ----

std::int32_t AutoClicker::CursorX()
{
    m_input->GetCursorPos(m_pointer);
    return m_pointer.x;
}

std::int32_t AutoClicker::CursorY()
{
    m_input->GetCursorPos(m_pointer);
    return m_pointer.y;
}

void AutoClicker::Hotkey_XY_Timer()
{
    // The readouts change only when the pointer moves: an idle poll builds no text and, where
    // the desktop reports moves, does not even ask where the pointer is. One read fills both.
    if (m_input->pointerMayHaveMoved()) {
        if (const std::int32_t x = CursorX(); x != m_shownX) {
            m_shownX = x;
            Label4->setText(QStringLiteral("X: ") + NumberText::decimal(x));
        }
        if (const std::int32_t y = m_pointer.y; y != m_shownY) {
            m_shownY = y;
            Label5->setText(QStringLiteral("Y: ") + NumberText::decimal(y));
        }
    }

    // Shift, then Space, ORed. The first query is always made: it consumes a press that began
    // and ended since the last tick, so that only a key still down at the second query captures.
    const auto captureKeys = [this] {
        const std::int16_t shift = m_input->GetAsyncKeyState(ShiftKey);
        return shift | m_input->GetAsyncKeyState(SpaceKey);
    };
    const int first = captureKeys();
    // Still held from the last capture: one press gives one capture.
    if (!(CaptureLatch && first)) {
        const int second = captureKeys();
        if (!CaptureLatch && second) {
            CaptureLatch = -1;
            capture();
        } else {
            CaptureLatch = 0;
        }
    }

    const bool escape = m_input->GetAsyncKeyState(EscapeKey) != 0;
    if (Execute->text() == RunningCaption && escape)
        Execute_Click();

    // Let what waited during the tick (a click, typing, a playback tick) run before it ends.
    QCoreApplication::processEvents();
}

void AutoClicker::stopRun()
{
    if (Execute->text() == RunningCaption)
        Execute_Click();
}

void AutoClicker::capture()
{
    XPos[FocusRow]->setText(NumberText::decimal(CursorX()));
    YPos[FocusRow]->setText(NumberText::decimal(CursorY()));
    if (FocusRow < Rows - 1) {
        ++FocusRow;
        XPos[FocusRow]->setFocus();
    } else if (VSc->value() < VSc->maximum()) {
        VSc->setValue(VSc->value() + 1);
    }
}

void AutoClicker::Record_Click()
{
    if (Record->isChecked())
        m_layer->show();
    else
        m_layer->hide();
}
