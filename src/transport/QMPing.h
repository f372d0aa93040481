#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QTimer;

// ICMP echo: one request of PacketSize bytes of 0x23 with time-to-live 255,
// through the system's own means (an ICMP socket on Linux and macOS, the ICMP
// API on Windows). Each request ends in one of the signals.
class TNMPing : public QObject
{
    Q_OBJECT
public:
    explicit TNMPing(QObject* owner = nullptr);

    QString Host;
    int PacketSize = 32;
    int TimeOut = 3000; // ms per echo
    int Pings = 1;
    // Ends a running echo early when it returns true (checked every 10 ms).
    std::function<bool()> Cancelled;

    void RunPings();

signals:
    void OnPing(const QString& host, int size, int timeMs);
    void OnHostUnreachable(const QString& host);
    void OnInvalidHost(const QString& host);
    void OnTimeOut();
    // The system gave no ICMP socket; the text says why.
    void OnNoSocket(const QString& why);

private:
    // One echo to an IPv4 address (host byte order); per system.
    void RunOne(quint32 target, int sequence);
    static QString Dotted(quint32 address);
};

// Turns echoes into a yes/no answer: up to Attempts attempts, each lasting
// until its answer or AttemptMs, and the outcome texts as Log lines
// (" -> " and the target host appended).
class TQMPing : public QObject
{
    Q_OBJECT
public:
    explicit TQMPing(QObject* owner = nullptr);

    enum TPingState {
        psNone = 0,
        psUnreachable = 1,
        psHostInvalid = 2,
        psTimedOut = 3,
        psAnswered = 4
    };

    QString Host = QStringLiteral("0.0.0.0");
    int PingState = psNone;
    int Attempts = 3;
    void SetTimeOut(int ms) { FEcho->TimeOut = ms; }
    void SetAttemptMs(int ms);
    // Stop and the abort flag end the attempts (an unanswered ping would
    // otherwise hold the window for the full attempts).
    void SetCancelled(std::function<bool()> cancelled);
    TNMPing* Echo() const { return FEcho; }
    QTimer* AttemptTimer() const { return FAttemptTimer; }

    bool PingHost();

signals:
    void Log(const QString& text);

private:
    TNMPing* FEcho;
    QTimer* FAttemptTimer;
    std::function<bool()> FCancelled;
};
