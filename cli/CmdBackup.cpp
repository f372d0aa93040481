// backup and restore: the matrix settings to and from one JSON file.
#include "Cli.h"

#include "link/DeviceBackup.h"

QString BackupUsage()
{
    return QStringLiteral(
        "  backup FILE                           save routing, audio sources, switches, power,\n"
        "                                        model and version as JSON\n"
        "  restore FILE [--dry-run]              check FILE, then set switches, audio sources and\n"
        "                                        routing; --dry-run only lists the commands\n");
}

bool IsBackupCommand(const QString& c)
{
    return c == QLatin1String("backup") || c == QLatin1String("restore");
}

bool BackupCommandNeedsLink(const QString& command, const QStringList& args)
{
    return !(command == QLatin1String("restore") && args.contains(QLatin1String("--dry-run")));
}

static int Backup(TCli& cli, const QStringList& args)
{
    if (args.size() != 1) throw EUsage(QStringLiteral("backup takes FILE"));
    const QString path = args[0];
    TDeviceState state;
    if (!cli.Ops().Backup(&state).Ok()) return 1;
    QString error;
    if (!TDeviceBackup::Save(path, state, &error)) {
        cli.Err(error);
        return 1;
    }
    cli.Out(QStringLiteral("Saved %1").arg(path));
    cli.Json(QStringLiteral("file"), path);
    cli.Json(QStringLiteral("backup"), OpsJson::Backup(state));
    return 0;
}

static int Restore(TCli& cli, QStringList args)
{
    const bool dryRun = args.removeAll(QStringLiteral("--dry-run")) > 0;
    if (args.size() != 1) throw EUsage(QStringLiteral("restore takes FILE [--dry-run]"));
    const QString path = args[0];
    // The whole file is checked before anything goes to the matrix.
    TDeviceState state;
    QString error;
    if (!TDeviceBackup::Load(path, &state, &error)) {
        cli.Err(error);
        return 1;
    }
    TRestoreResult result;
    const TOpStatus st = cli.Ops().Restore(state, dryRun, &result, [&](const TRestoreStep& step) {
        // The dry lines are matrixctl send commands, so they can be replayed.
        const TCommandPacket& p = step.Command.Packet;
        cli.Out(dryRun ? QStringLiteral("send %1 %2 %3 %4 %5 %6  # %7")
                             .arg(p.Group)
                             .arg(p.Code)
                             .arg(p.P1)
                             .arg(p.P2)
                             .arg(p.P3)
                             .arg(p.P4)
                             .arg(step.Description)
                       : step.Description);
    });
    cli.Doc(OpsJson::Restore(result));
    return TCli::Rc(st);
}

int CmdBackup(TCli& cli, const QString& command, const QStringList& args)
{
    if (command == QLatin1String("backup")) return Backup(cli, args);
    return Restore(cli, args);
}
