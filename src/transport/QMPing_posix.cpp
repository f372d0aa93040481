// ICMP echo on Linux and macOS: an ICMP datagram socket where the system
// allows it unprivileged, else a raw socket (root).
#include "QMPing.h"

#ifndef Q_OS_WIN

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// ICMP message types (the systems' own names for them differ).
constexpr uint8_t IcmpEchoReply = 0;
constexpr uint8_t IcmpUnreachable = 3;
constexpr uint8_t IcmpEcho = 8;

uint16_t InternetChecksum(const uint8_t* b, int n)
{
    uint32_t sum = 0;
    for (int i = 0; i + 1 < n; i += 2)
        sum += uint32_t(b[i] << 8 | b[i + 1]);
    if (n & 1) sum += uint32_t(b[n - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}
} // namespace

void TNMPing::RunOne(quint32 target, int sequence)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (fd < 0) fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd < 0) {
        emit OnNoSocket(QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    const int ttl = 255;
    ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    const uint16_t id = uint16_t(::getpid() ^ 0x5A5A);
    QByteArray packet(8 + PacketSize, '\x23');
    auto* p = reinterpret_cast<uint8_t*>(packet.data());
    p[0] = IcmpEcho;
    p[1] = 0;
    p[2] = p[3] = 0;
    p[4] = uint8_t(id >> 8);
    p[5] = uint8_t(id);
    p[6] = uint8_t(sequence >> 8);
    p[7] = uint8_t(sequence);
    const uint16_t sum = InternetChecksum(p, int(packet.size()));
    p[2] = uint8_t(sum >> 8);
    p[3] = uint8_t(sum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(target);
    const QString host = Dotted(target);
    QElapsedTimer clock;
    clock.start();
    if (::sendto(fd, p, size_t(packet.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) <
        0) {
        const int e = errno;
        ::close(fd);
        if (e == ENETUNREACH || e == EHOSTUNREACH)
            emit OnHostUnreachable(host);
        else
            emit OnTimeOut();
        return;
    }

    enum { waiting, answered, unreachable, timedOut } outcome = waiting;
    QString from;
    int size = 0;
    QEventLoop loop;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        uint8_t buf[2048];
        sockaddr_in src{};
        socklen_t len = sizeof src;
        const ssize_t got =
            ::recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&src), &len);
        if (got <= 0) return;
        // A raw socket, and a datagram socket on macOS, hand over the IP
        // header too (an ICMP type never has 4 in its high nibble); Linux's
        // datagram socket gives the ICMP message alone and keeps foreign
        // echoes away itself.
        const bool withHeader = (buf[0] >> 4) == 4;
        const int off = withHeader ? (buf[0] & 0x0F) * 4 : 0;
        if (got < off + 8) return;
        const uint8_t* icmp = buf + off;
        const int icmpLen = int(got) - off;
        const int seq = icmp[6] << 8 | icmp[7];
        if (icmp[0] == IcmpEchoReply && seq == sequence &&
            (!withHeader || (icmp[4] << 8 | icmp[5]) == id)) {
            from = Dotted(ntohl(src.sin_addr.s_addr));
            size = icmpLen - 8;
            outcome = answered;
            loop.quit();
        } else if (withHeader && icmp[0] == IcmpUnreachable && icmpLen >= 8 + 20 + 8) {
            const uint8_t* inner = icmp + 8 + (icmp[8] & 0x0F) * 4;
            if (inner + 8 <= buf + got && inner[0] == IcmpEcho &&
                (inner[4] << 8 | inner[5]) == id) {
                outcome = unreachable;
                loop.quit();
            }
        }
    });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() >= TimeOut) {
            outcome = timedOut;
            loop.quit();
        } else if (Cancelled && Cancelled()) {
            loop.quit();
        }
    });
    tick.start(10);
    loop.exec();
    ::close(fd);
    switch (outcome) {
    case answered:
        emit OnPing(from, size, int(clock.elapsed()));
        break;
    case unreachable:
        emit OnHostUnreachable(host);
        break;
    case timedOut:
        emit OnTimeOut();
        break;
    case waiting: // cancelled
        break;
    }
}

#endif // Q_OS_WIN
