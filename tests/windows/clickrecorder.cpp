// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows twin of tests/program/clickrecorder.cpp, for driving varbelo.exe under wine: wine
// delivers the program's synthesized button events only to wine's own windows, so the window
// that receives them must be a Windows program in the same prefix. The same command line and log
// (tests/program/clicklog.h): the window's buttons are the left (1) and the right (3) one, a
// key's KEY its virtual-key code. Times are the system's message times, the one clock of every
// input event, whether the X server sent it or a program synthesized it; the raw lines come from
// low-level hooks.
#ifndef UNICODE
#    define UNICODE // the wide IDC_ARROW
#endif
#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#include "clicklog.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool left = message == WM_LBUTTONDOWN || message == WM_LBUTTONUP;
    if (left || message == WM_RBUTTONDOWN || message == WM_RBUTTONUP) {
        POINT at {short(LOWORD(lParam)), short(HIWORD(lParam))};
        ::ClientToScreen(window, &at);
        const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN;
        clicklog::click(down, left ? 1 : 3, at.x, at.y, ::GetMessageTime());
        return 0;
    }
    if (message == WM_DESTROY)
        ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK mouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto *event = reinterpret_cast<const MSLLHOOKSTRUCT *>(lParam);
        const char *kind = wParam == WM_LBUTTONDOWN || wParam == WM_RBUTTONDOWN ? "rawpress"
                : wParam == WM_LBUTTONUP || wParam == WM_RBUTTONUP              ? "rawrelease"
                                                                                : nullptr;
        const bool left = wParam == WM_LBUTTONDOWN || wParam == WM_LBUTTONUP;
        if (kind)
            clicklog::raw(kind, left ? 1 : 3, event->time);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK keyboardHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto *event = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        clicklog::raw(down ? "rawkey" : "rawkeyup", event->vkCode, event->time);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int main(int argc, char **argv)
{
    const auto area = clicklog::readArea(argc, argv);
    if (!area)
        return 2;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Plain line feeds, as the Linux recorder writes them: the test reads the log with shell tools.
    _setmode(_fileno(stdout), _O_BINARY);

    // Positions are physical pixels, as the program's are.
    ::SetProcessDPIAware();
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = ::CreateSolidBrush(RGB(0xa0, 0x60, 0x30));
    windowClass.lpszClassName = L"VarbeloClickRecorder";
    ::RegisterClassExW(&windowClass);
    // A popup without caption: no window manager frame moves it off the spots the test clicks.
    const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"clickrecorder", WS_POPUP,
                                          area->x, area->y, area->width, area->height, nullptr,
                                          nullptr, instance, nullptr);
    if (!window) {
        std::fprintf(stderr, "clickrecorder: cannot create the window\n");
        return 1;
    }
    if (!::SetWindowsHookExW(WH_MOUSE_LL, mouseHook, instance, 0)
        || !::SetWindowsHookExW(WH_KEYBOARD_LL, keyboardHook, instance, 0))
        std::fprintf(stderr, "clickrecorder: no low-level hooks, raw events will not be logged\n");
    // Not activated: the keyboard stays with the program under test.
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window);
    clicklog::ready();

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
