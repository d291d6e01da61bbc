// The Windows backend and the taskbar helper against a real Win32 desktop (wine on Xvfb here).
// Plain C++, as there is no Qt for this compiler; qtstub/QWidget stands in for the widget.
//
// Wine keeps the key and button state of a process's own injected input, so presses made here
// can be read back here. Key checks run before any window exists, as wine may reload the key
// state from the X server when one of its windows takes the focus.

#include "desktopinput.h"
#include "windowframe.h"

#include <QWidget>

#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#    define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

int passedCount = 0;
int failedCount = 0;

void check(bool ok, const std::string &what)
{
    std::printf("%s  %s\n", ok ? "PASS" : "FAIL", what.c_str());
    std::fflush(stdout);
    ++(ok ? passedCount : failedCount);
}

std::string point(int x, int y)
{
    return '(' + std::to_string(x) + ',' + std::to_string(y) + ')';
}

bool heldDown(int vKey)
{
    return (::GetAsyncKeyState(vKey) & 0x8000) != 0;
}

void pressKey(int vKey, bool down)
{
    ::keybd_event(BYTE(vKey), 0, down ? 0 : KEYEVENTF_KEYUP, 0);
}

// The native window that the stand-in widget reports.
HWND widgetWindow = nullptr;

void testPointer(DesktopInput &input)
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    struct Case
    {
        const char *where;
        int x;
        int y;
    };
    const Case cases[] = {
        {"inside", 123, 45},
        {"centre", width / 2, height / 2},
        {"top-left corner", 0, 0},
        {"top-right corner", width - 1, 0},
        {"bottom-left corner", 0, height - 1},
        {"bottom-right corner", width - 1, height - 1},
        {"inside again", 37, 611},
    };
    for (const Case &c : cases) {
        const bool moved = input.SetCursorPos(c.x, c.y);
        CursorPoint read {-1, -1};
        const bool readOk = input.GetCursorPos(read);
        check(moved && readOk && read.x == c.x && read.y == c.y,
              std::string("pointer set to ") + c.where + ' ' + point(c.x, c.y) + " reads back "
                      + point(read.x, read.y));
    }
}

void testButtons(DesktopInput &input)
{
    input.SetCursorPos(200, 150);
    input.mouse_event(LeftButtonPress);
    check(heldDown(VK_LBUTTON), "left press holds the left button down");
    input.mouse_event(LeftButtonRelease);
    check(!heldDown(VK_LBUTTON), "left release lets it go");

    CursorPoint read;
    input.GetCursorPos(read);
    check(read.x == 200 && read.y == 150, "button events leave the pointer where it was");

    // Right-button down (8), alone and together with a left press: not the program's to send.
    input.mouse_event(8);
    input.mouse_event(LeftButtonPress | 8);
    check(!heldDown(VK_LBUTTON) && !heldDown(VK_RBUTTON),
          "other or combined flags send nothing");
    ::mouse_event(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0); // in case they did
}

void testKeys(DesktopInput &input)
{
    struct Key
    {
        const char *name;
        int code;
    };
    const Key keys[] = {{"Shift", ShiftKey}, {"Escape", EscapeKey}, {"Space", SpaceKey}};
    for (const Key &key : keys)
        check(input.GetAsyncKeyState(key.code) == 0,
              std::string(key.name) + " reads 0 with nothing pressed");
    for (const Key &key : keys) {
        pressKey(key.code, true);
        const bool readDown = (input.GetAsyncKeyState(key.code) & 0x8000) != 0;
        pressKey(key.code, false);
        const bool readUp = (input.GetAsyncKeyState(key.code) & 0x8000) == 0;
        check(readDown && readUp, std::string(key.name) + " reads down while held, up after");
    }

    // Other keys read 0 even while held: Control next to Shift, a letter, and Shift's code
    // plus 256 (a backend keeping only the low byte would read Shift).
    pressKey(VK_SHIFT, true);
    pressKey(VK_CONTROL, true);
    pressKey('A', true);
    const bool othersHeld = heldDown(VK_SHIFT) && heldDown(VK_CONTROL) && heldDown('A');
    const bool othersZero = input.GetAsyncKeyState(VK_CONTROL) == 0
            && input.GetAsyncKeyState('A') == 0 && input.GetAsyncKeyState(ShiftKey + 256) == 0
            && input.GetAsyncKeyState(-1) == 0;
    pressKey('A', false);
    pressKey(VK_CONTROL, false);
    pressKey(VK_SHIFT, false);
    check(othersHeld && othersZero, "other key codes read 0 even while those keys are held");
}

int hideCount = 0; // WM_SHOWWINDOW(FALSE) seen by the test windows

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SHOWWINDOW && !wParam)
        ++hideCount;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void pumpMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// A normal captioned window that asks for a taskbar button outright (WS_EX_APPWINDOW).
HWND makeWindow(const wchar_t *title)
{
    return ::CreateWindowExW(WS_EX_APPWINDOW, L"VarbeloTestWindow", title, WS_OVERLAPPEDWINDOW,
                             100, 100, 320, 200, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                             nullptr);
}

bool offTaskbar(HWND window, HWND owner)
{
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    return owner && ::GetWindow(window, GW_OWNER) == owner && !(exStyle & WS_EX_APPWINDOW);
}

void testTaskbar()
{
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = testWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VarbeloTestWindow";
    ::RegisterClassExW(&windowClass);
    QWidget widget;

    // As the program does it: from the show event, before the window is on screen.
    const HWND first = makeWindow(L"first");
    widgetWindow = first;
    keepOffTaskbar(&widget);
    const HWND owner = ::GetWindow(first, GW_OWNER);
    check(offTaskbar(first, owner) && !::IsWindowVisible(owner)
                  && ::GetAncestor(owner, GA_PARENT) == ::GetDesktopWindow(),
          "a window not yet shown gets a hidden top-level owner and loses WS_EX_APPWINDOW");
    const LONG_PTR style = ::GetWindowLongPtrW(first, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(first, GWL_EXSTYLE);
    check((style & WS_CAPTION) == WS_CAPTION && !(exStyle & WS_EX_TOOLWINDOW),
          "it keeps its normal caption (no tool window)");

    // Qt resets the owner to the window's transient parent (none) just before ShowWindow.
    ::SetWindowLongPtrW(first, GWLP_HWNDPARENT, 0);
    ::ShowWindow(first, SW_SHOWNORMAL);
    pumpMessages();
    check(::IsWindowVisible(first) && offTaskbar(first, owner),
          "shown the way Qt shows it (owner reset first), it is owned again once on screen");

    // Restoring from minimized sends another show event: nothing to redo, so no flicker.
    hideCount = 0;
    keepOffTaskbar(&widget);
    pumpMessages();
    check(::IsWindowVisible(first) && offTaskbar(first, owner) && hideCount == 0,
          "asking again while shown changes nothing and does not hide the window");

    // A window already on screen with a taskbar button.
    const HWND second = makeWindow(L"second");
    ::ShowWindow(second, SW_SHOWNORMAL);
    pumpMessages();
    widgetWindow = second;
    keepOffTaskbar(&widget);
    pumpMessages();
    check(::IsWindowVisible(second) && offTaskbar(second, owner),
          "a window already shown is taken off too, stays shown, and shares the one owner");

    check(::DestroyWindow(first) && ::DestroyWindow(second) && ::IsWindow(owner),
          "the windows close normally and the hidden owner outlives them");
    pumpMessages();
}

} // namespace

unsigned long long QWidget::winId() const
{
    return reinterpret_cast<std::uintptr_t>(widgetWindow);
}

int main()
{
    std::string whyNot = "not asked yet";
    const std::unique_ptr<DesktopInput> input = createDesktopInput(whyNot);
    check(input && whyNot.empty(), "the factory makes the Windows backend");
    if (input) {
        testKeys(*input);
        testPointer(*input);
        testButtons(*input);
    }
    testTaskbar();

    std::printf("%d passed, %d failed\n", passedCount, failedCount);
    return failedCount == 0 ? 0 : 1;
}
