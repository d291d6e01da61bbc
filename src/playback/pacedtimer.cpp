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
    const Clock::time_point now = Clock::now();
    // After a stall (the process stopped, the machine asleep) the next deadline may be past
    // already: one tick comes now, the next a whole interval later, rather than a burst of the
    // ticks missed meanwhile, nor even two of them back to back.
    if (m_due <= now)
        m_due = now + m_interval;
#ifdef Q_OS_LINUX
    const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(m_due.time_since_epoch());
    itimerspec due {};
    due.it_value.tv_sec = since.count() / 1'000'000'000;
    due.it_value.tv_nsec = since.count() % 1'000'000'000;
    ::timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &due, nullptr);
    m_notifier->setEnabled(true);
#else
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_due - now);
    m_timer->start(int(std::max<std::int64_t>(0, wait.count())));
#endif
}

void PacedTimer::fire()
{
    if (!m_active)
        return;
    m_due += m_interval;
    arm();
    emit timeout();
}
