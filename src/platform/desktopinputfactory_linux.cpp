// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that knows which desktop inputs Linux has and in which order they are tried.
#include "desktopinput.h"
#include "x11desktopinput.h"

#ifdef VARBELO_HAVE_WAYLAND
#    include "kwindesktopinput.h"
#    include "wlrootsdesktopinput.h"
#endif
#ifdef VARBELO_HAVE_PORTAL
#    include "portaldesktopinput.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool inWaylandSession()
{
    const char *display = std::getenv("WAYLAND_DISPLAY");
    const char *session = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (session && std::strcmp(session, "wayland") == 0);
}

struct Candidate
{
    const char *name;
    std::unique_ptr<DesktopInput> (*create)(std::string &whyNot);
};

} // namespace

std::unique_ptr<DesktopInput> createDesktopInput(std::string &whyNot)
{
    // Outside Wayland there is nothing to choose from: X11 says itself why it cannot work.
    if (!inWaylandSession())
        return X11DesktopInput::create(whyNot);

    // The compositor's own ways first, since only they reach native windows; X11 last, through
    // XWayland, where clicks reach XWayland programs only.
    static const Candidate candidates[] = {
#ifdef VARBELO_HAVE_WAYLAND
            {"the wlroots virtual pointer", &WlrootsDesktopInput::create},
            {"KWin's fake input", &KWinDesktopInput::create},
#endif
#ifdef VARBELO_HAVE_PORTAL
            {"the RemoteDesktop portal", &PortalDesktopInput::create},
#endif
            {"X11 (XWayland)", &X11DesktopInput::create},
    };
    for (const Candidate &candidate : candidates) {
        std::string why;
        if (std::unique_ptr<DesktopInput> input = candidate.create(why)) {
            std::fprintf(stderr, "varbelo: clicking through %s\n", candidate.name);
            return input;
        }
        if (candidate.create == &X11DesktopInput::create) {
            whyNot = why; // the last one: main says it, as it does outside Wayland
            return nullptr;
        }
        std::fprintf(stderr, "varbelo: not through %s: %s\n", candidate.name, why.c_str());
    }
    return nullptr;
}
