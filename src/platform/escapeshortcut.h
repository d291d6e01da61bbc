// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

// Esc as a desktop-wide shortcut through the desktop portal's GlobalShortcuts interface, for a
// Wayland desktop where the program cannot poll the key. Bound only while a run is in progress:
// a shortcut takes its key away from every other program.
class EscapeShortcut : public QObject
{
    Q_OBJECT

public:
    explicit EscapeShortcut(QObject *parent = nullptr);

    /// Whether the desktop offers global shortcuts at all (asked once, here).
    bool available() const { return m_available; }
    /// Binds Esc, without waiting: the desktop may first ask the user.
    void bind();
    /// Gives Esc back to the other programs.
    void release();

signals:
    /// Esc was pressed, wherever the focus is, while bound.
    void activated();

private:
    void request(const QString &method, QVariantList arguments);
    void answer(uint code, const QVariantMap &results);
    void forgetPending();
    void closeSession();

    // QtDBus hands D-Bus signals only to slots named by their signature.
    Q_SLOT void onResponse(uint code, const QVariantMap &results, const QDBusMessage &message);
    Q_SLOT void onActivated(const QDBusObjectPath &session, const QString &id, qulonglong,
                            const QVariantMap &);

    QDBusConnection m_bus;
    bool m_available = false;
    bool m_wanted = false; // a run is in progress
    bool m_refusalSaid = false;
    QString m_pending; // the Request object whose answer is awaited
    QString m_pendingMethod;
    QString m_session;
};
