// SPDX-License-Identifier: GPL-3.0-or-later
#include "singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

SingleInstance::SingleInstance(const QString &lockPath) : m_lock(lockPath)
{
    // A running copy holds its lock however long it runs; only a dead owner makes it stale.
    m_lock.setStaleLockTime(0);
}

namespace {

// The machine's name as QLockFile writes it into the lock.
bool isThisMachine(const QString &host)
{
#ifdef Q_OS_WIN
    return host == qEnvironmentVariable("COMPUTERNAME"); // not the DNS name QSysInfo gives
#else
    return host == QSysInfo::machineHostName();
#endif
}

} // namespace

bool SingleInstance::tryAcquire()
{
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return true;
    // The owner's id is alive because it is ours: a copy that died without unlocking had the
    // same id, as happens in a PID namespace (a sandbox or a container starts every program as
    // the same small id), under wine and on Windows, which reuse ids quickly. This process does
    // not hold the lock (isLocked said so), so the lock is a dead copy's.
    qint64 pid = 0;
    QString host, application;
    if (!m_lock.getLockInfo(&pid, &host, &application) || pid != QCoreApplication::applicationPid()
        || !isThisMachine(host))
        return false;
    return m_lock.removeStaleLockFile() && m_lock.tryLock(0);
}

QString SingleInstance::defaultLockPath()
{
    // XDG_RUNTIME_DIR (or Qt's private fallback): owned by the user, mode 0700.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/varbelo.lock");
}
