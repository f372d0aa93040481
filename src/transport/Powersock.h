#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

class QTcpSocket;

// A TCP client failure; what() is the text ("Connection Timed out", ...).
class ESockError : public std::runtime_error
{
public:
    explicit ESockError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString Text() const { return QString::fromStdString(what()); }
};

// The TCP transport. All of it runs on the owning thread; connect waits in a
// nested event loop so the window stays alive, and ReadAvailable never blocks.
class TPowersock : public QObject
{
    Q_OBJECT
public:
    explicit TPowersock(QObject* owner = nullptr);
    ~TPowersock() override;

    QString Host() const { return FHost; }
    void SetHost(const QString& host) { FHost = host; }
    quint16 Port() const { return FPort; }
    void SetPort(quint16 port) { FPort = port; }
    int TimeOut() const { return FTimeOut; }
    void SetTimeOut(int ms) { FTimeOut = ms; }
    bool Connected() const { return FConnected; }

    void Connect(); // throws ESockError
    void Disconnect();
    // Ends a running connect or send at once ("Connection Canceled").
    void Cancel();
    // Looked at on every poll tick of a connect; true cancels it.
    void SetAbortCheck(std::function<bool()> check, int pollMs)
    {
        FAbortCheck = std::move(check);
        FPollMs = pollMs;
    }
    int SendBuffer(const QByteArray& bytes); // throws ESockError
    // Takes all received bytes without waiting (empty when none).
    QByteArray ReadAvailable();
    void DiscardInput();

    static QString SocketErrorText(int number);

signals:
    void DataArrived();
    void ConnectionClosed();
    // Internal: wakes a running connect.
    void CancelRequested();

private:
    void OnDisconnected();
    QTcpSocket* FSocket;
    QString FHost;
    quint16 FPort = 8000;
    int FTimeOut = 0;
    bool FConnected = false;
    bool FCancelled = false;
    std::function<bool()> FAbortCheck;
    int FPollMs = 10;
    // Cleared by the destructor: a connect whose socket was deleted under its
    // wait must not touch it again.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
