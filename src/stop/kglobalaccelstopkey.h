// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <functional>

#include <QDBusMessage>

// Esc from anywhere on KDE Plasma: KDE's global-shortcut service (org.kde.kglobalaccel, which
// KWin hosts itself when it is the Wayland compositor) lends it to an action of ours for the
// length of a run. Spoken to over D-Bus directly, so that the program needs no KDE library. The
// action is a session one, which the service never writes to the user's kglobalshortcutsrc.
// The service keeps an action whose program vanished, and with it Esc for the whole desktop:
// each start takes back the one a copy killed mid-run left behind.
class KGlobalAccelStopKey : public StopKey
{
    Q_OBJECT

public:
    /// Removes the action of a copy that ended without giving Esc back, unless a live copy
    /// holds it.
    explicit KGlobalAccelStopKey(QObject *parent = nullptr);
    /// Gives Esc back before the program ends, mid-run too, waiting a moment at most.
    ~KGlobalAccelStopKey() override;

    /// Whether KDE's shortcut service runs on the session bus now; the bus is given 100 ms.
    static bool isAvailable();

    void bind() override;
    /// Unregisters the action, which gives Esc back to whatever had it.
    void release() override;

private slots:
    // QtDBus connects D-Bus signals to slots by signature only.
    void onShortcutPressed(const QString &component, const QString &action, qlonglong timestamp);

private:
    // Calls METHOD of the service; ANSWER gets the reply unless a later bind or release made it
    // stale. A failed call gives up.
    void call(const QString &method, const QVariantList &arguments,
              std::function<void(const QDBusMessage &)> answer = {});
    void takeBackLeftover(bool anotherCopyLives);
    void registerAction();
    void listenOn(const QString &componentPath);
    void holdEscape();
    void sayTaken(const QStringList &holder);
    void giveUp(const QString &why);

    bool m_ready = false; // the leftover is gone: the action may be registered
    bool m_wanted = false;
    bool m_waiting = false; // a bind not answered yet
    bool m_registered = false; // the service has the action: to be unregistered
    bool m_bound = false; // Esc is the action's key
    int m_run = 0; // counts binds, so that replies to an earlier one are ignored
    QString m_componentPath; // where globalShortcutPressed is listened to
    QString m_said; // the last reason written to standard error
};
