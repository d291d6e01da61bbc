// SPDX-License-Identifier: GPL-3.0-or-later
// One piece: a Wayland client of its own (registry, seat, outputs, one layer surface, its buffer
// and cursor per output), whose listeners share the overlay's state; split, each part would reach
// into the others' members.
#include "layershelloverlay.h"

#include "desktopinput.h"
#include "viewporter-client-protocol.h"

#include <wayland-client.h>
// The protocol names a request's argument "namespace", which C++ reserves.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-cursor.h>
#include <xkbcommon/xkbcommon.h>

#include <QSocketNotifier>

namespace {

// Premultiplied black at a tenth: enough to show that recording is on, little enough to see
// every spot beneath.
constexpr std::uint32_t Tint = 0x18000000;

int virtualKeyOf(xkb_keysym_t symbol)
{
    switch (symbol) {
    case XKB_KEY_Shift_L:
    case XKB_KEY_Shift_R:
        return ShiftKey;
    case XKB_KEY_space:
        return SpaceKey;
    case XKB_KEY_Escape:
        return EscapeKey;
    default:
        return 0;
    }
}

// Without a keymap the codes are the kernel's own.
int virtualKeyOfCode(std::uint32_t code)
{
    switch (code) {
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
        return ShiftKey;
    case KEY_SPACE:
        return SpaceKey;
    case KEY_ESC:
        return EscapeKey;
    default:
        return 0;
    }
}

// Release requests came with later versions of their interfaces; before those, only the
// client's proxy goes.
template <typename Proxy>
void release(Proxy *proxy, void (*request)(Proxy *), std::uint32_t since)
{
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy *>(proxy)) >= since)
        request(proxy);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(proxy));
}

} // namespace

LayerShellOverlay::LayerShellOverlay() = default;

std::unique_ptr<LayerShellOverlay> LayerShellOverlay::create(std::string &whyNot)
{
    std::unique_ptr<LayerShellOverlay> overlay(new LayerShellOverlay);
    if (!overlay->m_connection.connect(whyNot))
        return nullptr;
    overlay->m_registry = wl_display_get_registry(overlay->m_connection.display());
    static const wl_registry_listener listener {global, globalRemove};
    wl_registry_add_listener(overlay->m_registry, &listener, overlay.get());
    // Globals, then the outputs' layout and the seat's devices.
    if (!overlay->m_connection.roundtrip() || !overlay->m_connection.roundtrip()) {
        whyNot = "the Wayland compositor closed the connection";
        return nullptr;
    }
    if (!overlay->m_shell) {
        whyNot = "the compositor offers no zwlr_layer_shell_v1";
        return nullptr;
    }
    if (!overlay->m_compositor || !overlay->m_shm || !overlay->m_layout.hasManager()) {
        whyNot = "the compositor offers no wl_compositor, wl_shm or xdg-output";
        return nullptr;
    }
    const char *theme = std::getenv("XCURSOR_THEME");
    // The desktop's cursor size, within reason; its default where unset or unreadable.
    const char *size = std::getenv("XCURSOR_SIZE");
    const long wanted = size ? std::strtol(size, nullptr, 10) : 0;
    const int cursorSize = wanted > 0 && wanted <= 256 ? int(wanted) : 24;
    overlay->m_cursorTheme = wl_cursor_theme_load(theme, cursorSize, overlay->m_shm);
    overlay->m_cursorSurface = wl_compositor_create_surface(overlay->m_compositor);
    overlay->m_notifier = std::make_unique<QSocketNotifier>(
            wl_display_get_fd(overlay->m_connection.display()), QSocketNotifier::Read);
    connect(overlay->m_notifier.get(), &QSocketNotifier::activated, overlay.get(),
            &LayerShellOverlay::dispatch);
    return overlay;
}

LayerShellOverlay::~LayerShellOverlay()
{
    for (const auto &surface : m_surfaces)
        destroy(*surface);
    if (m_keyState)
        xkb_state_unref(m_keyState);
    if (m_keymap)
        xkb_keymap_unref(m_keymap);
    if (m_xkb)
        xkb_context_unref(m_xkb);
    if (m_cursorSurface)
        wl_surface_destroy(m_cursorSurface);
    if (m_cursorTheme)
        wl_cursor_theme_destroy(m_cursorTheme);
    if (m_pointer)
        release(m_pointer, wl_pointer_release, WL_POINTER_RELEASE_SINCE_VERSION);
    if (m_keyboard)
        release(m_keyboard, wl_keyboard_release, WL_KEYBOARD_RELEASE_SINCE_VERSION);
    if (m_seat)
        release(m_seat, wl_seat_release, WL_SEAT_RELEASE_SINCE_VERSION);
    if (m_viewporter)
        wp_viewporter_destroy(m_viewporter);
    if (m_shell)
        release(m_shell, zwlr_layer_shell_v1_destroy, ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION);
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_compositor)
        wl_compositor_destroy(m_compositor);
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_connection.flush();
}

void LayerShellOverlay::global(void *self, wl_registry *registry, std::uint32_t name,
                               const char *interface, std::uint32_t version)
{
    auto *overlay = static_cast<LayerShellOverlay *>(self);
    const auto bind = [&](const wl_interface &wanted, std::uint32_t highest) {
        return wl_registry_bind(registry, name, &wanted, std::min(version, highest));
    };
    if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
        overlay->m_shell = static_cast<zwlr_layer_shell_v1 *>(
                bind(zwlr_layer_shell_v1_interface, 3));
    } else if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        overlay->m_compositor = static_cast<wl_compositor *>(bind(wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        overlay->m_shm = static_cast<wl_shm *>(bind(wl_shm_interface, 1));
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
        overlay->m_viewporter = static_cast<wp_viewporter *>(bind(wp_viewporter_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !overlay->m_seat) {
        // The first seat: the compositor's default, which the user's own pointer is on.
        overlay->m_seat = static_cast<wl_seat *>(bind(wl_seat_interface, 5));
        static const wl_seat_listener seatListener {
                seatCapabilities, [](void *, wl_seat *, const char *) {}};
        wl_seat_add_listener(overlay->m_seat, &seatListener, overlay);
    } else {
        overlay->m_layout.global(registry, name, interface, version);
    }
}

void LayerShellOverlay::globalRemove(void *self, wl_registry *, std::uint32_t name)
{
    static_cast<LayerShellOverlay *>(self)->m_layout.globalRemove(name);
}

void LayerShellOverlay::seatCapabilities(void *self, wl_seat *seat, std::uint32_t capabilities)
{
    // Devices come and go (a virtual keyboard lives as long as the program that made it), and
    // the compositor silences a device object once its capability goes: follow them.
    auto *overlay = static_cast<LayerShellOverlay *>(self);
    const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (pointer && !overlay->m_pointer) {
        overlay->m_pointer = wl_seat_get_pointer(seat);
        // Named, and the rest left null: a newer libwayland's listener has members for
        // versions that are not bound here.
        static const wl_pointer_listener listener = [] {
            wl_pointer_listener l {};
            l.enter = pointerEnter;
            l.leave = [](void *, wl_pointer *, std::uint32_t, wl_surface *) {};
            l.motion = pointerMotion;
            l.button = [](void *, wl_pointer *, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t) {};
            l.axis = [](void *, wl_pointer *, std::uint32_t, std::uint32_t, wl_fixed_t) {};
            l.frame = [](void *, wl_pointer *) {};
            l.axis_source = [](void *, wl_pointer *, std::uint32_t) {};
            l.axis_stop = [](void *, wl_pointer *, std::uint32_t, std::uint32_t) {};
            l.axis_discrete = [](void *, wl_pointer *, std::uint32_t, std::int32_t) {};
            return l;
        }();
        wl_pointer_add_listener(overlay->m_pointer, &listener, overlay);
    } else if (!pointer && overlay->m_pointer) {
        release(overlay->m_pointer, wl_pointer_release, WL_POINTER_RELEASE_SINCE_VERSION);
        overlay->m_pointer = nullptr;
    }
    const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (keyboard && !overlay->m_keyboard) {
        overlay->m_keyboard = wl_seat_get_keyboard(seat);
        static const wl_keyboard_listener listener {
                keymap,
                [](void *, wl_keyboard *, std::uint32_t, wl_surface *, wl_array *) {},
                [](void *, wl_keyboard *, std::uint32_t, wl_surface *) {},
                key,
                [](void *, wl_keyboard *, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t, std::uint32_t) {},
                [](void *, wl_keyboard *, std::int32_t, std::int32_t) {},
        };
        wl_keyboard_add_listener(overlay->m_keyboard, &listener, overlay);
    } else if (!keyboard && overlay->m_keyboard) {
        release(overlay->m_keyboard, wl_keyboard_release, WL_KEYBOARD_RELEASE_SINCE_VERSION);
        overlay->m_keyboard = nullptr;
    }
}

bool LayerShellOverlay::show()
{
    if (isUp())
        return true;
    m_connection.dispatchPending(); // the layout as it is now
    if (m_connection.lost())
        return false;
    for (const auto &output : m_layout.outputs()) {
        if (!output->known())
            continue;
        auto surface = std::make_unique<Surface>();
        surface->owner = this;
        surface->outputName = output->name;
        surface->surface = wl_compositor_create_surface(m_compositor);
        surface->layer = zwlr_layer_shell_v1_get_layer_surface(
                m_shell, surface->surface, output->output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                "varbelo-capture");
        static const zwlr_layer_surface_v1_listener listener {configure, layerClosed};
        zwlr_layer_surface_v1_add_listener(surface->layer, &listener, surface.get());
        // The whole output, over panels too; the keyboard comes here while it is up.
        zwlr_layer_surface_v1_set_anchor(surface->layer,
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP
                                                 | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM
                                                 | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT
                                                 | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(surface->layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(surface->layer, 1);
        wl_surface_commit(surface->surface);
        m_surfaces.push_back(std::move(surface));
    }
    m_connection.flush();
    return isUp();
}

void LayerShellOverlay::hide()
{
    for (const auto &surface : m_surfaces)
        destroy(*surface);
    m_surfaces.clear();
    m_pointerOn = nullptr;
    m_connection.flush();
}

void LayerShellOverlay::destroy(Surface &surface)
{
    if (surface.viewport)
        wp_viewport_destroy(surface.viewport);
    zwlr_layer_surface_v1_destroy(surface.layer);
    wl_surface_destroy(surface.surface);
    if (surface.buffer)
        wl_buffer_destroy(surface.buffer);
}

void LayerShellOverlay::close()
{
    if (!isUp())
        return;
    hide();
    emit closed();
}

void LayerShellOverlay::dispatch()
{
    m_connection.dispatchPending();
    if (m_connection.lost()) {
        // The surfaces went with the compositor; only the proxies are left to free.
        m_notifier->setEnabled(false);
        close();
        return;
    }
    m_connection.flush();
}

void LayerShellOverlay::configure(void *data, zwlr_layer_surface_v1 *layer, std::uint32_t serial,
                                  std::uint32_t width, std::uint32_t height)
{
    auto *surface = static_cast<Surface *>(data);
    LayerShellOverlay *overlay = surface->owner;
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    if (surface->buffer)
        return wl_surface_commit(surface->surface); // a new size needs no new tint
    const OutputLayout::Output *output = overlay->m_layout.find(surface->outputName);
    if (width == 0 || height == 0) {
        width = output ? std::uint32_t(output->width) : 1;
        height = output ? std::uint32_t(output->height) : 1;
    }
    // One pixel stretched over the output where the compositor can scale it; a full-size
    // buffer otherwise.
    if (overlay->m_viewporter) {
        surface->buffer = overlay->tint(1, 1);
        surface->viewport = wp_viewporter_get_viewport(overlay->m_viewporter, surface->surface);
        wp_viewport_set_destination(surface->viewport, std::int32_t(width), std::int32_t(height));
    } else {
        surface->buffer = overlay->tint(std::int32_t(width), std::int32_t(height));
    }
    wl_surface_attach(surface->surface, surface->buffer, 0, 0);
    wl_surface_damage(surface->surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(surface->surface);
}

void LayerShellOverlay::layerClosed(void *data, zwlr_layer_surface_v1 *)
{
    // Its output went away, or the compositor would not have it: the user's recording ends
    // visibly rather than going on over part of the desktop.
    static_cast<Surface *>(data)->owner->close();
}

wl_buffer *LayerShellOverlay::tint(std::int32_t width, std::int32_t height)
{
    const std::size_t size = std::size_t(width) * std::size_t(height) * 4;
    const int fd = memfd_create("varbelo-tint", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    wl_buffer *buffer = nullptr;
    if (ftruncate(fd, off_t(size)) == 0) {
        void *pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (pixels != MAP_FAILED) {
            std::fill_n(static_cast<std::uint32_t *>(pixels), size / 4, Tint);
            munmap(pixels, size);
            wl_shm_pool *pool = wl_shm_create_pool(m_shm, fd, std::int32_t(size));
            buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4,
                                               WL_SHM_FORMAT_ARGB8888);
            wl_shm_pool_destroy(pool);
        }
    }
    ::close(fd);
    return buffer;
}

void LayerShellOverlay::pointerEnter(void *self, wl_pointer *pointer, std::uint32_t serial,
                                     wl_surface *entered, std::int32_t x, std::int32_t y)
{
    auto *overlay = static_cast<LayerShellOverlay *>(self);
    overlay->m_pointerOn = nullptr;
    for (const auto &surface : overlay->m_surfaces) {
        if (surface->surface == entered)
            overlay->m_pointerOn = surface.get();
    }
    // A cross to aim with; without one the compositor may show no pointer at all.
    wl_cursor *cursor = nullptr;
    if (overlay->m_cursorTheme) {
        cursor = wl_cursor_theme_get_cursor(overlay->m_cursorTheme, "crosshair");
        if (!cursor)
            cursor = wl_cursor_theme_get_cursor(overlay->m_cursorTheme, "left_ptr");
    }
    if (cursor && cursor->image_count > 0) {
        wl_cursor_image *image = cursor->images[0];
        wl_surface_attach(overlay->m_cursorSurface, wl_cursor_image_get_buffer(image), 0, 0);
        wl_surface_damage(overlay->m_cursorSurface, 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_commit(overlay->m_cursorSurface);
        wl_pointer_set_cursor(pointer, serial, overlay->m_cursorSurface,
                              std::int32_t(image->hotspot_x), std::int32_t(image->hotspot_y));
    }
    overlay->pointerAt(x, y);
}

void LayerShellOverlay::pointerMotion(void *self, wl_pointer *, std::uint32_t, std::int32_t x,
                                      std::int32_t y)
{
    static_cast<LayerShellOverlay *>(self)->pointerAt(x, y);
}

void LayerShellOverlay::pointerAt(wl_fixed_t x, wl_fixed_t y)
{
    if (!m_pointerOn)
        return;
    const OutputLayout::Output *output = m_layout.find(m_pointerOn->outputName);
    if (!output)
        return;
    // The output's place in the layout plus the position on it: the numbers the compositor's
    // own pointer and the virtual pointer both move in.
    emit pointerMoved(output->x + pixelUnder(wl_fixed_to_double(x), output->width),
                      output->y + pixelUnder(wl_fixed_to_double(y), output->height));
}

void LayerShellOverlay::keymap(void *self, wl_keyboard *, std::uint32_t format, std::int32_t fd,
                               std::uint32_t size)
{
    auto *overlay = static_cast<LayerShellOverlay *>(self);
    if (overlay->m_keyState)
        xkb_state_unref(overlay->m_keyState);
    if (overlay->m_keymap)
        xkb_keymap_unref(overlay->m_keymap);
    overlay->m_keyState = nullptr;
    overlay->m_keymap = nullptr;
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        if (!overlay->m_xkb)
            overlay->m_xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        void *text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (overlay->m_xkb && text != MAP_FAILED) {
            overlay->m_keymap = xkb_keymap_new_from_buffer(
                    overlay->m_xkb, static_cast<const char *>(text),
                    strnlen(static_cast<const char *>(text), size), XKB_KEYMAP_FORMAT_TEXT_V1,
                    XKB_KEYMAP_COMPILE_NO_FLAGS);
            munmap(text, size);
        }
        if (overlay->m_keymap)
            overlay->m_keyState = xkb_state_new(overlay->m_keymap);
    }
    ::close(fd);
}

void LayerShellOverlay::key(void *self, wl_keyboard *, std::uint32_t, std::uint32_t,
                            std::uint32_t code, std::uint32_t state)
{
    auto *overlay = static_cast<LayerShellOverlay *>(self);
    if (!overlay->isUp())
        return;
    // A keymap's codes are the kernel's plus 8; a virtual keyboard (wtype) brings a keymap of
    // its own, so the symbol decides, not the code.
    const int vKey = overlay->m_keyState
            ? virtualKeyOf(xkb_state_key_get_one_sym(overlay->m_keyState, code + 8))
            : virtualKeyOfCode(code);
    if (vKey)
        emit overlay->keyChanged(vKey, state == WL_KEYBOARD_KEY_STATE_PRESSED);
}
