// SPDX-License-Identifier: GPL-3.0-or-later
#include "singleinstance.h"

#include <QDir>
#include <QStandardPaths>

SingleInstance::SingleInstance(const QString &lockPath) : m_lock(lockPath)
{
    // A running copy holds its lock however long it runs; only a dead owner makes it stale.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    return m_lock.isLocked() || m_lock.tryLock(0);
}

QString SingleInstance::defaultLockPath()
{
    // XDG_RUNTIME_DIR (or Qt's private fallback): owned by the user, mode 0700.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/varbelo.lock");
}
