// matrix-wincheck ping HOST | ports | open NAME
//   ping: the controller's ping (TQMPing, product timings) with its log lines;
//         exit 0 when the host answered.
//   ports: the serial port list as the window shows it, one name a line.
//   open: opens NAME as the serial transport does; exit 0 when it opened.
#include "link/Timing.h"
#include "transport/ComPort.h"
#include "transport/QMPing.h"
#include "transport/SerialPorts.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("ping") && args.size() == 2) {
        TTiming timing;
        TQMPing ping;
        ping.SetTimeOut(timing.PingTimeOutMs);
        ping.SetAttemptMs(timing.PingAttemptMs);
        ping.Attempts = timing.PingAttempts;
        ping.Host = args[1];
        QObject::connect(&ping, &TQMPing::Log, [](const QString& line) {
            std::printf("%s\n", qPrintable(line));
            std::fflush(stdout);
        });
        return ping.PingHost() ? 0 : 1;
    }
    if (command == QLatin1String("ports") && args.size() == 1) {
        for (const QString& name : SerialPorts::Names())
            std::printf("%s\n", qPrintable(name));
        return 0;
    }
    if (command == QLatin1String("open") && args.size() == 2) {
        TComPort port;
        port.SetPort(args[1]);
        try {
            port.Open();
        } catch (const EComPort& e) {
            std::printf("open %s: %s\n", qPrintable(args[1]), e.what());
            return 1;
        }
        std::printf("open %s: ok\n", qPrintable(args[1]));
        return 0;
    }
    std::fprintf(stderr, "usage: matrix-wincheck ping HOST | ports | open NAME\n");
    return 2;
}
