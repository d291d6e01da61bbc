#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// A repeating timer whose ticks are due at start + n * interval. Each tick is armed against
// that deadline rather than against the moment the previous tick ran, so lateness of one tick
// (event-loop load, a slow handler) does not add up over a run.
class PacedTimer : public QObject
{
    Q_OBJECT

public:
    explicit PacedTimer(int intervalMs, QObject *parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return m_active; }
    int interval() const { return m_interval; }

signals:
    void timeout();

private:
    void arm();
    void fire();

    const int m_interval;
    bool m_active = false;
    qint64 m_due = 0; // ms after m_clock's start at which the next tick is due
    QElapsedTimer m_clock;
    QTimer m_timer;
};
