// Data-block frames from the matrix: any 270 bytes against any command. An
// accepted frame yields at most 256 data bytes that match its data checksum,
// and a frame built from them is accepted again with the same data.
#include "link/Packet.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t group = data[0], code = data[1];
    uint8_t frame[FrameSizeBlock] = {};
    std::memcpy(frame, data + 2, std::min<size_t>(size - 2, FrameSizeBlock));
    QByteArray got;
    if (!TDataBlockFrame::Accept(frame, group, code, &got)) return 0;
    if (got.size() > BlockDataMax) std::abort();
    const bool last = frame[4] == rsLastBlock;
    const QByteArray again = TDataBlockFrame::Build(
        group, code, last, uint16_t(frame[8] | frame[9] << 8), uint16_t(frame[10] | frame[11] << 8),
        reinterpret_cast<const uint8_t*>(got.constData()), int(got.size()), true);
    if (again.size() != FrameSizeBlock) std::abort();
    QByteArray back;
    if (!TDataBlockFrame::Accept(reinterpret_cast<const uint8_t*>(again.constData()), group, code,
                                 &back) ||
        back != got)
        std::abort();
    return 0;
}
