// matrixctl: the matrix link from the command line.
#include "Cli.h"
#include "transport/Console.h"
#include "transport/StopSignals.h"

#include <QCoreApplication>
#include <cstdio>

static QString Usage()
{
    return QStringLiteral("usage: matrixctl (--tcp HOST[:PORT] | --serial DEVICE) [--timeout-ms N] "
                          "[--settings FILE] [--trace] [--json] COMMAND ...\n"
                          "commands:\n") +
           CoreUsage() + SettingsUsage() + EdidUsage() + FirmwareUsage() + ModuleUsage() +
           BackupUsage();
}

static bool NeedsLink(const QString& command, const QStringList& args)
{
    if (IsSettingsCommand(command)) return SettingsCommandNeedsLink(command, args);
    if (IsBackupCommand(command)) return BackupCommandNeedsLink(command, args);
    // Firmware files are merged and inspected offline; modules are found and
    // configured over UDP.
    if (command == QLatin1String("discover")) return false;
    if (command == QLatin1String("module")) return ModuleCommandNeedsLink(args);
    return !(command == QLatin1String("fw") && !args.isEmpty() &&
             (args[0] == QLatin1String("merge") || args[0] == QLatin1String("info")));
}

// What a stop leaves behind, beyond the command's own failure lines.
static QString LeftUndone(const QString& command, const QStringList& args)
{
    const QString sub = args.value(0);
    if (command == QLatin1String("fw") && sub == QLatin1String("upgrade"))
        return QStringLiteral("; the matrix may be left without working firmware: upgrade it "
                              "again before you use it");
    if (command == QLatin1String("edid") && sub == QLatin1String("write"))
        return QStringLiteral("; the input may hold an incomplete EDID: write it again");
    return QString();
}

static int Dispatch(TCli& cli, const QString& command, const QStringList& args)
{
    if (IsCoreCommand(command)) return CmdCore(cli, command, args);
    if (IsSettingsCommand(command)) return CmdSettings(cli, command, args);
    if (IsBackupCommand(command)) return CmdBackup(cli, command, args);
    if (command == QLatin1String("edid")) return CmdEdid(cli, args);
    if (command == QLatin1String("discover")) return CmdDiscover(cli, args, cli.Trace());
    if (command == QLatin1String("module")) return CmdModule(cli, args, cli.Trace());
    return CmdFirmware(cli, args);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString tcp, serial;
    int timeoutMs = -1;
    bool trace = false;
    QString settings;
    bool json = false;
    try {
        while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
            const QString opt = args.takeFirst();
            auto value = [&]() {
                if (args.isEmpty()) throw EUsage(QStringLiteral("%1 needs a value").arg(opt));
                return args.takeFirst();
            };
            if (opt == QLatin1String("--tcp"))
                tcp = value();
            else if (opt == QLatin1String("--serial"))
                serial = value();
            else if (opt == QLatin1String("--timeout-ms"))
                timeoutMs = TCli::ParseNumber(value(), 65535, "time-out");
            else if (opt == QLatin1String("--settings"))
                settings = value();
            else if (opt == QLatin1String("--trace"))
                trace = true;
            else if (opt == QLatin1String("--json"))
                json = true;
            else if (opt == QLatin1String("--help")) {
                Console::Write(stdout, Usage());
                return 0;
            } else
                throw EUsage(QStringLiteral("unknown option %1").arg(opt));
        }
        if (args.isEmpty()) throw EUsage(QStringLiteral("no command"));
        const QString command = args.takeFirst();
        const bool known = IsCoreCommand(command) || IsSettingsCommand(command) ||
                           command == QLatin1String("edid") || command == QLatin1String("fw") ||
                           command == QLatin1String("discover") ||
                           command == QLatin1String("module") || IsBackupCommand(command);
        if (!known) throw EUsage(QStringLiteral("unknown command '%1'").arg(command));
        if (NeedsLink(command, args) && (tcp.isEmpty() == serial.isEmpty()))
            throw EUsage(
                QStringLiteral("give exactly one of --tcp HOST[:PORT] and --serial DEVICE"));

        TProcessFlags flags;
        TTiming timing;
        if (timeoutMs >= 0) timing.PollLimit = TCli::PollLimitFor(timeoutMs, timing.PollTickMs);
        TQMCOMControl link(&flags, timing);
        if (!tcp.isEmpty() || !serial.isEmpty()) TCli::SetUpLink(&link, tcp, serial);
        TCli cli(&link, &flags, trace, json);
        cli.Ops().SettingsPath = settings;
        // A stop ends the exchange under way through the abort flag. Half a
        // firmware upgrade leaves the matrix unusable: the first Ctrl-C there
        // only warns.
        TStopSignals stops;
        stops.Install();
        const bool upgrading = command == QLatin1String("fw") && args.value(0) == "upgrade";
        int stopped = 0;
        bool warned = false;
        QObject::connect(&stops, &TStopSignals::StopRequested, [&](int stop) {
            if (upgrading && stop == TStopSignals::ssInterrupt && !warned) {
                warned = true;
                std::fprintf(stderr, "matrixctl: stopping now leaves the matrix without working "
                                     "firmware; press Ctrl-C again to stop\n");
                return;
            }
            if (!stopped) stopped = stop;
            flags.Abort = true;
        });
        const int rc = Dispatch(cli, command, args);
        if (!stopped) return cli.Finish(rc);
        cli.Err(QStringLiteral("matrixctl: stopped by %1: '%2' did not finish%3")
                    .arg(stopped == TStopSignals::ssInterrupt ? QStringLiteral("SIGINT")
                                                              : QStringLiteral("SIGTERM"),
                         (QStringList{command} + args).join(QLatin1Char(' ')),
                         LeftUndone(command, args)));
        return cli.Finish(128 + stopped);
    } catch (const EUsage& e) {
        if (json) TCli::PrintJsonError(QString::fromStdString(e.what()));
        Console::Write(stderr, QStringLiteral("matrixctl: %1\n%2")
                                   .arg(QString::fromStdString(e.what()), Usage()));
        return 2;
    }
}
