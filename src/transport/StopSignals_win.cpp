// Stop requests on Windows: the console control events. The handler runs on
// a thread of the system's; it queues the request to the object's thread.
// For a closing console, a log-off or a shut-down the system ends the process
// as soon as the handler returns, so there the handler waits (up to 5 s) for
// the main thread to finish its clean stop: the end of main ends the process,
// and this thread with it.
#include "StopSignals.h"

#ifdef Q_OS_WIN

#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <windows.h>

namespace
{
std::atomic<TStopSignals*> Instance{nullptr};
// Held while the handler queues to the object, so that it is not destroyed
// meanwhile.
std::mutex InstanceLock;
constexpr DWORD CleanStopMs = 5000;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    {
        std::lock_guard<std::mutex> hold(InstanceLock);
        TStopSignals* target = Instance.load();
        if (!target) return FALSE;
        const int stop = interrupt ? TStopSignals::ssInterrupt : TStopSignals::ssTerminate;
        QMetaObject::invokeMethod(
            target, [target, stop] { emit target->StopRequested(stop); }, Qt::QueuedConnection);
    }
    if (!interrupt) Sleep(CleanStopMs);
    return TRUE;
}
} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {}

TStopSignals::~TStopSignals()
{
    std::lock_guard<std::mutex> hold(InstanceLock);
    if (Instance.load() != this) return;
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    Instance.store(nullptr);
}

bool TStopSignals::Install()
{
    std::lock_guard<std::mutex> hold(InstanceLock);
    if (Instance.load() == this) return true;
    Instance.store(this);
    return SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}

void TStopSignals::Deliver(int stop)
{
    emit StopRequested(stop);
}

#endif
