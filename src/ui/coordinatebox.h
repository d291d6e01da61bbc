// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QLineEdit>

// The X or Y box of a grid row. It hands each key-down and each typed character to the window's
// handlers before doing anything with them: a handler consumes a key by setting its code to 0,
// and discards a character the same way.
class CoordinateBox : public QLineEdit
{
    Q_OBJECT

public:
    using KeyHandler = std::function<void(int &code)>;

    explicit CoordinateBox(QWidget *parent = nullptr);

    /// Receives the Qt key code of every key-down.
    void setKeyDownHandler(KeyHandler handler) { m_keyDown = std::move(handler); }
    /// Receives each typed character (UTF-16 code): digits, Backspace (8), Enter (13), ...
    void setKeyPressHandler(KeyHandler handler) { m_keyPress = std::move(handler); }
    void setFocusHandler(std::function<void()> handler) { m_focus = std::move(handler); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    KeyHandler m_keyDown;
    KeyHandler m_keyPress;
    std::function<void()> m_focus;
};
