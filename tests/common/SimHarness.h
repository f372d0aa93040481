#pragma once

#include "SimServers.h"
#include "link/QMCOMControl.h"

#include <QList>
#include <QTemporaryDir>

// One notification as the window would see it.
struct TNote {
    int Code;
    qintptr WParam;
    qintptr LParam;
    QString Text;
};

// The real link controller wired to an in-process simulator over loopback TCP
// or a pseudo-terminal, with fast timings and every notification recorded.
class TSimHarness {
public:
    explicit TSimHarness(const TTiming& timing = TTiming::Fast());
    ~TSimHarness();

    // Starts the simulator's line and points the controller at it.
    bool UseTcp();
    bool UsePty();

    TMatrixSim Sim;
    TProcessFlags Flags;
    TQMCOMControl* Link;
    QList<TNote> Notes;

    int Count(int code) const;
    QList<TNote> Of(int code) const;
    // Runs one command and returns the reply.
    TCommandReply Run(const TCommandPacket& packet);

private:
    QTemporaryDir FDir;
};
