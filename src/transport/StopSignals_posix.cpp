#include "StopSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// The handler may only write to a pipe; the notifier reads it on the loop.
int StopPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(StopPipe[1], &b, 1);
}
} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent)
{
    if (StopPipe[0] < 0 && ::pipe(StopPipe) == 0) {
        ::fcntl(StopPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(StopPipe[1], F_SETFD, FD_CLOEXEC);
        ::fcntl(StopPipe[1], F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(StopPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char b[16];
        [[maybe_unused]] const ssize_t n = ::read(StopPipe[0], b, sizeof b);
        emit StopRequested();
    });
    struct sigaction sa {
    };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

TStopSignals::~TStopSignals()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}
