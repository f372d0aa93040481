#include "QMCOMControl.h"

#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <exception>

// EDID block transfers.

void TQMCOMControl::WaitMs(int ms)
{
    if (ms <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void TQMCOMControl::ReadBlocks(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort) return;
    ExecuteCommand(request, reply);
    if (!reply.Ok) return;
    const uint8_t group = request.Group;
    const uint8_t code = request.Code;
    TCommandPacket ask = request;
    auto setAsk = [&](uint16_t p1) {
        ask.P1 = p1;
        ask.P2 = 0;
    };
    setAsk(rsReady);
    FRestartBlocks = true;
    FEdidReadBuffer.clear();
    bool end = false;
    try {
        while (!end && !FFlags->Abort) {
            for (int tryNo = 1;; ++tryNo) {
                const auto frame = BuildCommandFrame(ask);
                const TTryResult result =
                    ExchangeTry(frame.data(), 13, 1, tryNo, FTiming.Tries, reply);
                if (result == trStop) return;
                if (result == trRetry) continue;
                reply.Ok = 0;
                // A block that fails a check (a length over 256 bytes among
                // them: it cannot be in a 270-byte frame) is asked for again.
                QByteArray block;
                if (TDataBlockFrame::Accept(FRxBuffer, group, code, &block)) {
                    FBlockFrameSize = FrameSizeBlock;
                    FBlockDataSize = int(block.size());
                    FBlockDataChecksum = FRxBuffer[13];
                    FEdidReadBuffer.append(block);
                    FRestartBlocks = false;
                    reply.Ok = 1;
                    end = FReply[4] == rsLastBlock;
                }
                // Nothing follows the last block, so it needs no breather.
                if (!(reply.Ok && end)) Pause(FTiming.RejectPauseMs);
                if (reply.Ok) {
                    setAsk(rsAccepted);
                    break;
                }
                setAsk(FRestartBlocks ? rsReady : rsRefused);
                if (tryNo >= FTiming.Tries) {
                    SendNotify(ntSendFailed);
                    return;
                }
            }
        }
    } catch (const std::exception& e) {
        PortFailure(e, reply);
        return;
    }
    if (end)
        SendNotify(ntTransferDone);
    else
        reply.Ok = 0; // aborted between blocks: the data is incomplete
}

void TQMCOMControl::WriteBlocks(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort) return;
    ExecuteCommand(request, reply);
    if (!reply.Ok) return;
    if (reply.P1Lo() != rsReady) {
        SendNotify(ntDataInvalid);
        reply.Ok = 0;
        return;
    }
    const uint8_t group = request.Group;
    const uint8_t code = request.Code;
    const qsizetype size = FEdidDownloadBuffer.size();
    const auto* source = reinterpret_cast<const uint8_t*>(FEdidDownloadBuffer.constData());
    qsizetype sent = 0;
    FRestartBlocks = true;
    bool end = false;
    try {
        while (!end && !FFlags->Abort) {
            const qsizetype left = size - sent;
            const bool last = left <= BlockDataMax;
            const int count = int(last ? left : BlockDataMax);
            const QByteArray frame = TDataBlockFrame::Build(group, code, last, request.P3,
                                                            request.P4, source + sent, count, true);
            const auto* frameBytes = reinterpret_cast<const uint8_t*>(frame.constData());
            bool acknowledged = false;
            for (int tryNo = 1; tryNo <= FTiming.Tries; ++tryNo) {
                const TTryResult result =
                    ExchangeTry(frameBytes, FrameSizeBlock, 0, tryNo, FTiming.Tries, reply,
                                [&] { SendSentDump(FDumpTitle, frameBytes, 14 + count); });
                if (result == trStop) return;
                if (result == trRetry) continue;
                if (CheckReply(FReply, group, code, false) == rcOk && FReply[4] == rsAccepted) {
                    sent += count;
                    FRestartBlocks = false;
                    end = sent >= size;
                    reply.Ok = 1;
                    acknowledged = true;
                    break;
                }
                reply.Ok = 0;
                Pause(FTiming.RejectPauseMs);
            }
            if (!acknowledged) {
                SendNotify(ntSendFailed);
                return;
            }
        }
    } catch (const std::exception& e) {
        PortFailure(e, reply);
        return;
    }
    if (end)
        SendNotify(ntTransferDone);
    else
        reply.Ok = 0; // aborted between blocks: the matrix has only part of the data
}
