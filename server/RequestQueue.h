#pragma once

#include <QObject>
#include <deque>
#include <functional>

// The one queue in front of the link: jobs run one at a time in arrival
// order. A job may wait in nested event loops; whatever arrives meanwhile
// queues behind it, never refused as busy. Only a full queue refuses.
class TRequestQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 256;
    using TJob = std::function<void()>;

    explicit TRequestQueue(QObject* parent = nullptr);
    // False (and nothing queued) when MaxWaiting jobs already wait.
    bool Post(TJob job);
    int Waiting() const { return int(FJobs.size()); }
    bool Running() const { return FRunning; }

signals:
    void Idle();

private:
    void Pump();
    std::deque<TJob> FJobs;
    bool FRunning = false;
    bool FScheduled = false;
};
