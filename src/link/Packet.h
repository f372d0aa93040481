#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

// The 13-byte command packet every command and plain reply uses.
struct TCommandPacket {
    uint8_t Header1 = 0xA5;
    uint8_t Header2 = 0x5B;
    uint8_t Group = 0;
    uint8_t Code = 0;
    uint16_t P1 = 0;
    uint16_t P2 = 0;
    uint16_t P3 = 0;
    uint16_t P4 = 0;
    uint8_t Checksum = 0;

    static constexpr int Size = 13;

    static TCommandPacket Make(uint8_t group, uint8_t code, uint16_t p1 = 0, uint16_t p2 = 0,
                               uint16_t p3 = 0, uint16_t p4 = 0);
    // Reads 13 bytes as they stand on the wire (no checks).
    static TCommandPacket FromBytes(const uint8_t* bytes);
    static TCommandPacket FromBytes(const QByteArray& bytes);
    // The bytes as they stand, checksum field included unchanged.
    std::array<uint8_t, 13> Bytes() const;
    QByteArray ToByteArray() const;

    uint8_t P1Lo() const { return uint8_t(P1 & 0xFF); }
    uint8_t P2Lo() const { return uint8_t(P2 & 0xFF); }
};

// The reply record: the last reply frame received and whether it was accepted.
struct TCommandReply {
    TCommandPacket Packet;
    uint8_t Ok = 0;

    TCommandReply() { Clear(); }
    void Clear()
    {
        Packet = TCommandPacket();
        Packet.Header1 = Packet.Header2 = 0;
        Ok = 0;
    }
    uint8_t P1Lo() const { return Packet.P1Lo(); }
    uint8_t P2Lo() const { return Packet.P2Lo(); }
};

// Status values the matrix carries in p1 low byte.
enum TReplyStatus : uint8_t {
    rsRefused = 0xFF,
    rsReady = 0xAA,
    rsLastBlock = 0x56,
    rsDeclined = 0x44,
    rsAccepted = 0x00,
};

constexpr int FrameSizeCommand = 13;
constexpr int FrameSizeBlock = 270;
constexpr int FrameSizeModule = 32;
constexpr int BlockDataMax = 256;

// (0 - sum) mod 256 over the given bytes.
uint8_t SumCheck(const uint8_t* bytes, int count);
inline uint8_t SumCheck(const QByteArray& bytes)
{
    return SumCheck(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()));
}
// Checksum of packet bytes 0..11.
uint8_t CommandChecksum(const uint8_t* bytes13);
// The frame to send for a request: fixed header, the caller's group, code and
// parameters, fresh checksum (the caller's header and checksum are ignored).
std::array<uint8_t, 13> BuildCommandFrame(const TCommandPacket& request);

enum TReplyCheck {
    rcOk,
    rcRefused,      // p1 low byte 0xFF
    rcBadChecksum,
    rcBadHeader,
    rcWrongCommand, // group or code differ from the command sent
};
// Plain reply acceptance, checks in order. `checkRefusal` = false skips the
// first check (block transfers interpret p1 themselves).
TReplyCheck CheckReply(const uint8_t* reply13, uint8_t group, uint8_t code,
                       bool checkRefusal = true);

// A data-block frame: 13-byte header, data checksum, data, zero filler.
struct TDataBlockFrame {
    // Builds a frame for `data` (at most 256 bytes). `padded` fills with zeros to 270 bytes,
    // otherwise the frame is 14 + data bytes long.
    static QByteArray Build(uint8_t group, uint8_t code, bool last, uint16_t p3, uint16_t p4,
                            const uint8_t* data, int count, bool padded);
    // Accepts a frame read from the matrix: header checks 1..4, p1 low byte 0xAA or 0x56,
    // p2 <= 256, data checksum. On success `data` gets the p2 data bytes.
    static bool Accept(const uint8_t* frame270, uint8_t group, uint8_t code, QByteArray* data);
};
