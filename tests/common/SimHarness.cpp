#include "SimHarness.h"

TSimHarness::TSimHarness(const TTiming& timing) : Link(new TQMCOMControl(&Flags, timing))
{
    Sim.Device().LoadEdids(QStringLiteral(":/edid"));
    QObject::connect(Link, &TQMCOMControl::Notify, Link,
                     [this](int code, qintptr w, qintptr l, const QString& text) {
                         Notes << TNote{code, w, l, text};
                     }, Qt::DirectConnection);
}

TSimHarness::~TSimHarness() { delete Link; }

bool TSimHarness::UseTcp()
{
    if (!Sim.TcpPort() && !Sim.ListenTcp(QHostAddress::LocalHost, 0))
        return false;
    Link->SetControlMode(cmLAN);
    Link->SetDeviceIP(QStringLiteral("127.0.0.1"));
    Link->SetDevicePort(Sim.TcpPort());
    return true;
}

bool TSimHarness::UsePty()
{
    if (Sim.SlavePath().isEmpty() && !Sim.OpenPty(FDir.filePath(QStringLiteral("ttySIM"))))
        return false;
    Link->SetControlMode(cmCOM);
    Link->SetComPort(Sim.PtyLink());
    return true;
}

int TSimHarness::Count(int code) const { return int(Of(code).size()); }

QList<TNote> TSimHarness::Of(int code) const
{
    QList<TNote> r;
    for (const TNote& n : Notes)
        if (n.Code == code)
            r << n;
    return r;
}

TCommandReply TSimHarness::Run(const TCommandPacket& packet)
{
    TCommandReply reply;
    if (Link->Connect())
        Link->ExecuteCommand(packet, reply);
    return reply;
}
