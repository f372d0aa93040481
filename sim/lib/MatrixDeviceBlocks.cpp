#include "MatrixDevice.h"

using namespace SimWire;

// EDID block transfers and the firmware receiver.
//
// Reading: the opening (3, 5) with p1 = 0xF000 + output is answered plainly,
// then every request gets one 270-byte block: p1 0xAA starts again from the
// first block, 0x00 asks for the next one, 0xFF repeats the last one.
// Writing: the opening (3, 7) or (3, 6) is answered with 0xAA, then every data
// frame with 0x00 once its data checksum and its place are right. A frame
// equal to the one taken last is a repeat whose answer was lost: it is
// answered again and not stored twice.

namespace
{
constexpr int BlockLogLimit = 4096;

QByteArray FrameKey(const TSimFrame& header, const QByteArray& data)
{
    return header.ToBytes() + data;
}
} // namespace

void TMatrixDevice::Record(const TSimFrame& header, bool data, int length, const QByteArray& raw)
{
    if (FBlockLog.size() >= BlockLogLimit) FBlockLog.removeFirst();
    FBlockLog << TBlockRecord{header, data, length, raw};
}

void TMatrixDevice::EndBlockTransfers()
{
    FDataMode = TDataMode();
    FRead = TReadState();
    FWrite = TWriteState();
}

QByteArray TMatrixDevice::HandleBlockCommand(const TSimFrame& cmd, bool* handled)
{
    *handled = true;
    if (cmd.Group == GrEdid && cmd.Code == EdRead) return EdidReadRequest(cmd);
    if (cmd.Group == GrEdid && (cmd.Code == EdWrite || cmd.Code == EdWriteAll))
        return EdidWriteOpening(cmd);
    if (cmd.Group == GrFirmware && (cmd.Code == FwMain || cmd.Code == FwSlave))
        return FirmwareCommand(cmd);
    // A reboot forgets every transfer; the reboot itself is an ordinary command.
    if (cmd.Group == GrSystem && cmd.Code == SyReboot) EndBlockTransfers();
    *handled = false;
    return QByteArray();
}

QByteArray TMatrixDevice::HandleDataFrame(const TSimFrame& header, const QByteArray& data,
                                          uint8_t dataChecksum, const QByteArray& raw)
{
    Record(header, true, int(data.size()), raw);
    if (NegSum(data.constData(), int(data.size())) != dataChecksum)
        return Reply(header.Group, header.Code, StRefused, header.P2, header.P3, header.P4);
    if (FWrite.Firmware) return FirmwareFrame(header, data);
    return EdidWriteFrame(header, data);
}

QByteArray TMatrixDevice::EdidReadRequest(const TSimFrame& cmd)
{
    Record(cmd, false, 0, cmd.ToBytes());
    const uint16_t p1 = cmd.P1;
    if ((p1 >> 8) == 0xF0) {
        const int output = p1 & 0xFF;
        FRead = TReadState();
        if (output < 1 || output > 4 || !FState.OutputConnected[size_t(output - 1)] ||
            FState.OutputEdid[size_t(output - 1)].isEmpty())
            return Refusal(cmd);
        FRead.Active = true;
        FRead.Group = cmd.Group;
        FRead.Code = cmd.Code;
        FRead.P3 = cmd.P3;
        FRead.P4 = cmd.P4;
        FRead.Data = FState.OutputEdid[size_t(output - 1)];
        return Reply(cmd.Group, cmd.Code, p1, 0, cmd.P3, cmd.P4);
    }
    if (!FRead.Active) return Refusal(cmd);
    switch (p1) {
    case StReady:
        FRead.Offset = 0;
        FRead.BlockSize = 0;
        break;
    case StAccepted:
        FRead.Offset += FRead.BlockSize;
        break;
    case StRefused:
        break;
    default:
        return Refusal(cmd);
    }
    if (FRead.Offset >= FRead.Data.size()) {
        FRead = TReadState();
        return Refusal(cmd);
    }
    return EdidReadBlock();
}

QByteArray TMatrixDevice::EdidReadBlock()
{
    const int blockSize = qBound(1, FState.EdidBlockSize, BlockDataMax);
    const int length = qMin(blockSize, int(FRead.Data.size()) - FRead.Offset);
    const bool last = FRead.Offset + length >= FRead.Data.size();
    FRead.BlockSize = length;
    return TSimFrame::Block(FRead.Group, FRead.Code, last, FRead.P3, FRead.P4,
                            FRead.Data.mid(FRead.Offset, length));
}

QByteArray TMatrixDevice::EdidWriteOpening(const TSimFrame& cmd)
{
    Record(cmd, false, 0, cmd.ToBytes());
    FWrite = TWriteState();
    FDataMode = TDataMode();
    const uint16_t p1 = cmd.P1;
    const bool one =
        cmd.Code == EdWrite && (((p1 >> 8) == 0xF0 && (p1 & 0xFF) >= 1 && (p1 & 0xFF) <= 4) ||
                                p1 == 0xF100 || p1 == 0xF200);
    const bool all = cmd.Code == EdWriteAll && p1 == EdidAllInputs;
    if (FState.EdidDipSwitch || !(one || all)) return Refusal(cmd);
    if (FState.EdidWriteNotReady) return Reply(cmd.Group, cmd.Code, StAccepted, 0, cmd.P3, cmd.P4);
    FWrite.Target = p1;
    FWrite.Code = cmd.Code;
    FDataMode.Active = true;
    FDataMode.Group = cmd.Group;
    FDataMode.Code = cmd.Code;
    FDataMode.Padded = true;
    return Reply(cmd.Group, cmd.Code, StReady, 0, cmd.P3, cmd.P4);
}

QByteArray TMatrixDevice::EdidWriteFrame(const TSimFrame& header, const QByteArray& data)
{
    auto answer = [&](uint8_t status) {
        return Reply(header.Group, header.Code, status, header.P2, header.P3, header.P4);
    };
    const QByteArray key = FrameKey(header, data);
    if (key == FWrite.LastFrame) return answer(StAccepted);
    const bool last = header.P1Lo() == StLast;
    // Only the last block may be short, and nothing follows it.
    if (FWrite.Done || (!last && data.size() != BlockDataMax)) return answer(StRefused);
    FWrite.Data += data;
    FWrite.LastFrame = key;
    if (last) {
        FWrite.Done = true;
        auto& s = FState;
        const uint16_t t = FWrite.Target;
        if (t == 0xF100 || t == 0xF200) {
            s.UserEdid[t == 0xF100 ? 0 : 1] = FWrite.Data;
        } else {
            for (int i = 1; i <= 4; ++i) {
                if (t == EdidAllInputs || (t & 0xFF) == i) {
                    s.InputEdid[size_t(i - 1)] = FWrite.Data;
                    s.InputEdidMode[size_t(i - 1)] = 19;
                }
            }
        }
    }
    return answer(StAccepted);
}

QByteArray TMatrixDevice::FirmwareCommand(const TSimFrame& cmd)
{
    auto& s = FState;
    const uint16_t p1 = cmd.P1;
    if (p1 == FwPrepareErase || p1 == FwPrepareWrite) {
        const bool open = FWrite.Firmware && FWrite.Code == cmd.Code && FWrite.NextBlock == 0;
        // A step may come again when its answer was lost.
        if (!open || (p1 == FwPrepareWrite && FWrite.Prepared < 1)) return Refusal(cmd);
        FWrite.Prepared = p1 == FwPrepareErase ? qMax(1, FWrite.Prepared) : 2;
        // Once the region is erased the frames come padded to full size.
        FDataMode.Padded = FWrite.Prepared == 2;
        return Reply(cmd.Group, cmd.Code, StAccepted);
    }
    FWrite = TWriteState();
    FDataMode = TDataMode();
    const int identity = (cmd.Code << 8) | (p1 & 0xFF);
    const int version = ((cmd.P3 & 0xFF) << 8) | (cmd.P4 & 0xFF);
    if (s.DeclineSameOrOlder && s.FirmwareVersions.contains(identity) &&
        version <= s.FirmwareVersions.value(identity))
        return Reply(cmd.Group, cmd.Code, StDeclined, cmd.P2, cmd.P3, cmd.P4);
    FWrite.Firmware = true;
    FWrite.Code = cmd.Code;
    FWrite.Mcu = p1;
    FWrite.PartIdentity = identity;
    FWrite.PartVersion = version;
    FDataMode.Active = true;
    FDataMode.Group = cmd.Group;
    FDataMode.Code = cmd.Code;
    FDataMode.Padded = false;
    return Reply(cmd.Group, cmd.Code, StReady, cmd.P2, cmd.P3, cmd.P4);
}

QByteArray TMatrixDevice::FirmwareFrame(const TSimFrame& header, const QByteArray& data)
{
    auto& s = FState;
    auto answer = [&](uint8_t status) {
        return Reply(header.Group, header.Code, status, header.P2, header.P3, header.P4);
    };
    const QByteArray key = FrameKey(header, data);
    if (key == FWrite.LastFrame) return answer(StAccepted);
    const bool last = header.P1Lo() == StLast;
    if (FWrite.Done || header.P3 != FWrite.Mcu || header.P4 != uint16_t(FWrite.NextBlock) ||
        (!last && data.size() != BlockDataMax))
        return answer(StRefused);
    if (s.DeclineAfterFrames >= 0 && FWrite.Frames >= s.DeclineAfterFrames) {
        FWrite = TWriteState();
        FDataMode = TDataMode();
        return answer(StDeclined);
    }
    FWrite.Data += data;
    FWrite.LastFrame = key;
    ++FWrite.NextBlock;
    ++FWrite.Frames;
    if (!last) return answer(StAccepted);
    FWrite.Done = true;
    s.FirmwareParts[FWrite.PartIdentity] = FWrite.Data;
    s.FirmwareVersions[FWrite.PartIdentity] = FWrite.PartVersion;
    if (header.Group == GrFirmware && header.Code == FwMain) {
        // The main MCU restarts into its new firmware once the answer is out.
        ++s.Reboots;
        FSilentUntilMs = FNowMs + s.RebootSilenceMs;
    }
    return answer(StAccepted);
}
