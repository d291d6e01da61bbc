// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the colour of one screen pixel as "R G B" (0..255 each).
// Usage: xpixel ROOT_X ROOT_Y
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROOT_X ROOT_Y\n", argv[0]);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xpixel: cannot open display\n");
        return 1;
    }
    XImage *image = XGetImage(display, DefaultRootWindow(display), std::atoi(argv[1]),
                              std::atoi(argv[2]), 1, 1, AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "xpixel: cannot read the pixel\n");
        return 1;
    }
    XColor colour {};
    colour.pixel = XGetPixel(image, 0, 0);
    XQueryColor(display, DefaultColormap(display, DefaultScreen(display)), &colour);
    std::printf("%d %d %d\n", colour.red >> 8, colour.green >> 8, colour.blue >> 8);
    XDestroyImage(image);
    XCloseDisplay(display);
    return 0;
}
