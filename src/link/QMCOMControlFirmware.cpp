#include "QMCOMControl.h"

// Firmware part transfers and the reboot wait.

void TQMCOMControl::WriteFirmwarePart(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort)
        return;
    reply.Ok = 0;
    (void)request;
}

void TQMCOMControl::WriteFirmwarePartErased(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort)
        return;
    reply.Ok = 0;
    (void)request;
}

void TQMCOMControl::WaitForReboot(TCommandReply& reply)
{
    if (FFlags->Abort)
        return;
    reply.Ok = 0;
}
