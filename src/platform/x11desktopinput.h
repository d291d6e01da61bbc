// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"

#include <chrono>
#include <vector>

// Xlib's own typedef, repeated so that this header does not pull in Xlib's macros (None, Bool,
// Status, ...), which clash with other code.
typedef struct _XDisplay Display;

// The desktop of an X server: moves and clicks through XTEST, each move read back from the root
// window, keys followed through XInput2 raw events. Coordinates are relative to the primary
// RandR monitor, as Windows counts them from the primary screen.
class X11DesktopInput : public DesktopInput
{
public:
    /// The backend on the display DISPLAY names, or nullptr with the reason in whyNot.
    static std::unique_ptr<DesktopInput> create(std::string &whyNot);
    /// Takes over an open connection that has the XTEST extension. RandR is used up to version
    /// 1.newestRandR: a test gives an older one to see what older servers get.
    explicit X11DesktopInput(Display *display, int newestRandR = 99);
    ~X11DesktopInput() override;

    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override { return m_whyMoveFailed; }
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool pointerMayHaveMoved() override;

private:
    // The three polled keys; Shift has two physical keys, the others one each.
    enum KeySlot { ShiftSlot, SpaceSlot, EscapeSlot, SlotCount };
    struct WatchedKey
    {
        unsigned long keysym;
        KeySlot slot;
        unsigned char keycode = 0; // 0: not on this keyboard
        bool down = false;
    };

    static void connectionLost(Display *display, void *self);
    bool usable();
    void processPendingEvents();
    void processEventsOncePerPoll();
    void handleKeyEvent(unsigned keycode, bool press);
    void refreshMonitors();
    void readMonitors();
    void readCrtcs();
    void findKeycodes();
    void seedKeyState();

    Display *m_display;
    unsigned long m_root;
    int m_randrEventBase = -1; // -1: no RandR, the layout is never asked for
    int m_randrMinor = -1; // RandR 1.x: 5 names the monitors, 2 at least shows the CRTCs
    // The monitors in root coordinates, and the primary one's corner, kept until the layout
    // changes: a move needs them, a poll must not wait for the server to tell them.
    struct Monitor
    {
        int x, y, width, height;
    };
    std::vector<Monitor> m_monitors;
    bool m_originStale = true;
    int m_originX = 0;
    int m_originY = 0;
    std::string m_whyMoveFailed;
    bool m_readsBack = true; // a move is checked by reading the pointer back
    int m_xinputOpcode = -1; // -1: no XInput2, keys are asked for on every poll
    WatchedKey m_keys[4];
    bool m_pressedSincePoll[SlotCount] = {};
    bool m_connectionLost = false; // the connection is dead: Xlib calls on it would fail
    // Raw motion seen, or a layout change, since pointerMayHaveMoved last said true.
    bool m_pointerMoved = true;
    std::chrono::steady_clock::time_point m_lastMoveReport;
    std::chrono::steady_clock::time_point m_lastDrain;
    bool m_pollEveryTime = false; // the benchmark's "before" figures: no raw motion, no coalescing
};
