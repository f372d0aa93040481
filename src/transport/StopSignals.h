#pragma once

#include <QObject>

class QSocketNotifier;

// The stop requests a console program gets (Ctrl-C, a termination request),
// delivered on the thread that created this object, from whatever event loop
// runs there: the handler itself only records the request and wakes the loop.
// One object per process.
class TStopSignals : public QObject
{
    Q_OBJECT
public:
    enum TStop { ssInterrupt = 2, ssTerminate = 15 }; // exit status 128 + value
    explicit TStopSignals(QObject* parent = nullptr);
    ~TStopSignals() override;

    // Takes over the requests; false when the system refuses.
    bool Install();

signals:
    void StopRequested(int stop);

private:
    void Deliver(int stop);
    QSocketNotifier* FNotifier = nullptr;
};
