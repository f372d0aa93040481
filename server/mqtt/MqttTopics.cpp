#include "MqttTopics.h"

#include "link/Commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

namespace
{
const QByteArray On = QByteArrayLiteral("ON");
const QByteArray Off = QByteArrayLiteral("OFF");
constexpr int AudioSources = 3;
constexpr int PresetCount = 8;

QByteArray OnOff(int v)
{
    return v ? On : Off;
}

QString Numbered(const QString& base, const char* part, int n)
{
    return QStringLiteral("%1/%2/%3").arg(base, QLatin1String(part)).arg(n);
}

// 1..max from decimal digits only; 0 otherwise.
int SmallNumber(const QString& text, int max)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch()) return 0;
    const int v = text.toInt();
    return v >= 1 && v <= max ? v : 0;
}

QString PayloadText(const QByteArray& payload)
{
    return QString::fromUtf8(payload).trimmed();
}

// 1 for ON, 0 for OFF, -1 for anything else.
int ParseOnOff(const QString& text)
{
    if (text == QLatin1String(On)) return 1;
    if (text == QLatin1String(Off)) return 0;
    return -1;
}
} // namespace

QString TMqttNames::OutputInput(int n) const
{
    return Numbered(Base(), "output", n) + QStringLiteral("/input");
}
QString TMqttNames::Audio(int n) const
{
    return Numbered(Base(), "audio", n);
}
QString TMqttNames::Switch(const QString& name) const
{
    return Base() + QStringLiteral("/switch/") + name;
}
QString TMqttNames::InputConnected(int n) const
{
    return Numbered(Base(), "input", n) + QStringLiteral("/connected");
}
QString TMqttNames::OutputConnected(int n) const
{
    return Numbered(Base(), "output", n) + QStringLiteral("/connected");
}

QStringList TMqttNames::CommandTopics() const
{
    QStringList topics;
    for (int n = 1; n <= PortCount; ++n)
        topics << Set(OutputInput(n));
    topics << Set(Power());
    for (int n = 1; n <= PortCount; ++n)
        topics << Set(Audio(n));
    for (const char* name : MqttSwitchNames)
        topics << Set(Switch(QLatin1String(name)));
    topics << PresetApply();
    return topics;
}

QString Mqtt::ProgramVersion()
{
    return QStringLiteral(MATRIX_VERSION);
}

bool Mqtt::IsValidId(const QString& id)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return re.match(id).hasMatch();
}

QString Mqtt::InputOption(int n, const QString& tag)
{
    return tag.isEmpty() ? QStringLiteral("In%1").arg(n)
                         : QStringLiteral("In%1 - [%2]").arg(n).arg(tag);
}

QList<TMqttMessage> Mqtt::StateMessages(const TMqttNames& names, const TMqttState& before,
                                        const TMqttState& after, bool all)
{
    QList<TMqttMessage> out;
    auto add = [&](bool known, bool changed, const QString& topic, const QByteArray& payload) {
        if (known && (all || changed)) out.append({topic, payload, true});
    };
    for (int n = 1; n <= PortCount; ++n) {
        const int v = after.Routing[size_t(n - 1)];
        add(v > 0, v != before.Routing[size_t(n - 1)], names.OutputInput(n), QByteArray::number(v));
    }
    add(after.Power >= 0, after.Power != before.Power, names.Power(), OnOff(after.Power));
    for (int n = 1; n <= PortCount; ++n) {
        const int v = after.Audio[size_t(n - 1)];
        add(v > 0, v != before.Audio[size_t(n - 1)], names.Audio(n),
            Catalogue::AudioSourceName(v).toUtf8());
    }
    for (size_t i = 0; i < MqttSwitchNames.size(); ++i) {
        const int v = after.Switches[i];
        add(v >= 0, v != before.Switches[i], names.Switch(QLatin1String(MqttSwitchNames[i])),
            OnOff(v));
    }
    for (int n = 1; n <= PortCount; ++n) {
        const int v = after.InputConnected[size_t(n - 1)];
        add(v >= 0, v != before.InputConnected[size_t(n - 1)], names.InputConnected(n), OnOff(v));
    }
    for (int n = 1; n <= PortCount; ++n) {
        const int v = after.OutputConnected[size_t(n - 1)];
        add(v >= 0, v != before.OutputConnected[size_t(n - 1)], names.OutputConnected(n), OnOff(v));
    }
    add(!after.Version.isEmpty(), after.Version != before.Version, names.Version(),
        after.Version.toUtf8());
    return out;
}

QList<TMqttMessage> Mqtt::DiscoveryMessages(const TMqttNames& names, const TMqttDevice& device,
                                            bool remove)
{
    QList<TMqttMessage> out;
    if (names.HaPrefix.isEmpty()) return out;
    QJsonObject deviceInfo{
        {QStringLiteral("identifiers"), QJsonArray{names.Id}},
        {QStringLiteral("name"), names.Id},
        {QStringLiteral("model"), QStringLiteral("4x4 HDMI2.0 Matrix")},
    };
    // Home Assistant shows an empty version as one; the key comes once it is read.
    if (!device.Version.isEmpty()) deviceInfo.insert(QStringLiteral("sw_version"), device.Version);
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("matrix-server")},
                             {QStringLiteral("sw_version"), Mqtt::ProgramVersion()}};
    auto add = [&](const char* component, const QString& object, const QString& name,
                   QJsonObject config) {
        const QString topic = QStringLiteral("%1/%2/%3/%4/config")
                                  .arg(names.HaPrefix, QLatin1String(component), names.Id, object);
        if (remove) {
            out.append({topic, QByteArray(), true});
            return;
        }
        const QString uniqueId = names.Id + QLatin1Char('_') + object;
        config.insert(QStringLiteral("name"), name);
        config.insert(QStringLiteral("unique_id"), uniqueId);
        config.insert(QStringLiteral("default_entity_id"),
                      QLatin1String(component) + QLatin1Char('.') + uniqueId);
        config.insert(QStringLiteral("availability_topic"), names.Availability());
        // Home Assistant publishes commands at the entity's QoS; at 0 the broker
        // would not keep them for a server that is away.
        if (config.contains(QStringLiteral("command_topic")))
            config.insert(QStringLiteral("qos"), 1);
        config.insert(QStringLiteral("device"), deviceInfo);
        config.insert(QStringLiteral("origin"), origin);
        out.append({topic, QJsonDocument(config).toJson(QJsonDocument::Compact), true});
    };
    auto stateAndCommand = [](const QString& state) {
        return QJsonObject{{QStringLiteral("state_topic"), state},
                           {QStringLiteral("command_topic"), TMqttNames::Set(state)}};
    };

    QJsonArray inputOptions;
    QJsonObject optionOf; // input number -> option text, for the value template
    for (int n = 1; n <= PortCount; ++n) {
        const QString option = InputOption(n, device.InputTags[size_t(n - 1)]);
        inputOptions.append(option);
        optionOf.insert(QString::number(n), option);
    }
    // The state topic carries the input number; Home Assistant wants the option.
    // A JSON object is also a valid Jinja dict literal, quotes and all.
    const QString valueTemplate =
        QStringLiteral("{{ %1[value] | default(value) }}")
            .arg(QString::fromUtf8(QJsonDocument(optionOf).toJson(QJsonDocument::Compact)));
    for (int n = 1; n <= PortCount; ++n) {
        QJsonObject c = stateAndCommand(names.OutputInput(n));
        c.insert(QStringLiteral("options"), inputOptions);
        c.insert(QStringLiteral("value_template"), valueTemplate);
        const QString tag = device.OutputTags[size_t(n - 1)];
        add("select", QStringLiteral("output_%1").arg(n),
            tag.isEmpty() ? QStringLiteral("Output %1").arg(n) : tag, c);
    }

    add("switch", QStringLiteral("power"), QStringLiteral("Power"), stateAndCommand(names.Power()));
    const std::array<const char*, 3> switchTitles{"IR control", "Panel keys", "Beeper"};
    for (size_t i = 0; i < MqttSwitchNames.size(); ++i) {
        const QString name = QLatin1String(MqttSwitchNames[i]);
        QJsonObject c = stateAndCommand(names.Switch(name));
        c.insert(QStringLiteral("entity_category"), QStringLiteral("config"));
        add("switch", name, QLatin1String(switchTitles[i]), c);
    }

    QJsonArray audioOptions;
    for (int v = 1; v <= AudioSources; ++v)
        audioOptions.append(Catalogue::AudioSourceName(v));
    for (int n = 1; n <= PortCount; ++n) {
        QJsonObject c = stateAndCommand(names.Audio(n));
        c.insert(QStringLiteral("options"), audioOptions);
        add("select", QStringLiteral("audio_%1").arg(n),
            QStringLiteral("Audio source Input %1").arg(n), c);
    }

    auto plug = [](const QString& state) {
        return QJsonObject{{QStringLiteral("state_topic"), state},
                           {QStringLiteral("device_class"), QStringLiteral("plug")}};
    };
    for (int n = 1; n <= PortCount; ++n)
        add("binary_sensor", QStringLiteral("input_%1_connected").arg(n),
            QStringLiteral("Input %1 connected").arg(n), plug(names.InputConnected(n)));
    for (int n = 1; n <= PortCount; ++n)
        add("binary_sensor", QStringLiteral("output_%1_connected").arg(n),
            QStringLiteral("Output %1 connected").arg(n), plug(names.OutputConnected(n)));

    add("sensor", QStringLiteral("version"), QStringLiteral("Firmware version"),
        QJsonObject{{QStringLiteral("state_topic"), names.Version()},
                    {QStringLiteral("entity_category"), QStringLiteral("diagnostic")}});

    for (int n = 1; n <= PresetCount; ++n) {
        const QString name = device.PresetNames[size_t(n - 1)];
        if (name.isEmpty() && !remove) continue;
        add("button", QStringLiteral("preset_%1").arg(n), name,
            QJsonObject{{QStringLiteral("command_topic"), names.PresetApply()},
                        {QStringLiteral("payload_press"), QString::number(n)}});
    }
    return out;
}

TMqttCommand Mqtt::ParseCommand(const TMqttNames& names, const TMqttDevice& device,
                                const QString& topic, const QByteArray& payload)
{
    TMqttCommand c;
    // Refused before it is decoded: a payload of megabytes would cost twice
    // that as text, and no command is longer than a tag or a name.
    if (payload.size() > MaxCommandBytes) {
        c.Error = QStringLiteral("payload too long (at most %1 bytes)").arg(MaxCommandBytes);
        return c;
    }
    const QString text = PayloadText(payload);
    auto refuse = [&](const QString& error) {
        c = TMqttCommand();
        c.Error = error;
        return c;
    };
    for (int n = 1; n <= PortCount; ++n) {
        if (topic == TMqttNames::Set(names.OutputInput(n))) {
            int input = SmallNumber(text, PortCount);
            for (int i = 1; i <= PortCount && !input; ++i) {
                if (text == InputOption(i, device.InputTags[size_t(i - 1)]) ||
                    text == InputOption(i, QString()))
                    input = i;
            }
            if (!input)
                return refuse(
                    QStringLiteral("bad input (want 1..4 or an input text such as \"In2\")"));
            return {TMqttCommand::mkRoute, n, input, QString()};
        }
        if (topic == TMqttNames::Set(names.Audio(n))) {
            int source = SmallNumber(text, AudioSources);
            for (int v = 1; v <= AudioSources && !source; ++v) {
                if (text == Catalogue::AudioSourceName(v)) source = v;
            }
            if (!source)
                return refuse(QStringLiteral("bad audio source (want 1..3 or \"%1\", \"%2\" or "
                                             "\"%3\")")
                                  .arg(Catalogue::AudioSourceName(1), Catalogue::AudioSourceName(2),
                                       Catalogue::AudioSourceName(3)));
            return {TMqttCommand::mkAudio, n, source, QString()};
        }
    }
    const bool power = topic == TMqttNames::Set(names.Power());
    int switchIndex = -1;
    for (size_t i = 0; i < MqttSwitchNames.size(); ++i) {
        if (topic == TMqttNames::Set(names.Switch(QLatin1String(MqttSwitchNames[i]))))
            switchIndex = int(i);
    }
    if (power || switchIndex >= 0) {
        const int v = ParseOnOff(text);
        if (v < 0) return refuse(QStringLiteral("bad value (want ON or OFF)"));
        return power ? TMqttCommand{TMqttCommand::mkPower, 0, v, QString()}
                     : TMqttCommand{TMqttCommand::mkSwitch, switchIndex, v, QString()};
    }
    if (topic == names.PresetApply()) {
        int row = SmallNumber(text, PresetCount);
        for (int n = 1; n <= PresetCount && !row; ++n) {
            if (!text.isEmpty() && text == device.PresetNames[size_t(n - 1)]) row = n;
        }
        if (!row)
            return refuse(QStringLiteral("bad pre-setting (want 1..8 or a pre-setting name)"));
        return {TMqttCommand::mkPreset, row, 0, QString()};
    }
    return refuse(QStringLiteral("not a command topic"));
}

QByteArray Mqtt::ErrorPayload(const QString& topic, const QByteArray& payload, const QString& error)
{
    // At most ErrorEchoBytes of the payload, cut before a character that
    // would not fit whole, and the length of all of it.
    qsizetype cut = std::min(payload.size(), qsizetype(ErrorEchoBytes));
    if (cut < payload.size())
        while (cut > 0 && (uchar(payload[cut]) & 0xC0) == 0x80)
            --cut;
    const QJsonObject o{{QStringLiteral("topic"), topic},
                        {QStringLiteral("payload"), QString::fromUtf8(payload.left(cut))},
                        {QStringLiteral("length"), payload.size()},
                        {QStringLiteral("error"), error}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool TMqttUrl::Parse(const QString& text, TMqttUrl* url, QString* error)
{
    const QUrl u(text, QUrl::StrictMode);
    const QString scheme = u.scheme();
    if (!u.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
        u.host().isEmpty() || (!u.path().isEmpty() && u.path() != QLatin1String("/")) ||
        u.hasQuery() || u.hasFragment()) {
        *error = QStringLiteral("bad broker address '%1' (want "
                                "mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://...)")
                     .arg(text);
        return false;
    }
    url->Tls = scheme == QLatin1String("mqtts");
    url->Host = u.host();
    url->Port = u.port(url->Tls ? 8883 : 1883);
    url->User = u.userName(QUrl::FullyDecoded);
    url->Password = u.password(QUrl::FullyDecoded);
    return true;
}
