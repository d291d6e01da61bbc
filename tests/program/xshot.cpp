// SPDX-License-Identifier: GPL-3.0-or-later
// What a window shows on the screen, for pictures of the program and for tests of its text.
// Usage:
//   xshot [--frame] WINDOW OUT.png        the window's client area (with --frame, the window
//                                         manager's frame around it too) saved as PNG
//   xshot --ink WINDOW X Y WIDTH HEIGHT   the box, in the window's pixels, holding every dark
//                                         pixel of that part of it: "X Y WIDTH HEIGHT", or
//                                         "none"; for measuring a caption
// WINDOW is an X window id, decimal or 0x hex, as xdotool and xwininfo print them.
//
// The pixels are read from the root window at the window's place, so the picture is what a
// user sees there, whatever the window's visual and without asking the window to redraw.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QImage>
#include <QRect>

// After Qt: Xlib defines macros (Status, None, Bool) that Qt's headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

int xError(Display *display, XErrorEvent *event)
{
    char text[256];
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "xshot: X error: %s\n", text);
    std::exit(1);
}

// The window manager reparents a client into its frame; the frame is the root's child.
Window topLevel(Display *display, Window window)
{
    for (;;) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return window;
        if (children)
            XFree(children);
        if (parent == root || parent == None)
            return window;
        window = parent;
    }
}

int shift(unsigned long mask)
{
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// The window's rectangle as seen on the screen, clipped to it.
QImage grab(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        std::fprintf(stderr, "xshot: no window 0x%lx\n", window);
        std::exit(1);
    }
    const Window root = DefaultRootWindow(display);
    int x, y;
    Window child;
    XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    // The frame's border, if any, belongs to what the user sees of it.
    x -= attributes.border_width;
    y -= attributes.border_width;
    int width = attributes.width + 2 * attributes.border_width;
    int height = attributes.height + 2 * attributes.border_width;
    const int screen = DefaultScreen(display);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + width, DisplayWidth(display, screen));
    const int bottom = std::min(y + height, DisplayHeight(display, screen));
    if (right <= left || bottom <= top) {
        std::fprintf(stderr, "xshot: window 0x%lx is off the screen\n", window);
        std::exit(1);
    }
    width = right - left;
    height = bottom - top;

    XImage *image = XGetImage(display, root, left, top, unsigned(width), unsigned(height),
                              AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "xshot: cannot read the screen\n");
        std::exit(1);
    }
    const Visual *visual = DefaultVisual(display, screen);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
        std::fprintf(stderr, "xshot: the screen has no true-colour visual\n");
        std::exit(1);
    }
    const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
    QImage result(width, height, QImage::Format_RGB32);
    for (int row = 0; row < height; ++row) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(row));
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            int channel[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned long maximum = masks[c] >> shift(masks[c]);
                channel[c] = int(((pixel & masks[c]) >> shift(masks[c])) * 255
                                 / (maximum ? maximum : 1));
            }
            line[column] = qRgb(channel[0], channel[1], channel[2]);
        }
    }
    XDestroyImage(image);
    return result;
}

Window windowId(const char *text)
{
    char *end = nullptr;
    const unsigned long id = std::strtoul(text, &end, 0);
    if (!end || *end || !id) {
        std::fprintf(stderr, "xshot: not a window id: %s\n", text);
        std::exit(2);
    }
    return Window(id);
}

// Text is drawn black or nearly so; the grey of frames and the red of a running button are not
// dark in every channel.
bool dark(QRgb pixel)
{
    return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 110;
}

int ink(const QImage &image, int x, int y, int width, int height)
{
    const QRect area = QRect(x, y, width, height).intersected(image.rect());
    QRect box;
    for (int row = area.top(); row <= area.bottom(); ++row) {
        for (int column = area.left(); column <= area.right(); ++column) {
            if (dark(image.pixel(column, row)))
                box |= QRect(column, row, 1, 1);
        }
    }
    if (box.isNull())
        std::printf("none\n");
    else
        std::printf("%d %d %d %d\n", box.x(), box.y(), box.width(), box.height());
    return 0;
}

int usage(const char *program)
{
    std::fprintf(stderr,
                 "usage: %s [--frame] WINDOW OUT.png\n"
                 "       %s --ink WINDOW X Y WIDTH HEIGHT\n",
                 program, program);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    const bool inkMode = argc == 7 && std::strcmp(argv[1], "--ink") == 0;
    const bool frame = argc == 4 && std::strcmp(argv[1], "--frame") == 0;
    if (!inkMode && !frame && argc != 3)
        return usage(argv[0]);

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xshot: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(xError);

    if (inkMode) {
        const QImage image = grab(display, windowId(argv[2]));
        return ink(image, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                   std::atoi(argv[6]));
    }

    Window window = windowId(argv[frame ? 2 : 1]);
    if (frame)
        window = topLevel(display, window);
    const QImage image = grab(display, window);
    const char *out = argv[frame ? 3 : 2];
    if (!image.save(QString::fromLocal8Bit(out), "PNG")) {
        std::fprintf(stderr, "xshot: cannot write %s\n", out);
        return 1;
    }
    XCloseDisplay(display);
    return 0;
}
