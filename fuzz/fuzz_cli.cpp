// matrixctl argument parsing: the input is an argument list (arguments
// separated by NUL bytes). Numbers and the core and EDID commands get every
// malformed argument; what they refuse is a usage error, never a crash. The
// link points at a loopback port nobody listens on, so a well-formed command
// fails to connect at once; the working folder is a private one.
#include "Cli.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "matrixctl";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    static const bool moved = QDir::setCurrent(dir.path());
    (void)moved;

    QStringList args;
    for (const QByteArray& a :
         QByteArray(reinterpret_cast<const char*>(data), int(size)).split('\0'))
        args << QString::fromUtf8(a);
    for (const QString& a : args) {
        for (uint32_t max : {1u, 4u, 255u, 65535u}) {
            try {
                if (TCli::ParseNumber(a, max, "number") > max) std::abort();
            } catch (const EUsage&) {
            }
        }
    }
    if (args.isEmpty()) return 0;
    const QString command = args.takeFirst();
    if (!IsCoreCommand(command) && command != QLatin1String("edid")) return 0;

    TProcessFlags flags;
    TTiming timing = TTiming::Fast();
    TQMCOMControl link(&flags, timing);
    link.SetControlMode(cmLAN);
    link.SetDeviceIP(QStringLiteral("127.0.0.1"));
    link.SetDevicePort(1);
    TCli cli(&link, &flags, false);
    try {
        const int code =
            command == QLatin1String("edid") ? CmdEdid(cli, args) : CmdCore(cli, command, args);
        if (code != 1) std::abort(); // nothing answers: a well-formed command fails
    } catch (const EUsage&) {
    }
    return 0;
}
