// SPDX-License-Identifier: GPL-3.0-or-later
#include "capturelayer.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

CaptureLayer::CaptureLayer(std::unique_ptr<DesktopInput> desktop)
    : m_desktop(std::move(desktop)) { }

CaptureLayer::~CaptureLayer() = default;

void CaptureLayer::show()
{
    if (isUp())
        return;
    m_hidden.clear();
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

void CaptureLayer::hide()
{
    if (!isUp())
        return;
    // No release reaches a surface that is gone: keys held now read released.
    std::fill(std::begin(m_down), std::end(m_down), false);
    // Hidden now, deleted at the next show or with the layer: hide() may run inside one of
    // their own event handlers.
    for (auto &surface : m_surfaces) {
        surface->removeEventFilter(this);
        surface->hide();
    }
    m_hidden = std::move(m_surfaces);
    m_surfaces.clear();
    emit closed();
}

bool CaptureLayer::eventFilter(QObject *watched, QEvent *event)
{
    auto *surface = qobject_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::Enter: // the pointer may arrive without moving on the surface
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // Layout coordinates: the surface's screen's place in the layout plus the position on
        // it, the same numbers the compositor's own input takes.
        const QPointF local = static_cast<QSinglePointEvent *>(event)->position();
        const QPoint origin = surface->screen()->geometry().topLeft();
        m_pointer = {origin.x() + qRound(local.x()), origin.y() + qRound(local.y())};
        m_pointerSeen = true;
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int slot = slotOf(key->key());
        if (slot < 0 || key->isAutoRepeat())
            return true;
        const bool press = event->type() == QEvent::KeyPress;
        m_down[slot] = press;
        if (press)
            m_pressedSincePoll[slot] = true;
        if (press && slot == EscapeSlot)
            hide();
        return true;
    }
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

std::int16_t CaptureLayer::GetAsyncKeyState(int vKey)
{
    int slot;
    switch (vKey) {
    case ShiftKey:
        slot = ShiftSlot;
        break;
    case SpaceKey:
        slot = SpaceSlot;
        break;
    case EscapeKey:
        slot = EscapeSlot;
        break;
    default:
        return m_desktop->GetAsyncKeyState(vKey);
    }
    // As the Windows call answers: down now, or pressed once since the last query.
    const bool pressed = m_pressedSincePoll[slot];
    m_pressedSincePoll[slot] = false;
    if (m_down[slot])
        return std::int16_t(0x8000);
    if (pressed)
        return 1;
    return m_desktop->GetAsyncKeyState(vKey);
}
