// How long one enumeration of the serial ports takes (the window lists them
// every second): the median of 50, after one warm-up.
#include "transport/SerialPorts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = 50;
    int ports = int(SerialPorts::Names().size());
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < count; ++i) {
        clock.start();
        ports = int(SerialPorts::Names().size());
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("bench: port_list_ms %.3f ms (%d ports, median of %d)\n", ms[ms.size() / 2], ports,
                count);
    return 0;
}
