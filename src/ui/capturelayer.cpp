// SPDX-License-Identifier: GPL-3.0-or-later
#include "capturelayer.h"

#ifdef VARBELO_HAVE_WAYLAND
#include "layershelloverlay.h"
#endif

#include <cstdio>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

CaptureLayer::CaptureLayer(std::unique_ptr<DesktopInput> desktop)
    : m_desktop(std::move(desktop)) { }

CaptureLayer::~CaptureLayer() = default;

bool CaptureLayer::isUp() const
{
#ifdef VARBELO_HAVE_WAYLAND
    if (m_overlay && m_overlay->isUp())
        return true;
#endif
    return !m_surfaces.empty();
}

void CaptureLayer::show()
{
    if (isUp())
        return;
    m_hidden.clear();
    showOverlay();
    if (isUp())
        return;
    for (QScreen *screen : QGuiApplication::screens()) {
        auto surface = std::make_unique<QWidget>(
                nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        surface->setObjectName(QStringLiteral("captureSurface"));
        surface->setWindowTitle(
                QStringLiteral("Varbelo: point and press Space or Shift, Esc ends"));
        // A touch of tint: a fully clear surface would let the compositor pass the pointer
        // through to the window beneath.
        surface->setAttribute(Qt::WA_TranslucentBackground);
        surface->setAutoFillBackground(true);
        QPalette palette = surface->palette();
        palette.setColor(QPalette::Window, QColor(0, 0, 0, 24));
        surface->setPalette(palette);
        surface->setCursor(Qt::CrossCursor);
        surface->setMouseTracking(true);
        surface->installEventFilter(this);
        surface->setGeometry(screen->geometry());
        // Fullscreen on its own screen: the one placement that Wayland lets a client ask for.
        surface->winId();
        surface->windowHandle()->setScreen(screen);
        surface->showFullScreen();
        m_surfaces.push_back(std::move(surface));
    }
    if (!m_surfaces.empty()) {
        m_surfaces.front()->activateWindow();
        m_surfaces.front()->setFocus();
    }
}

// The overlay where the compositor has a layer shell, whether the window runs on it natively
// or through XWayland; asked once, and the reason it cannot be said once.
void CaptureLayer::showOverlay()
{
#ifdef VARBELO_HAVE_WAYLAND
    const QString platform = QGuiApplication::platformName();
    if (!m_overlayTried && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && (platform == QLatin1String("wayland") || platform == QLatin1String("xcb"))) {
        m_overlayTried = true;
        std::string whyNot;
        m_overlay = LayerShellOverlay::create(whyNot).release();
        if (m_overlay) {
            m_overlay->setParent(this);
            connect(m_overlay, &LayerShellOverlay::pointerMoved, this, [this](int x, int y) {
                m_pointer = {x, y};
                m_pointerSeen = true;
            });
            connect(m_overlay, &LayerShellOverlay::keyChanged, this,
                    [this](int vKey, bool down) { keyChanged(slotOfVirtualKey(vKey), down); });
            connect(m_overlay, &LayerShellOverlay::closed, this, &CaptureLayer::wentDown);
        } else {
            std::fprintf(stderr, "varbelo: recording through fullscreen windows: %s\n",
                         whyNot.c_str());
        }
    }
    if (m_overlay && m_overlay->show())
        qApp->installEventFilter(this);
#endif
}

void CaptureLayer::hide()
{
    if (!isUp())
        return;
#ifdef VARBELO_HAVE_WAYLAND
    if (m_overlay)
        m_overlay->hide();
#endif
    // Hidden now, deleted at the next show or with the layer: hide() may run inside one of
    // their own event handlers.
    for (auto &surface : m_surfaces) {
        surface->removeEventFilter(this);
        surface->hide();
    }
    m_hidden = std::move(m_surfaces);
    m_surfaces.clear();
    wentDown();
}

// Space, Shift or Esc from Qt: true if it was one of them, taken. The surfaces take every key;
// while the overlay is up the application's windows give these three up too, since the
// compositor may still leave the keyboard with them (KWin does, now and then, when the overlay
// comes up right after a key press), and Space must not reach the focused control then.
bool CaptureLayer::takeKey(QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const int slot = slotOf(key->key());
    if (slot < 0)
        return false;
    if (!key->isAutoRepeat())
        keyChanged(slot, event->type() == QEvent::KeyPress);
    return true;
}

void CaptureLayer::wentDown()
{
    qApp->removeEventFilter(this);
    // No release reaches a surface that is gone: keys held now read released.
    std::fill(std::begin(m_down), std::end(m_down), false);
    emit closed();
}

void CaptureLayer::keyChanged(int slot, bool press)
{
    if (slot < 0)
        return;
    m_down[slot] = press;
    if (press)
        m_pressedSincePoll[slot] = true;
    if (press && slot == EscapeSlot)
        hide();
}

bool CaptureLayer::eventFilter(QObject *watched, QEvent *event)
{
    // The application's filter while the overlay is up; each surface's own otherwise.
    if (std::none_of(m_surfaces.begin(), m_surfaces.end(),
                     [watched](const auto &surface) { return surface.get() == watched; }))
        return takeKey(event);
    auto *surface = static_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::Enter: // the pointer may arrive without moving on the surface
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // Layout coordinates: the surface's screen's place in the layout plus the position on
        // it, the same numbers the compositor's own input takes.
        const QPointF local = static_cast<QSinglePointEvent *>(event)->position();
        const QRect screen = surface->screen()->geometry();
        m_pointer = {screen.x() + pixelUnder(local.x(), screen.width()),
                     screen.y() + pixelUnder(local.y(), screen.height())};
        m_pointerSeen = true;
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        takeKey(event);
        return true;
    case QEvent::Close:
        hide();
        return false;
    default:
        return false;
    }
}

int CaptureLayer::slotOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
        return ShiftSlot;
    case Qt::Key_Space:
        return SpaceSlot;
    case Qt::Key_Escape:
        return EscapeSlot;
    default:
        return -1;
    }
}

bool CaptureLayer::GetCursorPos(CursorPoint &point)
{
    if (!isUp() || !m_pointerSeen)
        return m_desktop->GetCursorPos(point);
    point = m_pointer;
    return true;
}

bool CaptureLayer::SetCursorPos(std::int32_t x, std::int32_t y)
{
    return m_desktop->SetCursorPos(x, y);
}

void CaptureLayer::mouse_event(std::uint32_t dwFlags)
{
    m_desktop->mouse_event(dwFlags);
}

int CaptureLayer::slotOfVirtualKey(int vKey)
{
    switch (vKey) {
    case ShiftKey:
        return ShiftSlot;
    case SpaceKey:
        return SpaceSlot;
    case EscapeKey:
        return EscapeSlot;
    default:
        return -1;
    }
}

std::int16_t CaptureLayer::GetAsyncKeyState(int vKey)
{
    const int slot = slotOfVirtualKey(vKey);
    if (slot < 0)
        return m_desktop->GetAsyncKeyState(vKey);
    // As the Windows call answers: down now, or pressed once since the last query.
    const bool pressed = m_pressedSincePoll[slot];
    m_pressedSincePoll[slot] = false;
    if (m_down[slot])
        return std::int16_t(0x8000);
    if (pressed)
        return 1;
    return m_desktop->GetAsyncKeyState(vKey);
}
