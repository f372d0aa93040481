#include "MatrixDevice.h"

#include "link/Commands.h"

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
constexpr uint16_t PrepareErase = 0x80;
constexpr uint16_t PrepareWrite = 0x10;
constexpr int BlockLogLimit = 4096;

QByteArray FrameKey(const TCommandPacket& header, const QByteArray& data)
{
    return header.ToByteArray() + data;
}
} // namespace

void TMatrixDevice::Record(const TCommandPacket& header, bool data, int length)
{
    if (FBlockLog.size() >= BlockLogLimit) FBlockLog.removeFirst();
    FBlockLog << TBlockRecord{header, data, data && FDataMode.Padded, length};
}

void TMatrixDevice::EndBlockTransfers()
{
    FDataMode = TDataMode();
    FRead = TReadState();
    FWrite = TWriteState();
}

QByteArray TMatrixDevice::HandleBlockCommand(const TCommandPacket& cmd, bool* handled)
{
    *handled = true;
    if (cmd.Group == Cmd::EdidRead.Group && cmd.Code == Cmd::EdidRead.Code)
        return EdidReadRequest(cmd);
    if (cmd.Group == Cmd::EdidWrite.Group &&
        (cmd.Code == Cmd::EdidWrite.Code || cmd.Code == Cmd::EdidWriteAll.Code))
        return EdidWriteOpening(cmd);
    if (cmd.Group == Cmd::FirmwareGroup &&
        (cmd.Code == Cmd::FirmwareMainCode || cmd.Code == Cmd::FirmwareSlaveCode))
        return FirmwareCommand(cmd);
    // A reboot forgets every transfer; the reboot itself is an ordinary command.
    if (cmd.Group == Cmd::Reboot.Group && cmd.Code == Cmd::Reboot.Code) EndBlockTransfers();
    *handled = false;
    return QByteArray();
}

QByteArray TMatrixDevice::HandleDataFrame(const TCommandPacket& header, const QByteArray& data,
                                          uint8_t dataChecksum)
{
    Record(header, true, int(data.size()));
    if (SumCheck(data) != dataChecksum)
        return Reply(header.Group, header.Code, rsRefused, header.P2, header.P3, header.P4);
    if (FWrite.Firmware) return FirmwareFrame(header, data);
    return EdidWriteFrame(header, data);
}

QByteArray TMatrixDevice::EdidReadRequest(const TCommandPacket& cmd)
{
    Record(cmd, false, 0);
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
    case rsReady:
        FRead.Offset = 0;
        FRead.BlockSize = 0;
        break;
    case rsAccepted:
        FRead.Offset += FRead.BlockSize;
        break;
    case rsRefused:
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
    const auto* data = reinterpret_cast<const uint8_t*>(FRead.Data.constData()) + FRead.Offset;
    return TDataBlockFrame::Build(FRead.Group, FRead.Code, last, FRead.P3, FRead.P4, data, length,
                                  true);
}

QByteArray TMatrixDevice::EdidWriteOpening(const TCommandPacket& cmd)
{
    Record(cmd, false, 0);
    FWrite = TWriteState();
    FDataMode = TDataMode();
    const uint16_t p1 = cmd.P1;
    const bool one = cmd.Code == Cmd::EdidWrite.Code &&
                     (((p1 >> 8) == 0xF0 && (p1 & 0xFF) >= 1 && (p1 & 0xFF) <= 4) || p1 == 0xF100 ||
                      p1 == 0xF200);
    const bool all = cmd.Code == Cmd::EdidWriteAll.Code && p1 == EdidAllInputsParam;
    if (FState.EdidDipSwitch || !(one || all)) return Refusal(cmd);
    if (FState.EdidWriteNotReady) return Reply(cmd.Group, cmd.Code, rsAccepted, 0, cmd.P3, cmd.P4);
    FWrite.Target = p1;
    FWrite.Code = cmd.Code;
    FDataMode.Active = true;
    FDataMode.Group = cmd.Group;
    FDataMode.Code = cmd.Code;
    FDataMode.Padded = true;
    return Reply(cmd.Group, cmd.Code, rsReady, 0, cmd.P3, cmd.P4);
}

QByteArray TMatrixDevice::EdidWriteFrame(const TCommandPacket& header, const QByteArray& data)
{
    auto answer = [&](uint8_t status) {
        return Reply(header.Group, header.Code, status, header.P2, header.P3, header.P4);
    };
    const QByteArray key = FrameKey(header, data);
    if (key == FWrite.LastFrame) return answer(rsAccepted);
    const bool last = header.P1Lo() == rsLastBlock;
    // Only the last block may be short, and nothing follows it.
    if (FWrite.Done || (!last && data.size() != BlockDataMax)) return answer(rsRefused);
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
                if (t == EdidAllInputsParam || (t & 0xFF) == i) {
                    s.InputEdid[size_t(i - 1)] = FWrite.Data;
                    s.InputEdidMode[size_t(i - 1)] = 19;
                }
            }
        }
    }
    return answer(rsAccepted);
}

QByteArray TMatrixDevice::FirmwareCommand(const TCommandPacket& cmd)
{
    auto& s = FState;
    const uint16_t p1 = cmd.P1;
    if (p1 == PrepareErase || p1 == PrepareWrite) {
        const bool open = FWrite.Firmware && FWrite.Code == cmd.Code && FWrite.NextBlock == 0;
        // A step may come again when its answer was lost.
        if (!open || (p1 == PrepareWrite && FWrite.Prepared < 1)) return Refusal(cmd);
        FWrite.Prepared = p1 == PrepareErase ? qMax(1, FWrite.Prepared) : 2;
        // Once the region is erased the frames come padded to full size.
        FDataMode.Padded = FWrite.Prepared == 2;
        return Reply(cmd.Group, cmd.Code, rsAccepted);
    }
    FWrite = TWriteState();
    FDataMode = TDataMode();
    const int identity = (cmd.Code << 8) | (p1 & 0xFF);
    const int version = ((cmd.P3 & 0xFF) << 8) | (cmd.P4 & 0xFF);
    if (s.DeclineSameOrOlder && s.FirmwareVersions.contains(identity) &&
        version <= s.FirmwareVersions.value(identity))
        return Reply(cmd.Group, cmd.Code, rsDeclined, cmd.P2, cmd.P3, cmd.P4);
    FWrite.Firmware = true;
    FWrite.Code = cmd.Code;
    FWrite.Mcu = p1;
    FWrite.PartIdentity = identity;
    FWrite.PartVersion = version;
    FDataMode.Active = true;
    FDataMode.Group = cmd.Group;
    FDataMode.Code = cmd.Code;
    FDataMode.Padded = false;
    return Reply(cmd.Group, cmd.Code, rsReady, cmd.P2, cmd.P3, cmd.P4);
}

QByteArray TMatrixDevice::FirmwareFrame(const TCommandPacket& header, const QByteArray& data)
{
    auto& s = FState;
    auto answer = [&](uint8_t status) {
        return Reply(header.Group, header.Code, status, header.P2, header.P3, header.P4);
    };
    const QByteArray key = FrameKey(header, data);
    if (key == FWrite.LastFrame) return answer(rsAccepted);
    const bool last = header.P1Lo() == rsLastBlock;
    if (FWrite.Done || header.P3 != FWrite.Mcu || header.P4 != uint16_t(FWrite.NextBlock) ||
        (!last && data.size() != BlockDataMax))
        return answer(rsRefused);
    if (s.DeclineAfterFrames >= 0 && FWrite.Frames >= s.DeclineAfterFrames) {
        FWrite = TWriteState();
        FDataMode = TDataMode();
        return answer(rsDeclined);
    }
    FWrite.Data += data;
    FWrite.LastFrame = key;
    ++FWrite.NextBlock;
    ++FWrite.Frames;
    if (!last) return answer(rsAccepted);
    FWrite.Done = true;
    s.FirmwareParts[FWrite.PartIdentity] = FWrite.Data;
    s.FirmwareVersions[FWrite.PartIdentity] = FWrite.PartVersion;
    if (header.Group == Cmd::FirmwareGroup && header.Code == Cmd::FirmwareMainCode) {
        // The main MCU restarts into its new firmware once the answer is out.
        ++s.Reboots;
        FSilentUntilMs = FNowMs + s.RebootSilenceMs;
    }
    return answer(rsAccepted);
}
