// backup and restore: the matrix settings to and from one JSON file.
#include "Cli.h"

#include "link/DeviceBackup.h"

#include <QJsonArray>
#include <QJsonDocument>

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

static TDeviceBackup::TRunner Runner(TCli& cli)
{
    return [&cli](const TCatalogueCommand& c, TCommandReply* r) { return cli.Run(c, r); };
}

static int Backup(TCli& cli, const QStringList& args)
{
    if (args.size() != 1) throw EUsage(QStringLiteral("backup takes FILE"));
    const QString path = args[0];
    TDeviceBackup backup(Runner(cli));
    TDeviceState state;
    if (!backup.Read(&state)) {
        if (!backup.Error().isEmpty()) cli.Err(backup.Error());
        return 1;
    }
    QString error;
    if (!TDeviceBackup::Save(path, state, &error)) {
        cli.Err(error);
        return 1;
    }
    cli.Out(QStringLiteral("Saved %1").arg(path));
    cli.Json(QStringLiteral("file"), path);
    cli.Json(QStringLiteral("backup"),
             QJsonDocument::fromJson(TDeviceBackup::ToJson(state)).object());
    return 0;
}

static QJsonObject StepJson(const TRestoreStep& step)
{
    const TCommandPacket& p = step.Command.Packet;
    return QJsonObject{{QStringLiteral("group"), p.Group},
                       {QStringLiteral("code"), p.Code},
                       {QStringLiteral("p1"), p.P1},
                       {QStringLiteral("p2"), p.P2},
                       {QStringLiteral("p3"), p.P3},
                       {QStringLiteral("p4"), p.P4},
                       {QStringLiteral("name"), Catalogue::CommandName(p.Group, p.Code)},
                       {QStringLiteral("description"), step.Description}};
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
    return RestoreState(cli, state, dryRun);
}

int RestoreState(TCli& cli, const TDeviceState& state, bool dryRun)
{
    cli.Json(QStringLiteral("dryRun"), dryRun);
    QJsonArray commands;
    if (dryRun) {
        // The lines are matrixctl send commands, so they can be replayed.
        for (const TRestoreStep& step : TDeviceBackup::RestoreSteps(state)) {
            const TCommandPacket& p = step.Command.Packet;
            cli.Out(QStringLiteral("send %1 %2 %3 %4 %5 %6  # %7")
                        .arg(p.Group)
                        .arg(p.Code)
                        .arg(p.P1)
                        .arg(p.P2)
                        .arg(p.P3)
                        .arg(p.P4)
                        .arg(step.Description));
            commands.append(StepJson(step));
        }
        cli.Json(QStringLiteral("commands"), commands);
        return 0;
    }
    TDeviceBackup backup(Runner(cli));
    const bool ok = backup.Restore(state, [&](const TRestoreStep& step) {
        cli.Out(step.Description);
        commands.append(StepJson(step));
    });
    cli.Json(QStringLiteral("commands"), commands);
    if (!ok) {
        if (!backup.Error().isEmpty()) cli.Err(backup.Error());
        return 1;
    }
    return 0;
}

int CmdBackup(TCli& cli, const QString& command, const QStringList& args)
{
    if (command == QLatin1String("backup")) return Backup(cli, args);
    return Restore(cli, args);
}
