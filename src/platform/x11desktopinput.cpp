// SPDX-License-Identifier: GPL-3.0-or-later
// One piece: the X11 backend's connection, its monitors (RandR 1.5, or 1.2's CRTCs), the pointer
// read back after each move, raw motion through XInput2 and the key state, all on one Display.
#include "x11desktopinput.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Raw motion comes from input devices only: a warp by another program (XWarpPointer) sends
// none, so the pointer is looked at anyway this often. With 50 ms polls a warp shows within 1 s.
constexpr auto WarpCheckInterval = std::chrono::milliseconds(900);
// Queries closer together than this belong to one poll, which needs the queue read only once.
constexpr auto OnePoll = std::chrono::milliseconds(5);

// The X protocol carries fake motion as 16-bit signed numbers: clamp instead of letting a far
// target wrap around to some other point on the screen.
int toWireCoordinate(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, INT16_MIN, INT16_MAX));
}

// Xlib reports a broken connection through one handler for the whole process, and Qt's, set
// when it connects, prints a line and ends the process. Ours chains to it for every connection
// but the backends' own, whose loss X11DesktopInput::connectionLost handles.
std::vector<const Display *> g_ownDisplays;
XIOErrorHandler g_nextIOErrorHandler = nullptr;

int onIOError(Display *display)
{
    if (std::find(g_ownDisplays.begin(), g_ownDisplays.end(), display) != g_ownDisplays.end())
        return 0; // Xlib goes on to the connection's own exit handler
    return g_nextIOErrorHandler(display);
}

// Put in place on every use, not once: Qt installs its handler after the backend exists.
void claimIOErrorHandler()
{
    const XIOErrorHandler previous = XSetIOErrorHandler(onIOError);
    if (previous != onIOError)
        g_nextIOErrorHandler = previous; // never null: Xlib hands back its default instead
}

} // namespace

std::unique_ptr<DesktopInput> X11DesktopInput::create(std::string &whyNot)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        const std::string name = XDisplayName(nullptr);
        whyNot = name.empty() ? "varbelo: cannot open an X display: DISPLAY is not set"
                              : "varbelo: cannot open the X display \"" + name + '"';
        return nullptr;
    }
    int eventBase, errorBase, major, minor;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display);
        whyNot = "varbelo: the X server lacks the XTEST extension, so pointer moves and clicks "
                 "cannot be sent";
        return nullptr;
    }
    return std::make_unique<X11DesktopInput>(display);
}

X11DesktopInput::X11DesktopInput(Display *display, int newestRandR)
    : m_display(display),
      m_root(DefaultRootWindow(display)),
      m_keys {{XK_Shift_L, ShiftSlot},
              {XK_Shift_R, ShiftSlot},
              {XK_space, SpaceSlot},
              {XK_Escape, EscapeSlot}}
{
#ifdef VARBELO_BENCH_SWITCHES
    // Only the benchmark's build reads this, to measure the former idle path beside this one.
    m_pollEveryTime = std::getenv("VARBELO_BENCH_POLL_EVERY_TIME") != nullptr;
#endif
    // The primary monitor's origin is cached; these events say when to ask for it again.
    // xrandr --setmonitor / --delmonitor only send ConfigureNotify on the root window.
    XSelectInput(m_display, m_root, StructureNotifyMask);
    int errorBase;
    if (XRRQueryExtension(m_display, &m_randrEventBase, &errorBase)) {
        int major = 0, minor = 0;
        XRRQueryVersion(m_display, &major, &minor);
        m_randrMinor = std::min(major > 1 ? 99 : minor, newestRandR);
        // Servers before RandR 1.2 refuse the CRTC and output masks.
        int mask = RRScreenChangeNotifyMask;
        if (m_randrMinor >= 2)
            mask |= RRCrtcChangeNotifyMask | RROutputChangeNotifyMask;
        XRRSelectInput(m_display, m_root, mask);
    } else {
        m_randrEventBase = -1;
    }

    // Raw key and motion events reach the root window whatever has the focus or a grab
    // (XInput 2.1), so polls can be answered from local state without a round trip.
    int event, error, opcode;
    // XWayland may hand XTest's moves on to the compositor (through libei), which places the
    // pointer a moment later: a read-back straight after the move could see the old place.
    m_readsBack = !XQueryExtension(m_display, "XWAYLAND", &opcode, &event, &error);
    if (XQueryExtension(m_display, "XInputExtension", &m_xinputOpcode, &event, &error)) {
        int major = 2, minor = 1;
        if (XIQueryVersion(m_display, &major, &minor) == Success
            && (major > 2 || (major == 2 && minor >= 1))) {
            unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(bits, XI_RawKeyPress);
            XISetMask(bits, XI_RawKeyRelease);
            if (!m_pollEveryTime)
                XISetMask(bits, XI_RawMotion);
            XIEventMask mask {XIAllMasterDevices, int(sizeof bits), bits};
            XISelectEvents(m_display, m_root, &mask, 1);
        } else {
            m_xinputOpcode = -1;
        }
    } else {
        m_xinputOpcode = -1;
    }

    findKeycodes();
    // After the selections, so that no change falls between the seed and the first event.
    XSync(m_display, False);
    seedKeyState();

    g_ownDisplays.push_back(m_display);
    XSetIOErrorExitHandler(m_display, &X11DesktopInput::connectionLost, this);
    claimIOErrorHandler();
}

X11DesktopInput::~X11DesktopInput()
{
    XCloseDisplay(m_display);
    std::erase(g_ownDisplays, m_display);
}

// Called by Xlib when this connection breaks. When the whole server is gone, Qt's connection has
// broken too and Qt ends the program with its own one line; the backend only stops using the
// dead connection meanwhile. When the server still answers, only this connection was cut, and
// nothing else would end a program that can no longer click: end it here, saying why.
void X11DesktopInput::connectionLost(Display *display, void *self)
{
    static_cast<X11DesktopInput *>(self)->m_connectionLost = true;
    if (Display *probe = XOpenDisplay(DisplayString(display))) {
        XCloseDisplay(probe);
        std::fprintf(stderr, "varbelo: lost the connection to the X display \"%s\"\n",
                     DisplayString(display));
        std::exit(1);
    }
}

bool X11DesktopInput::usable()
{
    claimIOErrorHandler();
    return !m_connectionLost;
}

bool X11DesktopInput::GetCursorPos(CursorPoint &point)
{
    Window root, child;
    int rootX, rootY, windowX, windowY;
    unsigned mask;
    if (!usable())
        return false;
    if (!XQueryPointer(m_display, m_root, &root, &child, &rootX, &rootY, &windowX, &windowY, &mask))
        return false;
    // After the query: a layout change the server made before answering is now in the queue.
    processPendingEvents();
    if (m_originStale)
        refreshMonitors();
    point = {rootX - m_originX, rootY - m_originY};
    return true;
}

bool X11DesktopInput::SetCursorPos(std::int32_t x, std::int32_t y)
{
    if (!usable()) {
        m_whyMoveFailed = "the X display is gone";
        return false;
    }
    processPendingEvents();
    if (m_originStale)
        refreshMonitors();
    // The server would keep the pointer on the root window, at the edge nearest the spot, or in
    // a gap between monitors, where nobody sees it.
    const std::int64_t rootX = std::int64_t(x) + m_originX, rootY = std::int64_t(y) + m_originY;
    const bool onScreen =
            std::any_of(m_monitors.begin(), m_monitors.end(), [rootX, rootY](const Monitor &m) {
                return rootX >= m.x && rootX < m.x + m.width && rootY >= m.y
                        && rootY < m.y + m.height;
            });
    if (!onScreen) {
        m_whyMoveFailed = noScreenAt(x, y);
        return false;
    }
    // Screen -1: the screen the pointer is on.
    XTestFakeMotionEvent(m_display, -1, toWireCoordinate(rootX), toWireCoordinate(rootY),
                         CurrentTime);
    if (!m_readsBack) {
        XFlush(m_display); // so that the move precedes any button event
        return true;
    }
    // XTest says nothing when another client's grab confines the pointer (a game, a VM viewer,
    // a remote-desktop client): the server keeps it in the grab's window, and a press would
    // land at its edge. The server moves the pointer before it answers this query.
    Window root, child;
    int seenX, seenY, windowX, windowY;
    unsigned mask;
    if (!XQueryPointer(m_display, m_root, &root, &child, &seenX, &seenY, &windowX, &windowY,
                       &mask)) {
        m_whyMoveFailed = "the pointer is on another X screen";
        return false;
    }
    if (seenX != rootX || seenY != rootY) {
        m_whyMoveFailed = "another program holds the pointer at ("
                + std::to_string(seenX - m_originX) + ", " + std::to_string(seenY - m_originY)
                + ')';
        return false;
    }
    return true;
}

void X11DesktopInput::mouse_event(std::uint32_t dwFlags)
{
    if ((dwFlags != LeftButtonPress && dwFlags != LeftButtonRelease) || !usable())
        return;
    XTestFakeButtonEvent(m_display, Button1, dwFlags == LeftButtonPress, CurrentTime);
    XFlush(m_display);
}

std::int16_t X11DesktopInput::GetAsyncKeyState(int vKey)
{
    KeySlot slot;
    switch (vKey) {
    case ShiftKey:
        slot = ShiftSlot;
        break;
    case SpaceKey:
        slot = SpaceSlot;
        break;
    case EscapeKey:
        slot = EscapeSlot;
        break;
    default:
        return 0;
    }
    if (!usable())
        return 0;

    if (m_xinputOpcode >= 0)
        processEventsOncePerPoll();
    else
        seedKeyState(); // no raw events: ask the server; a short tap between polls is missed

    bool down = false;
    for (const WatchedKey &key : m_keys)
        down = down || (key.slot == slot && key.down);
    const bool pressed = m_pressedSincePoll[slot];
    m_pressedSincePoll[slot] = false;
    if (down)
        return std::int16_t(0x8000);
    return pressed ? 1 : 0;
}

bool X11DesktopInput::pointerMayHaveMoved()
{
    if (m_pollEveryTime) {
        // The former poll read the pointer once for each readout: this is the first read.
        CursorPoint point;
        GetCursorPos(point);
        return true;
    }
    if (!usable() || m_xinputOpcode < 0)
        return true;
    processEventsOncePerPoll();
    const auto now = std::chrono::steady_clock::now();
    if (!m_pointerMoved && now - m_lastMoveReport < WarpCheckInterval)
        return false;
    m_pointerMoved = false;
    m_lastMoveReport = now;
    return true;
}

// A poll asks for the pointer and five key states within a fraction of a millisecond: one read
// of the connection answers them all, instead of one system call each.
void X11DesktopInput::processEventsOncePerPoll()
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_pollEveryTime && now - m_lastDrain < OnePoll)
        return;
    m_lastDrain = now;
    processPendingEvents();
}

// Drains what the server sent without waiting: nothing queued costs one non-blocking read.
void X11DesktopInput::processPendingEvents()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == ConfigureNotify
            || (m_randrEventBase >= 0 && event.type >= m_randrEventBase
                && event.type <= m_randrEventBase + RRNotify)) {
            XRRUpdateConfiguration(&event);
            m_originStale = true;
            m_pointerMoved = true; // the same spot may now have other coordinates
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request == MappingKeyboard) {
                findKeycodes();
                seedKeyState();
            }
        } else if (event.type == GenericEvent && event.xcookie.extension == m_xinputOpcode
                   && XGetEventData(m_display, &event.xcookie)) {
            const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
            if (event.xcookie.evtype == XI_RawKeyPress || event.xcookie.evtype == XI_RawKeyRelease)
                handleKeyEvent(unsigned(raw->detail), event.xcookie.evtype == XI_RawKeyPress);
            else if (event.xcookie.evtype == XI_RawMotion)
                m_pointerMoved = true;
            XFreeEventData(m_display, &event.xcookie);
        }
    }
}

void X11DesktopInput::handleKeyEvent(unsigned keycode, bool press)
{
    for (WatchedKey &key : m_keys) {
        if (key.keycode == 0 || key.keycode != keycode)
            continue;
        key.down = press;
        if (press)
            m_pressedSincePoll[key.slot] = true;
    }
}

void X11DesktopInput::refreshMonitors()
{
    m_originStale = false;
    m_originX = m_originY = 0;
    m_monitors.clear();
    if (m_randrMinor >= 5)
        readMonitors();
    else if (m_randrMinor >= 2)
        readCrtcs();
    if (m_monitors.empty()) {
        // A server that cannot tell where its monitors lie: the whole root window is the one
        // screen.
        const int screen = DefaultScreen(m_display);
        m_monitors.push_back(
                {0, 0, DisplayWidth(m_display, screen), DisplayHeight(m_display, screen)});
    }
}

// RandR 1.2 to 1.4: each lit CRTC shows one monitor; the root window also holds the gaps
// between them and the parts beyond, where the pointer goes but nobody sees it.
void X11DesktopInput::readCrtcs()
{
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(m_display, m_root);
    if (!resources)
        return;
    RRCrtc primary = 0;
    // The primary output came with RandR 1.3; a 1.2 server counts from the root's corner.
    if (m_randrMinor >= 3) {
        if (const RROutput output = XRRGetOutputPrimary(m_display, m_root)) {
            if (XRROutputInfo *info = XRRGetOutputInfo(m_display, resources, output)) {
                primary = info->crtc;
                XRRFreeOutputInfo(info);
            }
        }
    }
    for (int i = 0; i < resources->ncrtc; ++i) {
        XRRCrtcInfo *crtc = XRRGetCrtcInfo(m_display, resources, resources->crtcs[i]);
        if (!crtc)
            continue;
        if (crtc->mode != 0 && crtc->width > 0 && crtc->height > 0) {
            m_monitors.push_back({crtc->x, crtc->y, int(crtc->width), int(crtc->height)});
            if (resources->crtcs[i] == primary) {
                m_originX = crtc->x;
                m_originY = crtc->y;
            }
        }
        XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
}

void X11DesktopInput::readMonitors()
{
    int count = 0;
    XRRMonitorInfo *monitors = XRRGetMonitors(m_display, m_root, True, &count);
    if (!monitors)
        return;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo &monitor = monitors[i];
        m_monitors.push_back({monitor.x, monitor.y, monitor.width, monitor.height});
        if (monitor.primary) {
            m_originX = monitor.x;
            m_originY = monitor.y;
        }
    }
    XRRFreeMonitors(monitors);
}

void X11DesktopInput::findKeycodes()
{
    for (WatchedKey &key : m_keys)
        key.keycode = XKeysymToKeycode(m_display, key.keysym);
}

void X11DesktopInput::seedKeyState()
{
    char keys[32];
    XQueryKeymap(m_display, keys);
    for (WatchedKey &key : m_keys)
        key.down = key.keycode != 0 && ((keys[key.keycode >> 3] >> (key.keycode & 7)) & 1);
}
