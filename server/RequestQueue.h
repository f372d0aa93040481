#pragma once

#include <QObject>
#include <QString>
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
    using TTicket = quint64; // 0 is no job

    explicit TRequestQueue(QObject* parent = nullptr);
    // Queues a job at the back; 0 (nothing queued) when MaxWaiting jobs
    // already wait.
    TTicket Post(TJob job);
    // Queues a job at the back in place of the one still waiting under the
    // same key, which is taken out and never runs. Never refused: the
    // caller bounds its keys, and so the jobs it can have waiting.
    TTicket PostReplacing(const QString& key, TJob job);
    // Takes a waiting job out; false when it has started already or is gone.
    bool Cancel(TTicket ticket);
    int Waiting() const { return int(FJobs.size()); }
    bool Running() const { return FRunning; }

signals:
    void Idle();

private:
    struct TEntry {
        TTicket Ticket;
        QString Key;
        TJob Job;
    };
    TTicket Push(const QString& key, TJob job);
    void Pump();
    std::deque<TEntry> FJobs;
    TTicket FNext = 1;
    bool FRunning = false;
    bool FScheduled = false;
};
