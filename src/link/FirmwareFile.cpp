#include "FirmwareFile.h"

#include "Commands.h"
#include "QMCOMControl.h"

#include "BoundedFile.h"

#include <QFile>
#include <algorithm>
#include <cstring>

QString TFirmwarePart::Name() const
{
    return QStringLiteral("Part_%1.%2.%3.%4").arg(Code).arg(P1).arg(P3).arg(P4);
}

TCommandPacket TFirmwarePart::Packet() const
{
    return TCommandPacket::Make(Group, Code, P1, P2, P3, P4);
}

static uint16_t Word(const uint8_t* b)
{
    return uint16_t(b[0] | (b[1] << 8));
}

TFirmwareFile TFirmwareFile::Parse(const QByteArray& bytes)
{
    TFirmwareFile file;
    const auto* all = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qint64 size = bytes.size();
    qint64 pos = 0;
    file.Size = size;
    auto fail = [&](TProblem problem) {
        file.Problem = problem;
        file.ProblemPart = int(file.Parts.size()) + (problem == fpTrailingBytes ? 1 : 0);
        file.ProblemOffset = pos;
    };
    while (pos < size) {
        if (size - pos < HeaderSize) {
            // Zeros too few for a header read as an empty part that sends
            // nothing: padding, not damage.
            if (std::all_of(all + pos, all + size, [](uint8_t b) { return b == 0; })) break;
            fail(fpTrailingBytes);
            return file;
        }
        const uint8_t* h = all + pos;
        TFirmwarePart part;
        part.Number = int(file.Parts.size()) + 1;
        part.Offset = pos;
        part.Group = h[128];
        part.Code = h[129];
        part.P1 = Word(h + 130);
        part.P2 = Word(h + 132);
        part.P3 = Word(h + 134);
        part.P4 = Word(h + 136);
        part.DataLength =
            quint32(h[138] | (h[139] << 8) | (h[140] << 16)) | (quint32(h[141]) << 24);
        part.ChecksumOk = SumCheck(h, 142) == h[142];
        const qint64 dataStart = pos + HeaderSize;
        part.DataComplete = qint64(part.DataLength) <= size - dataStart;
        file.Parts << part;
        // Behind a broken header nothing can be trusted, not even its length.
        if (!part.ChecksumOk) {
            fail(fpBadChecksum);
            file.ProblemPart = part.Number;
            return file;
        }
        if (!part.DataComplete) {
            fail(fpDataPastEnd);
            file.ProblemPart = part.Number;
            return file;
        }
        TFirmwarePart& stored = file.Parts.last();
        stored.Data = bytes.mid(dataStart, part.DataLength);
        TQMCOMControl::UnscrambleBuffer(reinterpret_cast<uint8_t*>(stored.Data.data()),
                                        int(stored.Data.size()));
        pos = dataStart + part.DataLength;
    }
    if (file.Parts.isEmpty()) {
        file.Problem = fpEmpty;
        file.ProblemPart = 1;
    }
    return file;
}

TFirmwareFile TFirmwareFile::Load(const QString& path)
{
    TFirmwareFile file;
    QByteArray bytes;
    QString error;
    switch (BoundedFile::Read(path, MaxFileSize, &bytes, &error)) {
    case BoundedFile::brOk:
        return Parse(bytes);
    case BoundedFile::brTooLarge:
        error = QStringLiteral("the file is too large for a firmware file (%1)").arg(error);
        break;
    case BoundedFile::brUnreadable:
        break;
    }
    file.Problem = fpUnreadable;
    file.ReadError = error;
    return file;
}

QString TFirmwareFile::ProblemText() const
{
    const QString where =
        QStringLiteral("Part %1 at byte %2: ").arg(ProblemPart).arg(ProblemOffset);
    switch (Problem) {
    case fpNone:
        return QString();
    case fpUnreadable:
        return QStringLiteral("Cannot read the firmware file: %1").arg(ReadError);
    case fpEmpty:
        return QStringLiteral("The firmware file holds no part");
    case fpBadChecksum:
        return where + QStringLiteral("header checksum wrong");
    case fpDataPastEnd: {
        const TFirmwarePart& p = Parts.last();
        return where +
               QStringLiteral("data length %1 runs past the end of the file").arg(p.DataLength);
    }
    case fpTrailingBytes:
        return where +
               QStringLiteral("%1 bytes left, too few for a part header").arg(Size - ProblemOffset);
    }
    return QString();
}

QByteArray TFirmwareFile::BuildHeader(uint8_t code, uint16_t mcu, uint16_t ver1, uint16_t ver2,
                                      quint32 length)
{
    QByteArray h(HeaderSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(h.data());
    std::memcpy(b, Text1, std::strlen(Text1));
    std::memcpy(b + 64, Text2, std::strlen(Text2));
    auto put16 = [&](int at, uint16_t v) {
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
    };
    b[128] = Cmd::FirmwareGroup;
    b[129] = code;
    put16(130, mcu);
    put16(132, 0);
    put16(134, ver1);
    put16(136, ver2);
    for (int i = 0; i < 4; ++i)
        b[138 + i] = uint8_t(length >> (8 * i));
    b[142] = SumCheck(b, 142);
    return h;
}

QByteArray TFirmwareFile::BuildPart(uint8_t code, uint16_t mcu, uint16_t ver1, uint16_t ver2,
                                    const QByteArray& image)
{
    QByteArray data = image;
    TQMCOMControl::ScrambleBuffer(reinterpret_cast<uint8_t*>(data.data()), int(data.size()));
    return BuildHeader(code, mcu, ver1, ver2, quint32(image.size())) + data;
}
