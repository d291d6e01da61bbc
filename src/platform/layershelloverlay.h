// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "outputlayout.h"
#include "waylandconnection.h"

#include <memory>
#include <string>
#include <vector>

#include <QObject>

class QSocketNotifier;
struct wl_buffer;
struct wl_compositor;
struct wl_cursor_theme;
struct wl_keyboard;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wp_viewport;
struct wp_viewporter;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

// A faintly tinted, see-through surface over every output in the compositor's overlay layer
// (wlr-layer-shell: sway, Hyprland, labwc, KWin), on a Wayland connection of its own. It takes
// the keyboard while it is up and tells where the pointer is over it, in layout coordinates,
// and when Space, Shift or Esc go down or up. A fullscreen window cannot do this everywhere:
// sway draws black behind it, hiding what the user points at.
class LayerShellOverlay : public QObject
{
    Q_OBJECT

public:
    /// The overlay, or nullptr with the reason in whyNot (no display, no layer shell).
    static std::unique_ptr<LayerShellOverlay> create(std::string &whyNot);
    ~LayerShellOverlay() override;

    /// Puts a surface on each output; false if there is none or the compositor is gone.
    bool show();
    /// Takes the surfaces down.
    void hide();
    bool isUp() const { return !m_surfaces.empty(); }

signals:
    /// The pointer is at x, y of the layout.
    void pointerMoved(int x, int y);
    /// A key went down or up: ShiftKey, SpaceKey or EscapeKey.
    void keyChanged(int vKey, bool down);
    /// The compositor closed a surface or went away: the overlay is down.
    void closed();

private:
    // One surface, on one output.
    struct Surface
    {
        LayerShellOverlay *owner = nullptr;
        std::uint32_t outputName = 0;
        wl_surface *surface = nullptr;
        zwlr_layer_surface_v1 *layer = nullptr;
        wp_viewport *viewport = nullptr;
        wl_buffer *buffer = nullptr;
    };

    LayerShellOverlay();
    static void global(void *self, wl_registry *registry, std::uint32_t name,
                       const char *interface, std::uint32_t version);
    static void globalRemove(void *self, wl_registry *registry, std::uint32_t name);
    static void seatCapabilities(void *self, wl_seat *seat, std::uint32_t capabilities);
    static void pointerEnter(void *self, wl_pointer *pointer, std::uint32_t serial,
                             wl_surface *surface, std::int32_t x, std::int32_t y);
    static void pointerMotion(void *self, wl_pointer *pointer, std::uint32_t time,
                              std::int32_t x, std::int32_t y);
    static void keymap(void *self, wl_keyboard *keyboard, std::uint32_t format, std::int32_t fd,
                       std::uint32_t size);
    static void key(void *self, wl_keyboard *keyboard, std::uint32_t serial, std::uint32_t time,
                    std::uint32_t key, std::uint32_t state);
    static void configure(void *surface, zwlr_layer_surface_v1 *layer, std::uint32_t serial,
                          std::uint32_t width, std::uint32_t height);
    static void layerClosed(void *surface, zwlr_layer_surface_v1 *layer);

    void dispatch();
    void pointerAt(std::int32_t x, std::int32_t y);
    wl_buffer *tint(std::int32_t width, std::int32_t height);
    void destroy(Surface &surface);
    void close();

    WaylandConnection m_connection {"recording through the overlay stops"};
    std::unique_ptr<QSocketNotifier> m_notifier;
    wl_registry *m_registry = nullptr;
    wl_compositor *m_compositor = nullptr;
    wl_shm *m_shm = nullptr;
    wl_seat *m_seat = nullptr;
    wl_pointer *m_pointer = nullptr;
    wl_keyboard *m_keyboard = nullptr;
    zwlr_layer_shell_v1 *m_shell = nullptr;
    wp_viewporter *m_viewporter = nullptr;
    OutputLayout m_layout;
    wl_cursor_theme *m_cursorTheme = nullptr;
    wl_surface *m_cursorSurface = nullptr;
    xkb_context *m_xkb = nullptr;
    xkb_keymap *m_keymap = nullptr;
    xkb_state *m_keyState = nullptr;
    std::vector<std::unique_ptr<Surface>> m_surfaces;
    const Surface *m_pointerOn = nullptr; // the surface the pointer is over
};
