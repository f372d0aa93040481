// mqtt_command_ms: from publishing B/output/N/input/set to the state topic
// arriving back, minus the raw link round trip of the same routing command.
// A real broker, matrix-server and the simulator, each a process of its own,
// on loopback.
// mqtt_burst_final_ok: 1 when, after 1,000 commands published at once on one
// set topic, the state topic ends at the last one and none was refused.
// mqtt_burst_s: from the first publish of the burst to that final state.
#include "MqttBroker.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 300;
    auto fail = [](const char* why) {
        std::fprintf(stderr, "bench_mqtt: %s\n", why);
        return 1;
    };

    TMqttBroker broker;
    if (!broker.Start()) return fail("cannot start mosquitto");
    quint16 simPort = 0;
    {
        QTcpServer free;
        free.listen(QHostAddress::LocalHost, 0);
        simPort = free.serverPort();
    }
    QProcess sim;
    sim.start(bin + QStringLiteral("/sim/matrix-sim"),
              {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(simPort),
               QStringLiteral("--power-on")});
    if (!sim.waitForStarted(3000)) return fail("cannot start the simulator");
    QThread::msleep(300);

    // The raw round trip of the routing command, as the server's link makes it.
    std::vector<double> raw;
    {
        TProcessFlags flags;
        TQMCOMControl link(&flags);
        link.SetControlMode(cmLAN);
        link.SetDeviceIP(QStringLiteral("127.0.0.1"));
        link.SetDevicePort(simPort);
        if (!link.Connect()) return fail("cannot reach the simulator");
        QElapsedTimer clock;
        for (int i = 0; i < count; ++i) {
            TCommandReply reply;
            clock.start();
            link.ExecuteCommand(Catalogue::RouteSet(1 + i % 2, 1).Packet, reply);
            raw.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (!reply.Ok) return fail("routing command failed");
        }
        link.Disconnect();
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(bin + QStringLiteral("/server/matrix-server"),
                 {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(simPort),
                  QStringLiteral("--listen"), QStringLiteral("none"), QStringLiteral("--refresh-s"),
                  QStringLiteral("0"), QStringLiteral("--mqtt"), broker.Url(),
                  QStringLiteral("--mqtt-id"), QStringLiteral("bench")});
    TMqttProbe probe(broker.Port());
    const QString state = QStringLiteral("hdmi-matrix/bench/output/1/input");
    const QString error = QStringLiteral("hdmi-matrix/bench/error");
    if (!probe.Connect() || !probe.Subscribe(state) || !probe.Subscribe(error) ||
        !probe.Subscribe(QStringLiteral("hdmi-matrix/bench/availability")) ||
        !probe.WaitFor(QStringLiteral("hdmi-matrix/bench/availability"), "online", 10000))
        return fail("the server did not come online");
    probe.Pump(300);

    std::vector<double> mqtt;
    QElapsedTimer clock;
    for (int i = 0; i < count; ++i) {
        const QByteArray input = QByteArray::number(1 + i % 2); // the raw loop ended on 2
        probe.Clear();
        clock.start();
        probe.Publish(state + QStringLiteral("/set"), input);
        if (!probe.WaitFor(state, input, 5000)) return fail("no state after a command");
        mqtt.push_back(double(clock.nsecsElapsed()) / 1e6);
    }

    // The burst ends on an input the loop above did not leave the output on.
    constexpr int Burst = 1000;
    const QByteArray last = QByteArray::number(1 + (Burst - 1) % 4);
    probe.Pump(300);
    probe.Clear();
    clock.start();
    for (int i = 0; i < Burst; ++i)
        probe.Publish(state + QStringLiteral("/set"), QByteArray::number(1 + i % 4), false, false);
    // Done when nothing has come for a second (or after a minute at most).
    qint64 lastChangeNs = 0;
    for (qsizetype seen = 0; clock.elapsed() < 60000;) {
        probe.Pump(10);
        if (probe.Messages.size() != seen) {
            seen = probe.Messages.size();
            lastChangeNs = clock.nsecsElapsed();
        } else if (clock.nsecsElapsed() - lastChangeNs > 1000000000LL && seen > 0) {
            break;
        }
    }
    const bool burstOk = probe.Last(state) == last && !probe.Seen(error);
    server.terminate();
    server.waitForFinished(3000);
    sim.terminate();
    sim.waitForFinished(3000);

    const double overhead = Median(mqtt) - Median(raw);
    std::printf("bench: mqtt_command_ms %.3f ms (target <= 1 ms; command to state %.3f ms, raw "
                "link %.3f ms)\n",
                overhead, Median(mqtt), Median(raw));
    std::printf("bench: mqtt_burst_final_ok %d (target 1; %d commands on one topic)\n",
                burstOk ? 1 : 0, Burst);
    std::printf("bench: mqtt_burst_s %.3f s (first publish to the final state)\n",
                double(lastChangeNs) / 1e9);
    return 0;
}
