// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <deque>

#include <QByteArray>
#include <QSet>
#include <QStringList>

class QSocketNotifier;
class QTimer;

// Esc from anywhere on sway, and on any compositor that speaks its IPC: during a run, a binding
// of Escape to a command that does nothing ("nop") in every binding mode, heard through the IPC's
// binding event. The binding acts on the key's release, so the press still reaches the focused
// window and a binding left behind by a copy that was killed changes nothing the user sees; it
// acts while a window inhibits the desktop's shortcuts too (a VM viewer, a remote desktop). A
// mode in which the user's config binds Escape keeps its binding. A config reload, which drops
// the bindings, is followed by binding again.
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
    enum class Reply { Subscribed, Modes, Mode, Version, Config, Bound, Unbound };
    struct Awaited
    {
        Reply reply;
        QString mode; // of a binding or an unbinding
    };

    void ask();
    void decide(const QString &config);
    void answer(const QString &unavailableWhy);
    void unbindAll();
    void send(quint32 type, const QByteArray &payload, Reply reply, const QString &mode = {});
    void readMessages();
    void handle(quint32 type, const QByteArray &payload);
    void lose(const QString &why);

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_answerTimer = nullptr; // a compositor that has stopped answering
    QByteArray m_received;
    std::deque<Awaited> m_replies; // what each reply still to come answers, oldest first
    bool m_wanted = false; // a run is on
    bool m_answerOwed = false; // the run's bind() is not yet answered
    int m_asking = 0; // rounds of checks before binding under way
    QStringList m_boundModes; // where the binding is sent and not yet taken back
    int m_binding = 0; // bindings sent and not yet answered
    QString m_refused; // why sway refused one of them
    QStringList m_modes;
    QSet<QString> m_saidModes; // where the config keeps Esc, said on standard error
    QString m_mode;
    QString m_configPath;
    QString m_unavailable; // the IPC is gone, and why
};
