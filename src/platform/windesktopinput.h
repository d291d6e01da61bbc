// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"

// The Windows desktop: each operation is the user32 call of the same name, in physical pixels
// (the factory makes the process per-monitor DPI aware).
class WinDesktopInput : public DesktopInput
{
public:
    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override;
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
};
