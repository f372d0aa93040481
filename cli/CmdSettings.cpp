// audio, ir, keys, apm, beeper and preset: the "Setting" and "Advanced" tabs
// from the command line, with the window's commands and texts.
#include "Cli.h"
#include "settings/SettingsFile.h"

#include <QJsonArray>
#include <QJsonObject>

QString SettingsUsage()
{
    return QStringLiteral(
        "  audio [IN [SOURCE]]                   audio source of one or all inputs; SOURCE 1..3 "
        "sets it\n"
        "  ir|keys|apm|beeper [on|off]           show or switch IR, panel keys (on = unlocked),\n"
        "                                        APM or the beeper\n"
        "  preset list                           the pre-settings of --settings FILE\n"
        "  preset apply N                        route outputs 1..4 from pre-setting N\n");
}

bool IsSettingsCommand(const QString& c)
{
    return c == QLatin1String("audio") || c == QLatin1String("ir") || c == QLatin1String("keys") ||
           c == QLatin1String("apm") || c == QLatin1String("beeper") ||
           c == QLatin1String("preset");
}

bool SettingsCommandNeedsLink(const QString& command, const QStringList& args)
{
    return !(command == QLatin1String("preset") && args.value(0) == QLatin1String("list"));
}

static int Audio(TCli& cli, const QStringList& args)
{
    if (args.size() > 2) throw EUsage(QStringLiteral("audio takes [IN [SOURCE]]"));
    int input = 0, source = 0;
    if (!args.isEmpty()) input = TCli::ParseNumber(args[0], 1, PortCount, "input");
    if (args.size() == 2) source = TCli::ParseNumber(args[1], 1, 3, "source");
    TAudio a;
    const TOpStatus st = cli.Ops().Audio(input, source, &a);
    for (int n = 1; n <= PortCount; ++n) {
        const int v = a.Source[size_t(n - 1)];
        if (v <= 0) continue;
        const QString name = Catalogue::AudioSourceName(v);
        cli.Out(
            QStringLiteral("Input%1: %2").arg(n).arg(name.isEmpty() ? QString::number(v) : name));
    }
    cli.Doc(OpsJson::Audio(a));
    return TCli::Rc(st);
}

static int Switch(TCli& cli, const QString& word, const QStringList& args)
{
    if (args.size() > 1) throw EUsage(QStringLiteral("%1 takes on, off or nothing").arg(word));
    int want = -1;
    if (!args.isEmpty()) {
        const QString a = args[0].toLower();
        if (a != QLatin1String("on") && a != QLatin1String("off"))
            throw EUsage(QStringLiteral("%1 takes on, off or nothing").arg(word));
        want = a == QLatin1String("on") ? 1 : 0;
    }
    TSwitch which = swBeeper;
    for (int n = 0; n < SwitchCount; ++n)
        if (word == QLatin1String(SwitchNames[n])) which = TSwitch(n);
    bool on = false;
    const TOpStatus st = cli.Ops().Switch(which, want, &on);
    if (!st.Ok()) return 1;
    cli.Out(QStringLiteral("%1: %2").arg(word, on ? QStringLiteral("ON") : QStringLiteral("OFF")));
    cli.Doc(OpsJson::Switch(which, on));
    return 0;
}

static int Preset(TCli& cli, const QStringList& args)
{
    const QString sub = args.value(0);
    const bool list = sub == QLatin1String("list") && args.size() == 1;
    const bool apply = sub == QLatin1String("apply") && args.size() == 2;
    if (!list && !apply) throw EUsage(QStringLiteral("preset takes list or apply N"));
    if (cli.Ops().SettingsPath.isEmpty())
        throw EUsage(QStringLiteral("preset needs --settings FILE"));
    if (list) {
        std::array<TPreSetting, 8> presets;
        const TOpStatus st = cli.Ops().Presets(&presets);
        if (!st.Ok()) return 1;
        for (int n = 1; n <= 8; ++n) {
            const TPreSetting& p = presets[size_t(n - 1)];
            cli.Out(
                QStringLiteral("%1: %2: %3").arg(n).arg(p.Name, p.Values.join(QLatin1Char(','))));
        }
        cli.Json(QStringLiteral("presets"), OpsJson::Presets(presets));
        return 0;
    }
    const int row = TCli::ParseNumber(args[1], 1, 8, "pre-setting");
    TPresetApplied applied;
    const TOpStatus st = cli.Ops().ApplyPreset(row, &applied);
    for (int o = 1; o <= PortCount; ++o)
        if (applied.Routing.Input[size_t(o - 1)] > 0)
            cli.Out(QStringLiteral("Output%1: Input%2")
                        .arg(o)
                        .arg(applied.Routing.Input[size_t(o - 1)]));
    cli.Doc(OpsJson::PresetApplied(applied));
    return TCli::Rc(st);
}

int CmdSettings(TCli& cli, const QString& command, const QStringList& args)
{
    if (command == QLatin1String("audio")) return Audio(cli, args);
    if (command == QLatin1String("preset")) return Preset(cli, args);
    return Switch(cli, command, args);
}
