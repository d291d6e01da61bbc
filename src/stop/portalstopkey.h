// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <QDBusMessage>
#include <QVariantMap>

// Esc from anywhere where the desktop hides the keys over other windows: the GlobalShortcuts
// portal (org.freedesktop.portal.GlobalShortcuts) binds it for as long as a run needs it. Where
// the portal is missing or refuses, it says so once on standard error and the Stop button
// remains the way to stop.
class PortalStopKey : public StopKey
{
    Q_OBJECT

public:
    explicit PortalStopKey(QObject *parent = nullptr);
    ~PortalStopKey() override;

    void bind() override;
    /// Closes the portal session.
    void release() override;

private slots:
    // QtDBus connects D-Bus signals to slots by signature only.
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusMessage &message);

private:
    enum class Step { Idle, CreatingSession, Binding, Bound };
    QString expectRequest(); // a fresh handle token, with its Response connected
    void send(const QString &method, const QVariantList &arguments);
    void giveUp(const QString &why);
    void closeSession();

    Step m_step = Step::Idle;
    bool m_wanted = false;
    QString m_unavailable; // why not, once the portal has said no: no more asking
    QString m_requestPath;
    QString m_session;
    int m_tokens = 0;
};
