// SPDX-License-Identifier: GPL-3.0-or-later
#include "windesktopinput.h"

#include "integritylevel.h"

#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#    define NOMINMAX // keeps min and max usable as std::min and std::max
#endif
#include <windows.h>

// The methods carry the names of the user32 calls they wrap, so the system ones are spelled
// with a leading :: throughout.

namespace {

struct HandleCloser
{
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

std::optional<std::uint32_t> integrityLevel(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return std::nullopt;
    const OwnedHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    // The label and the SID it points to, in storage aligned for both.
    std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);
    if (size == 0 || !::GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size))
        return std::nullopt;
    const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL *>(buffer.data())->Label.Sid;
    if (!::IsValidSid(label) || *::GetSidSubAuthorityCount(label) == 0)
        return std::nullopt;
    return *::GetSidSubAuthority(label, *::GetSidSubAuthorityCount(label) - 1u);
}

std::optional<std::uint32_t> windowIntegrityLevel(HWND window, std::optional<std::uint32_t> own)
{
    DWORD process = 0;
    if (!window || !::GetWindowThreadProcessId(window, &process))
        return std::nullopt;
    if (process == ::GetCurrentProcessId())
        return own;
    // The one right that Windows grants across integrity levels, and all the token needs.
    const OwnedHandle opened(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    return opened ? integrityLevel(opened.get()) : std::nullopt;
}

// A UAC prompt and the lock screen take the input to the secure desktop, which a user's program
// may not even open.
bool inputDesktopIsOurs()
{
    const HDESK input = ::OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (!input)
        return false;
    const auto name = [](HDESK desktop) {
        wchar_t text[256] = {};
        ::GetUserObjectInformationW(desktop, UOI_NAME, text, sizeof text - sizeof *text, nullptr);
        return std::wstring(text);
    };
    const bool ours = name(input) == name(::GetThreadDesktop(::GetCurrentThreadId()));
    ::CloseDesktop(input);
    return ours;
}

} // namespace

WinDesktopInput::WinDesktopInput() : m_ownLevel(integrityLevel(::GetCurrentProcess())) { }

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
    // SetCursorPos would put the pointer on the nearest monitor's edge and say it succeeded.
    if (!::MonitorFromPoint(POINT {x, y}, MONITOR_DEFAULTTONULL)) {
        m_whyMoveFailed = noScreenAt(x, y);
        return false;
    }
    if (!::SetCursorPos(x, y)) {
        m_whyMoveFailed = whyMoveWasRefused(::GetLastError());
        return false;
    }
    // Under another program's ClipCursor (a game, a VM viewer, a remote-desktop client) the call
    // succeeds and leaves the pointer at the clip rectangle's edge, where a press would land.
    POINT seen {};
    if (!::GetCursorPos(&seen)) {
        m_whyMoveFailed = whyMoveWasRefused(::GetLastError());
        return false;
    }
    if (seen.x != x || seen.y != y) {
        m_whyMoveFailed = "another program holds the pointer at (" + std::to_string(seen.x) + ", "
                + std::to_string(seen.y) + ')';
        return false;
    }
    return true;
}

// Windows says no more than "access denied"; what else holds at that moment tells why.
std::string WinDesktopInput::whyMoveWasRefused(unsigned long error) const
{
    if (!inputDesktopIsOurs())
        return "a UAC prompt or the lock screen has the input";
    // Windows has been seen to refuse it while a window of a higher integrity level is in front.
    const auto front = windowIntegrityLevel(::GetForegroundWindow(), m_ownLevel);
    if (!whyIntegrityDropsClicks(m_ownLevel, front).empty())
        return "Windows refused to move the pointer while a window with more rights is in front";
    return "Windows refused to move the pointer (error " + std::to_string(error) + ')';
}

std::optional<std::uint32_t> WinDesktopInput::integrityLevelAt(std::int32_t x, std::int32_t y) const
{
    return windowIntegrityLevel(::WindowFromPoint(POINT {x, y}), m_ownLevel);
}

std::string WinDesktopInput::whyClicksMayNotLand(std::int32_t x, std::int32_t y)
{
    return whyIntegrityDropsClicks(m_ownLevel, integrityLevelAt(x, y));
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
