#include "EdidData.h"

#include "Packet.h"

namespace EdidData
{

bool ContentOk(const QByteArray& buffer, QByteArray* edid)
{
    if (buffer.size() != Size && buffer.size() != Size + 1) return false;
    const QByteArray bytes = buffer.left(Size);
    if (SumCheck(bytes) != 0) return false;
    if (!bytes.startsWith(QByteArray::fromHex("00FFFFFFFFFFFF00"))) return false;
    if (edid) *edid = bytes;
    return true;
}

} // namespace EdidData
