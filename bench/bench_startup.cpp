// Start-up of the controller's window, measured from outside by
// scripts/bench-startup: with --probe this builds the windows as the program
// does, shows the main window (offscreen), lets it paint, and prints the wall
// clock at that moment and the peak resident memory so far. With
// --probe-empty it does the same with an empty QMainWindow: the floor the
// machine sets on that day.
#include "ui/main/AppWindows.h"

#include <QApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

static void ShowAndPaint(QWidget* window)
{
    window->show();
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window->repaint();
    QApplication::processEvents();
}

int main(int argc, char** argv)
{
    const bool empty = argc >= 2 && std::strcmp(argv[1], "--probe-empty") == 0;
    if (!empty && (argc < 2 || std::strcmp(argv[1], "--probe") != 0)) {
        std::fprintf(stderr, "bench_startup: run through scripts/bench-startup\n");
        return 0;
    }
    QApplication app(argc, argv);
    std::unique_ptr<TForm1> form;
    std::unique_ptr<QMainWindow> bare;
    // A private folder instead of the build tree; the window writes its
    // settings file there exactly as it would next to the executable.
    QTemporaryDir dir;
    if (empty) {
        bare = std::make_unique<QMainWindow>();
        bare->resize(1025, 640);
        ShowAndPaint(bare.get());
    } else {
        TForm1Options options;
        options.SettingsFolder = dir.path();
        form = CreateApplicationWindows(options);
        if (form->Terminated()) return 1;
        ShowAndPaint(form.get());
    }

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("shown_ns=%lld peak_kb=%ld\n",
                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, usage.ru_maxrss);
    std::fflush(stdout);
    return 0;
}
