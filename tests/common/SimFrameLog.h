#pragma once

#include "link/Packet.h"

#include <QList>
#include <QTemporaryDir>

class TMatrixSim;

// The command packets a simulator received, read back from its frame log.
// Only for plain 13-byte command traffic (no block transfers).
class TSimFrameLog
{
public:
    explicit TSimFrameLog(TMatrixSim& sim);
    QList<TCommandPacket> Commands() const;
    // "group,code" of every command, e.g. "16,1".
    QStringList Names() const;
    int Count() const { return int(Commands().size()); }

private:
    QTemporaryDir FDir;
    QString FPath;
};
