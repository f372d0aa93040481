#include "RequestQueue.h"

TRequestQueue::TRequestQueue(QObject* parent) : QObject(parent) {}

bool TRequestQueue::Post(TJob job)
{
    if (int(FJobs.size()) >= MaxWaiting) return false;
    FJobs.push_back(std::move(job));
    // Run from the event loop, not inside the caller: a request handler must
    // return before its job waits for the matrix.
    if (!FRunning && !FScheduled) {
        FScheduled = true;
        QMetaObject::invokeMethod(this, &TRequestQueue::Pump, Qt::QueuedConnection);
    }
    return true;
}

void TRequestQueue::Pump()
{
    FScheduled = false;
    if (FRunning) return;
    FRunning = true;
    while (!FJobs.empty()) {
        TJob job = std::move(FJobs.front());
        FJobs.pop_front();
        job();
    }
    FRunning = false;
    emit Idle();
}
