// matrix-server: the matrix on the network.
#include "Cli.h"
#include "ServerApp.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-server"));
    TServerCommandLine commandLine;
    TServerOptions options;
    try {
        bool help = false;
        options = commandLine.Parse(app.arguments().mid(1), &help);
        if (help) {
            std::printf("%s", qPrintable(commandLine.Usage()));
            return 0;
        }
        TServerApp server(options);
        const int rc = server.Start();
        if (rc != 0) return rc;
        return app.exec();
    } catch (const EUsage& e) {
        std::fprintf(stderr, "matrix-server: %s\n%s", e.what(), qPrintable(commandLine.Usage()));
        return 2;
    }
}
