#include "OpsJson.h"

#include <QJsonDocument>

namespace
{
QString Key(int n)
{
    return QString::number(n);
}

QString PlugText(TPlugState s)
{
    switch (s) {
    case psConnected:
        return QStringLiteral("connected");
    case psNotConnected:
        return QStringLiteral("not connected");
    case psUnknown:
        break;
    }
    return QStringLiteral("unknown");
}
} // namespace

QJsonObject OpsJson::Merge(QJsonObject a, const QJsonObject& b)
{
    for (auto it = b.begin(); it != b.end(); ++it)
        a.insert(it.key(), it.value());
    return a;
}

QJsonObject OpsJson::Power(int power)
{
    if (power < 0) return {};
    return {{QStringLiteral("power"), power == 1}};
}

QJsonObject OpsJson::Status(const TDeviceStatus& s)
{
    QJsonObject o = Power(s.Power);
    if (!s.Details) return o;
    const QString unknown = QStringLiteral("unknown");
    if (!s.DetailsRead) {
        o.insert(QStringLiteral("device"), unknown);
        o.insert(QStringLiteral("version"), unknown);
        return o;
    }
    o.insert(QStringLiteral("device"), QStringLiteral("%1x%2").arg(s.Inputs).arg(s.Outputs));
    o.insert(QStringLiteral("version"), s.VersionText.section(QLatin1Char(' '), 1));
    QJsonObject in, out;
    for (int n = 1; n <= s.InputsRead; ++n)
        in.insert(Key(n), PlugText(s.InputState[size_t(n - 1)]));
    for (int n = 1; n <= s.OutputsRead; ++n)
        out.insert(Key(n), PlugText(s.OutputState[size_t(n - 1)]));
    if (!in.isEmpty()) o.insert(QStringLiteral("inputs"), in);
    if (!out.isEmpty()) o.insert(QStringLiteral("outputs"), out);
    return o;
}

QJsonObject OpsJson::Routing(const TRouting& r)
{
    QJsonObject routing;
    for (int n = 1; n <= PortCount; ++n)
        if (r.Input[size_t(n - 1)] > 0) routing.insert(Key(n), r.Input[size_t(n - 1)]);
    if (routing.isEmpty()) return {};
    return {{QStringLiteral("routing"), routing}};
}

QJsonObject OpsJson::Audio(const TAudio& a)
{
    QJsonObject audio, names;
    for (int n = 1; n <= PortCount; ++n) {
        const int v = a.Source[size_t(n - 1)];
        if (v <= 0) continue;
        audio.insert(Key(n), v);
        const QString name = Catalogue::AudioSourceName(v);
        if (!name.isEmpty()) names.insert(Key(n), name);
    }
    QJsonObject o;
    if (!audio.isEmpty()) o.insert(QStringLiteral("audio"), audio);
    if (!names.isEmpty()) o.insert(QStringLiteral("audioNames"), names);
    return o;
}

QJsonObject OpsJson::Switch(TSwitch which, bool on)
{
    return {{QLatin1String(SwitchNames[which]), on}};
}

QJsonArray OpsJson::Presets(const std::array<TPreSetting, 8>& presets)
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

QJsonObject OpsJson::PresetApplied(const TPresetApplied& p)
{
    QJsonObject o = Routing(p.Routing);
    if (p.Number > 0)
        o.insert(QStringLiteral("preset"), QJsonObject{{QStringLiteral("number"), p.Number},
                                                       {QStringLiteral("name"), p.Name}});
    return o;
}

QJsonObject OpsJson::Send(const TSendResult& s)
{
    QJsonObject o{{QStringLiteral("ok"), s.Accepted}};
    if (!s.Reply.isEmpty())
        o.insert(QStringLiteral("reply"), QString::fromLatin1(s.Reply.toHex(' ').toUpper()));
    return o;
}

QJsonObject OpsJson::Done()
{
    return {{QStringLiteral("result"), QStringLiteral("Done")}};
}

QJsonObject OpsJson::EdidRead(const TEdidRead& e, const QString& file)
{
    return {{QStringLiteral("result"), QStringLiteral("Done")},
            {QStringLiteral("file"), file},
            {QStringLiteral("edid"), QString::fromLatin1(e.Edid.toHex(' ').toUpper())}};
}

QJsonObject OpsJson::Backup(const TDeviceState& state)
{
    return QJsonDocument::fromJson(TDeviceBackup::ToJson(state)).object();
}

QJsonObject OpsJson::Restore(const TRestoreResult& r)
{
    QJsonArray commands;
    for (const TRestoreStep& step : r.Steps) {
        const TCommandPacket& p = step.Command.Packet;
        commands.append(
            QJsonObject{{QStringLiteral("group"), p.Group},
                        {QStringLiteral("code"), p.Code},
                        {QStringLiteral("p1"), p.P1},
                        {QStringLiteral("p2"), p.P2},
                        {QStringLiteral("p3"), p.P3},
                        {QStringLiteral("p4"), p.P4},
                        {QStringLiteral("name"), Catalogue::CommandName(p.Group, p.Code)},
                        {QStringLiteral("description"), step.Description}});
    }
    return {{QStringLiteral("dryRun"), r.DryRun}, {QStringLiteral("commands"), commands}};
}

QJsonObject OpsJson::Module(const TModuleInfo& m)
{
    return {{QStringLiteral("version"), m.Version},
            {QStringLiteral("dhcp"), m.Dhcp},
            {QStringLiteral("ip"), m.Ip}};
}
