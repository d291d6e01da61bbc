#include "windowframe.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

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
