// SPDX-License-Identifier: GPL-3.0-or-later
#include "wlrootsdesktopinput.h"

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

namespace {

std::uint32_t timestamp()
{
    using namespace std::chrono;
    return std::uint32_t(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

std::unique_ptr<DesktopInput> WlrootsDesktopInput::create(std::string &whyNot)
{
    std::unique_ptr<WlrootsDesktopInput> input(new WlrootsDesktopInput);
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
    if (!input->m_pointerManager) {
        whyNot = "the compositor offers no zwlr_virtual_pointer_manager_v1 (not a wlroots "
                 "compositor)";
        return nullptr;
    }
    if (input->m_pointerManagerVersion < 2) {
        whyNot = "the compositor's zwlr_virtual_pointer_manager_v1 is version 1, without "
                 "pointers bound to an output";
        return nullptr;
    }
    if (!input->m_layout.hasManager()) {
        whyNot = "the compositor offers no zxdg_output_manager_v1 to learn the output layout";
        return nullptr;
    }
    // No seat given: the compositor's default one, which the user's own pointer is on.
    input->m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
            input->m_pointerManager, nullptr);
    if (!input->m_connection.roundtrip()) {
        whyNot = "the compositor refused a virtual pointer";
        return nullptr;
    }
    return input;
}

WlrootsDesktopInput::~WlrootsDesktopInput()
{
    if (m_buttonHeld)
        sendButton(false);
    if (m_pointer)
        zwlr_virtual_pointer_v1_destroy(m_pointer);
    for (const auto &bound : m_outputPointers)
        zwlr_virtual_pointer_v1_destroy(bound.pointer);
    if (m_pointerManager)
        zwlr_virtual_pointer_manager_v1_destroy(m_pointerManager);
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_connection.flush();
}

void WlrootsDesktopInput::global(void *self, wl_registry *registry, std::uint32_t name,
                                 const char *interface, std::uint32_t version)
{
    auto *input = static_cast<WlrootsDesktopInput *>(self);
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        input->m_pointerManagerVersion = std::min(version, 2u);
        input->m_pointerManager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface,
                                 input->m_pointerManagerVersion));
    } else {
        input->m_layout.global(registry, name, interface, version);
    }
}

void WlrootsDesktopInput::globalRemove(void *self, wl_registry *, std::uint32_t name)
{
    auto *input = static_cast<WlrootsDesktopInput *>(self);
    std::erase_if(input->m_outputPointers, [name](const OutputPointer &bound) {
        if (bound.outputName != name)
            return false;
        zwlr_virtual_pointer_v1_destroy(bound.pointer);
        return true;
    });
    input->m_layout.globalRemove(name);
}

zwlr_virtual_pointer_v1 *WlrootsDesktopInput::pointerOn(const OutputLayout::Output &output)
{
    for (const auto &bound : m_outputPointers) {
        if (bound.outputName == output.name)
            return bound.pointer;
    }
    auto *pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(
            m_pointerManager, nullptr, output.output);
    m_outputPointers.push_back({output.name, pointer});
    return pointer;
}

bool WlrootsDesktopInput::GetCursorPos(CursorPoint &)
{
    return false; // Wayland tells no client where the pointer is over other windows
}

bool WlrootsDesktopInput::SetCursorPos(std::int32_t x, std::int32_t y)
{
    m_connection.dispatchPending(); // outputs added, removed or moved since the last step
    m_missedAt.reset();
    if (m_connection.lost())
        return false;
    // No output holds it: sway would stop the pointer at an output's edge or in a gap.
    const auto *output = m_layout.at(x, y);
    if (!output) {
        m_missedAt = CursorPoint {x, y};
        m_connection.flush(); // asks about an output that just came, if one did
        return false;
    }
    auto *pointer = pointerOn(*output);
    const auto dx = std::uint32_t(x - output->x), dy = std::uint32_t(y - output->y);
    const auto width = std::uint32_t(output->width), height = std::uint32_t(output->height);
    // Two frames: first to the middle of the target pixel, then onto the pixel itself. For an
    // absolute move sway sends the delta as relative motion to the surface the pointer is on,
    // before it leaves it (sway/input/cursor.c, pointer_motion); Xwayland keeps a delta that its
    // window got as the pointer left, and applies it at the next frame that finds the pointer in
    // one of its windows (xwayland-input.c). An entry brings no motion event (wlroots drops one
    // to where enter put the pointer), so that frame is the entry's own, and a click into an X11
    // window would land off by the step that left the last one. The half-pixel step enters the
    // window and spends the kept delta; the second one moves within the window, a real motion
    // that Xwayland takes as the pointer's position.
    zwlr_virtual_pointer_v1_motion_absolute(pointer, timestamp(), 2 * dx + 1, 2 * dy + 1,
                                            2 * width, 2 * height);
    zwlr_virtual_pointer_v1_frame(pointer);
    zwlr_virtual_pointer_v1_motion_absolute(pointer, timestamp(), dx, dy, width, height);
    zwlr_virtual_pointer_v1_frame(pointer);
    return m_connection.flush();
}

std::string WlrootsDesktopInput::whyMoveFailed() const
{
    if (m_missedAt)
        return noScreenAt(m_missedAt->x, m_missedAt->y);
    return "the Wayland compositor closed the connection";
}

void WlrootsDesktopInput::mouse_event(std::uint32_t dwFlags)
{
    if (dwFlags == LeftButtonPress || dwFlags == LeftButtonRelease)
        sendButton(dwFlags == LeftButtonPress);
}

void WlrootsDesktopInput::sendButton(bool press)
{
    if (m_connection.lost())
        return;
    zwlr_virtual_pointer_v1_button(m_pointer, timestamp(), BTN_LEFT,
                                   press ? WL_POINTER_BUTTON_STATE_PRESSED
                                         : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(m_pointer);
    if (m_connection.flush())
        m_buttonHeld = press;
}

std::int16_t WlrootsDesktopInput::GetAsyncKeyState(int)
{
    return 0; // nor the keys: the capture layer reads them while it is up
}
