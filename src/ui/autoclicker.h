// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"
#include "script.h"
#include "singleinstance.h"
#include "stopkey.h"

#include <array>
#include <cstdint>
#include <memory>

#include <QWidget>

class CaptureLayer;
class CoordinateBox;
class Playback;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTimer;

// The program's only window. Like a form made in a designer, its controls are public members
// named as the handlers that serve them (XPos_Change serves XPos); the handlers share the state
// below. The run itself is the Playback's; the window starts and stops it and shows what it says.
// It is handed everything outside it: the desktop input, the lock that keeps it the only copy,
// and the stop key that hears Esc over other windows where its own poll cannot (none where the
// poll sees everything).
class AutoClicker : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Rows = 20;
    static constexpr int PollInterval = 50; // ms between polls of the pointer and the keys
    // Wide enough for every 16-bit coordinate, "-32768", so that no position is cut short.
    static constexpr int CoordinateLength = 6;

    AutoClicker(std::unique_ptr<DesktopInput> input, std::unique_ptr<SingleInstance> instance,
                std::unique_ptr<StopKey> stopKey = nullptr, QWidget *parent = nullptr);
    ~AutoClicker() override;

    /// Start-up before the first show. False if another copy runs: the user has been told, and
    /// the caller ends the process without showing the window.
    bool Form_Load();
    /// Shut-down: no tick runs after it, and a button that playback holds is released.
    void Form_Unload();

    // Playback
    void Execute_Click();
    Playback &playback() { return *m_playback; }

    // The grid
    void VSc_Change();
    void VSc_Scroll();
    void XPos_Change(int r);
    void YPos_Change(int r);
    void XPos_GotFocus(int r);
    void YPos_GotFocus(int r);
    void XPos_KeyDown(int r, int &keyCode);
    void XPos_KeyPress(int r, int &keyAscii);
    void YPos_KeyPress(int r, int &keyAscii);
    void LeftButtonDown_Click(int r);
    void LeftButtonUp_Click(int r);

    // Live position, capture and Esc
    void Hotkey_XY_Timer();
    /// Stops a run as Esc does, for the desktop's shortcut or varbelo --stop; nothing when idle.
    void stopRun();
    /// Where the desktop hides the pointer from the poll: puts the capture layer up or down.
    void Record_Click();

    /// Index of the item shown in row 0; follows the thumb while it is dragged.
    int topItem() const;

    // Controls
    std::array<QLabel *, Rows> No {};
    std::array<CoordinateBox *, Rows> XPos {};
    std::array<CoordinateBox *, Rows> YPos {};
    std::array<QPushButton *, Rows> LeftButtonDown {};
    std::array<QPushButton *, Rows> LeftButtonUp {};
    QScrollBar *VSc = nullptr;
    std::array<QLabel *, 6> La1 {}; // headings 0, 1, 3, 4 and 5; there is no 2
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *LoopX = nullptr;
    QLabel *ScNo = nullptr;
    QPushButton *Execute = nullptr;
    QTimer *Hotkey_XY = nullptr;
    // Only where the desktop input cannot see the whole desktop (Wayland); null elsewhere, where
    // the window stays as it always was.
    QPushButton *Record = nullptr;
    // What went wrong in this run, and what to do about it: a step that could not be played,
    // clicks that the window at a step will not take. Empty until then; cleared at each start.
    QLabel *Notice = nullptr;

    // Shared state
    Script script;
    std::int16_t FocusRow = 0; // row of the coordinate box that last had the focus
    std::int16_t CaptureLatch = 0; // -1 from a capture until Shift and Space read released

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void setTabOrder();
    void connectHandlers();
    QRect twips(int left, int top, int width, int height) const;
    void setExecuteRunning(bool running);
    void capture();
    std::int32_t CursorX();
    std::int32_t CursorY();

    std::unique_ptr<DesktopInput> m_input;
    CaptureLayer *m_layer = nullptr; // m_input itself when there is a Record toggle
    // Esc from anywhere during a run, where the poll cannot see it over other windows.
    std::unique_ptr<StopKey> m_stopKey;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<Playback> m_playback; // after m_input, which it uses: it goes first
    CursorPoint m_pointer; // the one record every read of the pointer fills
    std::int32_t m_shownX = 0; // what the readouts show, "X: 0" and "Y: 0" at first
    std::int32_t m_shownY = 0;
};
