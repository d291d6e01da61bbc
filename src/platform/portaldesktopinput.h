// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopinput.h"

#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QObject>
#include <QRect>
#include <QVariantMap>

class QEventLoop;

// Pointer moves and left-button events through the desktop portal's RemoteDesktop interface
// (GNOME on Wayland). The user grants a session once at start-up; moves are absolute, relative to
// the screen-cast stream of the monitor they fall on, and a move that falls on none fails.
// Positions are the desktop's layout coordinates, as the streams report them. The pointer and the
// keys are not visible here: the window's capture layer reads those.
class PortalDesktopInput : public QObject, public DesktopInput
{
    Q_OBJECT

public:
    /// Asks the portal for a session and waits, for up to two minutes, for the user's answer;
    /// nullptr with a one-line reason when there is no portal or no grant. Needs the
    /// application object.
    static std::unique_ptr<DesktopInput> create(std::string &whyNot);
    ~PortalDesktopInput() override;

    bool GetCursorPos(CursorPoint &point) override;
    bool SetCursorPos(std::int32_t x, std::int32_t y) override;
    std::string whyMoveFailed() const override { return m_whyMoveFailed.toStdString(); }
    void mouse_event(std::uint32_t dwFlags) override;
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool seesWholeDesktop() const override { return false; }
    void setLostHandler(std::function<void(const std::string &)> handler) override
    {
        m_lostHandler = std::move(handler);
    }

private:
    struct Stream
    {
        uint node; // the PipeWire node the portal names the monitor by
        QRect area; // where it lies on the desktop
        double scale = 1; // stream positions per desktop unit
        bool placed = true; // false: the portal did not say where it lies
    };

    PortalDesktopInput();
    bool start(QString &whyNot);
    void learnScales();
    bool request(const QString &interface, const QString &method, QVariantList arguments,
                 QVariantMap &results, QString &whyNot);
    QDBusMessage sessionCall(const QString &method, const QVariantList &arguments) const;
    void notify(const QString &method, const QVariantList &arguments);
    void sendNext();
    void lose(const QString &why, bool sessionGone);

    // QtDBus hands D-Bus signals only to slots named by their signature.
    Q_SLOT void onResponse(uint code, const QVariantMap &results);
    Q_SLOT void onSessionClosed(const QVariantMap &details);

    QDBusConnection m_bus;
    QString m_session; // the portal session's object path
    std::vector<Stream> m_streams;
    int m_unplacedStreams = 0; // monitors shared without a position: no move can reach them
    bool m_buttonDown = false; // a press went out and its release has not
    QList<QDBusMessage> m_unsent; // each goes once the portal has answered the one before
    bool m_unanswered = false;
    bool m_lost = false; // the session is over: calls do nothing
    QString m_whyLost;
    QString m_whyMoveFailed;
    std::function<void(const std::string &)> m_lostHandler;
    // The answer a request is waiting for.
    QDeadlineTimer m_deadline; // the whole handshake, the user's answer included
    QEventLoop *m_waiting = nullptr;
    uint m_responseCode = 2;
    QVariantMap m_results;
};
