// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;
class QTimer;

// A repeating timer whose ticks are due at start + n * interval. Each tick is armed against
// that deadline rather than against the moment the previous tick ran, so lateness of one tick
// (event-loop load, a slow handler) does not add up over a run; yet no two ticks come closer
// than an interval, less the timer's jitter, however long the process stood still. On Linux the deadline is kept to
// the microsecond by a timerfd that the event loop watches; Qt's timers count whole
// milliseconds and round the wait up, which makes single ticks up to 2 ms late.
class PacedTimer : public QObject
{
    Q_OBJECT

public:
    // How late a tick may come and still count as on time: the timer's own precision.
    static constexpr std::chrono::milliseconds Jitter {5};

    explicit PacedTimer(int intervalMs, QObject *parent = nullptr);
    ~PacedTimer() override;

    void start();
    void stop();
    bool isActive() const { return m_active; }
    int interval() const { return int(m_interval.count()); }

signals:
    void timeout();

private:
    using Clock = std::chrono::steady_clock;

    void arm();
    void fire();

    const std::chrono::milliseconds m_interval;
    bool m_active = false;
    Clock::time_point m_due;
#ifdef Q_OS_LINUX
    int m_timerFd = -1;
    QSocketNotifier *m_notifier = nullptr;
#else
    QTimer *m_timer = nullptr;
#endif
};
