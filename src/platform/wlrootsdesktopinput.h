// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"
#include "outputlayout.h"
#include "waylandconnection.h"

#include <optional>
#include <vector>

struct wl_registry;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

// A wlroots compositor (sway, Hyprland, labwc): moves and clicks through virtual pointers
// (zwlr_virtual_pointer_manager_v1, version 2) on a Wayland connection of its own. It follows
// the output layout (xdg-output) and moves through a pointer bound to the output that holds the
// spot, so that a move counts from that output's corner: relative to the bounding box of all
// outputs, a move would land on another pixel if any output changed place or size before the
// compositor handled it. Wayland shows it neither the pointer nor the keys over other programs'
// windows.
class WlrootsDesktopInput : public DesktopInput
{
public:
    /// The backend, or nullptr with the reason in whyNot (no Wayland display, no protocol).
    static std::unique_ptr<DesktopInput> create(std::string &whyNot);
    ~WlrootsDesktopInput() override;

    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override;
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool seesWholeDesktop() const override { return false; }

private:
    WlrootsDesktopInput() = default;
    static void global(void *self, wl_registry *registry, std::uint32_t name, const char *interface,
                       std::uint32_t version);
    static void globalRemove(void *self, wl_registry *registry, std::uint32_t name);
    void sendButton(bool press);
    zwlr_virtual_pointer_v1 *pointerOn(const OutputLayout::Output &output);

    WaylandConnection m_connection;
    wl_registry *m_registry = nullptr;
    zwlr_virtual_pointer_manager_v1 *m_pointerManager = nullptr;
    std::uint32_t m_pointerManagerVersion = 0;
    zwlr_virtual_pointer_v1 *m_pointer = nullptr; // the buttons': it shares the seat's cursor
    struct OutputPointer
    {
        std::uint32_t outputName;
        zwlr_virtual_pointer_v1 *pointer;
    };
    std::vector<OutputPointer> m_outputPointers; // made at an output's first move
    OutputLayout m_layout;
    std::optional<CursorPoint> m_missedAt; // the last move's spot, when it was on no output
    bool m_buttonHeld = false;
};
