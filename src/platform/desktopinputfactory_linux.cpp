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
#include <initializer_list>

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

const char *const xwayland = "X11 (XWayland)";

// The portal comes before X11 but talks D-Bus through the application's event loop, and the
// application may only be made once X11 has shown that there is a display: where the first call
// ends on X11, completeDesktopInput tries the portal.
bool portalPending = false;

void sayTaken(const char *name)
{
    std::fprintf(stderr, "varbelo: clicking through %s\n", name);
}

} // namespace

std::unique_ptr<DesktopInput> createDesktopInput(std::string &whyNot)
{
    // Outside Wayland there is nothing to choose from: X11 says itself why it cannot work.
    if (!inWaylandSession())
        return X11DesktopInput::create(whyNot);

    // The compositor's own ways first, since only they reach native windows.
    const std::initializer_list<Candidate> compositorWays = {
#ifdef VARBELO_HAVE_WAYLAND
            {"the wlroots virtual pointer", &WlrootsDesktopInput::create},
            {"KWin's fake input", &KWinDesktopInput::create},
#endif
    };
    for (const Candidate &candidate : compositorWays) {
        std::string why;
        if (std::unique_ptr<DesktopInput> input = candidate.create(why)) {
            sayTaken(candidate.name);
            return input;
        }
        std::fprintf(stderr, "varbelo: not through %s: %s\n", candidate.name, why.c_str());
    }
    // X11 last, through XWayland, where clicks reach XWayland programs only. Where it fails,
    // main says why, as it does outside Wayland.
    std::unique_ptr<DesktopInput> input = X11DesktopInput::create(whyNot);
#ifdef VARBELO_HAVE_PORTAL
    portalPending = input != nullptr;
#else
    if (input)
        sayTaken(xwayland);
#endif
    return input;
}

std::unique_ptr<DesktopInput> completeDesktopInput(std::unique_ptr<DesktopInput> input)
{
#ifdef VARBELO_HAVE_PORTAL
    if (portalPending) {
        portalPending = false;
        std::string why;
        if (std::unique_ptr<DesktopInput> portal = PortalDesktopInput::create(why)) {
            sayTaken("the RemoteDesktop portal");
            return portal;
        }
        std::fprintf(stderr, "varbelo: not through the RemoteDesktop portal: %s\n", why.c_str());
        sayTaken(xwayland);
    }
#endif
    return input;
}
