// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Pointer position in physical screen pixels; origin at the top-left corner of the primary
// screen, x to the right, y downwards. Other monitors may give negative values.
struct CursorPoint
{
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Left-button event flags, as the Windows mouse_event call numbers them.
enum MouseEventFlag : std::uint32_t {
    LeftButtonPress = 2,
    LeftButtonRelease = 4,
};

// Virtual-key codes of the only keys the program ever polls.
enum VirtualKey : int {
    ShiftKey = 16,
    EscapeKey = 27,
    SpaceKey = 32,
};

// The program's whole contact with the desktop: read and move the pointer, press and release
// the left button where the pointer stands, poll three keys. One backend per platform.
class DesktopInput
{
public:
    DesktopInput() = default;
    virtual ~DesktopInput() = default;
    DesktopInput(const DesktopInput &) = delete;
    DesktopInput &operator=(const DesktopInput &) = delete;

    /// Reads the pointer position into point; false if the system could not tell.
    virtual bool GetCursorPos(CursorPoint &point) = 0;
    /// Moves the pointer; the move takes effect before any button event sent after it. False
    /// when the pointer could not be moved there: a button event would land somewhere else. A
    /// position on no monitor is such a place, as the system would push the pointer to an edge;
    /// so is one outside where another program confines the pointer, where the backend can
    /// read the pointer back (one round trip a move, never in a poll).
    virtual bool SetCursorPos(std::int32_t x, std::int32_t y) = 0;
    /// Why the last SetCursorPos that returned false did, in a few words for the user.
    virtual std::string whyMoveFailed() const { return "the desktop refused to move the pointer"; }
    /// Why button events at (x, y) would be dropped by the window there although they are
    /// sent, in words for the user; empty when nothing says so.
    virtual std::string whyClicksMayNotLand(std::int32_t /*x*/, std::int32_t /*y*/) { return {}; }
    /// Sends one left-button event (LeftButtonPress or LeftButtonRelease) at the pointer.
    virtual void mouse_event(std::uint32_t dwFlags) = 0;
    /// Nonzero while the key is held down (and possibly once after a press since the last poll).
    virtual std::int16_t GetAsyncKeyState(int vKey) = 0;
    /// False only when the pointer has surely stayed where it was at the last call that said
    /// true, so that a poll may keep what it shows; GetCursorPos reads afresh whatever this says.
    virtual bool pointerMayHaveMoved() { return true; }
    /// False where the desktop hides the pointer and the keys over other programs' windows (a
    /// Wayland compositor): GetCursorPos and GetAsyncKeyState then see only the program's own.
    virtual bool seesWholeDesktop() const { return true; }
    /// What to call, once and from the event loop, when the desktop takes input away for good
    /// (it ended a remote-control session), with why in a few words for the user. Only backends
    /// that can lose their input call it.
    virtual void setLostHandler(std::function<void(const std::string &why)> /*handler*/) { }
};

// The reason a backend gives for a move to (x, y) that lies on none of the monitors.
inline std::string noScreenAt(std::int32_t x, std::int32_t y)
{
    return "no screen at (" + std::to_string(x) + ", " + std::to_string(y) + ')';
}

// The pixel that a fractional pointer position (a scaled output's) lies over, along a monitor
// length pixels long: floored, as the pointer at x 100.6 is over pixel 100, and never past the
// monitor's last pixel, so that a spot on its edge stays on it.
inline std::int32_t pixelUnder(double position, std::int32_t length)
{
    // Wayland gives positions in 256ths of a pixel, and a compositor that scales them may land a
    // pointer set on a pixel's edge a 256th short of it (sway 1.10: 599.996 for 600).
    const double pixel = std::floor(position + 1.0 / 256);
    return std::int32_t(length > 0 ? std::clamp(pixel, 0.0, length - 1.0) : pixel);
}

// Returns the backend for the desktop the program runs on, or nullptr with the reason in
// whyNot when none can work here (no display, no input-injection extension, ...). On Linux it
// is chosen at start-up from what the session offers.
std::unique_ptr<DesktopInput> createDesktopInput(std::string &whyNot);

#ifdef __linux__
// Called once the application object exists, with what createDesktopInput returned: a backend
// that needs Qt's event loop (the desktop portal, over D-Bus) and comes earlier in the order
// takes over if the desktop grants it; otherwise input comes back as it was.
std::unique_ptr<DesktopInput> completeDesktopInput(std::unique_ptr<DesktopInput> input);
#endif
