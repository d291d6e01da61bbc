// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

// The handler may only do async-signal-safe things: it writes one byte, and the event loop
// picks it up (the self-pipe pattern of Qt's "Calling Qt Functions From Unix Signal Handlers").
int signalSockets[2] = {-1, -1};

void onSignal(int signal)
{
    // The interrupted code may be about to read errno; a full socket drops the byte rather than
    // hang the handler (the bytes already there are enough to wake the loop).
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP, SIGUSR1};

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    ::fcntl(signalSockets[0], F_SETFL, ::fcntl(signalSockets[0], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalSockets[1], &byte, 1);
        if (byte == SIGUSR1)
            emit stopRequested();
        else
            emit quitRequested();
    });

    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        ::sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals()
{
    for (const int signal : Signals)
        ::signal(signal, SIG_DFL);
    delete m_notifier;
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}
