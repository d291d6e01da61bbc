// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowframe.h"

#include <algorithm>

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

// Xlib defines macros (Bool, Status, None) that break any Qt header included after it.
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// clang-format on

namespace {

bool hasAtom(Display *display, ::Window window, Atom property, Atom wanted)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &remaining, &data)
                != Success
        || !data)
        return false;
    const auto *atoms = reinterpret_cast<const Atom *>(data);
    const bool found = format == 32 && std::find(atoms, atoms + count, wanted) != atoms + count;
    XFree(data);
    return found;
}

} // namespace

void keepOffTaskbar(QWidget *window)
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display())
        return; // not on X11 (offscreen tests): there is no taskbar to keep off
    Display *display = x11->display();
    const auto id = static_cast<::Window>(window->winId());
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom skipTaskbar = XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False);

    // Before the window is mapped the window manager reads the property; once mapped it only
    // listens to requests, so do both.
    if (!hasAtom(display, id, state, skipTaskbar))
        XChangeProperty(display, id, state, XA_ATOM, 32, PropModeAppend,
                        reinterpret_cast<const unsigned char *>(&skipTaskbar), 1);

    XEvent request {};
    request.xclient.type = ClientMessage;
    request.xclient.window = id;
    request.xclient.message_type = state;
    request.xclient.format = 32;
    request.xclient.data.l[0] = 1; // _NET_WM_STATE_ADD
    request.xclient.data.l[1] = long(skipTaskbar);
    request.xclient.data.l[3] = 1; // from a normal application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &request);
    XFlush(display);
}
