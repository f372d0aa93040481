#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <stdexcept>

class QUdpSocket;

// A UDP socket failure; what() is the text shown to the user.
class EUDPSockError : public std::runtime_error
{
public:
    explicit EUDPSockError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString Text() const { return QString::fromStdString(what()); }
};

// The IPv4 datagram socket of the module discovery. Received datagrams are
// delivered by DataReceived on the owning thread, from whatever event loop
// runs (the link controller's waits run one).
class TNMUDP : public QObject
{
    Q_OBJECT
public:
    explicit TNMUDP(QObject* owner = nullptr);
    ~TNMUDP() override;

    QString RemoteHost() const { return FRemoteHost; }
    void SetRemoteHost(const QString& host) { FRemoteHost = host; }
    quint16 RemotePort() const { return FRemotePort; }
    void SetRemotePort(quint16 port) { FRemotePort = port; }
    quint16 LocalPort() const { return FLocalPort; }
    int ReportLevel() const { return FReportLevel; }
    void SetReportLevel(int level) { FReportLevel = level; }

    // Closes the socket and binds a new one to 0.0.0.0:port. Throws
    // EUDPSockError naming the port when that fails (port taken, ...).
    void BindLocalPort(quint16 port);
    bool EnableBroadcast();
    bool SetDontLinger();
    // Sends one datagram to RemoteHost:RemotePort; returns the bytes sent.
    // Throws EUDPSockError when there is no socket, nothing to send, the host
    // cannot be resolved or the system refuses the send.
    int SendDatagram(const char* buffer, int length);
    // The last received datagram.
    QByteArray ReadDatagram() const { return FLast; }
    void Close();

    // This computer's address: the first IPv4 address the local host name
    // resolves to; empty when the lookup fails.
    static QString LocalHostIP();
    // Every IPv4 address of this computer: those of its interfaces and the
    // host-name lookup's (which on Linux is often only 127.0.1.1).
    static QStringList OwnAddresses();

signals:
    void DataReceived(int numberBytes, const QString& fromIP, quint16 port);

private:
    void OnReadyRead();

    QUdpSocket* FSocket = nullptr;
    QString FRemoteHost = QStringLiteral("255.255.255.255");
    quint16 FRemotePort = 0;
    quint16 FLocalPort = 0;
    int FReportLevel = 1;
    QByteArray FLast;
};
