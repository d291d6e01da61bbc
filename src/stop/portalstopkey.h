// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

// Esc from anywhere where the desktop hides the keys over other windows: the GlobalShortcuts
// portal (org.freedesktop.portal.GlobalShortcuts). One session and one binding serve every run of
// the program, so that a desktop which asks the user asks once a start; between runs the key is
// still the desktop's to send, and its presses are ignored. Where the portal is missing or
// refuses, it says so once on standard error and the Stop button remains the way to stop.
class PortalStopKey : public StopKey
{
    Q_OBJECT

public:
    explicit PortalStopKey(QObject *parent = nullptr);
    /// Leaves the bus, which ends the session: the portal closes a vanished caller's sessions.
    ~PortalStopKey() override;

    /// The first asks the desktop (the answer comes when its dialog is answered); later ones are
    /// answered at once.
    void bind() override;
    /// Keeps the session and its binding for the next run; presses no longer count.
    void release() override;

private slots:
    // QtDBus connects D-Bus signals to slots by signature only.
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);
    void onSessionClosed(const QVariantMap &details);

private:
    enum class Step { Idle, Registering, CreatingSession, Binding, Bound };
    void createSession();
    QString expectRequest(); // a fresh handle token, with its Response connected
    void send(const QString &method, const QVariantList &arguments);
    void learnKey(const QVariant &shortcuts);
    void answer();
    void giveUp(const QString &why);
    void forgetSession();

    QDBusConnection m_bus;
    Step m_step = Step::Idle;
    bool m_wanted = false; // between bind and release: presses stop the run
    bool m_waiting = false; // a bind not answered yet
    bool m_registered = false; // the app id was offered on this connection
    bool m_hasKey = false; // the desktop bound a key to the shortcut
    QString m_otherKey; // that key in the desktop's words; empty for Esc
    QString m_unavailable; // why not, once the portal has said no: no more asking
    QString m_requestPath;
    QString m_session;
    int m_tokens = 0;
};
