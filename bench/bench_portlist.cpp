// The serial port list, read by the window once a second: the system's whole
// enumeration as SerialPorts::Names() does it (SetupAPI through Qt on
// Windows, /sys/class/tty on Linux, IOKit on macOS).
//
// - win_port_list_ms (on Windows, so under Wine here), port_list_ms
//   elsewhere: median of 20 reads after one warm-up read, with the number of
//   ports found. Above 5 ms the window reads the list on a thread of its own.
#include "transport/SerialPorts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int ports = int(SerialPorts::Names().size());
    std::vector<double> ms;
    for (int n = 0; n < 20; ++n) {
        QElapsedTimer clock;
        clock.start();
        ports = int(SerialPorts::Names().size());
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
#ifdef Q_OS_WIN
    const char* name = "win_port_list_ms";
#else
    const char* name = "port_list_ms";
#endif
    std::printf("bench: %s %.2f ms (%d ports; max %.2f; target < 5 on the window thread)\n", name,
                (ms[9] + ms[10]) / 2, ports, ms.back());
    return 0;
}
