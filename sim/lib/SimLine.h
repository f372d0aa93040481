#pragma once

#include "FaultPlan.h"
#include "MatrixDevice.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <functional>

// One line to the simulated matrix: bytes in from a transport, through the
// device model and the fault plan, bytes out to the transport, optionally paced
// at a baud rate (10 bits per byte) in both directions and logged as JSON lines.
class TSimLine : public QObject
{
    Q_OBJECT
public:
    TSimLine(TMatrixDevice* device, TFaultPlan* faults, QObject* parent = nullptr);

    void SetBaud(int baud) { FBaud = baud; }
    // Frame log shared by the lines of one simulator (not owned).
    void SetLog(QFile* log) { FLog = log; }
    void SetWriter(std::function<void(const QByteArray&)> w) { FWriter = std::move(w); }
    void SetCloser(std::function<void()> c) { FCloser = std::move(c); }

    // A new peer: partial frames and pacing are forgotten.
    void Restart();
    void Receive(const QByteArray& bytes);

    qint64 BytesIn() const { return FBytesIn; }
    qint64 BytesOut() const { return FBytesOut; }
    // Turnarounds of the peer: from the last byte of a reply on the wire to the
    // first byte of the next command, in nanoseconds, kept from the call that
    // starts the record.
    const QList<qint64>& Turnarounds() const { return FTurnarounds; }
    void RecordTurnarounds(bool on)
    {
        FRecordTurnarounds = on;
        FTurnarounds.clear();
        FLastTxNs = -1;
    }

signals:
    void FrameHandled();

private:
    void Deliver(const QByteArray& bytes);
    void Send(const QByteArray& bytes);
    void SendDue();
    void Log(const char* dir, const QByteArray& bytes);
    // Runs `f` at `dueNs` on the clock (precise to well under a millisecond).
    void At(qint64 dueNs, std::function<void()> f);
    qint64 WireNs(qint64 bytes) const;

    TMatrixDevice* FDevice;
    TFaultPlan* FFaults;
    std::function<void(const QByteArray&)> FWriter;
    std::function<void()> FCloser;
    QElapsedTimer FClock;
    QFile* FLog = nullptr;
    int FBaud = 0;
    qint64 FRxBusyNs = 0;
    qint64 FTxBusyNs = 0;
    int FFramesSinceStart = 0;
    int FGeneration = 0;
    qint64 FBytesIn = 0;
    qint64 FBytesOut = 0;
    QList<QPair<qint64, QByteArray>> FOutQueue; // (due, bytes) in line order
    bool FRecordTurnarounds = false;
    qint64 FLastTxNs = -1;
    QList<qint64> FTurnarounds;
};
