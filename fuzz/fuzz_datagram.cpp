// Search and configuration datagrams from the network: any bytes, as a
// datagram on the search port (first input byte even) or the configuration
// port (odd). Datagrams are taken record by record as the link does: a search
// answer always gives eight fields whose tag can never shift the fields of a
// device entry; a configuration answer gives a result of 0, 1 or 2.
#include "link/ModuleRecords.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace ModuleRecord;
    if (size < 1) return 0;
    const bool search = (data[0] & 1) == 0;
    const uint8_t* b = data + 1;
    const int n = int(size - 1);
    const int record = search ? SearchSize : ConfigSize;
    if (n == 0 || n % record != 0) return 0; // the link drops such a datagram whole
    for (int at = 0; at < n; at += record) {
        const uint8_t* r = b + at;
        if (search) {
            const QStringList fields = SearchRecordFields(r);
            if (fields.size() != 8) std::abort();
            const QString& tag = fields.at(6);
            if (tag.contains(QLatin1Char('[')) || tag.contains(QLatin1Char(']')) ||
                tag.toUtf8().size() > TagSize || CleanTag(tag) != tag)
                std::abort();
            for (const QChar c : tag)
                if (c.unicode() < 0x20) std::abort();
        } else {
            const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
            (void)AnswerNamesOtherModule(r, mac);
            const int result = ConfigStatusResult(r[74]);
            if (result < 0 || result > 2) std::abort();
            (void)TagFromField(r + 26);
        }
    }
    return 0;
}
