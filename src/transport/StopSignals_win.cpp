// Stop requests on Windows: the console control events. The handler runs on
// a thread of the system's; it queues the request to the object's thread.
#include "StopSignals.h"

#ifdef Q_OS_WIN

#include <QMetaObject>
#include <windows.h>

namespace
{
TStopSignals* Instance = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    TStopSignals* target = Instance;
    if (!target) return FALSE;
    const int stop = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TStopSignals::ssInterrupt
                                                                        : TStopSignals::ssTerminate;
    QMetaObject::invokeMethod(
        target, [target, stop] { emit target->StopRequested(stop); }, Qt::QueuedConnection);
    return TRUE;
}
} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {}

TStopSignals::~TStopSignals()
{
    if (Instance != this) return;
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    Instance = nullptr;
}

bool TStopSignals::Install()
{
    if (Instance == this) return true;
    Instance = this;
    return SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}

void TStopSignals::Deliver(int stop)
{
    emit StopRequested(stop);
}

#endif
