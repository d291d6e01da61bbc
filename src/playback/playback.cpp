// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback.h"

#include "desktopinput.h"
#include "numbertext.h"
#include "pacedtimer.h"
#include "script.h"

#include <limits>

#include <QStringList>

namespace {

const QString StartStatus = QStringLiteral("Click to Start");

} // namespace

Playback::Playback(const Script &script, DesktopInput &input, QObject *parent)
    : QObject(parent), Clicker(new PacedTimer(Interval, this)), m_script(script), m_input(input),
      m_status(StartStatus)
{
    connect(Clicker, &PacedTimer::timeout, this, &Playback::Clicker_Timer);
    // Every later step would be missed: the run ends there, and says why.
    m_input.setLostHandler([this](const std::string &why) {
        if (!isRunning())
            return;
        m_lostNote = QStringLiteral("Run stopped: ") + QString::fromStdString(why) + u'.';
        stop();
        showNotice();
    });
}

Playback::~Playback()
{
    m_input.setLostHandler({});
}

void Playback::start(bool awaitStopKey)
{
    PlayIndex = -1;
    PassCount = 0;
    setStatus(StartStatus);
    m_missedNote.clear();
    m_droppedNote.clear();
    m_escapeNote.clear();
    m_lostNote.clear();
    m_releaseNote.clear();
    m_unsentPress.clear();
    m_missedSteps = 0;
    m_running = true;
    m_awaitingStopKey = awaitStopKey;
    if (awaitStopKey)
        m_escapeNote = QStringLiteral("Asking the desktop for Esc: the first step comes once it "
                                      "answers. Stop cancels.");
    else
        Clicker->start();
    showNotice();
    // The stop key is asked for here, and may answer before this returns.
    emit runningChanged(true);
}

void Playback::beginSteps()
{
    if (!m_running || !m_awaitingStopKey)
        return;
    m_awaitingStopKey = false;
    Clicker->start();
}

void Playback::stopKeyBound(const QString &otherKey)
{
    if (!m_running)
        return;
    m_escapeNote = otherKey.isEmpty()
            ? QString()
            : QStringLiteral("Esc does not stop this run: the desktop bound another key to it "
                             "(%1).")
                      .arg(otherKey);
    showNotice();
    beginSteps();
}

void Playback::stopKeyUnavailable(const QString &why)
{
    if (!m_running)
        return;
    m_escapeNote = QStringLiteral("Esc cannot stop this run (%1): press Stop, or a key bound to "
                                  "varbelo --stop.")
                           .arg(why);
    showNotice();
    beginSteps();
}

void Playback::stop()
{
    PlayIndex = -1;
    PassCount = 0;
    setStatus(StartStatus);
    m_running = false;
    m_awaitingStopKey = false;
    Clicker->stop();
    // A run may stop between a press and its release; leave no button held behind.
    releaseHeldButton();
    emit runningChanged(false);
}

void Playback::Clicker_Timer()
{
    PlayIndex = std::int16_t(m_script.nextNonEmpty(PlayIndex));
    if (PlayIndex <= Script::LastIndex) {
        playStep(PlayIndex);
        return;
    }

    // End of a pass. The count saturates, so a loop count beyond its range runs until stopped.
    if (PassCount < std::numeric_limits<std::int32_t>::max())
        ++PassCount;
    PlayIndex = -1;
    const double loops = NumberText::read(m_loopText);
    if (!(loops > PassCount))
        stop();
}

// A button event acts where the pointer stands: where the move failed, the step's press would
// land on whatever the pointer happens to be over. Only a release still goes, so that the run
// holds nothing down; the run itself goes on, as the next step may well be reachable.
void Playback::playStep(int i)
{
    const QString number = NumberText::decimal(i + 1);
    const bool down = m_script.down[i] == 1;
    const bool up = m_script.up[i] == 1;
    if (!m_input.SetCursorPos(m_script.x[i], m_script.y[i])) {
        if (up) {
            releaseHeldButton();
            m_unsentPress.clear();
        } else if (down && !m_buttonHeld) {
            m_unsentPress = number;
        }
        ++m_missedSteps;
        m_missedNote = QStringLiteral("Step %1 not played").arg(number)
                + (m_missedSteps > 1 ? QStringLiteral(" (%1 steps so far)").arg(m_missedSteps)
                                     : QString())
                + QStringLiteral(": ") + QString::fromStdString(m_input.whyMoveFailed()) + u'.';
        showNotice();
        setStatus(QStringLiteral("Missed ") + number);
        return;
    }
    if ((down || up) && m_droppedNote.isEmpty()) {
        const std::string why = m_input.whyClicksMayNotLand(m_script.x[i], m_script.y[i]);
        if (!why.empty()) {
            m_droppedNote = QStringLiteral("Step %1: ").arg(number) + QString::fromStdString(why);
            showNotice();
        }
    }
    if (down) {
        m_input.mouse_event(LeftButtonPress);
        m_buttonHeld = true;
        m_unsentPress.clear();
    }
    if (up && !m_buttonHeld && !m_unsentPress.isEmpty()) {
        // Its press never went: a release alone would end a drag that another program, or
        // the user, holds, or click where the script never pressed.
        m_releaseNote = QStringLiteral("Step %1 released nothing: the press of step %2 was not "
                                       "sent.")
                                .arg(number, m_unsentPress);
        m_unsentPress.clear();
        showNotice();
    } else if (up) {
        m_input.mouse_event(LeftButtonRelease);
        m_buttonHeld = false;
    }
    setStatus(QStringLiteral("Move ") + number);
}

QString Playback::notice() const
{
    QStringList notes;
    for (const QString &note :
         {m_lostNote, m_escapeNote, m_droppedNote, m_missedNote, m_releaseNote})
        if (!note.isEmpty())
            notes << note;
    return notes.join(QStringLiteral("\n\n"));
}

void Playback::releaseHeldButton()
{
    if (!m_buttonHeld)
        return;
    m_input.mouse_event(LeftButtonRelease);
    m_buttonHeld = false;
}

void Playback::setStatus(const QString &status)
{
    m_status = status;
    emit statusChanged(status);
}
