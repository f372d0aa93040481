#include "StopSignals.h"

#include <QMetaObject>
#include <QPointer>
#include <windows.h>

namespace
{
QPointer<TStopSignals> Receiver;

BOOL WINAPI OnConsoleEvent(DWORD)
{
    // Runs on a thread of its own: hand the request to the event loop.
    if (Receiver) QMetaObject::invokeMethod(Receiver.data(), "StopRequested", Qt::QueuedConnection);
    return TRUE;
}
} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent)
{
    Receiver = this;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

TStopSignals::~TStopSignals()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}
