// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopcommand.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>

namespace {

std::string linkTarget(const std::string &link)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    std::string path(target, length > 0 ? size_t(length) : 0);
    // The file a copy runs from was replaced, by an update for instance.
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.ends_with(deleted))
        path.resize(path.size() - deleted.size());
    return path;
}

// Whether the process runs this very program: the same file, or a file at the same place.
bool runsThisProgram(pid_t pid)
{
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    struct stat theirs
    {
    }, ours {};
    if (::stat(exe.c_str(), &theirs) == 0 && ::stat("/proc/self/exe", &ours) == 0
        && theirs.st_dev == ours.st_dev && theirs.st_ino == ours.st_ino)
        return true;
    const std::string path = linkTarget(exe);
    return !path.empty() && path == linkTarget("/proc/self/exe");
}

int noCopy()
{
    std::fputs("varbelo: no copy of varbelo is running, so there is no run to stop\n", stderr);
    return 1;
}

} // namespace

int requestStop(const QString &lockPath)
{
    if (lockPath.isEmpty()) {
        std::fputs("varbelo: there is no folder of this user's alone for the lock: nothing is "
                   "stopped\n",
                   stderr);
        return 1;
    }
    // Whoever can write where the lock lies could put a link, a FIFO or a file naming any process
    // there: no link is followed, no open waits, and only the user's own regular file counts.
    const int lock = ::open(QFile::encodeName(lockPath).constData(),
                            O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (lock < 0 && errno == ENOENT)
        return noCopy();
    struct stat file
    {
    };
    if (lock < 0 || ::fstat(lock, &file) != 0 || !S_ISREG(file.st_mode)
        || file.st_uid != ::geteuid()) {
        if (lock >= 0)
            ::close(lock);
        std::fprintf(stderr, "varbelo: %s is not a lock file of this user's: nothing is stopped\n",
                     qPrintable(lockPath));
        return 1;
    }
    // A running copy keeps its lock file flock()ed for as long as it lives (QLockFile does): a
    // file that nobody holds is a dead copy's, whatever process its id names today.
    const bool held = ::flock(lock, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    char text[32] = {};
    const ssize_t length = held ? ::read(lock, text, sizeof text - 1) : 0;
    ::close(lock);
    const pid_t pid = length > 0 ? pid_t(std::atol(text)) : 0; // the first line: the holder's id
    if (!held || pid <= 0)
        return noCopy();

    // The process is pinned before it is checked, so that the signal reaches the process that
    // was checked or none at all, even if the id is reused meanwhile.
    const int process = int(::syscall(SYS_pidfd_open, pid, 0));
    if (process < 0 && errno == ESRCH)
        return noCopy();
    // Only a kernel without process file descriptors may fall back to the bare id below.
    if (process < 0 && errno != ENOSYS) {
        std::fprintf(stderr, "varbelo: cannot pin process %d: %s\n", int(pid), std::strerror(errno));
        return 1;
    }
    if (!runsThisProgram(pid)) {
        if (process >= 0)
            ::close(process);
        std::fprintf(stderr, "varbelo: process %d holds the lock %s but is not varbelo\n", int(pid),
                     qPrintable(lockPath));
        return 1;
    }
    // Without process file descriptors (a kernel before 5.3), the id itself, checked just now.
    const bool sent = process >= 0
            ? ::syscall(SYS_pidfd_send_signal, process, SIGUSR1, nullptr, 0) == 0
            : ::kill(pid, SIGUSR1) == 0;
    if (process >= 0)
        ::close(process);
    return sent ? 0 : noCopy();
}
