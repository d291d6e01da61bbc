// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLockFile>
#include <QString>

// Tells whether another copy of the program runs, through a lock file in the user's own runtime
// directory. The lock dies with its process, so a crashed copy cannot block the next start, and
// taking it is atomic, so two copies started at the same instant cannot both pass.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());

    /// True if this process now holds the lock (or already held it).
    bool tryAcquire();
    QString lockPath() const { return m_lock.fileName(); }

    static QString defaultLockPath();

private:
    QLockFile m_lock;
};
