#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <stdexcept>

class QSerialPort;

// A serial port failure: the code names the step that failed; the number and
// the detail are the serial port's own error (its code and its text).
class EComPort : public std::runtime_error
{
public:
    EComPort(int code, int osError, const QString& detail = QString());
    int Code() const { return FCode; }
    int OsError() const { return FOsError; }
    static QString Message(int code);

private:
    int FCode;
    int FOsError;
};

// Error codes of EComPort.
enum TComError {
    ceOpen = 1,
    ceWrite = 2,
    ceRead = 3,
    ceAsync = 4,
    cePurge = 5,
    ceAsyncStatus = 6,
    ceSetState = 7,
    ceTimeouts = 8,
    ceSetup = 9,
    ceClearError = 10,
};

// The serial transport: 57600 8N1, no flow control, DTR and RTS held off.
// Received bytes are delivered on the owning thread through RxBuf, all bytes
// waiting at that moment in one call.
class TComPort : public QObject
{
    Q_OBJECT
public:
    explicit TComPort(QObject* owner = nullptr);
    ~TComPort() override;

    QString Port() const { return FPort; }
    void SetPort(const QString& name) { FPort = name; }
    bool Connected() const { return FConnected; }

    void Open();  // throws EComPort
    void Close(); // throws EComPort
    void ClearBuffers(bool input, bool output);
    int Write(const QByteArray& bytes); // blocking; throws EComPort
    int InputCount() const;

    static constexpr int BaudRate = 57600;

signals:
    void RxBuf(const QByteArray& bytes);
    // The device went away or can no longer be read (unplugged adapter,
    // hung-up pseudo-terminal). The owner closes the port.
    void DeviceLost();

private:
    void ReadWaiting();
    [[noreturn]] void Fail(int code);
    QSerialPort* FSerial;
    QString FPort = QStringLiteral("COM1");
    bool FConnected = false;
};
