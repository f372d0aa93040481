#include "Packet.h"

#include <cstring>

TCommandPacket TCommandPacket::Make(uint8_t group, uint8_t code, uint16_t p1, uint16_t p2,
                                    uint16_t p3, uint16_t p4)
{
    TCommandPacket p;
    p.Group = group;
    p.Code = code;
    p.P1 = p1;
    p.P2 = p2;
    p.P3 = p3;
    p.P4 = p4;
    p.Checksum = CommandChecksum(p.Bytes().data());
    return p;
}

TCommandPacket TCommandPacket::FromBytes(const uint8_t* b)
{
    TCommandPacket p;
    p.Header1 = b[0];
    p.Header2 = b[1];
    p.Group = b[2];
    p.Code = b[3];
    p.P1 = uint16_t(b[4] | (b[5] << 8));
    p.P2 = uint16_t(b[6] | (b[7] << 8));
    p.P3 = uint16_t(b[8] | (b[9] << 8));
    p.P4 = uint16_t(b[10] | (b[11] << 8));
    p.Checksum = b[12];
    return p;
}

TCommandPacket TCommandPacket::FromBytes(const QByteArray& bytes)
{
    uint8_t b[13] = {};
    std::memcpy(b, bytes.constData(), size_t(qMin<qsizetype>(13, bytes.size())));
    return FromBytes(b);
}

std::array<uint8_t, 13> TCommandPacket::Bytes() const
{
    return {Header1,         Header2,           Group,           Code,
            uint8_t(P1),     uint8_t(P1 >> 8),  uint8_t(P2),     uint8_t(P2 >> 8),
            uint8_t(P3),     uint8_t(P3 >> 8),  uint8_t(P4),     uint8_t(P4 >> 8),
            Checksum};
}

QByteArray TCommandPacket::ToByteArray() const
{
    auto b = Bytes();
    return QByteArray(reinterpret_cast<const char*>(b.data()), 13);
}

uint8_t SumCheck(const uint8_t* bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return uint8_t((256 - (sum & 0xFF)) & 0xFF);
}

uint8_t CommandChecksum(const uint8_t* bytes13) { return SumCheck(bytes13, 12); }

std::array<uint8_t, 13> BuildCommandFrame(const TCommandPacket& request)
{
    TCommandPacket p = request;
    p.Header1 = 0xA5;
    p.Header2 = 0x5B;
    p.Checksum = 0;
    auto b = p.Bytes();
    b[12] = CommandChecksum(b.data());
    return b;
}

TReplyCheck CheckReply(const uint8_t* r, uint8_t group, uint8_t code, bool checkRefusal)
{
    if (checkRefusal && r[4] == 0xFF)
        return rcRefused;
    if (CommandChecksum(r) != r[12])
        return rcBadChecksum;
    if (r[0] != 0xA5 || r[1] != 0x5B)
        return rcBadHeader;
    if (r[2] != group || r[3] != code)
        return rcWrongCommand;
    return rcOk;
}

QByteArray TDataBlockFrame::Build(uint8_t group, uint8_t code, bool last, uint16_t p3,
                                  uint16_t p4, const uint8_t* data, int count, bool padded)
{
    QByteArray frame(padded ? FrameSizeBlock : 14 + count, '\0');
    auto header = BuildCommandFrame(
        TCommandPacket::Make(group, code, last ? 0x56 : 0xAA, uint16_t(count), p3, p4));
    std::memcpy(frame.data(), header.data(), 13);
    frame[13] = char(SumCheck(data, count));
    if (count > 0)
        std::memcpy(frame.data() + 14, data, size_t(count));
    return frame;
}

bool TDataBlockFrame::Accept(const uint8_t* f, uint8_t group, uint8_t code, QByteArray* data)
{
    if (CheckReply(f, group, code, true) != rcOk)
        return false;
    if (f[4] != 0xAA && f[4] != 0x56)
        return false;
    int len = f[6] | (f[7] << 8);
    if (len > BlockDataMax)
        return false;
    if (SumCheck(f + 14, len) != f[13])
        return false;
    if (data)
        *data = QByteArray(reinterpret_cast<const char*>(f + 14), len);
    return true;
}
