// SPDX-License-Identifier: GPL-3.0-or-later
#include "kwindesktopinput.h"

#include "fake-input-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

std::unique_ptr<DesktopInput> KWinDesktopInput::create(std::string &whyNot)
{
    std::unique_ptr<KWinDesktopInput> input(new KWinDesktopInput);
    if (!input->m_connection.connect(whyNot))
        return nullptr;
    input->m_registry = wl_display_get_registry(input->m_connection.display());
    static const wl_registry_listener listener {global, globalRemove};
    wl_registry_add_listener(input->m_registry, &listener, input.get());
    // The first round trip lists the globals, the second brings the outputs' layout.
    if (!input->m_connection.roundtrip() || !input->m_connection.roundtrip()) {
        whyNot = "the Wayland compositor closed the connection";
        return nullptr;
    }
    if (!input->m_fakeInput) {
        whyNot = input->m_kdeGlobals
                ? "KWin withholds org_kde_kwin_fake_input: it grants it only to a program whose "
                  "installed desktop entry has Exec= with the program's absolute path and "
                  "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input"
                : "the compositor offers no org_kde_kwin_fake_input (not KWin)";
        return nullptr;
    }
    // KWin 5 grants every request that the interface is listed for; the texts name the program
    // where a desktop asks the user.
    org_kde_kwin_fake_input_authenticate(input->m_fakeInput, "Varbelo",
                                         "Replays the pointer positions and clicks of a script");
    if (!input->m_connection.roundtrip()) {
        whyNot = "KWin closed the connection when asked for fake input";
        return nullptr;
    }
    // Said once, at start: every step then goes to KWin as it is, and one off every monitor is
    // clicked at the nearest edge instead of missed.
    if (!input->m_layout.hasManager())
        std::fprintf(stderr,
                     "varbelo: KWin offers no xdg-output, so where the monitors lie cannot be "
                     "told: a step off every monitor is clicked at the nearest edge\n");
    return input;
}

KWinDesktopInput::~KWinDesktopInput()
{
    if (m_buttonHeld)
        sendButton(false);
    if (m_fakeInput)
        org_kde_kwin_fake_input_destroy(m_fakeInput);
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_connection.flush();
}

void KWinDesktopInput::global(void *self, wl_registry *registry, std::uint32_t name,
                              const char *interface, std::uint32_t version)
{
    auto *input = static_cast<KWinDesktopInput *>(self);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
        // Version 3 brought absolute motion; older KWin cannot place the pointer.
        if (version >= 3)
            input->m_fakeInput = static_cast<org_kde_kwin_fake_input *>(
                    wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3));
    } else if (std::strncmp(interface, "org_kde_", 8) == 0) {
        input->m_kdeGlobals = true;
    } else {
        input->m_layout.global(registry, name, interface, version);
    }
}

void KWinDesktopInput::globalRemove(void *self, wl_registry *, std::uint32_t name)
{
    static_cast<KWinDesktopInput *>(self)->m_layout.globalRemove(name);
}

bool KWinDesktopInput::GetCursorPos(CursorPoint &)
{
    return false; // Wayland tells no client where the pointer is over other windows
}

bool KWinDesktopInput::SetCursorPos(std::int32_t x, std::int32_t y)
{
    m_connection.dispatchPending(); // outputs added, removed or moved since the last step
    m_missedAt.reset();
    if (m_connection.lost())
        return false;
    // KWin would keep the pointer on the nearest screen. Without xdg-output its outputs are not
    // known here, and every move goes to KWin as it is.
    if (m_layout.hasManager() && !m_layout.contains(x, y)) {
        m_missedAt = CursorPoint {x, y};
        m_connection.flush(); // asks about an output that just came, if one did
        return false;
    }
    org_kde_kwin_fake_input_pointer_motion_absolute(m_fakeInput, wl_fixed_from_int(x),
                                                    wl_fixed_from_int(y));
    return m_connection.flush();
}

std::string KWinDesktopInput::whyMoveFailed() const
{
    if (m_missedAt)
        return noScreenAt(m_missedAt->x, m_missedAt->y);
    return "the Wayland compositor closed the connection";
}

void KWinDesktopInput::mouse_event(std::uint32_t dwFlags)
{
    if (dwFlags == LeftButtonPress || dwFlags == LeftButtonRelease)
        sendButton(dwFlags == LeftButtonPress);
}

void KWinDesktopInput::sendButton(bool press)
{
    if (m_connection.lost())
        return;
    org_kde_kwin_fake_input_button(m_fakeInput, BTN_LEFT,
                                   press ? WL_POINTER_BUTTON_STATE_PRESSED
                                         : WL_POINTER_BUTTON_STATE_RELEASED);
    if (m_connection.flush())
        m_buttonHeld = press;
}

std::int16_t KWinDesktopInput::GetAsyncKeyState(int)
{
    return 0; // nor the keys: the capture layer reads them while it is up
}
