#pragma once

#include <QByteArray>

// EDID data as the matrix stores it and the EDID files hold it: 256 bytes.
namespace EdidData
{
constexpr int Size = 256;

// The EDID content test: the buffer holds 256 or 257 bytes, the first 256 sum
// to 0 modulo 256 and begin with 00 FF FF FF FF FF FF 00. On success `edid`
// gets those 256 bytes.
bool ContentOk(const QByteArray& buffer, QByteArray* edid = nullptr);
} // namespace EdidData
