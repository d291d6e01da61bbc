// SPDX-License-Identifier: GPL-3.0-or-later
// Times every button press on the display with the local monotonic clock, in microseconds, next
// to the X server's own millisecond time of the same event. The click recorder says where a
// click landed and when, in whole milliseconds; joined with these lines on the server time, the
// same click gets a time fine enough to judge sub-millisecond pacing.
//
// Usage: clickclock. Prints "ready", then per press: "press SERVER_MS MONOTONIC_US".
// Listens to XInput 2 raw events on the root window, which any number of clients may select,
// so it takes nothing away from the recorder.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <cstdio>
#include <ctime>
#include <poll.h>

int main()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "clickclock: cannot open the display\n");
        return 1;
    }
    int opcode, event, error, major = 2, minor = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)
        || XIQueryVersion(display, &major, &minor) != Success) {
        std::fprintf(stderr, "clickclock: the X server lacks XInput 2\n");
        return 1;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask {XIAllMasterDevices, int(sizeof bits), bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        // The clock is read as soon as the socket has data, before any parsing: every event of
        // that read gets the moment it arrived.
        pollfd fd {ConnectionNumber(display), POLLIN, 0};
        if (XPending(display) == 0 && poll(&fd, 1, -1) < 0)
            continue;
        timespec ts {};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const long long us = ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
        // XPending reads what the socket holds; a closed connection ends the program there.
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == GenericEvent && e.xcookie.extension == opcode
                && XGetEventData(display, &e.xcookie)) {
                if (e.xcookie.evtype == XI_RawButtonPress) {
                    const auto *raw = static_cast<const XIRawEvent *>(e.xcookie.data);
                    std::printf("press %lu %lld\n", static_cast<unsigned long>(raw->time), us);
                }
                XFreeEventData(display, &e.xcookie);
            }
        }
        std::fflush(stdout);
    }
}
