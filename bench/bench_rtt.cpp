// Round-trip time of ExecuteCommand against the simulator, over loopback TCP
// and over a pseudo-terminal, with the product's timings. `--tcp HOST:PORT`
// measures TCP only, against a matrix outside the process (the Windows build
// under Wine against the simulator on Linux).
#ifndef MATRIX_RTT_NO_SIMULATOR
#include "SimServers.h"
#endif
#include "link/Commands.h"
#include "link/QMCOMControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

static bool Measure(TQMCOMControl& link, int count, std::vector<double>* ms)
{
    if (!link.Connect()) return false;
    const TCommandPacket packet = Catalogue::IrQuery().Packet;
    QElapsedTimer clock;
    for (int i = 0; i < count; ++i) {
        TCommandReply reply;
        clock.start();
        link.ExecuteCommand(packet, reply);
        const double elapsed = double(clock.nsecsElapsed()) / 1e6;
        if (!reply.Ok) return false;
        ms->push_back(elapsed);
    }
    link.Disconnect();
    return true;
}

static double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

static int MeasureOutside(const QString& target, int count)
{
    const int colon = target.lastIndexOf(QLatin1Char(':'));
    const int port = target.mid(colon + 1).toInt();
    if (colon <= 0 || port <= 0 || port > 65535) {
        std::fprintf(stderr, "bench_rtt: --tcp HOST:PORT\n");
        return 2;
    }
    TProcessFlags flags;
    TQMCOMControl link(&flags);
    std::vector<double> tcp;
    link.SetControlMode(cmLAN);
    link.SetDeviceIP(target.left(colon));
    link.SetDevicePort(port);
    if (!Measure(link, count, &tcp)) {
        std::fprintf(stderr, "bench_rtt: TCP commands failed\n");
        return 1;
    }
    std::printf("bench: tcp_rtt_median_ms %.3f ms\n", Percentile(tcp, 0.5));
    std::printf("bench: tcp_rtt_p99_ms %.3f ms\n", Percentile(tcp, 0.99));
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = 1000;
    const QStringList args = app.arguments();
    const int tcpAt = args.indexOf(QStringLiteral("--tcp"));
    if (tcpAt > 0) return MeasureOutside(args.value(tcpAt + 1), count);
#ifdef MATRIX_RTT_NO_SIMULATOR
    std::fprintf(stderr, "bench_rtt: --tcp HOST:PORT (no simulator in this build)\n");
    return 2;
#else
    TMatrixSim sim;
    QTemporaryDir dir;
    if (!sim.ListenTcp(QHostAddress::LocalHost, 0) ||
        !sim.OpenPty(dir.filePath(QStringLiteral("tty")))) {
        std::fprintf(stderr, "bench_rtt: cannot start the simulator\n");
        return 1;
    }
    TProcessFlags flags;
    TQMCOMControl link(&flags);

    std::vector<double> tcp, pty;
    link.SetControlMode(cmLAN);
    link.SetDeviceIP(QStringLiteral("127.0.0.1"));
    link.SetDevicePort(sim.TcpPort());
    if (!Measure(link, count, &tcp)) {
        std::fprintf(stderr, "bench_rtt: TCP commands failed\n");
        return 1;
    }
    link.SetControlMode(cmCOM);
    link.SetComPort(sim.PtyLink());
    if (!Measure(link, count, &pty)) {
        std::fprintf(stderr, "bench_rtt: serial commands failed\n");
        return 1;
    }
    const double tcpMedian = Percentile(tcp, 0.5);
    std::printf("bench: tcp_rtt_median_ms %.3f ms (target < 1 ms, ratio %.2f)\n", tcpMedian,
                1.0 / tcpMedian);
    std::printf("bench: tcp_rtt_p99_ms %.3f ms\n", Percentile(tcp, 0.99));
    std::printf("bench: pty_rtt_median_ms %.3f ms\n", Percentile(pty, 0.5));
    std::printf("bench: pty_rtt_p99_ms %.3f ms\n", Percentile(pty, 0.99));
    std::printf("bench: polling_speedup %.1f x\n", double(link.Timing().PollTickMs) / tcpMedian);
    return 0;
#endif
}
