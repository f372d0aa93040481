#include "ComPort.h"

#include <QSerialPort>

static const char* const ComMessages[] = {
    "",
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
};

QString EComPort::Message(int code)
{
    if (code < 1 || code > 22) return QString();
    return QString::fromLatin1(ComMessages[code]);
}

EComPort::EComPort(int code, int osError, const QString& detail)
    : std::runtime_error(
          (QStringLiteral("%1 (win error code: %2)").arg(Message(code)).arg(osError) +
           (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail))
              .toStdString()),
      FCode(code), FOsError(osError)
{
}

TComPort::TComPort(QObject* owner) : QObject(owner), FSerial(new QSerialPort(this))
{
    connect(FSerial, &QSerialPort::readyRead, this, &TComPort::ReadWaiting);
    connect(FSerial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A hung-up line keeps the port readable with nothing to read: every
        // read fails at once, so waiting on would spin. Both errors end it.
        if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError) && FConnected)
            emit DeviceLost();
    });
}

TComPort::~TComPort()
{
    if (FSerial->isOpen()) FSerial->close();
}

void TComPort::Open()
{
    if (FConnected) return;
    FSerial->setPortName(FPort);
    if (!FSerial->open(QIODevice::ReadWrite)) Fail(ceOpen);
    FConnected = true;
    bool ok = FSerial->setBaudRate(BaudRate) && FSerial->setDataBits(QSerialPort::Data8) &&
              FSerial->setParity(QSerialPort::NoParity) &&
              FSerial->setStopBits(QSerialPort::OneStop) &&
              FSerial->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        const EComPort failure(ceSetState, int(FSerial->error()), FSerial->errorString());
        FSerial->close();
        FConnected = false;
        throw failure;
    }
    // Pseudo-terminals and some adapters have no modem lines; holding them off
    // is best effort.
    FSerial->setDataTerminalReady(false);
    FSerial->setRequestToSend(false);
    FSerial->clearError();
}

void TComPort::Close()
{
    if (!FConnected) return;
    FSerial->close();
    FConnected = false;
}

void TComPort::ClearBuffers(bool input, bool output)
{
    if (!FConnected) return;
    QSerialPort::Directions d;
    if (input) d |= QSerialPort::Input;
    if (output) d |= QSerialPort::Output;
    if (!FSerial->clear(d)) Fail(cePurge);
}

int TComPort::Write(const QByteArray& bytes)
{
    if (!FConnected) throw EComPort(ceWrite, 0);
    qint64 n = FSerial->write(bytes);
    if (n != bytes.size()) Fail(ceWrite);
    // Blocks until the bytes have left, within the write time-out of
    // 100 ms per byte plus one second.
    const int limit = 100 * int(bytes.size()) + 1000;
    while (FSerial->bytesToWrite() > 0) {
        if (!FSerial->waitForBytesWritten(limit)) Fail(ceWrite);
    }
    return int(n);
}

int TComPort::InputCount() const
{
    return FConnected ? int(FSerial->bytesAvailable()) : 0;
}

void TComPort::Fail(int code)
{
    throw EComPort(code, int(FSerial->error()), FSerial->errorString());
}

void TComPort::ReadWaiting()
{
    QByteArray bytes = FSerial->readAll();
    if (!bytes.isEmpty()) emit RxBuf(bytes);
}
