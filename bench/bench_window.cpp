// The window while it talks to a matrix behind a 57600-baud paced
// pseudo-terminal, with the product's timings:
//
// - ui_max_stall_ms: the longest gap between two iterations of the window's
//   event loop (a zero timer, run by whichever loop is turning) while a
//   64 KiB firmware part goes over the line. One frame is 16 ms.
// - status_refresh_line_ratio: a full device status refresh (the window's own
//   refresh, switches included) against its bound: the wire time of every
//   command it sends and every reply, plus the pauses the protocol asks for
//   between the input connection queries.
// - status_refresh_gap_ms: the median time, during that refresh, from the last
//   byte of a reply on the wire to the first byte of the next command;
//   status_refresh_window_gap_ms is the window's share of it, from the reply
//   read to the next command written (the rest is the pseudo-terminal's
//   hand-over in the kernel and the wake-ups of both ends).
//
// The simulator runs on a thread of its own.
#include "PeerThread.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"
#include "ui/main/AppWindows.h"
#include "ui/main/CommandRunner.h"
#include "ui/main/DeviceStatusPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

static constexpr int Baud = 57600;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TPeerThread peer;
    TMatrixSim* sim = peer.Sim;
    QString error;
    bool opened = false;
    peer.Run([&] {
        sim->Device().LoadEdids(QStringLiteral(":/edid"));
        sim->Device().State().Power = true;
        opened = sim->OpenPty(dir.filePath(QStringLiteral("ttyBENCH")), &error);
        sim->SetBaud(Baud);
    });
    if (!opened) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return 1;
    }

    TForm1Options options;
    options.SettingsFolder = dir.path();
    std::unique_ptr<TForm1> form = CreateApplicationWindows(options);
    if (form->Terminated()) return 1;
    form->show();
    QApplication::processEvents();
    TQMCOMControl* link = form->Link();
    link->SetControlMode(cmCOM);
    link->SetComPort(sim->PtyLink());
    if (!link->Connect()) {
        std::fprintf(stderr, "bench: cannot open %s\n", qPrintable(sim->PtyLink()));
        return 1;
    }

    // Event-loop iterations: a zero timer fires once per pass of any loop.
    QElapsedTimer clock;
    qint64 last = -1, maxGapNs = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) maxGapNs = qMax(maxGapNs, now - last);
        last = now;
    });

    QByteArray part(64 * 1024, '\0');
    QRandomGenerator random(42);
    for (char& c : part)
        c = char(random.bounded(256));
    link->EdidDownloadBuffer() = part;
    clock.start();
    tick.start();
    TCommandReply reply;
    link->WriteFirmwarePart(
        TCommandPacket::Make(Cmd::FirmwareGroup, Cmd::FirmwareSlaveCode, 1, 0, 1, 0), reply);
    tick.stop();
    bool stored = false;
    peer.Run([&] { stored = sim->Device().State().FirmwareParts.value(0x0201) == part; });
    if (!reply.Ok || !stored) {
        std::fprintf(stderr, "bench: firmware part failed\n");
        return 1;
    }
    std::printf("bench: ui_max_stall_ms %.1f ms (target < 16)\n", double(maxGapNs) / 1e6);
    std::fflush(stdout);

    // A full status refresh, as the window does it.
    TSimLine* line = sim->PtyLine();
    qint64 in = 0, out = 0;
    peer.Run([&] {
        in = line->BytesIn();
        out = line->BytesOut();
        line->RecordTurnarounds(true);
    });
    QElapsedTimer refresh;
    // The window's own part of a turnaround: from the reply's last byte read
    // to the next command handed to the port.
    QList<qint64> own;
    qint64 taken = -1;
    const auto frames =
        QObject::connect(link, &TQMCOMControl::Frame, [&](int dir, const QByteArray&) {
            const qint64 now = refresh.nsecsElapsed();
            if (dir == fdReceived) taken = now;
            if (dir == fdSent && taken >= 0) {
                own.append(now - taken);
                taken = -1;
            }
        });
    refresh.start();
    form->DeviceStatus()->RefreshDeviceStatus();
    QObject::disconnect(frames);
    std::sort(own.begin(), own.end());
    const double ms = double(refresh.nsecsElapsed()) / 1e6;
    QList<qint64> gaps;
    qint64 bytes = 0;
    peer.Run([&] {
        gaps = line->Turnarounds();
        line->RecordTurnarounds(false);
        bytes = (line->BytesIn() - in) + (line->BytesOut() - out);
    });
    std::sort(gaps.begin(), gaps.end());
    const int inputQueries = 4;
    const double bound =
        double(bytes) * 10 * 1000 / Baud + inputQueries * form->Runner()->Timing().StatusPauseMs;
    if (bytes < 12 * 26) { // power, device, size, version, 4 + 4 connections
        std::fprintf(stderr, "bench: status refresh sent too little (%lld bytes)\n",
                     static_cast<long long>(bytes));
        return 1;
    }
    std::printf("bench: status_refresh_time_ms %.1f ms\n", ms);
    std::printf("bench: status_refresh_bound_ms %.1f ms\n", bound);
    std::printf("bench: status_refresh_line_ratio %.3f ratio (target >= 0.95)\n", bound / ms);
    if (!gaps.isEmpty())
        std::printf("bench: status_refresh_gap_ms %.3f ms (target <= 0.2)\n",
                    double(gaps[gaps.size() / 2]) / 1e6);
    if (!own.isEmpty())
        std::printf("bench: status_refresh_window_gap_ms %.3f ms\n",
                    double(own[own.size() / 2]) / 1e6);
    std::fflush(stdout);
    return 0;
}
