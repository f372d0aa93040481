// Start-up of the controller's window, measured from outside by
// scripts/bench-startup: with --probe this builds the windows as the program
// does, shows the main window (offscreen), lets it paint, and prints the wall
// clock at that moment and the peak resident memory so far.
#include "ui/main/AppWindows.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--probe") != 0) {
        std::fprintf(stderr, "bench_startup: run through scripts/bench-startup\n");
        return 0;
    }
    QApplication app(argc, argv);
    // A private folder instead of the build tree; the window writes its
    // settings file there exactly as it would next to the executable.
    QTemporaryDir dir;
    TForm1Options options;
    options.SettingsFolder = dir.path();
    std::unique_ptr<TForm1> form = CreateApplicationWindows(options);
    if (form->Terminated()) return 1;
    form->show();
    while (!form->windowHandle() || !form->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    form->repaint();
    QApplication::processEvents();

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("shown_ns=%lld peak_kb=%ld\n",
                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, usage.ru_maxrss);
    std::fflush(stdout);
    return 0;
}
