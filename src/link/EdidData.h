#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// EDID data as the matrix stores it and the EDID files hold it: 256 bytes.
namespace EdidData
{
constexpr int Size = 256;

// The EDID content test: the buffer holds 256 or 257 bytes, the first 256 sum
// to 0 modulo 256 and begin with 00 FF FF FF FF FF FF 00. On success `edid`
// gets those 256 bytes.
bool ContentOk(const QByteArray& buffer, QByteArray* edid = nullptr);

// The EDID mode list as it is offered: the mode names table without its last
// entry ("Auto EDID"); item 0 is the prompt "Select EDID", the last item
// "Default EDID".
QStringList ModeListNames();
// The mode word of item `index` of a mode list: a user memory item gives
// 0xF100, 0xF200, ...; any other item 0xF0 and the table code of its text
// (0xFF when the text is not in the table). The last item ("Default EDID")
// has its own commands and no word.
uint16_t ModeWord(const QStringList& items, int index);

// Save names end in ".bin": any other extension gets ".bin" appended.
QString SaveFileName(const QString& name);
} // namespace EdidData
