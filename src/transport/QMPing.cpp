#include "QMPing.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
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

QString Dotted(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xFF)
        .arg((a >> 8) & 0xFF)
        .arg(a & 0xFF);
}
} // namespace

TNMPing::TNMPing(QObject* owner) : QObject(owner) {}

void TNMPing::RunPings()
{
    QHostAddress address;
    if (!address.setAddress(Host) || address.protocol() != QAbstractSocket::IPv4Protocol) {
        address.clear();
        for (const QHostAddress& a : QHostInfo::fromName(Host).addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                address = a;
                break;
            }
        if (address.isNull()) {
            emit OnInvalidHost(Host);
            return;
        }
    }
    for (int n = 0; n < Pings; ++n) {
        QEventLoop settle;
        settle.processEvents();
        if (Cancelled && Cancelled()) return;
        RunOne(address.toIPv4Address(), n + 1);
    }
}

void TNMPing::RunOne(quint32 target, int sequence)
{
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) {
        emit OnNoSocket(QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    const int ttl = 255;
    ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    const uint16_t id = uint16_t(::getpid() ^ 0x5A5A);
    QByteArray packet(8 + PacketSize, '\x23');
    auto* p = reinterpret_cast<uint8_t*>(packet.data());
    p[0] = ICMP_ECHO;
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
        int off = 0;
        if (raw) {
            off = (buf[0] & 0x0F) * 4;
            if (got < off + 8) return;
        }
        const uint8_t* icmp = buf + off;
        const int icmpLen = int(got) - off;
        const int seq = icmp[6] << 8 | icmp[7];
        if (icmp[0] == ICMP_ECHOREPLY && seq == sequence &&
            (!raw || (icmp[4] << 8 | icmp[5]) == id)) {
            from = Dotted(ntohl(src.sin_addr.s_addr));
            size = icmpLen - 8;
            outcome = answered;
            loop.quit();
        } else if (raw && icmp[0] == ICMP_DEST_UNREACH && icmpLen >= 8 + 20 + 8) {
            const uint8_t* inner = icmp + 8 + (icmp[8] & 0x0F) * 4;
            if (inner + 8 <= buf + got && inner[0] == ICMP_ECHO &&
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

TQMPing::TQMPing(QObject* owner)
    : QObject(owner), FEcho(new TNMPing(this)), FAttemptTimer(new QTimer(this))
{
    FEcho->Pings = 1;
    FEcho->PacketSize = 32;
    FEcho->TimeOut = 3000;
    FAttemptTimer->setSingleShot(true);
    FAttemptTimer->setInterval(3500);
    connect(FEcho, &TNMPing::OnHostUnreachable, this, [this](const QString&) {
        PingState = psUnreachable;
        FAttemptTimer->stop();
        emit Log(QStringLiteral("unreachable -> ") + Host);
    });
    connect(FEcho, &TNMPing::OnInvalidHost, this, [this](const QString&) {
        PingState = psHostInvalid;
        FAttemptTimer->stop();
        emit Log(QStringLiteral("host invalid -> ") + Host);
    });
    connect(FEcho, &TNMPing::OnTimeOut, this, [this] {
        PingState = psTimedOut;
        emit Log(QStringLiteral("time out -> ") + Host);
    });
    connect(FEcho, &TNMPing::OnNoSocket, this, [this](const QString& why) {
        // No way to ask: the module counts as not reachable.
        PingState = psUnreachable;
        FAttemptTimer->stop();
        emit Log(QStringLiteral("no ICMP socket (") + why + QStringLiteral(") -> ") + Host);
    });
    connect(FEcho, &TNMPing::OnPing, this, [this](const QString& host, int size, int time) {
        if (host != Host || size != FEcho->PacketSize) return;
        PingState = psAnswered;
        FAttemptTimer->stop();
        emit Log(QStringLiteral("Reply from ") + host + QStringLiteral(": size=") +
                 QString::number(size) + QStringLiteral(" time=") + QString::number(time) +
                 QStringLiteral("ms -> ") + Host);
        emit Log(QStringLiteral("ping ok -> ") + Host);
    });
}

void TQMPing::SetAttemptMs(int ms)
{
    FAttemptTimer->setInterval(ms);
}

void TQMPing::SetCancelled(std::function<bool()> cancelled)
{
    FCancelled = cancelled;
    FEcho->Cancelled = std::move(cancelled);
}

bool TQMPing::PingHost()
{
    PingState = psNone;
    FEcho->Host = Host;
    for (int attempt = 0; attempt < Attempts && PingState != psAnswered; ++attempt) {
        if (FCancelled && FCancelled()) break;
        QEventLoop settle;
        settle.processEvents();
        FAttemptTimer->start();
        FEcho->RunPings();
        if (FAttemptTimer->isActive()) {
            QEventLoop loop;
            QTimer tick;
            connect(FAttemptTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
            connect(&tick, &QTimer::timeout, &loop, [&] {
                if (!FAttemptTimer->isActive() || (FCancelled && FCancelled())) loop.quit();
            });
            tick.start(10);
            if (FAttemptTimer->isActive()) loop.exec();
            FAttemptTimer->stop();
        }
    }
    return PingState == psAnswered;
}
