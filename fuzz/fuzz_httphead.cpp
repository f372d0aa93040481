// matrix-server's request heads and chunked bodies as a hostile client may
// send them: never a crash, never a read past the bytes given, never a body
// over its limit.
#include "HttpHead.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    constexpr int maxHead = 16 * 1024;
    THttpRequest request;
    int used = 0;
    QString why;
    const int status = HttpHead::Parse(bytes, maxHead, &request, &used, &why);
    if (status == 0 || status != 200) return 0;
    if (used <= 0 || used > bytes.size() || used > maxHead) std::abort();
    if (request.Path.isEmpty() || !request.Path.startsWith(QLatin1Char('/'))) std::abort();
    if (!request.Chunked) return 0;
    // The rest as a chunked body, fed in pieces of every size up to 7 bytes.
    constexpr qint64 limit = 4096;
    THttpChunks chunks(limit);
    QByteArray body;
    QByteArray pending;
    int pos = used;
    int piece = 1;
    while (pos < bytes.size()) {
        pending += bytes.mid(pos, piece);
        pos += piece;
        piece = piece % 7 + 1;
        int taken = 0;
        const THttpChunks::TState state = chunks.Feed(pending, &body, &taken);
        if (taken < 0 || taken > pending.size() || body.size() > limit) std::abort();
        pending.remove(0, taken);
        if (state != THttpChunks::csMore) break;
    }
    return 0;
}
