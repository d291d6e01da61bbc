// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"
#include "outputlayout.h"
#include "waylandconnection.h"

#include <optional>

struct wl_registry;
struct org_kde_kwin_fake_input;

// KDE Plasma's compositor, KWin: moves (absolute, in global coordinates) and clicks through
// org_kde_kwin_fake_input on a Wayland connection of its own. KWin lists that interface only
// to a program whose installed desktop entry names it (X-KDE-Wayland-Interfaces) and whose
// Exec= is the program's absolute path. Wayland shows it neither the pointer nor the keys over
// other programs' windows.
class KWinDesktopInput : public DesktopInput
{
public:
    /// The backend, or nullptr with the reason in whyNot (not KWin, or KWin withholds it).
    static std::unique_ptr<DesktopInput> create(std::string &whyNot);
    ~KWinDesktopInput() override;

    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override;
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool seesWholeDesktop() const override { return false; }

private:
    KWinDesktopInput() = default;
    static void global(void *self, wl_registry *registry, std::uint32_t name, const char *interface,
                       std::uint32_t version);
    static void globalRemove(void *self, wl_registry *registry, std::uint32_t name);
    void sendButton(bool press);

    WaylandConnection m_connection;
    wl_registry *m_registry = nullptr;
    org_kde_kwin_fake_input *m_fakeInput = nullptr;
    OutputLayout m_layout; // KWin's outputs, where it offers xdg-output
    std::optional<CursorPoint> m_missedAt; // the last move's spot, when it was on no output
    bool m_kdeGlobals = false; // the compositor lists other org_kde_ interfaces: it is KWin
    bool m_buttonHeld = false;
};
