#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

// The MQTT side of matrix-server as pure functions: names and state in,
// topics and payloads out. No I/O here, so every message can be checked
// against known answers.

// Where one server's topics live: B = PREFIX/ID for state and commands,
// HA/<component>/ID/<object>/config for the discovery configs.
struct TMqttNames {
    QString Prefix = QStringLiteral("hdmi-matrix");
    QString Id = QStringLiteral("matrix");
    QString HaPrefix = QStringLiteral("homeassistant"); // empty: no discovery

    QString Base() const { return Prefix + QLatin1Char('/') + Id; }
    QString Availability() const { return Base() + QStringLiteral("/availability"); }
    QString OutputInput(int n) const;
    QString Power() const { return Base() + QStringLiteral("/power"); }
    QString Audio(int n) const;
    QString Switch(const QString& name) const;
    QString InputConnected(int n) const;
    QString OutputConnected(int n) const;
    QString Version() const { return Base() + QStringLiteral("/version"); }
    QString PresetApply() const { return Base() + QStringLiteral("/preset/apply"); }
    QString Error() const { return Base() + QStringLiteral("/error"); }
    static QString Set(const QString& state) { return state + QStringLiteral("/set"); }
    // Every command topic the server subscribes to.
    QStringList CommandTopics() const;
};

struct TMqttMessage {
    QString Topic;
    QByteArray Payload;
    bool Retain = true;
    bool operator==(const TMqttMessage& o) const
    {
        return Topic == o.Topic && Payload == o.Payload && Retain == o.Retain;
    }
};

// The switches offered over MQTT, in topic order.
constexpr std::array<const char*, 3> MqttSwitchNames{"ir", "keys", "beeper"};

// What the server knows of the matrix; 0 (numbers) or -1 (flags) and an
// empty version mean "not known yet" and publish nothing.
struct TMqttState {
    std::array<int, 4> Routing{};            // input 1..4 on output 1..4
    int Power = -1;                          // 1 on, 0 off
    std::array<int, 4> Audio{};              // source 1..3 of input 1..4
    std::array<int, 3> Switches{-1, -1, -1}; // MqttSwitchNames order
    std::array<int, 4> InputConnected{-1, -1, -1, -1};
    std::array<int, 4> OutputConnected{-1, -1, -1, -1};
    QString Version;
};

// What the discovery configs and the option texts are built from.
struct TMqttDevice {
    QString Version;
    std::array<QString, 4> InputTags;
    std::array<QString, 4> OutputTags;
    std::array<QString, 8> PresetNames; // empty: no button
};

// A command that arrived by topic, ready for the queue.
struct TMqttCommand {
    enum TKind { mkNone, mkRoute, mkPower, mkAudio, mkSwitch, mkPreset };
    TKind Kind = mkNone;
    int Port = 0;  // output (route), input (audio), switch index, pre-setting 1..8
    int Value = 0; // input, source 1..3, 1/0 for power and switches
    QString Error; // why the payload was refused (Kind mkNone)
};

namespace Mqtt
{
// A command payload longer than this is refused unread.
constexpr int MaxCommandBytes = 1024;
// How much of a refused payload B/error repeats.
constexpr int ErrorEchoBytes = 256;

// The version of matrix-server, for the discovery configs' origin.
QString ProgramVersion();

// Letters, digits, '_' and '-' only, not empty.
bool IsValidId(const QString& id);

// The input text a list offers: "In2" or "In2 - [Blu-ray]".
QString InputOption(int n, const QString& tag);

// State messages (retained) for every value that differs between `before`
// and `after`; with `all` every known value of `after`.
QList<TMqttMessage> StateMessages(const TMqttNames& names, const TMqttState& before,
                                  const TMqttState& after, bool all);

// The Home Assistant discovery configs (retained), one per entity; empty when
// discovery is off. `remove` gives the same topics with empty payloads, and
// covers every pre-setting button that could exist.
QList<TMqttMessage> DiscoveryMessages(const TMqttNames& names, const TMqttDevice& device,
                                      bool remove = false);

// The command for a message on one of CommandTopics(); Kind mkNone and an
// Error text when topic or payload make no command.
TMqttCommand ParseCommand(const TMqttNames& names, const TMqttDevice& device, const QString& topic,
                          const QByteArray& payload);

// {"topic": ..., "payload": ..., "length": ..., "error": ...} for B/error:
// the payload's first ErrorEchoBytes and its whole length in bytes.
QByteArray ErrorPayload(const QString& topic, const QByteArray& payload, const QString& error);
} // namespace Mqtt

// --mqtt mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://...
struct TMqttUrl {
    QString Host;
    int Port = 0;
    QString User;
    QString Password;
    bool Tls = false;
    // False with `error` set when the text is no broker address.
    static bool Parse(const QString& text, TMqttUrl* url, QString* error);
};
