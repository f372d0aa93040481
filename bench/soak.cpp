// matrix-soak (scripts/soak): commands and EDID read/write cycles against the
// simulator over TCP and a pseudo-terminal, with a fault injected into about
// one exchange in ten: a dropped reply, a bad checksum, a 0xFF status, a reply
// split into pieces, extra bytes after it, a delay near the time-out, or (on
// TCP) the peer dropping the connection mid-command.
//
// Every accepted reply is checked against the device: a route query must name
// the output asked for and the input the device shows there; a route set must
// echo its input and output, and the device must show it. Every transfer
// reported complete must have moved exactly the bytes the device holds.
//
//   bench: soak_commands N
//   bench: soak_false_accepts N       accepted, but not the answer to that command
//   bench: soak_corrupt_transfers N   reported complete with wrong bytes
//   bench: soak_hangs N               past its time-out budget
//   bench: soak_rss_growth_kb N       resident memory after the last command
//                                     minus after the first 1,000
// (soak_crashes is printed by scripts/soak, which watches this process.)
#include "SimServers.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <unistd.h>

namespace
{

struct TCounts {
    int Commands = 0;
    int Accepted = 0;
    int Faults = 0;
    int FalseAccepts = 0;
    int Transfers = 0;
    int CorruptTransfers = 0;
    int Hangs = 0;
    qint64 RssAfterWarmUpKb = -1;
};

// Resident memory now, from /proc (Linux only; -1 elsewhere). Freed heap the
// allocator still holds is handed back first: what is left is what the
// program keeps.
qint64 ResidentKb()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2) return -1;
    return fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

// Memory is measured once the first 1,000 commands have filled every cache
// and pool that is meant to stay.
const int WarmUpCommands = 1000;

class TSoak
{
public:
    TSoak(TMatrixSim& sim, TQMCOMControl& link, const TTiming& timing, bool tcp, quint32 seed)
        : FSim(sim), FLink(link), FTiming(timing), FTcp(tcp), FRandom(seed)
    {
    }

    void Run(int commands, int cycles, TCounts& c)
    {
        const int every = cycles > 0 ? qMax(1, commands / cycles) : commands + 1;
        for (int i = 0; i < commands; ++i) {
            Command(c);
            if ((i + 1) % every == 0) Cycle(c);
            if (c.Commands == WarmUpCommands) c.RssAfterWarmUpKb = ResidentKb();
        }
        FSim.Faults().Clear();
    }

private:
    // One exchange in ten gets one fault on its first reply (the retry is clean).
    void MaybeFault(TCounts& c, int replies = 1)
    {
        FSim.Faults().Clear();
        if (FRandom.bounded(10) != 0) return;
        ++c.Faults;
        const int kinds = FTcp ? 7 : 6;
        const QString at = QStringLiteral("/after=%1/count=1").arg(FRandom.bounded(replies));
        const int waitMs = FTiming.PollLimit * FTiming.PollTickMs;
        switch (FRandom.bounded(kinds)) {
        case 0:
            FSim.Faults().Add(QStringLiteral("silence") + at);
            break;
        case 1:
            FSim.Faults().Add(QStringLiteral("badsum") + at);
            break;
        case 2:
            FSim.Faults().Add(QStringLiteral("refuse") + at);
            break;
        case 3:
            FSim.Faults().Add(QStringLiteral("split:%1+%2")
                                  .arg(1 + FRandom.bounded(6))
                                  .arg(1 + FRandom.bounded(8)) +
                              at);
            break;
        case 4:
            FSim.Faults().Add(QStringLiteral("pad:%1").arg(1 + FRandom.bounded(20)) + at);
            break;
        case 5: // just inside or just past the wait for one reply
            FSim.Faults().Add(
                QStringLiteral("delay:%1").arg(waitMs * (85 + FRandom.bounded(25)) / 100) + at);
            break;
        case 6: // the peer goes away while the command waits
            QTimer::singleShot(int(FRandom.bounded(3)), &FSim, [this] { FSim.DropTcpPeer(); });
            break;
        }
    }

    // The longest a command may take: every try waits its full time plus the
    // pause after a rejected reply, a reconnect on top.
    qint64 BudgetMs(int exchanges) const
    {
        const qint64 tryMs =
            qint64(FTiming.PollLimit) * FTiming.PollTickMs + FTiming.RejectPauseMs + 20;
        return exchanges * FTiming.Tries * tryMs + FTiming.ConnectTimeoutMs + 1000;
    }

    bool EnsureConnected() { return FLink.Connected() || FLink.Connect(); }

    void Command(TCounts& c)
    {
        ++c.Commands;
        const int out = 1 + int(FRandom.bounded(4));
        const bool set = FRandom.bounded(2) == 0;
        const int in = 1 + int(FRandom.bounded(4));
        QElapsedTimer clock;
        clock.start();
        if (!EnsureConnected()) {
            CheckTime(clock, 1, c);
            return;
        }
        MaybeFault(c);
        TCommandReply reply;
        FLink.ExecuteCommand(
            set ? Catalogue::RouteSet(in, out).Packet : Catalogue::RouteQuery(out).Packet, reply);
        CheckTime(clock, 1, c);
        if (!reply.Ok) return;
        ++c.Accepted;
        const auto& state = FSim.Device().State();
        const bool right =
            set ? reply.P1Lo() == in && reply.P2Lo() == out && state.Route[size_t(out - 1)] == in
                : reply.P1Lo() == out && reply.P2Lo() == state.Route[size_t(out - 1)];
        if (!right) {
            ++c.FalseAccepts;
            std::fprintf(stderr, "soak: false accept %s out %d in %d: %s\n", set ? "set" : "query",
                         out, in, reply.Packet.ToByteArray().toHex(' ').constData());
        }
    }

    // An EDID read of a display whose EDID just changed, then a download of
    // fresh bytes to an input.
    void Cycle(TCounts& c)
    {
        auto& state = FSim.Device().State();
        const int out = 1 + int(FRandom.bounded(4));
        QByteArray edid(256, '\0');
        for (char& b : edid)
            b = char(FRandom.bounded(256));
        state.OutputEdid[size_t(out - 1)] = edid;
        QElapsedTimer clock;
        clock.start();
        if (!EnsureConnected()) return CheckTime(clock, 1, c);
        MaybeFault(c, 3);
        TCommandReply reply;
        FLink.EdidReadBuffer().clear();
        FLink.ReadBlocks(Cmd::EdidRead.Packet(uint16_t(0xF000 + out)), reply);
        CheckTime(clock, 3, c);
        ++c.Transfers;
        if (reply.Ok && FLink.EdidReadBuffer().left(256) != edid) {
            ++c.CorruptTransfers;
            std::fprintf(stderr,
                         "soak: EDID read of output %d reported complete with wrong bytes\n", out);
        }

        const int in = 1 + int(FRandom.bounded(4));
        QByteArray data(256, '\0');
        for (char& b : data)
            b = char(FRandom.bounded(256));
        state.InputEdid[size_t(in - 1)].clear();
        clock.restart();
        if (!EnsureConnected()) return CheckTime(clock, 1, c);
        MaybeFault(c, 3);
        FLink.EdidDownloadBuffer() = data;
        reply = TCommandReply();
        FLink.WriteBlocks(Cmd::EdidWrite.Packet(uint16_t(0xF000 + in)), reply);
        CheckTime(clock, 3, c);
        ++c.Transfers;
        if (reply.Ok && state.InputEdid[size_t(in - 1)] != data) {
            ++c.CorruptTransfers;
            std::fprintf(
                stderr, "soak: EDID download to input %d reported complete with wrong bytes\n", in);
        }
    }

    void CheckTime(const QElapsedTimer& clock, int exchanges, TCounts& c)
    {
        if (clock.elapsed() <= BudgetMs(exchanges)) return;
        ++c.Hangs;
        std::fprintf(stderr, "soak: %lld ms past a budget of %lld ms\n", clock.elapsed(),
                     BudgetMs(exchanges));
    }

    TMatrixSim& FSim;
    TQMCOMControl& FLink;
    TTiming FTiming;
    bool FTcp;
    QRandomGenerator FRandom;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int commands = args.size() > 1 ? args[1].toInt() : 10000;
    const int cycles = args.size() > 2 ? args[2].toInt() : 200;

    QTemporaryDir dir;
    TMatrixSim sim;
    sim.Device().LoadEdids(QStringLiteral(":/edid"));
    sim.Device().State().Power = true;
    QString error;
    if (!sim.ListenTcp(QHostAddress::LocalHost, 0, &error) ||
        !sim.OpenPty(dir.filePath(QStringLiteral("ttySOAK")), &error)) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(error));
        return 1;
    }

    // Short waits, so that thousands of faults fit in minutes; the counts of
    // tries are the product's.
    TTiming timing = TTiming::Fast();
    timing.PollLimit = 40;
    timing.LateReplyWindowMs = 2000;
    TCounts counts;

    TProcessFlags tcpFlags;
    TQMCOMControl tcp(&tcpFlags, timing);
    tcp.SetControlMode(cmLAN);
    tcp.SetDeviceIP(QStringLiteral("127.0.0.1"));
    tcp.SetDevicePort(sim.TcpPort());
    TSoak(sim, tcp, timing, true, 11).Run(commands / 2, cycles / 2, counts);
    tcp.Disconnect();

    TProcessFlags ptyFlags;
    TQMCOMControl pty(&ptyFlags, timing);
    pty.SetControlMode(cmCOM);
    pty.SetComPort(sim.PtyLink());
    TSoak(sim, pty, timing, false, 12).Run(commands - commands / 2, cycles - cycles / 2, counts);
    const qint64 rssEndKb = ResidentKb();
    pty.Disconnect();

    std::fprintf(stderr, "soak: %d faults injected, %d commands accepted, %d transfers\n",
                 counts.Faults, counts.Accepted, counts.Transfers);
    std::printf("bench: soak_commands %d commands\n", counts.Commands);
    std::printf("bench: soak_false_accepts %d replies (target 0)\n", counts.FalseAccepts);
    std::printf("bench: soak_corrupt_transfers %d transfers (target 0)\n", counts.CorruptTransfers);
    std::printf("bench: soak_hangs %d exchanges (target 0)\n", counts.Hangs);
    if (counts.RssAfterWarmUpKb >= 0 && rssEndKb >= 0)
        std::printf("bench: soak_rss_growth_kb %lld KiB (target <= 512)\n",
                    static_cast<long long>(rssEndKb - counts.RssAfterWarmUpKb));
    std::fflush(stdout);
    return counts.FalseAccepts || counts.CorruptTransfers || counts.Hangs ? 1 : 0;
}
