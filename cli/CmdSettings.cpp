// audio, ir, keys, apm, beeper and preset: the "Setting" and "Advanced" tabs
// from the command line, with the window's commands and texts.
#include "Cli.h"
#include "settings/SettingsFile.h"

#include <QFileInfo>
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

QJsonArray PresetsJson(const std::array<TPreSetting, 8>& presets)
{
    QJsonArray list;
    for (int n = 1; n <= 8; ++n) {
        const TPreSetting& p = presets[size_t(n - 1)];
        // Inputs as numbers; a value that is not a number keeps its text.
        QJsonArray inputs;
        for (const QString& text : p.Values) {
            bool isNumber = false;
            const int v = text.toInt(&isNumber);
            inputs.append(isNumber ? QJsonValue(v) : QJsonValue(text));
        }
        list.append(QJsonObject{{QStringLiteral("number"), n},
                                {QStringLiteral("name"), p.Name},
                                {QStringLiteral("inputs"), inputs}});
    }
    return list;
}

static QString AudioLine(int input, const TCommandReply& r)
{
    const QString name = Catalogue::AudioSourceName(r.P2Lo());
    return QStringLiteral("Input%1: %2")
        .arg(input)
        .arg(name.isEmpty() ? QString::number(r.P2Lo()) : name);
}

static int Audio(TCli& cli, const QStringList& args)
{
    if (args.size() > 2) throw EUsage(QStringLiteral("audio takes [IN [SOURCE]]"));
    int first = 1, last = PortCount, source = 0;
    if (!args.isEmpty()) {
        first = last = TCli::ParseNumber(args[0], 1, PortCount, "input");
    }
    if (args.size() == 2) {
        source = TCli::ParseNumber(args[1], 1, 3, "source");
    }
    if (!cli.PoweredOn()) return 1;
    TCommandReply r;
    if (source && !cli.Run(Catalogue::AudioSet(first, source), &r)) return 1;
    for (int n = first; n <= last; ++n) {
        if (!cli.Run(Catalogue::AudioQuery(n), &r)) return 1;
        cli.Out(AudioLine(n, r));
        // {"audio": {"1": 2, ...}, "audioNames": {"1": "Analog L/R In embeded", ...}}
        cli.JsonAt(QStringLiteral("audio"), QString::number(n), r.P2Lo());
        const QString name = Catalogue::AudioSourceName(r.P2Lo());
        if (!name.isEmpty()) cli.JsonAt(QStringLiteral("audioNames"), QString::number(n), name);
    }
    return 0;
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
    TCatalogueCommand query, set;
    if (word == QLatin1String("ir")) {
        query = Catalogue::IrQuery();
        set = Catalogue::IrSet(want == 1);
    } else if (word == QLatin1String("keys")) {
        query = Catalogue::KeysQuery();
        set = Catalogue::KeysSet(want == 1);
    } else if (word == QLatin1String("apm")) {
        query = Catalogue::ApmQuery();
        set = Catalogue::ApmSet(want == 1);
    } else {
        query = Catalogue::BeeperQuery();
        set = Catalogue::BeeperSet(want == 1);
    }
    if (!cli.PoweredOn()) return 1;
    TCommandReply r;
    if (want >= 0 && !cli.Run(set, &r)) return 1;
    if (!cli.Run(query, &r)) return 1;
    cli.Out(QStringLiteral("%1: %2").arg(word, Catalogue::SwitchIsOn(r) ? QStringLiteral("ON")
                                                                        : QStringLiteral("OFF")));
    cli.Json(word, Catalogue::SwitchIsOn(r));
    return 0;
}

static int Preset(TCli& cli, const QStringList& args)
{
    const QString sub = args.value(0);
    const bool list = sub == QLatin1String("list") && args.size() == 1;
    const bool apply = sub == QLatin1String("apply") && args.size() == 2;
    if (!list && !apply) throw EUsage(QStringLiteral("preset takes list or apply N"));
    if (cli.SettingsPath.isEmpty()) throw EUsage(QStringLiteral("preset needs --settings FILE"));
    int row = 0;
    if (apply) {
        row = TCli::ParseNumber(args[1], 1, 8, "pre-setting");
    }
    if (!QFileInfo(cli.SettingsPath).isFile()) {
        cli.Err(QStringLiteral("Unable to read %1").arg(cli.SettingsPath));
        return 1;
    }
    QString error;
    const TSettingsData d = SettingsFile::ReadSettings(cli.SettingsPath, &error);
    if (!error.isEmpty()) {
        cli.Err(error);
        return 1;
    }
    if (list) {
        for (int n = 1; n <= 8; ++n) {
            const TPreSetting& p = d.PreSettings[size_t(n - 1)];
            cli.Out(
                QStringLiteral("%1: %2: %3").arg(n).arg(p.Name, p.Values.join(QLatin1Char(','))));
        }
        cli.Json(QStringLiteral("presets"), PresetsJson(d.PreSettings));
        return 0;
    }
    const TPreSetting& p = d.PreSettings[size_t(row - 1)];
    QList<int> inputs;
    for (int n = 1; n <= PortCount; ++n) {
        const QString text = p.Values.value(n - 1);
        bool isNumber = false;
        const int v = text.toInt(&isNumber);
        if (!isNumber || v < 1 || v > PortCount) {
            cli.Err(QStringLiteral("Pre-setting %1 (%2): the input \"%3\" for Output%4 is not an "
                                   "input of the matrix (1 to 4).")
                        .arg(row)
                        .arg(p.Name, text)
                        .arg(n));
            return 1;
        }
        inputs << v;
    }
    if (!cli.PoweredOn()) return 1;
    cli.Json(QStringLiteral("preset"),
             QJsonObject{{QStringLiteral("number"), row}, {QStringLiteral("name"), p.Name}});
    for (int o = 1; o <= PortCount; ++o) {
        TCommandReply r;
        if (!cli.Run(Catalogue::RouteSet(inputs[o - 1], o), &r)) return 1;
        cli.Out(QStringLiteral("Output%1: Input%2").arg(o).arg(inputs[o - 1]));
        cli.JsonAt(QStringLiteral("routing"), QString::number(o), inputs[o - 1]);
    }
    return 0;
}

int CmdSettings(TCli& cli, const QString& command, const QStringList& args)
{
    if (command == QLatin1String("audio")) return Audio(cli, args);
    if (command == QLatin1String("preset")) return Preset(cli, args);
    return Switch(cli, command, args);
}
