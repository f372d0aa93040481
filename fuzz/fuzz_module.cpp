// The 32-byte answers of the TCP module query and reset, any content,
// against a sealed query and a sealed reset. An answer taken is no echo, has
// its checksum right and carries the request's header.
#include "link/ModuleRecords.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < size_t(LDCD::Size)) return 0;
    uint8_t answer[LDCD::Size];
    std::memcpy(answer, data, LDCD::Size);
    for (uint8_t kind : {LDCD::Query, LDCD::Reset}) {
        uint8_t request[LDCD::Size] = {};
        request[16] = kind;
        if (size > size_t(LDCD::Size))
            std::memcpy(request + 17, data + LDCD::Size, std::min<size_t>(size - LDCD::Size, 12));
        LDCD::Seal(request);
        if (!LDCD::ChecksumGood(request)) std::abort();
        if (LDCD::AnswerGood(answer, request)) {
            if (!LDCD::ChecksumGood(answer) ||
                std::memcmp(answer, LDCD::Header.data(), LDCD::Header.size()) != 0 ||
                std::memcmp(answer, request, LDCD::Size) == 0)
                std::abort();
        }
    }
    (void)LDCD::Dump(QStringLiteral("rcv LDCD:   "), answer);
    return 0;
}
