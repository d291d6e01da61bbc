// SPDX-License-Identifier: GPL-3.0-or-later
#include "testdisplay.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Takes the next queued event that matches, waiting for the server at most timeoutMs; events
// that do not match are dropped.
template<typename Match>
bool waitForEvent(Display *display, XEvent &event, int timeoutMs, Match match)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (XPending(display) > 0) {
            XNextEvent(display, &event);
            if (match(event))
                return true;
        }
        const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd connection {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, int(left.count()));
    }
}

} // namespace

TestDisplay::TestDisplay()
    : m_display(XOpenDisplay(nullptr))
{
    if (m_display)
        XSelectInput(m_display, DefaultRootWindow(m_display), StructureNotifyMask);
}

TestDisplay::~TestDisplay()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool TestDisplay::pointer(int &x, int &y)
{
    Window root, child;
    int windowX, windowY;
    unsigned mask;
    return XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &x, &y, &windowX,
                         &windowY, &mask);
}

void TestDisplay::warpPointer(int x, int y)
{
    XWarpPointer(m_display, None, DefaultRootWindow(m_display), 0, 0, 0, 0, x, y);
    XSync(m_display, False);
}

bool TestDisplay::showWindow(int x, int y, int width, int height, int timeoutMs)
{
    destroyWindow();
    XSetWindowAttributes attributes {};
    // No window manager runs here, and none must move the window if one did.
    attributes.override_redirect = True;
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    m_window = XCreateWindow(m_display, DefaultRootWindow(m_display), x, y, unsigned(width),
                             unsigned(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                             CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(m_display, m_window);
    XEvent event;
    return waitForEvent(m_display, event, timeoutMs, [this](const XEvent &e) {
        return e.type == MapNotify && e.xmap.window == m_window;
    });
}

void TestDisplay::destroyWindow()
{
    if (!m_window)
        return;
    XDestroyWindow(m_display, m_window);
    XSync(m_display, True);
    m_window = 0;
}

bool TestDisplay::nextButton(ReceivedButton &button, int timeoutMs)
{
    XEvent event;
    if (!waitForEvent(m_display, event, timeoutMs, [this](const XEvent &e) {
            return (e.type == ButtonPress || e.type == ButtonRelease)
                    && e.xbutton.window == m_window;
        }))
        return false;
    button.press = event.type == ButtonPress;
    button.button = event.xbutton.button;
    button.x = event.xbutton.x;
    button.y = event.xbutton.y;
    button.rootX = event.xbutton.x_root;
    button.rootY = event.xbutton.y_root;
    return true;
}

void TestDisplay::key(unsigned long keysym, bool press)
{
    XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, keysym), press, CurrentTime);
    XSync(m_display, False);
}

void TestDisplay::releaseKeys(const std::vector<unsigned long> &keysyms)
{
    char keys[32];
    XQueryKeymap(m_display, keys);
    for (unsigned long keysym : keysyms) {
        const unsigned code = XKeysymToKeycode(m_display, keysym);
        if (code != 0 && ((keys[code >> 3] >> (code & 7)) & 1))
            XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    }
    XSync(m_display, False);
}

bool TestDisplay::confinePointer(int x, int y, int width, int height, int timeoutMs)
{
    releasePointer();
    XSetWindowAttributes attributes {};
    attributes.override_redirect = True;
    attributes.event_mask = StructureNotifyMask;
    // Input-only: it must be viewable to confine to, and must hide nothing of the screen.
    m_confinement = XCreateWindow(m_display, DefaultRootWindow(m_display), x, y, unsigned(width),
                                  unsigned(height), 0, CopyFromParent, InputOnly, CopyFromParent,
                                  CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(m_display, m_confinement);
    XEvent event;
    if (!waitForEvent(m_display, event, timeoutMs, [this](const XEvent &e) {
            return e.type == MapNotify && e.xmap.window == m_confinement;
        }))
        return false;
    return XGrabPointer(m_display, m_confinement, False, ButtonPressMask, GrabModeAsync,
                        GrabModeAsync, m_confinement, None, CurrentTime)
            == GrabSuccess;
}

void TestDisplay::releasePointer()
{
    if (!m_confinement)
        return;
    XUngrabPointer(m_display, CurrentTime);
    XDestroyWindow(m_display, m_confinement);
    XSync(m_display, True);
    m_confinement = 0;
}

void TestDisplay::grabServer()
{
    XGrabServer(m_display);
    XSync(m_display, False);
}

void TestDisplay::ungrabServer()
{
    XUngrabServer(m_display);
    XSync(m_display, False);
}

void TestDisplay::forgetLayoutChanges()
{
    XSync(m_display, False);
    XEvent event;
    while (XCheckTypedEvent(m_display, ConfigureNotify, &event)) { }
}

bool TestDisplay::waitForLayoutChange(int timeoutMs)
{
    XEvent event;
    return waitForEvent(m_display, event, timeoutMs, [this](const XEvent &e) {
        return e.type == ConfigureNotify && e.xconfigure.window == DefaultRootWindow(m_display);
    });
}

Display *openConnection(const char *name)
{
    return XOpenDisplay(name);
}

unsigned long requestsSent(Display *display, const std::function<void()> &work)
{
    const unsigned long first = XNextRequest(display);
    work();
    return XNextRequest(display) - first;
}

void cutConnection(Display *display)
{
    shutdown(ConnectionNumber(display), SHUT_RDWR);
}
