#include "SimFrameLog.h"

#include "SimServers.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

TSimFrameLog::TSimFrameLog(TMatrixSim& sim) : FPath(FDir.filePath(QStringLiteral("frames.log")))
{
    sim.SetLogFile(FPath);
}

QList<TCommandPacket> TSimFrameLog::Commands() const
{
    QFile f(FPath);
    QList<TCommandPacket> list;
    if (!f.open(QIODevice::ReadOnly)) return list;
    QByteArray rx;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(QStringLiteral("dir")).toString() == QLatin1String("rx"))
            rx += QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1());
    }
    for (int at = 0; at + TCommandPacket::Size <= rx.size(); at += TCommandPacket::Size)
        list << TCommandPacket::FromBytes(rx.mid(at, TCommandPacket::Size));
    return list;
}

QStringList TSimFrameLog::Names() const
{
    QStringList names;
    for (const TCommandPacket& p : Commands())
        names << QStringLiteral("%1,%2").arg(p.Group).arg(p.Code);
    return names;
}
