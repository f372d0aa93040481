// The EDID file content test: any bytes, as an EDID file of that content.
// Accepted content is 256 or 257 bytes with the EDID header and a zero sum,
// and what is taken is its first 256 bytes.
#include "link/EdidData.h"
#include "link/Packet.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QByteArray edid;
    if (!EdidData::ContentOk(bytes, &edid)) return 0;
    static const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if ((size != 256 && size != 257) || edid != bytes.left(EdidData::Size) ||
        std::memcmp(data, header, 8) != 0 || SumCheck(data, EdidData::Size) != 0)
        std::abort();
    (void)EdidData::SaveFileName(QString::fromLatin1(bytes.left(64)));
    return 0;
}
