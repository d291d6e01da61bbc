// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so that a program told
// to end closes its window as the close box would (releasing a button that playback holds)
// instead of dying mid-drag; and SIGUSR1, which varbelo --stop sends, into a request to stop the
// run. Only one instance may exist.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void quitRequested();
    void stopRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
