// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"

#include <memory>
#include <vector>

#include <QObject>
#include <QWidget>

class LayerShellOverlay;

// Recording where the desktop hides the pointer and the keys over other programs' windows (a
// Wayland compositor): while it is up, a see-through surface over every screen catches the
// pointer and Space, Shift and Esc, and answers GetCursorPos and GetAsyncKeyState with them,
// so that the window's poll captures exactly as it does on X11. Moves and clicks go to the
// desktop it wraps. Esc closes it. The surfaces are the compositor's overlay layer where it has
// one (wlroots, KWin), else a fullscreen window per screen.
class CaptureLayer : public QObject, public DesktopInput
{
    Q_OBJECT

public:
    explicit CaptureLayer(std::unique_ptr<DesktopInput> desktop);
    ~CaptureLayer() override;

    /// Puts a surface over each screen and takes the keyboard.
    void show();
    /// Takes the surfaces down; says so through closed() if they were up.
    void hide();
    bool isUp() const;

    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override { return m_desktop->whyMoveFailed(); }
    std::string whyClicksMayNotLand(std::int32_t x, std::int32_t y) override
    {
        return m_desktop->whyClicksMayNotLand(x, y);
    }
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool seesWholeDesktop() const override { return false; }
    void setLostHandler(std::function<void(const std::string &)> handler) override
    {
        m_desktop->setLostHandler(std::move(handler));
    }

signals:
    /// The layer went down: Esc, a surface closed, or hide().
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum KeySlot { ShiftSlot, SpaceSlot, EscapeSlot, SlotCount };
    static int slotOf(int qtKey);
    static int slotOfVirtualKey(int vKey);
    void showOverlay();
    void keyChanged(int slot, bool press);
    bool takeKey(QEvent *event);
    void wentDown();

    std::unique_ptr<DesktopInput> m_desktop;
    std::vector<std::unique_ptr<QWidget>> m_surfaces;
    std::vector<std::unique_ptr<QWidget>> m_hidden; // taken down, not yet deleted
    LayerShellOverlay *m_overlay = nullptr; // a child of this, where the compositor has one
    bool m_overlayTried = false;
    CursorPoint m_pointer;
    bool m_pointerSeen = false; // no position before the pointer first moves over the layer
    bool m_down[SlotCount] = {};
    bool m_pressedSincePoll[SlotCount] = {};
};
