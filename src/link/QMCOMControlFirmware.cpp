#include "QMCOMControl.h"

#include "Commands.h"

#include "transport/Powersock.h"

#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <exception>

// Firmware part transfers and the reboot wait.

namespace
{
uint16_t PartIdentity(const TCommandPacket& p)
{
    return uint16_t((p.Code << 8) | p.P1Lo());
}
uint16_t PartVersion(const TCommandPacket& p)
{
    return uint16_t((LowByte(p.P3) << 8) | LowByte(p.P4));
}
constexpr uint16_t PrepareErase = 0x80;
constexpr uint16_t PrepareWrite = 0x10;
const QString RebootingText = QStringLiteral("System rebooting, please wait ...");
} // namespace

bool TQMCOMControl::OpenFirmwarePart(const TCommandPacket& request, TCommandReply& reply)
{
    ExecuteCommand(request, reply);
    if (!reply.Ok) return false;
    if (reply.P1Lo() == rsDeclined) {
        SendNotify(ntPartDeclined, PartIdentity(request), PartVersion(request));
        reply.Ok = 1;
        return false;
    }
    if (reply.P1Lo() != rsReady) {
        SendNotify(ntDataInvalid);
        reply.Ok = 0;
        return false;
    }
    return true;
}

void TQMCOMControl::WriteFirmwarePart(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort) return;
    if (OpenFirmwarePart(request, reply)) SendFirmwareData(request, reply, false);
}

void TQMCOMControl::WriteFirmwarePartErased(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort) return;
    if (!OpenFirmwarePart(request, reply)) return;
    for (uint16_t step : {PrepareErase, PrepareWrite}) {
        WaitMs(FTiming.PreparePauseMs);
        // An abort during the pause would leave the previous reply standing
        // in for the preparation's.
        if (FFlags->Abort) {
            reply.Ok = 0;
            return;
        }
        ExecuteCommand(TCommandPacket::Make(request.Group, request.Code, step), reply);
        if (!reply.Ok) return;
        if (reply.P1Lo() != rsAccepted) {
            if (reply.P1Lo() == rsDeclined) {
                SendNotify(ntPartDeclined, PartIdentity(request), PartVersion(request));
                reply.Ok = 1;
            } else {
                SendNotify(ntDataInvalid);
                reply.Ok = 0;
            }
            return;
        }
    }
    WaitMs(FTiming.PreparePauseMs);
    if (FFlags->Abort) {
        reply.Ok = 0;
        return;
    }
    SendFirmwareData(request, reply, true);
}

// The data frames of a part. `erased`: the frames follow the erase
// preparation, are padded to 270 bytes and end with the part's 2030 (and the
// reboot wait after the main MCU part).
void TQMCOMControl::SendFirmwareData(const TCommandPacket& request, TCommandReply& reply,
                                     bool erased)
{
    const uint8_t group = request.Group;
    const uint8_t code = request.Code;
    const uint16_t identity = PartIdentity(request);
    const uint16_t version = PartVersion(request);
    const qint64 size = FEdidDownloadBuffer.size();
    const auto* source = reinterpret_cast<const uint8_t*>(FEdidDownloadBuffer.constData());
    qint64 sent = 0;
    uint16_t index = 0;
    bool end = false;
    try {
        while (!end && !FFlags->Abort) {
            const qint64 left = size - sent;
            const bool last = left <= BlockDataMax;
            const int count = int(last ? left : BlockDataMax);
            const QByteArray frame = TDataBlockFrame::Build(group, code, last, request.P1, index,
                                                            source + sent, count, erased);
            // The dump always shows the whole 270-byte work area.
            QByteArray work = frame;
            work.resize(FrameSizeBlock, '\0');
            const auto* frameBytes = reinterpret_cast<const uint8_t*>(frame.constData());
            const auto* workBytes = reinterpret_cast<const uint8_t*>(work.constData());
            bool accepted = false;
            bool declined = false;
            for (int tryNo = 1; tryNo <= FTiming.Tries; ++tryNo) {
                const TTryResult result =
                    ExchangeTry(frameBytes, int(frame.size()), erased ? 4 : 3, tryNo, FTiming.Tries,
                                reply, [&] {
                                    FDumpTitle =
                                        erased ? QStringLiteral("[%1]send data:\r\n").arg(tryNo)
                                               : QStringLiteral("send data:\r\n");
                                    SendSentDump(FDumpTitle, workBytes, FrameSizeBlock);
                                });
                if (result == trStop) return;
                if (result == trRetry) continue;
                SendCommandLog(QStringLiteral("rcv cmd:   "), FReply, 8888);
                const bool passed = CheckReply(FReply, group, code, false) == rcOk;
                if (passed && FReply[4] == rsAccepted) {
                    sent += count;
                    ++index;
                    end = sent >= size;
                    reply.Ok = 1;
                    // An empty part is all sent with its one empty frame.
                    const qint64 percent = size > 0 ? sent * 100 / size : 100;
                    SendNotify(ntPartProgress, identity, qintptr(percent));
                    accepted = true;
                    break;
                }
                if (passed && FReply[4] == rsDeclined) {
                    SendNotify(ntPartDeclined, identity, version);
                    reply.Ok = 1;
                    declined = true;
                    break;
                }
                reply.Ok = 0;
                Pause(FTiming.FirmwareRejectPauseMs);
            }
            if (declined) return;
            if (!accepted) {
                SendNotify(ntSendFailed);
                return;
            }
        }
    } catch (const std::exception& e) {
        PortFailure(e, reply);
        return;
    }
    if (!end) {
        reply.Ok = 0; // aborted between frames: the part is incomplete
        return;
    }
    if (!erased) {
        SendNotify(ntTransferDone, 0, 0);
        return;
    }
    SendNotify(ntTransferDone, identity, version);
    if (group == Cmd::FirmwareGroup && code == Cmd::FirmwareMainCode) WaitForReboot(reply);
}

void TQMCOMControl::SendRebootText(const QString& text, bool waiting)
{
    // The text travels in a 128-byte buffer.
    SendNotify(ntReboot, 0, waiting ? 1 : 0, text.left(127));
}

void TQMCOMControl::WaitForReboot(TCommandReply& reply)
{
    if (FFlags->Abort) return;
    reply.Clear();
    FSpinnerPos = 0;
    auto spin = [this] {
        SendRebootText(RebootingText + QLatin1String(Options::Spinner[size_t(FSpinnerPos)]), true);
        FSpinnerPos = (FSpinnerPos + 1) % int(Options::Spinner.size());
    };
    spin();
    for (int i = 0; i < FTiming.RebootSpins; ++i) {
        WaitMs(FTiming.RebootSpinMs);
        spin();
        if (FFlags->Abort) {
            reply.Ok = 0;
            return;
        }
    }
    const TCommandPacket probe =
        TCommandPacket::Make(Cmd::RebootProbe.Group, Cmd::RebootProbe.Code);
    const auto frame = BuildCommandFrame(probe);
    // While probing, the spinner turns every RebootProbeDelayPolls polls.
    int sinceSpin = 0;
    auto spinWhileProbing = [&] {
        if (++sinceSpin >= FTiming.RebootProbeDelayPolls) {
            sinceSpin = 0;
            spin();
        }
    };
    try {
        for (int tryNo = 1; tryNo <= FTiming.RebootProbeTries; ++tryNo) {
            // The silent-matrix limit is the ordinary number of tries, though
            // rejected answers get more probes.
            const TTryResult result = ExchangeTry(
                frame.data(), 13, 0, tryNo, FTiming.Tries, reply,
                [&] {
                    SendCommandLog(QStringLiteral("[%1] snd cmd:   ").arg(tryNo), frame.data(), 0);
                },
                spinWhileProbing, false);
            if (result == trStop) return;
            if (result == trRetry) continue;
            SendCommandLog(QStringLiteral("rcv cmd:   "), FReply, 0);
            if (CheckReply(FReply, probe.Group, probe.Code) == rcOk) {
                SendRebootText(QStringLiteral("System reboot ok"), false);
                reply.Ok = 1;
                return;
            }
            reply.Ok = 0;
            Pause(FTiming.RejectPauseMs);
        }
    } catch (const std::exception& e) {
        PortFailure(e, reply);
        return;
    }
    SendRebootText(QStringLiteral("System reboot failed"), false);
}
