// SPDX-License-Identifier: GPL-3.0-or-later
// The click recorders' command line and log, the same for the X11 recorder (clickrecorder.cpp)
// and its Win32 twin (tests/windows/clickrecorder.cpp), so that the scripts read either alike:
//   clickrecorder X Y WIDTH HEIGHT         the window's place on the screen
// then one line per event, flushed at once:
//   ready                                  the window takes clicks
//   press BUTTON X Y TIME / release BUTTON X Y TIME
//                                          a button on the window, at its screen position
//   rawpress BUTTON TIME / rawrelease BUTTON TIME
//                                          any button, anywhere on the screen
//   rawkey KEY TIME / rawkeyup KEY TIME    any key, anywhere (its platform's key code)
// TIME is in ms of the one clock every input event carries, whoever generated it; the raw lines
// let a test time a click on another program's window, or a key, on the same clock as the clicks
// the window receives.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace clicklog {

struct Area
{
    int x, y, width, height;
};

// None, having said how to call the recorder, when the command line is not X Y WIDTH HEIGHT.
inline std::optional<Area> readArea(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT\n", argv[0]);
        return std::nullopt;
    }
    return Area {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])};
}

inline void ready()
{
    std::printf("ready\n");
    std::fflush(stdout);
}

inline void click(bool press, unsigned long button, long x, long y, unsigned long time)
{
    std::printf("%s %lu %ld %ld %lu\n", press ? "press" : "release", button, x, y, time);
    std::fflush(stdout);
}

inline void raw(const char *kind, unsigned long what, unsigned long time)
{
    std::printf("%s %lu %lu\n", kind, what, time);
    std::fflush(stdout);
}

} // namespace clicklog
