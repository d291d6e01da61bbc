// SPDX-License-Identifier: GPL-3.0-or-later
#include "waylandconnection.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

WaylandConnection::~WaylandConnection()
{
    if (m_display)
        wl_display_disconnect(m_display);
}

bool WaylandConnection::connect(std::string &whyNot)
{
    m_display = wl_display_connect(nullptr);
    if (m_display)
        return true;
    const char *name = std::getenv("WAYLAND_DISPLAY");
    whyNot = std::string("cannot connect to the Wayland display \"")
            + (name && *name ? name : "wayland-0") + "\" (" + std::strerror(errno) + ')';
    return false;
}

bool WaylandConnection::roundtrip()
{
    if (!m_lost && wl_display_roundtrip(m_display) < 0)
        reportLoss();
    return !m_lost;
}

void WaylandConnection::dispatchPending()
{
    if (m_lost)
        return;
    // The usual non-blocking read: claim the read, read only what poll says is there.
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0)
            return reportLoss();
    }
    pollfd fd {wl_display_get_fd(m_display), POLLIN, 0};
    if (poll(&fd, 1, 0) > 0) {
        if (wl_display_read_events(m_display) < 0)
            return reportLoss();
    } else {
        wl_display_cancel_read(m_display);
    }
    if (wl_display_dispatch_pending(m_display) < 0)
        reportLoss();
}

bool WaylandConnection::flush()
{
    if (!m_display)
        return false; // never connected: a backend that gave up at start-up
    if (!m_lost && wl_display_flush(m_display) < 0 && errno != EAGAIN)
        reportLoss();
    return !m_lost;
}

void WaylandConnection::reportLoss()
{
    m_lost = true;
    std::fprintf(stderr,
                 "varbelo: lost the connection to the Wayland compositor (%s): %s\n",
                 std::strerror(wl_display_get_error(m_display) ? wl_display_get_error(m_display)
                                                               : errno),
                 m_whatStops);
}
