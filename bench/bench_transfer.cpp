// Block transfer throughput against the simulator pacing a pseudo-terminal at
// 57600 baud 8N1, with the product's timings: a 64 KiB firmware part and a
// 256-byte EDID read, each set against the time its bytes need on the line.
#include "SimServers.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

static constexpr int Baud = 57600;

// Runs `transfer` and prints its time, the line's bound and their ratio.
static bool Measure(const char* name, TMatrixSim& sim, const std::function<bool()>& transfer)
{
    TSimLine* line = sim.PtyLine();
    const qint64 in = line->BytesIn();
    const qint64 out = line->BytesOut();
    QElapsedTimer clock;
    clock.start();
    const bool ok = transfer();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (!ok) {
        std::fprintf(stderr, "bench: %s failed\n", name);
        return false;
    }
    const qint64 bytes = (line->BytesIn() - in) + (line->BytesOut() - out);
    const double bound = double(bytes) * 10 * 1000 / Baud;
    std::printf("bench: %s_time_ms %.1f ms\n", name, ms);
    std::printf("bench: %s_bound_ms %.1f ms\n", name, bound);
    std::printf("bench: %s_line_ratio %.3f ratio (target >= 0.97)\n", name, bound / ms);
    std::fflush(stdout);
    return true;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    TMatrixSim sim;
    sim.Device().LoadEdids(QStringLiteral(":/edid"));
    sim.Device().State().Power = true;
    QString error;
    if (!sim.OpenPty(dir.filePath(QStringLiteral("ttyBENCH")), &error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return 1;
    }
    sim.SetBaud(Baud);

    TProcessFlags flags;
    TQMCOMControl link(&flags);
    link.SetControlMode(cmCOM);
    link.SetComPort(sim.PtyLink());
    if (!link.Connect()) {
        std::fprintf(stderr, "bench: cannot open %s\n", qPrintable(sim.PtyLink()));
        return 1;
    }

    QByteArray part(64 * 1024, '\0');
    QRandomGenerator random(42);
    for (char& c : part)
        c = char(random.bounded(256));
    link.EdidDownloadBuffer() = part;
    bool ok = Measure("fw_part", sim, [&] {
        TCommandReply reply;
        link.WriteFirmwarePart(
            TCommandPacket::Make(Cmd::FirmwareGroup, Cmd::FirmwareSlaveCode, 1, 0, 1, 0), reply);
        return reply.Ok && sim.Device().State().FirmwareParts.value(0x0201) == part;
    });
    ok = Measure("edid_read", sim,
                 [&] {
                     TCommandReply reply;
                     link.ReadBlocks(Cmd::EdidRead.Packet(0xF001), reply);
                     return reply.Ok && link.EdidReadBuffer() == sim.Device().State().OutputEdid[0];
                 }) &&
         ok;
    return ok ? 0 : 1;
}
