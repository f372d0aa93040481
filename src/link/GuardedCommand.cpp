#include "GuardedCommand.h"

#include "QMCOMControl.h"

TCommandReply TGuardedCommand::Run(const QString& statusText, const TCommandPacket& packet,
                                   bool* refused) const
{
    TCommandReply reply;
    bool refusedHere = true;
    auto status = [this](int panel, const QString& text) {
        if (Status) Status(panel, text);
    };
    auto finish = [&] {
        if (refused) *refused = refusedHere;
        return reply;
    };
    if (Flags->Abort) return finish();
    if (!Link->Connected()) {
        if (Connect)
            Connect();
        else
            Link->Connect();
    }
    // Another command's on-demand connect is still waiting for its peer.
    if (!Link->Connected() && Link->FConnecting) return finish();
    refusedHere = false;
    if (!Link->Connected()) return finish();
    if (!Flags->Idle) {
        refusedHere = true;
        status(3, QStringLiteral("In processing, command ignored"));
        return finish();
    }
    Flags->Idle = false;
    status(2, statusText);
    Link->ExecuteCommand(packet, reply);
    if (reply.Ok) status(2, QStringLiteral("Done"));
    Flags->Idle = true;
    status(3, QString());
    return finish();
}
