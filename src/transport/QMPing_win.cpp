// ICMP echo on Windows: the system's ICMP API (IcmpSendEcho), which needs no
// privileges. It blocks for at most TimeOut, as the echo always did there.
#include "QMPing.h"

#ifdef Q_OS_WIN

#include <QtEndian>

#include <vector>

// These in this order: each needs the ones before.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

void TNMPing::RunOne(quint32 target, int sequence)
{
    Q_UNUSED(sequence); // the API matches its own replies
    const HANDLE icmp = IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE) {
        emit OnNoSocket(QStringLiteral("Error initializing ICMP Handle"));
        return;
    }
    QByteArray data(PacketSize, '\x23');
    IP_OPTION_INFORMATION options{};
    options.Ttl = 255;
    // Room for one reply, its data and an ICMP error carrying our header.
    std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + size_t(PacketSize) + 8 + 44);
    const IPAddr to = qToBigEndian<quint32>(target);
    const DWORD count = IcmpSendEcho(icmp, to, data.data(), WORD(data.size()), &options,
                                     reply.data(), DWORD(reply.size()), DWORD(TimeOut));
    const DWORD error = count == 0 ? GetLastError() : 0;
    IcmpCloseHandle(icmp);
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    switch (count > 0 ? echo->Status : error) {
    case IP_SUCCESS:
        emit OnPing(Dotted(qFromBigEndian<quint32>(quint32(echo->Address))), int(echo->DataSize),
                    int(echo->RoundTripTime));
        break;
    case IP_DEST_NET_UNREACHABLE:
    case IP_DEST_HOST_UNREACHABLE:
        emit OnHostUnreachable(Dotted(target));
        break;
    case IP_REQ_TIMED_OUT:
        emit OnTimeOut();
        break;
    default: // other outcomes raise nothing; the attempt runs out
        break;
    }
}

#endif // Q_OS_WIN
