#pragma once

#include "SimLine.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;
class QSocketNotifier;

// The simulated matrix, reachable over TCP and a pseudo-terminal at once.
// One device model and one fault plan serve both lines.
class TMatrixSim : public QObject
{
    Q_OBJECT
public:
    explicit TMatrixSim(QObject* parent = nullptr);
    ~TMatrixSim() override;

    TMatrixDevice& Device() { return FDevice; }
    TFaultPlan& Faults() { return FFaults; }

    // Listens on address:port (port 0 picks a free one).
    bool ListenTcp(const QHostAddress& address, quint16 port, QString* error = nullptr);
    quint16 TcpPort() const;
    // Opens a pseudo-terminal and publishes its slave as a symlink at `link`
    // (empty: no symlink). SlavePath() is the device to open.
    bool OpenPty(const QString& link, QString* error = nullptr);
    QString SlavePath() const { return FSlavePath; }
    QString PtyLink() const { return FLink; }
    // Hangs the serial line up, as a USB adapter does when it is pulled: the
    // controller's port sees the master go away. OpenPty(PtyLink()) plugs it
    // in again.
    void ClosePty();

    void SetBaud(int baud);
    bool SetLogFile(const QString& path);
    // Drops the TCP peer, as a module does when its cable is pulled.
    void DropTcpPeer();
    // Resets the TCP connection (RST), as a module does when it restarts.
    void ResetTcpPeer();

    TSimLine* TcpLine() { return FTcpLine; }
    TSimLine* PtyLine() { return FPtyLine; }

signals:
    void FrameHandled();

private:
    void OnNewConnection();
    void OnPtyReadable();
    void WritePty(const QByteArray& bytes);

    TMatrixDevice FDevice;
    TFaultPlan FFaults;
    TSimLine* FTcpLine;
    TSimLine* FPtyLine;
    QTcpServer* FServer = nullptr;
    QPointer<QTcpSocket> FPeer;
    int FMaster = -1;
    int FSlaveKeep = -1;
    QSocketNotifier* FPtyNotifier = nullptr;
    QString FSlavePath;
    QString FLink;
    QFile FLog;
};
