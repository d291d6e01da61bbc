// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <QObject>
#include <QString>

class DesktopInput;
class PacedTimer;
class Script;

// A run of the script over the desktop input: each tick of Clicker plays the next step that is
// not empty, moving the pointer there and pressing or releasing the left button; at the end of
// each pass the loop text decides whether another follows. It holds the button that a drag
// keeps pressed and lets go of it whenever the run stops, and it notes what went wrong: steps
// that could not be played, clicks that the window at a step drops, why the run stopped. The
// window shows all that through the signals; nothing here needs a widget.
class Playback : public QObject
{
    Q_OBJECT

public:
    static constexpr int Interval = 1000; // ms between steps

    Playback(const Script &script, DesktopInput &input, QObject *parent = nullptr);
    ~Playback() override;

    /// A run from the first step, no pass counted, the notes of the last run cleared. With
    /// awaitStopKey the first step waits until the desktop has answered for the stop key
    /// (stopKeyBound or stopKeyUnavailable), so that nothing is clicked before the run can be
    /// stopped from anywhere, or the user told that it cannot.
    void start(bool awaitStopKey = false);
    /// Ends the run, or the wait for its stop key; a button that the run holds is released.
    void stop();
    bool isRunning() const { return m_running; }
    /// The desktop holds a key that stops the run: Esc, or otherKey, in its own words.
    void stopKeyBound(const QString &otherKey);
    /// No key from the desktop can stop this run, and why.
    void stopKeyUnavailable(const QString &why);
    /// One step, or the end of a pass, which ends the run once the loop text's count is done.
    void Clicker_Timer();

    /// The loop count's text, read at each end of a pass: a change counts from the next.
    void setLoopText(const QString &text) { m_loopText = text; }

    QString status() const { return m_status; }
    /// What went wrong in this run, most pressing first; empty when nothing did.
    QString notice() const;

    PacedTimer *Clicker = nullptr;
    std::int16_t PlayIndex = 0; // item last played in this pass; -1 before the first
    std::int32_t PassCount = 0; // passes completed in this run

signals:
    void runningChanged(bool running);
    /// "Click to Start", "Move N" for the step just played, "Missed N" for one that was not.
    void statusChanged(const QString &status);
    void noticeChanged(const QString &notice);

private:
    void playStep(int i);
    void releaseHeldButton();
    void setStatus(const QString &status);
    void showNotice() { emit noticeChanged(notice()); }
    void beginSteps();

    const Script &m_script;
    DesktopInput &m_input;
    QString m_loopText = QStringLiteral("1");
    QString m_status;
    bool m_running = false;
    bool m_awaitingStopKey = false; // the first step waits for the desktop's answer
    bool m_buttonHeld = false; // the run pressed the left button and has not released it
    QString m_unsentPress; // the step whose press a missed move kept back, until a press is sent
    // This run's notes: the last step that could not be played, and the first step whose clicks
    // the window there drops (said once a run).
    QString m_missedNote;
    QString m_droppedNote;
    QString m_escapeNote; // what stops this run where Esc does not, or that nothing but Stop does
    QString m_releaseNote; // a release left unsent, as its press was
    QString m_lostNote; // the desktop took input away and the run stopped
    int m_missedSteps = 0;
};
