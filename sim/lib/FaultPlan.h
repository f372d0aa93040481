#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>

// Faults the simulator injects into its replies, deterministic for a seed.
//
// A plan is KIND[:ARG][/cmd=G.C][/p2=N][/after=N][/count=N]: the fault applies
// to replies of command (G, C) only, and of those only to the ones whose p2 is
// N, when given (a routing reply's p2 is its output); among those, to the
// replies after the first N (default 0) and to at most count of them (default
// all).
class TFaultPlan
{
public:
    enum TKind {
        fkSilence, // no reply
        fkDrop,    // drop a reply with probability ARG (0..1)
        fkBadSum,  // wrong checksum (command checksum, or data checksum of a block)
        fkRefuse,  // 0xFF status in p1 low byte, checksum right
        fkSplit,   // write in pieces of the given sizes, ARG = 5+8
        fkPad,     // ARG extra bytes after the reply
        fkDelay,   // delay the reply by ARG ms
        fkClose,   // close the connection after ARG frames received
    };
    struct TFault {
        TKind Kind = fkSilence;
        double Arg = 0;
        QList<int> Pieces;
        int After = 0;
        int Count = -1;
        int Seen = 0;
        int Group = -1; // -1: any command
        int Code = -1;
        int P2 = -1; // -1: any p2
    };
    struct TPiece {
        int DelayMs = 0;
        QByteArray Bytes;
    };

    // What became of the last reply the plan was asked about.
    enum TVerdict {
        fvIntact,    // sent as the device made it (perhaps late or in pieces)
        fvDropped,   // not sent
        fvRefused,   // sent with the refusal status, by the device or the plan
        fvCorrupted, // sent with a wrong checksum
    };

    explicit TFaultPlan(quint32 seed = 1) : FRandom(seed) {}
    bool Add(const QString& text, QString* error = nullptr);
    void Clear() { FFaults.clear(); }
    void SetSeed(quint32 seed) { FRandom.seed(seed); }
    bool IsEmpty() const { return FFaults.isEmpty(); }

    // The pieces to write for one reply; empty when the reply is dropped.
    QList<TPiece> Apply(const QByteArray& reply);
    // Frames after which the connection is closed; -1 for never.
    int CloseAfter() const;

    TVerdict LastVerdict() const { return FLast; }
    // Replies the plan has been asked about.
    int Replies() const { return FReplies; }

    static QString Help();

private:
    QList<TFault> FFaults;
    QRandomGenerator FRandom;
    TVerdict FLast = fvIntact;
    int FReplies = 0;
};
