// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"

#include <set>
#include <string>
#include <vector>

// In-memory desktop for tests: records every move and button event in order and lets the test
// place the pointer and hold or tap keys.
class FakeDesktopInput : public DesktopInput
{
public:
    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override { return m_whyMoveFailed; }
    std::string whyClicksMayNotLand(std::int32_t x, std::int32_t y) override;
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool seesWholeDesktop() const override { return m_seesWholeDesktop; }
    void setLostHandler(std::function<void(const std::string &)> handler) override
    {
        m_lostHandler = std::move(handler);
    }

    /// A desktop that hides the pointer and keys over other windows, as Wayland does.
    explicit FakeDesktopInput(bool seesWholeDesktop = true) : m_seesWholeDesktop(seesWholeDesktop)
    {
    }

    /// The pointer as a user would place it (no log entry).
    void placePointer(std::int32_t x, std::int32_t y);
    /// Holds a key down until released.
    void holdKey(int vKey);
    void releaseKey(int vKey);
    /// A press and release that both happened since the last poll: the next query of that key
    /// reads nonzero once, as the Windows call reports such a press.
    void tapKey(int vKey);
    /// Moves fail with this reason from now on (logged as "no move X,Y"); empty lets them succeed.
    void refuseMoves(const std::string &why) { m_moveRefusal = why; }
    /// The monitors, as left, top, width, height; a move anywhere else fails. None (the start):
    /// every position is on one.
    struct Monitor
    {
        std::int32_t left, top, width, height;
    };
    void setMonitors(const std::vector<Monitor> &monitors) { m_monitors = monitors; }
    /// The desktop takes input away for good, for this reason.
    void loseInput(const std::string &why)
    {
        if (m_lostHandler)
            m_lostHandler(why);
    }
    /// Button events at (x, y) are said to be dropped there, for this reason.
    void dropClicksAt(std::int32_t x, std::int32_t y, const std::string &why);

    /// The moves and button events so far, e.g. "move 10,20; down; up".
    std::string actions() const;
    int actionCount() const { return m_actionCount; }
    void clearActions();
    /// Every key query so far, as virtual-key codes joined by blanks, e.g. "16 32 27".
    std::string keyQueries() const;
    void clearKeyQueries() { m_keyQueries.clear(); }

    CursorPoint pointer() const { return m_pointer; }
    bool buttonDown() const { return m_buttonDown; }

private:
    void record(const std::string &action);

    bool m_seesWholeDesktop;
    CursorPoint m_pointer;
    bool m_buttonDown = false;
    std::set<int> m_held;
    std::set<int> m_tapped;
    std::string m_actions;
    int m_actionCount = 0;
    std::string m_keyQueries;
    std::string m_moveRefusal;
    std::string m_whyMoveFailed;
    std::vector<Monitor> m_monitors;
    CursorPoint m_dropAt {-1, -1};
    std::string m_dropWhy;
    std::function<void(const std::string &)> m_lostHandler;
};
