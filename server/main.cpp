// matrix-server: the matrix on the network.
#include "OpsTypes.h"
#include "MqttBridge.h"
#include "ServerApp.h"
#include "transport/StopSignals.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-server"));
    TServerCommandLine commandLine;
    TMqttBridgeOptions::AddTo(commandLine);
    TServerOptions options;
    try {
        bool help = false;
        options = commandLine.Parse(app.arguments().mid(1), &help);
        if (help) {
            std::printf("%s", qPrintable(commandLine.Usage()));
            return 0;
        }
        TServerApp server(options);
        QObject::connect(&server, &TServerApp::Fatal, &app, [](const QString& text) {
            std::fprintf(stderr, "matrix-server: %s\n", qPrintable(text));
            QCoreApplication::exit(1);
        });
        // A stop request from the system is a clean stop, not a crash.
        TStopSignals stop;
        bool stopped = false;
        QObject::connect(&stop, &TStopSignals::StopRequested, &app, [&server, &stopped](int) {
            stopped = true;
            server.Stop();
            QCoreApplication::quit();
        });
        stop.Install();
        const int rc = server.Start();
        if (rc != 0) return rc;
        // A stop during the start came before the loop could end.
        if (stopped) return 0;
        return app.exec();
    } catch (const EUsage& e) {
        std::fprintf(stderr, "matrix-server: %s\n%s", e.what(), qPrintable(commandLine.Usage()));
        return 2;
    }
}
