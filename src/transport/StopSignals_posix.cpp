// Stop requests on POSIX systems: SIGINT and SIGTERM through a self-pipe.
#include "StopSignals.h"

#ifndef Q_OS_WIN

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{
int Pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal)
{
    // Only async-signal-safe calls here: the loop reads the byte.
    const int saved = errno;
    const char code =
        char(signal == SIGINT ? TStopSignals::ssInterrupt : TStopSignals::ssTerminate);
    [[maybe_unused]] const ssize_t n = ::write(Pipe[1], &code, 1);
    errno = saved;
}
} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {}

TStopSignals::~TStopSignals()
{
    if (!FNotifier) return;
    struct sigaction plain = {};
    plain.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &plain, nullptr);
    ::sigaction(SIGTERM, &plain, nullptr);
    delete FNotifier;
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    Pipe[0] = Pipe[1] = -1;
}

bool TStopSignals::Install()
{
    if (FNotifier) return true;
    if (::pipe(Pipe) != 0) return false;
    for (int fd : Pipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    FNotifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        char code = 0;
        while (::read(Pipe[0], &code, 1) == 1)
            Deliver(code);
    });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void TStopSignals::Deliver(int stop)
{
    emit StopRequested(stop);
}

#endif
