// SPDX-License-Identifier: GPL-3.0-or-later
#include "windesktopinput.h"

#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#    define NOMINMAX // keeps min and max usable as std::min and std::max
#endif
#include <windows.h>

// The methods carry the names of the user32 calls they wrap, so the system ones are spelled
// with a leading :: throughout.

bool WinDesktopInput::GetCursorPos(CursorPoint &point)
{
    POINT position {};
    if (!::GetCursorPos(&position))
        return false; // e.g. while another desktop (the lock screen, a UAC prompt) has the input
    point = {position.x, position.y};
    return true;
}

bool WinDesktopInput::SetCursorPos(std::int32_t x, std::int32_t y)
{
    return ::SetCursorPos(x, y) != FALSE;
}

std::string WinDesktopInput::whyMoveFailed() const
{
    // Windows says no more than "access denied": it refuses while another desktop has the input.
    return "Windows refused to move the pointer; a UAC prompt or the lock screen may have the "
           "input";
}

void WinDesktopInput::mouse_event(std::uint32_t dwFlags)
{
    // Only a lone press or release: other flags would move the pointer, scroll or use another
    // button, which the program never means to do.
    if (dwFlags == LeftButtonPress)
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    else if (dwFlags == LeftButtonRelease)
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

std::int16_t WinDesktopInput::GetAsyncKeyState(int vKey)
{
    switch (vKey) {
    case ShiftKey:
    case EscapeKey:
    case SpaceKey:
        return ::GetAsyncKeyState(vKey);
    default:
        return 0; // the program polls no other key; reading others would only invite misuse
    }
}

std::unique_ptr<DesktopInput> createDesktopInput(std::string &whyNot)
{
    whyNot.clear();

    // Without per-monitor awareness Windows scales pointer positions by the DPI of a monitor,
    // so scripts recorded on one scaling would miss on another. Looked up at run time because
    // older Windows lacks the call; failure is fine when Qt (or a manifest) has already set it.
    using SetAwareness = BOOL(WINAPI *)(DPI_AWARENESS_CONTEXT);
    if (const HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
        const FARPROC found = ::GetProcAddress(user32, "SetProcessDpiAwarenessContext");
        if (found)
            reinterpret_cast<SetAwareness>(reinterpret_cast<void *>(found))(
                    DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
    return std::make_unique<WinDesktopInput>();
}
