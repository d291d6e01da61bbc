// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows backend and the taskbar helper against a real Win32 desktop (wine on Xvfb here),
// and the program's resources (icon, version information, manifest), which are linked in from
// the same varbelo.rc the program is built with. Plain Win32 without Qt: the taskbar helper is
// handed windows made here, through qtstub/QWidget, so that each case (not yet shown, shown, the
// owner reset as Qt resets it) is exactly the one meant; varbelo.exe itself is tested from outside
// by the program tests under wine.
//
// Wine keeps the key and button state of a process's own injected input, so presses made here
// can be read back here. Key checks run before any window exists, as wine may reload the key
// state from the X server when one of its windows takes the focus.

#include "desktopinput.h"
#include "windesktopinput.h"
#include "windowframe.h"

#include <QWidget>

#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#    define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it builds on: the version information calls.
#include <winver.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#ifndef VARBELO_VERSION
#    error "VARBELO_VERSION, the project version the resources were built with, must be defined"
#endif

namespace {

int passedCount = 0;
int failedCount = 0;
int skippedCount = 0;

void check(bool ok, const std::string &what)
{
    std::printf("%s  %s\n", ok ? "PASS" : "FAIL", what.c_str());
    std::fflush(stdout);
    ++(ok ? passedCount : failedCount);
}

// For checks this system cannot make; the reason says what would have been checked.
void skip(const std::string &why)
{
    std::printf("SKIP  %s\n", why.c_str());
    std::fflush(stdout);
    ++skippedCount;
}

std::string narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? char(c) : '?';
    return out;
}

std::wstring lowered(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return wchar_t(std::towlower(c)); });
    return text;
}

// Calls newer than the oldest Windows the program starts on are looked up, not imported, so
// that a missing one makes a check fail instead of the whole program refuse to load.
template<typename FunctionPointer>
FunctionPointer systemFunction(const wchar_t *module, const char *name)
{
    const HMODULE loaded = ::GetModuleHandleW(module);
    const FARPROC found = loaded ? ::GetProcAddress(loaded, name) : nullptr;
    return reinterpret_cast<FunctionPointer>(reinterpret_cast<void *>(found));
}

// ---- The manifest --------------------------------------------------------------------------

std::wstring manifestSetting(const wchar_t *nameSpace, const wchar_t *name)
{
    wchar_t value[256] = {};
    SIZE_T written = 0;
    if (!::QueryActCtxSettingsW(0, nullptr, nameSpace, name, value, 256, &written))
        return L"(none)";
    return value;
}

// Runs before anything in the process asks for a DPI awareness, so that on Windows what it sees
// comes from the manifest alone. Wine 8 cannot show that part: win32u makes every process
// per-monitor aware before user32 reads the manifest (unless the user's Control Panel\Desktop
// key has a DpiScalingVer value), and its GetAwarenessFromDpiAwarenessContext knows no
// PerMonitorV2, so it would reject the manifest's first choice anyway. What wine does show is that
// the loader found the manifest and parsed the settings user32 applies.
void testManifest()
{
    const std::wstring awareness = manifestSetting(
            L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness");
    const std::wstring aware =
            manifestSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware");
    check(awareness == L"PerMonitorV2, PerMonitor" && aware == L"true/pm",
          "the embedded manifest is the process's own and asks for per-monitor DPI awareness: "
          "dpiAwareness \""
                  + narrow(awareness) + "\", dpiAware \"" + narrow(aware) + '"');

    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI *)();
    using ContextsEqual = BOOL(WINAPI *)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);
    const auto getContext =
            systemFunction<GetContext>(L"user32.dll", "GetThreadDpiAwarenessContext");
    const auto contextsEqual =
            systemFunction<ContextsEqual>(L"user32.dll", "AreDpiAwarenessContextsEqual");
    if (systemFunction<FARPROC>(L"ntdll.dll", "wine_get_version"))
        skip("PerMonitorV2 from the manifest alone: wine sets its own awareness first");
    else if (!getContext || !contextsEqual)
        skip("PerMonitorV2 from the manifest alone: Windows older than 10 1607 has no contexts");
    else
        check(contextsEqual(getContext(), DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2),
              "the process starts PerMonitorV2 DPI aware, before any code asks");

    // Without a supportedOS entry for Windows 10 (and 11), GetVersionEx claims Windows 8.
    using GetRealVersion = LONG(WINAPI *)(RTL_OSVERSIONINFOW *);
    RTL_OSVERSIONINFOW real {};
    real.dwOSVersionInfoSize = sizeof real;
    const auto getRealVersion = systemFunction<GetRealVersion>(L"ntdll.dll", "RtlGetVersion");
    const bool known = getRealVersion && getRealVersion(&real) == 0;
    if (!known || real.dwMajorVersion < 6
        || (real.dwMajorVersion == 6 && real.dwMinorVersion < 3)) {
        skip("supportedOS: Windows before 8.1 tells its version with or without it");
    } else {
        OSVERSIONINFOW told {};
        told.dwOSVersionInfoSize = sizeof told;
        ::GetVersionExW(&told);
        check(told.dwMajorVersion == real.dwMajorVersion
                      && told.dwMinorVersion == real.dwMinorVersion,
              "the manifest declares the running Windows: GetVersionEx says "
                      + std::to_string(told.dwMajorVersion) + '.'
                      + std::to_string(told.dwMinorVersion) + ", the system is "
                      + std::to_string(real.dwMajorVersion) + '.'
                      + std::to_string(real.dwMinorVersion));
    }

    // The taskbar helper's SetWindowSubclass is a common controls 6 call: that assembly, not
    // the version 5 DLL in the system folder, must be the one loaded.
    wchar_t path[MAX_PATH] = {};
    const HMODULE controls = ::GetModuleHandleW(L"comctl32.dll");
    if (controls)
        ::GetModuleFileNameW(controls, path, MAX_PATH);
    const std::wstring loaded = lowered(path);
    check(loaded.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.")
                  != std::wstring::npos,
          "comctl32.dll comes from the common controls 6 assembly: " + narrow(path));
}

// ---- The icon ------------------------------------------------------------------------------

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names)
{
    reinterpret_cast<std::vector<std::wstring> *>(names)->push_back(
            IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<std::uintptr_t>(name))
                                 : std::wstring(name));
    return TRUE;
}

#pragma pack(push, 2)
struct IconGroupEntry // GRPICONDIRENTRY: one image of an icon group resource
{
    BYTE width; // 0 stands for 256
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroupHeader
{
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

// Every pixel's alpha of an icon at its own size, or nothing when it does not load at that size.
std::vector<BYTE> iconAlpha(int size)
{
    const auto icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), L"IDI_ICON1",
                                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    std::vector<BYTE> alpha;
    ICONINFO info {};
    if (!icon || !::GetIconInfo(icon, &info)) {
        if (icon)
            ::DestroyIcon(icon);
        return alpha;
    }
    BITMAP bitmap {};
    if (info.hbmColor && ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)
        && bitmap.bmWidth == size && bitmap.bmHeight == size) {
        BITMAPINFO format {};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        std::vector<std::uint32_t> pixels(std::size_t(size) * std::size_t(size));
        const HDC screen = ::GetDC(nullptr);
        if (::GetDIBits(screen, info.hbmColor, 0, UINT(size), pixels.data(), &format,
                        DIB_RGB_COLORS)
            == size) {
            for (std::uint32_t pixel : pixels)
                alpha.push_back(BYTE(pixel >> 24));
        }
        ::ReleaseDC(nullptr, screen);
    }
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
    if (info.hbmMask)
        ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
    return alpha;
}

void testIcon()
{
    // Explorer shows the first icon group of a file, and Qt's window classes load "IDI_ICON1".
    std::vector<std::wstring> groups;
    ::EnumResourceNamesW(nullptr, RT_GROUP_ICON, collectName,
                         reinterpret_cast<LONG_PTR>(&groups));
    check(groups.size() == 1 && groups.front() == L"IDI_ICON1",
          "the one icon group is named IDI_ICON1 (" + std::to_string(groups.size())
                  + " group(s))");

    std::vector<int> sizes;
    if (const HRSRC found = ::FindResourceW(nullptr, L"IDI_ICON1", RT_GROUP_ICON)) {
        const auto *header = static_cast<const IconGroupHeader *>(
                ::LockResource(::LoadResource(nullptr, found)));
        const DWORD bytes = ::SizeofResource(nullptr, found);
        if (header && bytes >= sizeof *header
            && bytes >= sizeof *header + header->count * sizeof(IconGroupEntry)) {
            const auto *entries = reinterpret_cast<const IconGroupEntry *>(header + 1);
            for (WORD i = 0; i < header->count; ++i)
                if (entries[i].bitCount == 32)
                    sizes.push_back(entries[i].width ? entries[i].width : 256);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    std::string listed;
    for (int size : sizes)
        listed += ' ' + std::to_string(size);
    check(sizes == std::vector<int> {16, 24, 32, 48, 64, 128, 256},
          "the icon group holds 32-bit images of 16 to 256 pixels:" + listed);

    // 32 for the taskbar and Alt+Tab at 100 %, 256 for Explorer's large views; the images are
    // PNG inside the .ico, which LoadImage must decode.
    for (int size : {32, 256}) {
        const std::vector<BYTE> alpha = iconAlpha(size);
        const bool drawn = std::any_of(alpha.begin(), alpha.end(), [](BYTE a) { return a > 0; });
        const bool clear = std::any_of(alpha.begin(), alpha.end(), [](BYTE a) { return a == 0; });
        check(!alpha.empty() && drawn && clear,
              "the icon loads at " + std::to_string(size) + 'x' + std::to_string(size)
                      + " with its drawing on a transparent ground");
    }
}

// ---- The version information ---------------------------------------------------------------

std::wstring versionString(const std::vector<BYTE> &block, const std::wstring &language,
                           const wchar_t *name)
{
    void *value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\" + language + L"\\" + name;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value)
        return L"(none)";
    return static_cast<const wchar_t *>(value);
}

void testVersionInfo()
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    DWORD ignored = 0;
    std::vector<BYTE> block(::GetFileVersionInfoSizeW(self, &ignored));
    const bool read = !block.empty()
            && ::GetFileVersionInfoW(self, 0, DWORD(block.size()), block.data());
    check(read, "the file has version information");
    if (!read)
        return;

    // The numbers Explorer's Details tab and installers compare, from the project version.
    unsigned parts[4] = {};
    std::sscanf(VARBELO_VERSION, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    const DWORD high = MAKELONG(parts[1], parts[0]);
    const DWORD low = MAKELONG(parts[3], parts[2]);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    const bool hasFixed = ::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed),
                                           &length)
            && fixed && length >= sizeof *fixed && fixed->dwSignature == VS_FFI_SIGNATURE;
    check(hasFixed && fixed->dwFileVersionMS == high && fixed->dwFileVersionLS == low
                  && fixed->dwProductVersionMS == high && fixed->dwProductVersionLS == low
                  && fixed->dwFileType == VFT_APP,
          std::string("the file and product version numbers are ") + VARBELO_VERSION
                  + ", of an application");

    // The strings are looked up through the translation table, as Explorer does.
    struct Translation
    {
        WORD language;
        WORD codePage;
    };
    Translation *translations = nullptr;
    std::wstring language = L"(none)";
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                         reinterpret_cast<void **>(&translations), &length)
        && translations && length >= sizeof *translations) {
        wchar_t key[9];
        std::swprintf(key, 9, L"%04x%04x", translations->language, translations->codePage);
        language = key;
    }
    const std::wstring version(VARBELO_VERSION, VARBELO_VERSION + sizeof VARBELO_VERSION - 1);
    const std::wstring product = versionString(block, language, L"ProductName");
    const std::wstring fileVersion = versionString(block, language, L"FileVersion");
    const std::wstring productVersion = versionString(block, language, L"ProductVersion");
    const std::wstring original = versionString(block, language, L"OriginalFilename");
    const std::wstring internal = versionString(block, language, L"InternalName");
    const std::wstring description = versionString(block, language, L"FileDescription");
    check(product == L"Varbelo" && fileVersion == version && productVersion == version,
          "the product reads \"" + narrow(product) + "\" " + narrow(productVersion) + ", file "
                  + narrow(fileVersion) + " (language block " + narrow(language) + ')');
    check(original == L"varbelo.exe" && internal == L"varbelo" && description == L"Varbelo",
          "the file names itself \"" + narrow(original) + "\" (\"" + narrow(internal)
                  + "\"), described as \"" + narrow(description) + '"');
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

    // One past the last column or row lies on no monitor: Windows would clamp and succeed.
    for (const POINT beyond : {POINT {width, 5}, POINT {5, height}}) {
        const bool moved = input.SetCursorPos(beyond.x, beyond.y);
        check(!moved && input.whyMoveFailed() == noScreenAt(beyond.x, beyond.y),
              "a move to " + point(beyond.x, beyond.y) + " fails, saying \""
                      + input.whyMoveFailed() + '"');
    }

    // A program that confines the pointer to the left half, as games and VM viewers do: Windows
    // leaves the pointer at the clip's edge and says it moved, so the press would land there.
    const RECT leftHalf {0, 0, width / 2, height};
    ::ClipCursor(&leftHalf);
    const bool moved = input.SetCursorPos(width * 3 / 4, height / 2);
    const std::string why = input.whyMoveFailed();
    const bool insideMoved = input.SetCursorPos(width / 4, height / 2);
    ::ClipCursor(nullptr);
    const std::string edge = std::to_string(width / 2 - 1) + ", " + std::to_string(height / 2);
    check(!moved && why == "another program holds the pointer at (" + edge + ')' && insideMoved,
          "a move beyond the clip rectangle fails, saying \"" + why
                  + "\"; one inside it still moves");
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

// Windows drops clicks into windows of a higher integrity level. Wine reports every process as
// High and drops nothing, so what shows here is that the level of another process's window is
// read (the test's own window would give this process's level by construction), and that an
// ordinary window gives no warning.
void testIntegrity()
{
    WinDesktopInput input;
    const auto own = input.ownIntegrityLevel();
    // The desktop, which explorer.exe owns.
    const POINT at {::GetSystemMetrics(SM_CXSCREEN) - 5, ::GetSystemMetrics(SM_CYSCREEN) - 5};
    DWORD process = 0;
    ::GetWindowThreadProcessId(::WindowFromPoint(at), &process);
    const auto there = input.integrityLevelAt(at.x, at.y);
    check(own && there == own && process != ::GetCurrentProcessId()
                  && input.whyClicksMayNotLand(at.x, at.y).empty(),
          "at " + point(at.x, at.y) + ", a window of another process, the integrity level reads "
                  + std::to_string(there.value_or(0)) + " as this process's own ("
                  + std::to_string(own.value_or(0)) + "): no warning");
}

} // namespace

unsigned long long QWidget::winId() const
{
    return reinterpret_cast<std::uintptr_t>(widgetWindow);
}

int main()
{
    testManifest(); // first: nothing may have touched the DPI awareness yet
    testIcon();
    testVersionInfo();

    std::string whyNot = "not asked yet";
    const std::unique_ptr<DesktopInput> input = createDesktopInput(whyNot);
    check(input && whyNot.empty(), "the factory makes the Windows backend");
    if (input) {
        testKeys(*input);
        testPointer(*input);
        testButtons(*input);
    }
    testTaskbar();
    testIntegrity();

    std::printf("%d passed, %d failed, %d skipped\n", passedCount, failedCount, skippedCount);
    return failedCount == 0 ? 0 : 1;
}
