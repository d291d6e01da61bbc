// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <deque>

#include <QByteArray>

class QSocketNotifier;

// Esc from anywhere on sway, and on any compositor that speaks its IPC: during a run, a binding
// of Escape to a command that does nothing ("nop"), heard through the IPC's binding event. The
// binding acts on the key's release, so the press still reaches the focused window and a binding
// left behind by a copy that was killed changes nothing the user sees. A user's own binding of
// Escape in the current mode is left alone.
class SwayStopKey : public StopKey
{
    Q_OBJECT

public:
    /// Connects to the IPC socket at socketPath; isConnected() tells whether it answered.
    explicit SwayStopKey(const QByteArray &socketPath, QObject *parent = nullptr);
    /// Unbinds, waiting briefly for the compositor to have done so.
    ~SwayStopKey() override;

    bool isConnected() const { return m_fd >= 0; }
    void bind() override;
    void release() override;

private:
    enum class Reply { Subscribed, Mode, Config, Bound, Unbound };

    void send(quint32 type, const QByteArray &payload, Reply reply);
    void readMessages();
    void handle(quint32 type, const QByteArray &payload);
    void lose(const QString &why);

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_received;
    std::deque<Reply> m_replies; // what each reply still to come answers, oldest first
    bool m_wanted = false; // a run is on
    bool m_asking = false; // the checks before binding are under way
    bool m_bound = false; // the binding is sent and not yet taken back
    QString m_mode;
    QString m_unavailable; // the IPC is gone, and why
};
