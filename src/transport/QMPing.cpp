#include "QMPing.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

// The echo itself (TNMPing::RunOne) differs per system: QMPing_posix.cpp,
// QMPing_win.cpp.

QString TNMPing::Dotted(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xFF)
        .arg((a >> 8) & 0xFF)
        .arg(a & 0xFF);
}

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
