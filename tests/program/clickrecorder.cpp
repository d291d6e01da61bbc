// SPDX-License-Identifier: GPL-3.0-or-later
// A plain Xlib window that logs every button event it receives, for driving the built program
// from outside; its command line and log are clicklog.h's. Times are the X server's (the one
// clock shared by every event, whoever generated it); the raw lines are XInput 2 raw events, a
// key's KEY its X key code.
#include "clicklog.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>

int main(int argc, char **argv)
{
    const auto area = clicklog::readArea(argc, argv);
    if (!area)
        return 2;

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "clickrecorder: cannot open display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);

    // Override-redirect: the window manager neither moves, decorates nor focuses it, so it stays
    // exactly where the test put it and never takes the keyboard from the program under test.
    XSetWindowAttributes attributes {};
    attributes.override_redirect = True;
    attributes.background_pixel = 0x3060a0;
    attributes.event_mask =
            ButtonPressMask | ButtonReleaseMask | ExposureMask | StructureNotifyMask;
    const Window window =
            XCreateWindow(display, root, area->x, area->y, unsigned(area->width),
                          unsigned(area->height), 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XStoreName(display, window, "clickrecorder");

    int xiOpcode = -1, event, error;
    if (XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &error)) {
        int major = 2, minor = 2;
        if (XIQueryVersion(display, &major, &minor) == Success) {
            unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(bits, XI_RawButtonPress);
            XISetMask(bits, XI_RawButtonRelease);
            XISetMask(bits, XI_RawKeyPress);
            XISetMask(bits, XI_RawKeyRelease);
            // Master devices only: each physical or XTest event is reported once.
            XIEventMask mask {XIAllMasterDevices, int(sizeof bits), bits};
            XISelectEvents(display, root, &mask, 1);
        } else {
            xiOpcode = -1;
        }
    }
    if (xiOpcode < 0)
        std::fprintf(stderr, "clickrecorder: no XInput 2, raw events will not be logged\n");

    XMapRaised(display, window);
    bool ready = false;
    for (;;) {
        XEvent e;
        XNextEvent(display, &e);
        switch (e.type) {
        case MapNotify:
            if (!ready) {
                // Mapped is not yet on screen for input; a round trip makes sure it is.
                XSync(display, False);
                clicklog::ready();
                ready = true;
            }
            break;
        case ButtonPress:
        case ButtonRelease:
            clicklog::click(e.type == ButtonPress, e.xbutton.button, e.xbutton.x_root,
                            e.xbutton.y_root, e.xbutton.time);
            break;
        case GenericEvent:
            if (e.xcookie.extension == xiOpcode && XGetEventData(display, &e.xcookie)) {
                const auto *raw = static_cast<const XIRawEvent *>(e.xcookie.data);
                const char *name = nullptr;
                switch (e.xcookie.evtype) {
                case XI_RawButtonPress:
                    name = "rawpress";
                    break;
                case XI_RawButtonRelease:
                    name = "rawrelease";
                    break;
                case XI_RawKeyPress:
                    name = "rawkey";
                    break;
                case XI_RawKeyRelease:
                    name = "rawkeyup";
                    break;
                }
                if (name)
                    clicklog::raw(name, unsigned(raw->detail), raw->time);
                XFreeEventData(display, &e.xcookie);
            }
            break;
        default:
            break;
        }
    }
}
