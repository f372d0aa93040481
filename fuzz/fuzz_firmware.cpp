// The firmware file parser: any bytes. A file it accepts is whole: every part
// has its header checksum right and all its data, and the parts account for
// every byte but a zero padding too short for a header; cut anywhere in its
// first header it is refused with a reason.
#include "link/FirmwareFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const TFirmwareFile file = TFirmwareFile::Parse(bytes);
    (void)file.ProblemText();
    for (const TFirmwarePart& part : file.Parts)
        (void)part.Name();
    if (!file.Ok()) return 0;
    if (file.Parts.isEmpty() || file.Size != qint64(size)) std::abort();
    qint64 total = 0;
    for (const TFirmwarePart& part : file.Parts) {
        if (!part.ChecksumOk || !part.DataComplete || part.Data.size() != qint64(part.DataLength))
            std::abort();
        total += TFirmwareFile::HeaderSize + part.DataLength;
    }
    const qint64 tail = qint64(size) - total;
    if (tail < 0 || tail >= TFirmwareFile::HeaderSize) std::abort();
    for (qint64 i = total; i < qint64(size); ++i)
        if (data[i] != 0) std::abort();
    // The same file cut at every byte of its first header is refused.
    for (int cut = 0; cut < TFirmwareFile::HeaderSize; ++cut) {
        const QByteArray part = bytes.left(cut);
        const bool zeros = part.count('\0') == cut; // padding alone: no part at all
        const TFirmwareFile head = TFirmwareFile::Parse(part);
        if (head.Problem != (zeros ? TFirmwareFile::fpEmpty : TFirmwareFile::fpTrailingBytes) ||
            head.ProblemText().isEmpty())
            std::abort();
    }
    return 0;
}
