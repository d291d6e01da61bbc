// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowframe.h"

#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#    define NOMINMAX // keeps min and max usable as std::min and std::max
#endif
#include <windows.h>
// After windows.h, which it builds on: the window subclassing calls.
#include <commctrl.h>

#include <QWidget>

// Windows gives a taskbar button to a visible top-level window that has no owner (unless it is a
// tool window, whose small caption we do not want) or that has WS_EX_APPWINDOW. So the window is
// given an owner that is never shown, and WS_EX_APPWINDOW is cleared. Alt+Tab still lists it.

namespace {

constexpr UINT_PTR reownSubclassId = 1;

// One hidden owner for the life of the process, made on the GUI thread at the first call. A
// message-only window cannot own others, hence an ordinary top-level window never shown.
HWND hiddenOwner()
{
    static const HWND owner = [] {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"VarbeloTaskbarOwner";
        ::RegisterClassExW(&windowClass);
        return ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                 nullptr, nullptr, instance, nullptr);
    }();
    return owner;
}

bool isOffTaskbar(HWND window, HWND owner)
{
    return ::GetWindow(window, GW_OWNER) == owner
            && !(::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

void takeOffTaskbar(HWND window, HWND owner)
{
    ::SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    if (exStyle & WS_EX_APPWINDOW)
        ::SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle & ~LONG_PTR(WS_EX_APPWINDOW));
}

// Each time Qt shows a window it sets the owner to the window's transient parent, none here,
// after the show event in which our caller asks to stay off the taskbar. So the owner is set
// again while the window is on its way to the screen, before the taskbar looks at it. Every
// way of showing a window passes through WM_WINDOWPOSCHANGING with SWP_SHOWWINDOW (unlike
// WM_SHOWWINDOW, which ShowWindow(SW_SHOWNORMAL) need not send).
LRESULT CALLBACK reownOnShow(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                             DWORD_PTR ownerData)
{
    const bool showing = message == WM_WINDOWPOSCHANGING
            && (reinterpret_cast<const WINDOWPOS *>(lParam)->flags & SWP_SHOWWINDOW);
    const auto owner = reinterpret_cast<HWND>(ownerData);
    if (showing && !isOffTaskbar(window, owner))
        takeOffTaskbar(window, owner);
    else if (message == WM_NCDESTROY)
        ::RemoveWindowSubclass(window, reownOnShow, id);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

void keepOffTaskbar(QWidget *window)
{
    const HWND hwnd = reinterpret_cast<HWND>(window->winId());
    const HWND owner = hiddenOwner();
    if (!hwnd || !owner)
        return;
    ::SetWindowSubclass(hwnd, reownOnShow, reownSubclassId, reinterpret_cast<DWORD_PTR>(owner));
    if (isOffTaskbar(hwnd, owner))
        return;
    if (!::IsWindowVisible(hwnd)) {
        takeOffTaskbar(hwnd, owner);
        return;
    }
    // The taskbar drops the button of a shown window only if it is hidden around the change.
    const bool active = ::GetForegroundWindow() == hwnd;
    ::ShowWindow(hwnd, SW_HIDE);
    takeOffTaskbar(hwnd, owner);
    ::ShowWindow(hwnd, active ? SW_SHOW : SW_SHOWNA);
}
