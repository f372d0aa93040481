#pragma once

#include <QByteArray>
#include <cstdint>

// The simulator's own view of the wire. It is written from the protocol
// description and shares nothing with the controller's code, so that a
// misread constant on one side shows up as a failing exchange instead of
// being mirrored on both.
namespace SimWire
{
constexpr uint8_t Head1 = 0xA5;
constexpr uint8_t Head2 = 0x5B;
constexpr int FrameBytes = 13;  // command packets and plain replies
constexpr int BlockBytes = 270; // 13-byte header, data sum, 256 data bytes
constexpr int BlockDataMax = 256;

// Status bytes in p1 low byte.
constexpr uint8_t StRefused = 0xFF;
constexpr uint8_t StReady = 0xAA;    // also "more blocks follow"
constexpr uint8_t StLast = 0x56;     // 'V': last block
constexpr uint8_t StDeclined = 0x44; // 'D': firmware part declined
constexpr uint8_t StAccepted = 0x00;

constexpr uint16_t Query = 254;
constexpr uint16_t On = 0x0F;
constexpr uint16_t Off = 0xF0;
constexpr uint16_t PowerGuard3 = 38731;
constexpr uint16_t PowerGuard4 = 27659;
constexpr uint16_t EdidPrepare = 0xF0;
constexpr uint16_t EdidAllInputs = 0xF0FE;

// Groups and the codes the matrix answers.
constexpr uint8_t GrStatus = 1, GrRouting = 2, GrEdid = 3, GrIr = 4, GrAudio = 6, GrPower = 16;
constexpr uint8_t GrFirmware = 0x20; // firmware parts
constexpr uint8_t GrSystem = 128;    // the reboot
constexpr uint8_t StProbe = 1, StSize = 2, StVersion = 3, StInput = 4, StOutput = 5;
constexpr uint8_t StApmGet = 10, StApmSet = 11, StBeeperGet = 12, StBeeperSet = 13;
constexpr uint8_t StKeysGet = 14, StKeysSet = 15;
constexpr uint8_t RtGet = 1, RtSet = 3;
constexpr uint8_t EdAllMode = 1, EdOneMode = 2, EdCopyAll = 3, EdCopyOne = 4, EdRead = 5;
constexpr uint8_t EdWriteAll = 6, EdWrite = 7, EdPrepare = 8, EdDefaultAll = 9, EdDefaultOne = 10;
constexpr uint8_t EdControlMode = 11;
constexpr uint8_t IrSet = 3, IrGet = 4;
constexpr uint8_t AuSet = 5, AuGet = 6;
constexpr uint8_t PwGet = 1, PwSet = 2;
constexpr uint8_t SyReboot = 2;
constexpr uint8_t FwMain = 1, FwSlave = 2; // part codes of the firmware transfer
constexpr uint16_t FwPrepareErase = 0x80, FwPrepareWrite = 0x10;

// Two's complement of the byte sum: the whole frame then sums to zero.
uint8_t NegSum(const char* bytes, int count);
} // namespace SimWire

// One command packet or plain reply as the simulated matrix reads and writes it.
struct TSimFrame {
    uint8_t Group = 0;
    uint8_t Code = 0;
    uint16_t P1 = 0, P2 = 0, P3 = 0, P4 = 0;

    uint8_t P1Lo() const { return uint8_t(P1 & 0xFF); }
    // Reads 13 bytes; *sumOk tells whether the checksum byte is right.
    static TSimFrame FromBytes(const char* b, bool* sumOk = nullptr);
    QByteArray ToBytes() const;
    static QByteArray Make(uint8_t group, uint8_t code, uint16_t p1, uint16_t p2 = 0,
                           uint16_t p3 = 0, uint16_t p4 = 0);
    // A data block as the matrix sends it: padded to 270 bytes.
    static QByteArray Block(uint8_t group, uint8_t code, bool last, uint16_t p3, uint16_t p4,
                            const QByteArray& data);
};
