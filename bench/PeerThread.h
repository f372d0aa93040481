#pragma once

#include "SimServers.h"

#include <QThread>

// The simulator on a thread of its own, as a matrix is a peer of its own: its
// pacing never waits for the loop being measured, and that loop's work is
// not hidden in the simulator's timers or counted twice.
class TPeerThread
{
public:
    TPeerThread() : Sim(new TMatrixSim)
    {
        Sim->moveToThread(&FThread);
        FThread.start();
    }
    ~TPeerThread()
    {
        Run([this] { delete Sim; });
        FThread.quit();
        FThread.wait();
    }
    // Runs `f` on the simulator's thread and waits for it.
    template <class F> void Run(F f) const
    {
        QMetaObject::invokeMethod(Sim, f, Qt::BlockingQueuedConnection);
    }

private:
    QThread FThread;

public:
    TMatrixSim* const Sim;
};
