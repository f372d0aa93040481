#pragma once

#include "Packet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

// One part of a firmware file: the packet that opens its transfer and its
// data, unscrambled.
struct TFirmwarePart {
    int Number = 0;    // 1-based position in the file
    qint64 Offset = 0; // of its header in the file
    uint8_t Group = 0;
    uint8_t Code = 0; // 1: main MCU (erase transfer), 2: slave MCU
    uint16_t P1 = 0;  // MCU number
    uint16_t P2 = 0;
    uint16_t P3 = 0; // version, first number
    uint16_t P4 = 0; // version, second number
    quint32 DataLength = 0;
    bool ChecksumOk = false;
    bool DataComplete = false; // the file holds all DataLength bytes
    QByteArray Data;           // unscrambled; empty unless the part is whole

    // "Part_" + code + "." + p1 + "." + p3 + "." + p4 (p2 is not part of it).
    QString Name() const;
    TCommandPacket Packet() const;
    uint16_t Identity() const { return uint16_t((Code << 8) | (P1 & 0xFF)); }
    uint16_t Version() const { return uint16_t(((P3 & 0xFF) << 8) | (P4 & 0xFF)); }
};

// A firmware file: parts of a 143-byte header and the scrambled part data,
// back to back. Parsing checks the whole file before anyone sends a byte.
class TFirmwareFile
{
public:
    enum TProblem {
        fpNone,
        fpUnreadable,    // the file cannot be read (or is too large to be one)
        fpEmpty,         // no part at all
        fpBadChecksum,   // a part header's checksum is wrong
        fpDataPastEnd,   // a part's data length runs past the end of the file
        fpTrailingBytes, // bytes after the last part too few for a header
    };

    static constexpr int HeaderSize = 143;
    static constexpr const char* Text1 = "DON'T MODIFY THIS FILE MANNUALLY!";
    static constexpr const char* Text2 = "FIRMWARE FOR Korvelan";
    // Far above what the matrix's processors hold; also the ceiling of a
    // processor image given to the merge.
    static constexpr qint64 MaxFileSize = qint64(16) << 20;

    QList<TFirmwarePart> Parts;
    TProblem Problem = fpNone;
    int ProblemPart = 0;      // 1-based position of the part with the problem
    qint64 ProblemOffset = 0; // where that part's header starts
    QString ReadError;        // with fpUnreadable
    qint64 Size = 0;          // of the whole file

    bool Ok() const { return Problem == fpNone; }
    // What is wrong, with the part's position ("" when nothing is).
    QString ProblemText() const;

    static TFirmwareFile Parse(const QByteArray& bytes);
    static TFirmwareFile Load(const QString& path);

    // The 143-byte header the merge writes for an image.
    static QByteArray BuildHeader(uint8_t code, uint16_t mcu, uint16_t ver1, uint16_t ver2,
                                  quint32 length);
    // Header followed by the image scrambled.
    static QByteArray BuildPart(uint8_t code, uint16_t mcu, uint16_t ver1, uint16_t ver2,
                                const QByteArray& image);
};
