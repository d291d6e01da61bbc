#include "pacedtimer.h"

#include <algorithm>

PacedTimer::PacedTimer(int intervalMs, QObject *parent) : QObject(parent), m_interval(intervalMs)
{
    m_timer.setSingleShot(true);
    // Qt's default coarse timers may fire up to 5 % of the interval off.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PacedTimer::fire);
}

void PacedTimer::start()
{
    m_active = true;
    m_clock.start();
    m_due = m_interval;
    arm();
}

void PacedTimer::stop()
{
    m_active = false;
    m_timer.stop();
}

void PacedTimer::arm()
{
    const qint64 now = m_clock.elapsed();
    // After a stall longer than a whole interval, skip the missed ticks instead of firing a
    // burst of them.
    if (m_due + m_interval <= now)
        m_due = now + m_interval;
    m_timer.start(int(std::max<qint64>(0, m_due - now)));
}

void PacedTimer::fire()
{
    if (!m_active)
        return;
    m_due += m_interval;
    arm();
    emit timeout();
}
