#include "SimFrame.h"

uint8_t SimWire::NegSum(const char* bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += uint8_t(bytes[i]);
    return uint8_t(0x100 - (sum & 0xFF));
}

static uint16_t Word(const char* b)
{
    return uint16_t(uint8_t(b[0]) | (uint8_t(b[1]) << 8));
}

static void PutWord(QByteArray& out, int at, uint16_t v)
{
    out[at] = char(v & 0xFF);
    out[at + 1] = char(v >> 8);
}

TSimFrame TSimFrame::FromBytes(const char* b, bool* sumOk)
{
    TSimFrame f;
    f.Group = uint8_t(b[2]);
    f.Code = uint8_t(b[3]);
    f.P1 = Word(b + 4);
    f.P2 = Word(b + 6);
    f.P3 = Word(b + 8);
    f.P4 = Word(b + 10);
    if (sumOk) *sumOk = SimWire::NegSum(b, 12) == uint8_t(b[12]);
    return f;
}

QByteArray TSimFrame::ToBytes() const
{
    QByteArray out(SimWire::FrameBytes, '\0');
    out[0] = char(SimWire::Head1);
    out[1] = char(SimWire::Head2);
    out[2] = char(Group);
    out[3] = char(Code);
    PutWord(out, 4, P1);
    PutWord(out, 6, P2);
    PutWord(out, 8, P3);
    PutWord(out, 10, P4);
    out[12] = char(SimWire::NegSum(out.constData(), 12));
    return out;
}

QByteArray TSimFrame::Make(uint8_t group, uint8_t code, uint16_t p1, uint16_t p2, uint16_t p3,
                           uint16_t p4)
{
    return TSimFrame{group, code, p1, p2, p3, p4}.ToBytes();
}

QByteArray TSimFrame::Block(uint8_t group, uint8_t code, bool last, uint16_t p3, uint16_t p4,
                            const QByteArray& data)
{
    QByteArray out =
        Make(group, code, last ? SimWire::StLast : SimWire::StReady, uint16_t(data.size()), p3, p4);
    out += char(SimWire::NegSum(data.constData(), int(data.size())));
    out += data;
    out.append(SimWire::BlockBytes - int(out.size()), '\0');
    return out;
}
