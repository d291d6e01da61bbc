// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"

#include <optional>

// The Windows desktop: each operation is the user32 call of the same name, in physical pixels
// (the factory makes the process per-monitor DPI aware).
class WinDesktopInput : public DesktopInput
{
public:
    WinDesktopInput();

    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override { return m_whyMoveFailed; }
    std::string whyClicksMayNotLand(std::int32_t x, std::int32_t y) override;
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;

    /// The integrity level of this process, read at construction; none if Windows would not say.
    std::optional<std::uint32_t> ownIntegrityLevel() const { return m_ownLevel; }
    /// The integrity level of the process whose window is at (x, y); none if it cannot be read.
    std::optional<std::uint32_t> integrityLevelAt(std::int32_t x, std::int32_t y) const;

private:
    std::string whyMoveWasRefused(unsigned long error) const;

    std::optional<std::uint32_t> m_ownLevel;
    std::string m_whyMoveFailed;
};
