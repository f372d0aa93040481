#pragma once

#include "Packet.h"
#include "ProcessFlags.h"

#include <QString>
#include <functional>

class TQMCOMControl;

// The rules every command sent on the operator's behalf follows, shared by
// the window and the tools: nothing while the program closes, connect on
// demand, refuse while another command is in flight ("In processing, command
// ignored" in panel 3), the status text in panel 2 while it runs and "Done"
// after an accepted reply.
struct TGuardedCommand {
    TQMCOMControl* Link = nullptr;
    TProcessFlags* Flags = nullptr;
    // The Connect action; unset: the controller's own Connect.
    std::function<void()> Connect;
    // Status panel writer (panels 2 and 3).
    std::function<void(int panel, const QString& text)> Status;

    // Runs one command. `refused` (if given) tells whether nothing was sent
    // because the program closes, another connect waits for its peer, or
    // another command is in flight; the caller then leaves everything as it was.
    TCommandReply Run(const QString& statusText, const TCommandPacket& packet,
                      bool* refused = nullptr) const;
};
