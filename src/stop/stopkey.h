// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <memory>

// One way of hearing Esc from anywhere on the desktop during a run, where the window's own poll
// sees the keys over its own windows only (a Wayland compositor): the desktop's shortcut
// service or the compositor's bindings. Each lives in a file of its own; createStopKey picks one.
class StopKey : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    /// Asks for Esc for a run; pressed() follows each press until release(). Every bind is
    /// answered once, at once or later: bound() when the key is in place, unavailable() when it
    /// cannot be had. The run's first step waits for that answer. A bind released before its
    /// answer came gets none.
    virtual void bind() = 0;
    /// Gives Esc back to the desktop; harmless when nothing is bound.
    virtual void release() = 0;

signals:
    /// The desktop holds a key for the run: Esc, or the key it took instead, in its own words
    /// (a portal whose user chose another key); empty for Esc.
    void bound(const QString &otherKey);
    void pressed();
    /// Esc cannot stop this run: why, in a few words for the user.
    void unavailable(const QString &why);
};

// The way this desktop lends Esc to a program during a run, chosen once at start-up; it says on
// standard error which it took. Null where the window's own poll sees Esc over every window
// (pollSeesEverywhere: the desktop input reads the keys everywhere, and no Wayland compositor
// keeps them from it); one whose every bind is refused where nothing can lend it.
std::unique_ptr<StopKey> createStopKey(bool pollSeesEverywhere);
