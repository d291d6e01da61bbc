// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

// Stops the text cursor's blinking after a while without a key press or a click, as GNOME does
// after 10 s, and starts it again at the next one. A blinking cursor repaints twice a second: an
// idle program would wake up and draw for nothing but it.
class BlinkTimeout : public QObject
{
public:
    explicit BlinkTimeout(int idleMs, QObject *parent = nullptr);
    ~BlinkTimeout() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void stopBlinking();

    QTimer m_idle;
    int m_flashTime; // the desktop's blink period, restored on input
};
