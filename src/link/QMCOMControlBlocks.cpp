#include "QMCOMControl.h"

// EDID block transfers.

void TQMCOMControl::ReadBlocks(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort)
        return;
    reply.Ok = 0;
    (void)request;
}

void TQMCOMControl::WriteBlocks(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort)
        return;
    reply.Ok = 0;
    (void)request;
}
