#include "NMUDP.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

#include "SocketOptions.h"

TNMUDP::TNMUDP(QObject* owner) : QObject(owner) {}

TNMUDP::~TNMUDP()
{
    Close();
}

void TNMUDP::Close()
{
    if (!FSocket) return;
    FSocket->disconnect(this);
    FSocket->close();
    FSocket->deleteLater();
    FSocket = nullptr;
}

void TNMUDP::BindLocalPort(quint16 port)
{
    Close();
    FLocalPort = port;
    FSocket = new QUdpSocket(this);
    // Shared so that a second program of ours (a simulator on the same host)
    // may bind too; a program holding the port exclusively still refuses us.
    // ShareAddress does that on Unix, ReuseAddressHint on Windows.
    if (!FSocket->bind(QHostAddress::AnyIPv4, port,
                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        const QString why = FSocket->errorString();
        Close();
        throw EUDPSockError(QStringLiteral("UDP port %1 cannot be opened: %2").arg(port).arg(why));
    }
    // A fresh socket sends no broadcasts until asked to (Qt allows them).
    SocketOptions::SetBroadcast(FSocket->socketDescriptor(), false);
    connect(FSocket, &QUdpSocket::readyRead, this, &TNMUDP::OnReadyRead);
}

bool TNMUDP::EnableBroadcast()
{
    return FSocket && SocketOptions::SetBroadcast(FSocket->socketDescriptor(), true);
}

bool TNMUDP::SetDontLinger()
{
    // Lingering concerns stream sockets only; a datagram socket has nothing to keep.
    return FSocket != nullptr;
}

int TNMUDP::SendDatagram(const char* buffer, int length)
{
    if (length <= 0) throw EUDPSockError(QStringLiteral("Invalid buffer"));
    if (!FSocket) throw EUDPSockError(QStringLiteral("UDP socket not open"));
    QHostAddress to;
    if (!to.setAddress(FRemoteHost)) {
        const QHostInfo info = QHostInfo::fromName(FRemoteHost);
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                to = a;
                break;
            }
        if (to.isNull()) throw EUDPSockError(QStringLiteral("Host Lookup Canceled"));
    }
    if (to.toIPv4Address() == 0) throw EUDPSockError(QStringLiteral("Null Remote Address"));
    const qint64 sent = FSocket->writeDatagram(buffer, length, to, FRemotePort);
    if (sent < 0)
        throw EUDPSockError(QStringLiteral("Sending to %1:%2 failed: %3")
                                .arg(to.toString())
                                .arg(FRemotePort)
                                .arg(FSocket->errorString()));
    return int(sent);
}

void TNMUDP::OnReadyRead()
{
    while (FSocket && FSocket->hasPendingDatagrams()) {
        const QNetworkDatagram d = FSocket->receiveDatagram(2048);
        if (!d.isValid()) continue;
        FLast = d.data();
        bool ok = false;
        const quint32 v4 = d.senderAddress().toIPv4Address(&ok);
        const QString from = ok ? QStringLiteral("%1.%2.%3.%4")
                                      .arg(v4 >> 24)
                                      .arg((v4 >> 16) & 0xFF)
                                      .arg((v4 >> 8) & 0xFF)
                                      .arg(v4 & 0xFF)
                                : QString();
        emit DataReceived(int(FLast.size()), from, quint16(d.senderPort()));
    }
}

QString TNMUDP::LocalHostIP()
{
    const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName().left(128));
    for (const QHostAddress& a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) return a.toString();
    return QString();
}

QStringList TNMUDP::OwnAddresses()
{
    QStringList own;
    const QString looked = LocalHostIP();
    if (!looked.isEmpty()) own << looked;
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !own.contains(a.toString()))
            own << a.toString();
    return own;
}
