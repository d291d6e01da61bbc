// SPDX-License-Identifier: GPL-3.0-or-later
#include "pacedtimer.h"

#ifdef Q_OS_LINUX
#    include <QSocketNotifier>

#    include <sys/timerfd.h>
#    include <unistd.h>
#else
#    include <QTimer>
#endif

#include <algorithm>
#include <cstdint>

PacedTimer::PacedTimer(int intervalMs, QObject *parent)
    : QObject(parent), m_interval(intervalMs)
{
#ifdef Q_OS_LINUX
    // steady_clock is CLOCK_MONOTONIC, so deadlines can be handed to the timerfd as they are.
    m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m_notifier = new QSocketNotifier(m_timerFd, QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        std::uint64_t expirations;
        [[maybe_unused]] const auto read = ::read(m_timerFd, &expirations, sizeof expirations);
        fire();
    });
#else
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    // Qt's default coarse timers may fire up to 5 % of the interval off.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &PacedTimer::fire);
#endif
}

PacedTimer::~PacedTimer()
{
#ifdef Q_OS_LINUX
    delete m_notifier;
    ::close(m_timerFd);
#endif
}

void PacedTimer::start()
{
    m_active = true;
    m_due = Clock::now() + m_interval;
    arm();
}

void PacedTimer::stop()
{
    m_active = false;
#ifdef Q_OS_LINUX
    const itimerspec disarmed {};
    ::timerfd_settime(m_timerFd, 0, &disarmed, nullptr);
    m_notifier->setEnabled(false);
#else
    m_timer->stop();
#endif
}

void PacedTimer::arm()
{
#ifdef Q_OS_LINUX
    const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(m_due.time_since_epoch());
    itimerspec due {};
    due.it_value.tv_sec = since.count() / 1'000'000'000;
    due.it_value.tv_nsec = since.count() % 1'000'000'000;
    ::timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &due, nullptr);
    m_notifier->setEnabled(true);
#else
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_due - Clock::now());
    m_timer->start(int(std::max<std::int64_t>(0, wait.count())));
#endif
}

void PacedTimer::fire()
{
    if (!m_active)
        return;
    const Clock::time_point now = Clock::now();
    m_due += m_interval;
    // A tick later than the timer's own jitter means the process stood still (stopped, the
    // machine asleep, a long handler): the next tick comes a whole interval after this one, on
    // a grid that starts here. Kept on the old grid it would come early, and two steps would
    // come closer than a step apart: a double click, or a drag of a few milliseconds. Nor does a
    // burst make up for the ticks missed meanwhile.
    if (m_due - now < m_interval - Jitter)
        m_due = now + m_interval;
    arm();
    emit timeout();
}
