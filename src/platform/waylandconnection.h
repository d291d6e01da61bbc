// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

struct wl_display;

// A Wayland connection of a backend's own, apart from the one Qt may hold: the backend's
// requests then never wait on Qt's event queue, and the backend works whichever platform the
// window runs on. Nothing here blocks but the round trips at start-up.
class WaylandConnection
{
public:
    /// whatStops completes the one line said when the compositor goes away.
    explicit WaylandConnection(const char *whatStops = "clicks are no longer sent")
        : m_whatStops(whatStops) { }
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection &) = delete;
    WaylandConnection &operator=(const WaylandConnection &) = delete;

    /// Connects to the display WAYLAND_DISPLAY names; false with the reason in whyNot.
    bool connect(std::string &whyNot);
    wl_display *display() const { return m_display; }
    /// Waits for the compositor to answer everything sent so far; false if the connection broke.
    bool roundtrip();
    /// Handles the events that have arrived (output changes) without waiting for any.
    void dispatchPending();
    /// Sends what is queued; false (said once on standard error) once the compositor is gone.
    bool flush();
    bool lost() const { return m_lost; }

private:
    void reportLoss();

    const char *m_whatStops;
    wl_display *m_display = nullptr;
    bool m_lost = false;
};
