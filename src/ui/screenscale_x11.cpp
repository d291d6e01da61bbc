// SPDX-License-Identifier: GPL-3.0-or-later
#include "screenscale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QByteArray>
#include <QtGlobal>

#include <X11/Xlib.h>

int layoutDpi(int widthPixels, int widthMillimetres)
{
    constexpr int Base = 96;
    constexpr int Step = 24;
    constexpr int Highest = 480; // five times 96: beyond it the size is surely wrong
    if (widthPixels <= 0 || widthMillimetres <= 0)
        return Base;
    const double dpi = widthPixels * 25.4 / widthMillimetres;
    if (dpi > Highest)
        return Base;
    return std::max(Base, static_cast<int>(std::lround(dpi / Step)) * Step);
}

namespace {

bool userChoseScale()
{
    for (const char *name : {"QT_FONT_DPI", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_ENABLE_HIGHDPI_SCALING", "QT_USE_PHYSICAL_DPI"}) {
        if (qEnvironmentVariableIsSet(name))
            return true;
    }
    return false;
}

bool desktopChoseDpi(Display *display)
{
    const char *resources = XResourceManagerString(display);
    if (!resources)
        return false;
    // One "name:\tvalue" per line; Qt reads this one itself.
    for (const char *line = resources; *line;) {
        if (std::strncmp(line, "Xft.dpi:", 8) == 0)
            return true;
        const char *end = std::strchr(line, '\n');
        if (!end)
            break;
        line = end + 1;
    }
    return false;
}

} // namespace

void adoptServerDpi()
{
    if (userChoseScale())
        return;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return; // Qt will say why it cannot start
    const int screen = DefaultScreen(display);
    const int dpi = desktopChoseDpi(display)
            ? 0
            : layoutDpi(DisplayWidth(display, screen), DisplayWidthMM(display, screen));
    XCloseDisplay(display);
    if (dpi > 96)
        qputenv("QT_FONT_DPI", QByteArray::number(dpi));
}
