// SPDX-License-Identifier: GPL-3.0-or-later
#include "singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#    include <cerrno>
#    include <sys/stat.h>
#    include <unistd.h>
#endif

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
    if (m_lock.isLocked())
        return true;
    if (m_lock.tryLock(0)) {
        // What it says is for this user alone (QLockFile makes it readable by all).
        QFile::setPermissions(lockPath(), QFile::ReadOwner | QFile::WriteOwner);
        return true;
    }
    // The owner's id is alive because it is ours: a copy that died without unlocking had the
    // same id, as happens in a PID namespace (a sandbox or a container starts every program as
    // the same small id), under wine and on Windows, which reuse ids quickly. This process does
    // not hold the lock (isLocked said so), so the lock is a dead copy's.
    qint64 pid = 0;
    QString host, application;
    if (!m_lock.getLockInfo(&pid, &host, &application) || pid != QCoreApplication::applicationPid()
        || !isThisMachine(host))
        return false;
    if (!m_lock.removeStaleLockFile() || !m_lock.tryLock(0))
        return false;
    QFile::setPermissions(lockPath(), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString SingleInstance::defaultLockPath()
{
#ifdef Q_OS_UNIX
    // The session's runtime directory: the user's own, mode 0700.
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        return QFile::decodeName(runtime) + QStringLiteral("/varbelo.lock");
    // Without one, a folder of the user's own in the temporary directory, which anyone may write
    // to: one that another user made, or a link, is not taken.
    const QByteArray dir = QFile::encodeName(QDir::tempPath())
            + "/varbelo-" + QByteArray::number(::geteuid());
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat info
    {
    };
    if (::lstat(dir.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid() || ::chmod(dir.constData(), 0700) != 0)
        return {};
    return QFile::decodeName(dir) + QStringLiteral("/varbelo.lock");
#else
    // The user's profile: owned by the user.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/varbelo.lock");
#endif
}
