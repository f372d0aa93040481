#include "RequestQueue.h"

#include <algorithm>

TRequestQueue::TRequestQueue(QObject* parent) : QObject(parent) {}

TRequestQueue::TTicket TRequestQueue::Post(TJob job)
{
    if (int(FJobs.size()) >= MaxWaiting) return 0;
    return Push(QString(), std::move(job));
}

TRequestQueue::TTicket TRequestQueue::PostReplacing(const QString& key, TJob job)
{
    auto old = std::find_if(FJobs.begin(), FJobs.end(),
                            [&](const TEntry& e) { return !key.isEmpty() && e.Key == key; });
    if (old != FJobs.end()) FJobs.erase(old);
    return Push(key, std::move(job));
}

bool TRequestQueue::Cancel(TTicket ticket)
{
    auto it = std::find_if(FJobs.begin(), FJobs.end(),
                           [&](const TEntry& e) { return e.Ticket == ticket; });
    if (ticket == 0 || it == FJobs.end()) return false;
    FJobs.erase(it);
    return true;
}

TRequestQueue::TTicket TRequestQueue::Push(const QString& key, TJob job)
{
    const TTicket ticket = FNext++;
    FJobs.push_back({ticket, key, std::move(job)});
    // Run from the event loop, not inside the caller: a request handler must
    // return before its job waits for the matrix.
    if (!FRunning && !FScheduled) {
        FScheduled = true;
        QMetaObject::invokeMethod(this, &TRequestQueue::Pump, Qt::QueuedConnection);
    }
    return ticket;
}

void TRequestQueue::Pump()
{
    FScheduled = false;
    if (FRunning) return;
    FRunning = true;
    while (!FJobs.empty()) {
        TJob job = std::move(FJobs.front().Job);
        FJobs.pop_front();
        job();
    }
    FRunning = false;
    emit Idle();
}
