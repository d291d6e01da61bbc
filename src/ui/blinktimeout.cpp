// SPDX-License-Identifier: GPL-3.0-or-later
#include "blinktimeout.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

BlinkTimeout::BlinkTimeout(int idleMs, QObject *parent)
    : QObject(parent), m_flashTime(QGuiApplication::styleHints()->cursorFlashTime())
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, &BlinkTimeout::stopBlinking);
    m_idle.start();
    QCoreApplication::instance()->installEventFilter(this);
}

BlinkTimeout::~BlinkTimeout()
{
    QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
}

bool BlinkTimeout::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::FocusIn:
        // An event passes here once for each widget it travels through: set the period once.
        if (QGuiApplication::styleHints()->cursorFlashTime() != m_flashTime)
            QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
        m_idle.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void BlinkTimeout::stopBlinking()
{
    // 0: the cursor shows steadily, without a timer.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
}
