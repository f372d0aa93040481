#include "ServerApp.h"

#include <cstdio>

TServerApp::TServerApp(const TServerOptions& options, const TTiming& timing, QObject* parent)
    : QObject(parent), FOptions(options), FCore(new TServerCore(options, timing, this))
{
}

TServerApp::~TServerApp() = default;

int TServerApp::Start()
{
    QString error;
    if (!FCore->Start(&error)) {
        std::fprintf(stderr, "matrix-server: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
