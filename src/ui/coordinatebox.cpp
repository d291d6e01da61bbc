// SPDX-License-Identifier: GPL-3.0-or-later
#include "coordinatebox.h"

#include <QKeyEvent>

namespace {

// Only characters typed as such are filtered: shortcuts (Ctrl+V pastes unfiltered text),
// Delete and the keys that produce no text keep their usual meaning.
bool isTypedCharacter(const QKeyEvent *event)
{
    constexpr auto shortcutModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    return !event->text().isEmpty() && !(event->modifiers() & shortcutModifiers)
            && event->key() != Qt::Key_Delete;
}

} // namespace

CoordinateBox::CoordinateBox(QWidget *parent) : QLineEdit(parent) { }

void CoordinateBox::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    if (m_keyDown)
        m_keyDown(key);
    const bool keyConsumed = key == 0;

    if (isTypedCharacter(event) && m_keyPress) {
        bool discarded = false;
        for (const QChar c : event->text()) {
            int code = c.unicode();
            m_keyPress(code);
            discarded = discarded || code == 0;
        }
        if (discarded) {
            event->accept();
            return;
        }
    }
    if (keyConsumed) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CoordinateBox::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (m_focus)
        m_focus();
}
