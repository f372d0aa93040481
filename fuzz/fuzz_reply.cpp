// Reply acceptance: any 13 bytes against any command. An accepted reply is
// exactly the answer to that command (header, group, code, checksum).
#include "link/Packet.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 + TCommandPacket::Size) return 0;
    const uint8_t group = data[0], code = data[1];
    const uint8_t* reply = data + 2;
    for (bool refusal : {true, false}) {
        const TReplyCheck check = CheckReply(reply, group, code, refusal);
        if (check != rcOk) continue;
        const bool answer = reply[0] == 0xA5 && reply[1] == 0x5B && reply[2] == group &&
                            reply[3] == code && CommandChecksum(reply) == reply[12];
        if (!answer || (refusal && reply[4] == rsRefused)) std::abort();
    }
    const TCommandPacket p = TCommandPacket::FromBytes(reply);
    if (p.Bytes() != TCommandPacket::FromBytes(p.ToByteArray()).Bytes()) std::abort();
    return 0;
}
