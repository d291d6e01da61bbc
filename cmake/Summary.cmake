# SPDX-License-Identifier: GPL-3.0-or-later
# One summary at the end of configuring: what this build has, and what it leaves out and why.
# Elsewhere than Debian 12 a missing package leaves a part out without failing: this says which.
# No semicolons in the lines: CMake would split them into list items.

# One line of the summary, given in pieces, added to the list "in" or "out".
macro(add_line list)
    string(CONCAT piece ${ARGN})
    list(APPEND ${list} "${piece}")
endmacro()

function(varbelo_print_summary)
    set(in "")
    set(out "")
    if(WIN32)
        add_line(in "Windows desktop input (user32)")
    else()
        add_line(in "X11 desktop input (XTest, RandR, XInput2)")
        if(VARBELO_HAVE_WAYLAND)
            add_line(in "wlroots virtual pointer, KWin fake input, Record overlay")
        else()
            add_line(out "wlroots and KWin backends, Record overlay (sway, Hyprland, labwc and "
                         "Plasma get XWayland only): ${VARBELO_WAYLAND_MISSING} not found")
        endif()
        if(TARGET Qt6::DBus)
            add_line(in "GNOME's RemoteDesktop portal, Esc through the GlobalShortcuts portal "
                        "and KDE's shortcut service")
        else()
            add_line(out "GNOME's RemoteDesktop portal, Esc through the desktop's portal and KDE "
                         "(GNOME gets XWayland, Esc on Wayland works only on sway): Qt D-Bus not found")
        endif()
    endif()
    if(NOT BUILD_TESTING)
        add_line(out "tests: BUILD_TESTING is OFF")
    elseif(NOT VARBELO_SYSTEM_TESTS)
        add_line(in "unit and widget tests")
        add_line(out "tests against X servers, compositors, wine and the built program: "
                     "VARBELO_SYSTEM_TESTS is OFF")
    else()
        add_line(in "unit, widget and system tests")
        if(NOT WIN32 AND NOT VARBELO_WINDOWS_BUILD)
            add_line(out "the Windows build under wine: no VARBELO_WINDOWS_BUILD (make test "
                         "gives build-windows)")
        endif()
    endif()
    if(VARBELO_BENCH)
        add_line(in "benchmarks")
    endif()
    if(VARBELO_SANITIZE)
        add_line(in "AddressSanitizer and UndefinedBehaviorSanitizer")
    endif()

    set(text "Varbelo ${PROJECT_VERSION}:")
    foreach(line IN LISTS in)
        string(APPEND text "\n     in: ${line}")
    endforeach()
    foreach(line IN LISTS out)
        string(APPEND text "\n    out: ${line}")
    endforeach()
    message(STATUS "${text}")
endfunction()
