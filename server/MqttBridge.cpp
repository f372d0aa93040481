#include "MqttBridge.h"

#include "ServerCore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cstdio>

namespace
{
const QString OptMqtt = QStringLiteral("--mqtt");
const QString OptId = QStringLiteral("--mqtt-id");
const QString OptPrefix = QStringLiteral("--mqtt-prefix");
const QString OptHaPrefix = QStringLiteral("--ha-prefix");
const QString OptNoHa = QStringLiteral("--no-ha");
const QString OptHaRemove = QStringLiteral("--ha-remove");
const QString OptCa = QStringLiteral("--mqtt-ca");
const QString OptPasswordFile = QStringLiteral("--mqtt-password-file");

QString ReadPassword(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile()) throw EUsage(QStringLiteral("password file %1 not found").arg(path));
    if (info.permissions() & (QFile::ReadGroup | QFile::ReadOther))
        throw EUsage(
            QStringLiteral("password file %1 is readable by other users; chmod 600 it").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 4096)
        throw EUsage(QStringLiteral("cannot read password file %1").arg(path));
    QByteArray bytes = f.readAll();
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

// A topic prefix: levels without wildcards, no leading or trailing '/'.
bool IsValidPrefix(const QString& p)
{
    return !p.isEmpty() && !p.startsWith(QLatin1Char('/')) && !p.endsWith(QLatin1Char('/')) &&
           !p.contains(QLatin1Char('+')) && !p.contains(QLatin1Char('#')) &&
           !p.contains(QLatin1String("//"));
}
} // namespace

void TMqttBridgeOptions::AddTo(TServerCommandLine& c)
{
    c.AddOption(OptMqtt, true, QStringLiteral("[--mqtt mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT]"));
    c.AddOption(OptId, true, QStringLiteral(" [--mqtt-id ID] [--mqtt-prefix PREFIX]"));
    c.AddOption(OptPrefix, true, QString());
    c.AddOption(OptHaPrefix, true, QStringLiteral(" [--ha-prefix PREFIX | --no-ha] [--ha-remove]"));
    c.AddOption(OptNoHa, false, QString());
    c.AddOption(OptHaRemove, false, QString());
    c.AddOption(OptCa, true, QStringLiteral(" [--mqtt-ca FILE] [--mqtt-password-file FILE]]"));
    c.AddOption(OptPasswordFile, true, QString());
    c.AddCheck([](const TServerOptions& o) {
        TMqttBridgeOptions ignored;
        From(o, &ignored);
    });
}

bool TMqttBridgeOptions::From(const TServerOptions& o, TMqttBridgeOptions* out)
{
    const QMap<QString, QString>& x = o.Extra;
    if (!x.contains(OptMqtt)) {
        for (const QString& name :
             {OptId, OptPrefix, OptHaPrefix, OptNoHa, OptHaRemove, OptCa, OptPasswordFile})
            if (x.contains(name)) throw EUsage(QStringLiteral("%1 needs --mqtt").arg(name));
        if (o.ListenNone)
            throw EUsage(QStringLiteral("--listen none leaves nothing to serve without --mqtt"));
        return false;
    }
    QString error;
    if (!TMqttUrl::Parse(x.value(OptMqtt), &out->Broker, &error)) throw EUsage(error);
    if (x.contains(OptPasswordFile)) {
        if (!out->Broker.Password.isEmpty())
            throw EUsage(QStringLiteral("give the MQTT password either in --mqtt or in %1, not in "
                                        "both")
                             .arg(OptPasswordFile));
        out->Broker.Password = ReadPassword(x.value(OptPasswordFile));
        if (out->Broker.User.isEmpty())
            throw EUsage(QStringLiteral("%1 needs a user name in --mqtt").arg(OptPasswordFile));
    }
    out->Names.Id = x.value(OptId, out->Names.Id);
    if (!Mqtt::IsValidId(out->Names.Id))
        throw EUsage(QStringLiteral("bad --mqtt-id '%1' (letters, digits, '_' and '-' only)")
                         .arg(out->Names.Id));
    out->Names.Prefix = x.value(OptPrefix, out->Names.Prefix);
    out->Names.HaPrefix = x.value(OptHaPrefix, out->Names.HaPrefix);
    for (const QString& p : {out->Names.Prefix, out->Names.HaPrefix})
        if (!IsValidPrefix(p))
            throw EUsage(QStringLiteral("bad topic prefix '%1' (no '+', '#', empty levels or "
                                        "leading or trailing '/')")
                             .arg(p));
    if (x.contains(OptNoHa)) {
        if (x.contains(OptHaRemove) || x.contains(OptHaPrefix))
            throw EUsage(QStringLiteral("--no-ha goes with neither --ha-prefix nor --ha-remove"));
        out->Names.HaPrefix.clear();
    }
    out->HaRemove = x.contains(OptHaRemove);
    out->CaFile = x.value(OptCa);
    if (!out->CaFile.isEmpty() && !out->Broker.Tls)
        throw EUsage(QStringLiteral("--mqtt-ca needs an mqtts:// broker"));
    if (!out->CaFile.isEmpty() && !QFileInfo(out->CaFile).isFile())
        throw EUsage(QStringLiteral("CA file %1 not found").arg(out->CaFile));
    out->StatusS = o.RefreshS;
    return true;
}

TMqttBridge::TMqttBridge(TServerCore* core, const TMqttBridgeOptions& options,
                         const TTiming& timing, QObject* parent)
    : QObject(parent), FCore(core), FOptions(options), FTiming(timing),
      FAliveWait(new QTimer(this)), FAliveTimer(new QTimer(this)), FStatusTimer(new QTimer(this))
{
    FAliveWait->setSingleShot(true);
    // A live server says "offline" again within MqttAliveMs; a little more
    // for the way through the broker.
    FAliveWait->setInterval(FTiming.MqttAliveMs + FTiming.MqttAliveMs / 5);
    connect(FAliveWait, &QTimer::timeout, this, [this] { FinishCheck(QString()); });
    connect(FAliveTimer, &QTimer::timeout, this, [this] {
        if (IsConnected() && !FCore->State().Link) PublishAvailability();
    });
    auto state = [this] { PublishState(false); };
    connect(core, &TServerCore::RoutingChanged, this, state);
    connect(core, &TServerCore::PowerChanged, this, [this](bool on) {
        PublishState(false);
        // Version and connections are only readable while the matrix is on.
        if (on) QueueStatus();
    });
    connect(core, &TServerCore::AudioChanged, this, state);
    connect(core, &TServerCore::SwitchChanged, this, state);
    connect(core, &TServerCore::LinkChanged, this, [this](bool up) {
        PublishAvailability();
        if (up) QueueStatus();
    });
    connect(core, &TServerCore::TagsChanged, this, [this] { PublishDiscovery(false); });
    connect(core, &TServerCore::PreSettingsChanged, this, [this] { PublishDiscovery(false); });
    connect(FStatusTimer, &QTimer::timeout, this, &TMqttBridge::QueueStatus);
}

TMqttBridge::~TMqttBridge() = default;

bool TMqttBridge::Start(QString* error, int checkMs)
{
    StartCheck();
    if (FCheck == chPending) {
        QEventLoop wait;
        QTimer limit;
        limit.setSingleShot(true);
        QTimer tick; // the check ends inside a slot; look again now and then
        // Once the broker answered, the check ends by itself (at the latest
        // when the wait for a live "offline" is over).
        connect(&tick, &QTimer::timeout, &wait, [&] {
            if (FCheck != chPending || (!limit.isActive() && !FFenced)) wait.quit();
        });
        limit.start(checkMs);
        tick.start(5);
        wait.exec();
    }
    if (FCheck == chTaken) {
        *error = FCheckError;
        return false;
    }
    // Broker not answering yet: the check goes on, and the service meanwhile.
    return true;
}

void TMqttBridge::Connect()
{
    if (FStarted || FStopping) return;
    FStarted = true;
    if (FOptions.StatusS > 0) FStatusTimer->start(FOptions.StatusS * 1000);
    QueueStatus();
    if (FCheck == chFree) ConnectForGood();
}

void TMqttBridge::StartCheck()
{
    // A connection of its own with a throw-away client id: connecting with
    // ours would take the session away from a server that holds it.
    TMqttClientOptions o;
    o.Broker = FOptions.Broker;
    o.CaFile = FOptions.CaFile;
    o.ClientId = QStringLiteral("matrix-server-check-%1-%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(FOptions.Names.Id);
    o.CleanSession = true;
    FCheckClient = new TMqttClient(o, FTiming, this);
    connect(FCheckClient, &TMqttClient::Refused, this, &TMqttBridge::ReportRefusal);
    connect(FCheckClient, &TMqttClient::Connected, this, [this] {
        FAliveWait->stop();
        FAvailability.clear();
        FOtherPrefix.clear();
        FFenced = false;
        FCheckClient->Subscribe(FOptions.Names.Availability(), 0);
        if (!FOptions.Names.HaPrefix.isEmpty())
            FCheckClient->Subscribe(
                QStringLiteral("%1/+/%2/+/config").arg(FOptions.Names.HaPrefix, FOptions.Names.Id),
                0);
        // The broker sends retained messages right after its acknowledgement;
        // the last acknowledgement comes after all of them.
        FFenceMid = FCheckClient->Subscribe(FOptions.Names.Error(), 0);
    });
    connect(FCheckClient, &TMqttClient::MessageArrived, this, &TMqttBridge::OnCheckMessage);
    connect(FCheckClient, &TMqttClient::Subscribed, this, [this](int mid) {
        if (mid != FFenceMid || FCheck != chPending || FFenced) return;
        FFenced = true;
        if (!FOtherPrefix.isEmpty())
            FinishCheck(QStringLiteral("MQTT id '%1' is in use under prefix '%2' on %3 (Home "
                                       "Assistant's configs for it point there), not under '%4': "
                                       "an id is unique per broker; choose another --mqtt-id, or "
                                       "clear the retained %5/+/%1/+/config if that server is "
                                       "gone")
                            .arg(FOptions.Names.Id, FOtherPrefix, Where(), FOptions.Names.Prefix,
                                 FOptions.Names.HaPrefix));
        else if (FAvailability == "online")
            FinishCheck(QStringLiteral("another matrix-server with MQTT id '%1' under prefix "
                                       "'%2' is online on %3")
                            .arg(FOptions.Names.Id, FOptions.Names.Prefix, Where()));
        else if (FAvailability == "offline")
            FAliveWait->start(); // a stopped server's, or one whose matrix is away?
        else
            FinishCheck(QString());
    });
    QString error;
    if (!FCheckClient->Start(&error)) ReportRefusal(error);
}

void TMqttBridge::OnCheckMessage(const QString& topic, const QByteArray& payload, bool retained)
{
    if (FCheck != chPending) return;
    if (topic == FOptions.Names.Availability()) {
        if (!FFenced) {
            FAvailability = payload;
        } else if (!retained) {
            // Said just now: its server lives, whether its matrix is there or not.
            FAliveWait->stop();
            FinishCheck(QStringLiteral("another matrix-server with MQTT id '%1' under prefix "
                                       "'%2' is %3 on %4")
                            .arg(FOptions.Names.Id, FOptions.Names.Prefix,
                                 payload == "online"
                                     ? QStringLiteral("online")
                                     : QStringLiteral("running (its matrix is offline)"),
                                 Where()));
        }
        return;
    }
    // A discovery config of our id: where do its topics point?
    if (FFenced || payload.size() > 64 * 1024) return;
    const QString availability = QJsonDocument::fromJson(payload)
                                     .object()
                                     .value(QStringLiteral("availability_topic"))
                                     .toString();
    const QString tail = QLatin1Char('/') + FOptions.Names.Id + QStringLiteral("/availability");
    if (availability.endsWith(tail) && availability.size() > tail.size()) {
        const QString prefix = availability.chopped(tail.size());
        // Only a prefix we could have written ourselves goes into the message.
        if (prefix != FOptions.Names.Prefix && prefix.size() <= 256 && IsValidPrefix(prefix))
            FOtherPrefix = prefix;
    }
}

void TMqttBridge::FinishCheck(const QString& takenBy)
{
    if (FCheck != chPending) return;
    FCheck = takenBy.isEmpty() ? chFree : chTaken;
    FCheckError = takenBy;
    FCheckClient->Stop();
    FCheckClient->deleteLater();
    FCheckClient = nullptr;
    if (!FStarted) return; // Start() reports, Connect() goes on
    if (FCheck == chFree)
        ConnectForGood();
    else
        emit Fatal(FCheckError);
}

QString TMqttBridge::Where() const
{
    return QStringLiteral("%1:%2").arg(FOptions.Broker.Host).arg(FOptions.Broker.Port);
}

void TMqttBridge::ConnectForGood()
{
    if (FStopping) return;
    TMqttClientOptions o;
    o.Broker = FOptions.Broker;
    o.CaFile = FOptions.CaFile;
    o.ClientId = QStringLiteral("matrix-server/") + FOptions.Names.Base();
    o.CleanSession = false; // commands sent while we are away wait at the broker
    o.WillTopic = FOptions.Names.Availability();
    o.WillPayload = QByteArrayLiteral("offline");
    FClient = new TMqttClient(o, FTiming, this);
    connect(FClient, &TMqttClient::Refused, this, &TMqttBridge::ReportRefusal);
    connect(FClient, &TMqttClient::Connected, this, &TMqttBridge::OnConnected);
    connect(FClient, &TMqttClient::MessageArrived, this, &TMqttBridge::OnMessage);
    connect(FClient, &TMqttClient::Disconnected, this, [this] {
        std::fprintf(stderr, "matrix-server: lost the MQTT broker %s; trying again in %.1f s\n",
                     qPrintable(Where()), FClient->RetryDelayMs() / 1000.0);
        std::fflush(stderr);
        FTroubleLogged = true;
    });
    connect(FClient, &TMqttClient::TakenOver, this, [this] {
        FAliveTimer->stop();
        emit Fatal(QStringLiteral("MQTT id '%1' under prefix '%2' was taken over by another "
                                  "client on %3; stopping")
                       .arg(FOptions.Names.Id, FOptions.Names.Prefix, Where()));
    });
    FAliveTimer->start(FTiming.MqttAliveMs);
    QString error;
    if (!FClient->Start(&error)) ReportRefusal(error);
}

void TMqttBridge::ReportRefusal(const QString& reason)
{
    TMqttClient* c = FClient ? FClient : FCheckClient;
    const int delay = c ? c->RetryDelayMs() : 0;
    std::fprintf(stderr, "matrix-server: %s; trying again in %.1f s\n", qPrintable(reason),
                 delay / 1000.0);
    std::fflush(stderr);
    FTroubleLogged = true;
}

void TMqttBridge::OnConnected()
{
    if (FTroubleLogged) {
        std::fprintf(stderr, "matrix-server: MQTT broker %s connected\n", qPrintable(Where()));
        std::fflush(stderr);
        FTroubleLogged = false;
    }
    for (const QString& topic : FOptions.Names.CommandTopics())
        FClient->Subscribe(topic, 1);
    // The broker may have lost everything (a restart without persistence).
    FConfigs.clear();
    FPublished = TMqttState();
    PublishAvailability();
    PublishDiscovery(true);
    PublishState(true);
}

void TMqttBridge::OnMessage(const QString& topic, const QByteArray& payload, bool retained)
{
    // A retained command would run again at every connect: not a command.
    if (retained) {
        PublishError(topic, payload, QStringLiteral("retained command ignored"));
        return;
    }
    const TMqttCommand c = Mqtt::ParseCommand(FOptions.Names, CurrentDevice(), topic, payload);
    if (c.Kind == TMqttCommand::mkNone) {
        PublishError(topic, payload, c.Error);
        return;
    }
    // A newer command on the same topic replaces the one still waiting: a
    // burst never fills the queue, and the last command is the one that stays.
    FCore->Queue()->PostReplacing(QStringLiteral("mqtt ") + topic,
                                  [this, c, topic, payload] { RunCommand(c, topic, payload); });
}

void TMqttBridge::RunCommand(const TMqttCommand& c, const QString& topic, const QByteArray& payload)
{
    TOpStatus st;
    switch (c.Kind) {
    case TMqttCommand::mkRoute: {
        TRouting r;
        st = FCore->Route(c.Value, c.Port, &r);
        break;
    }
    case TMqttCommand::mkPower: {
        int power = -1;
        st = FCore->Power(c.Value ? 1 : 0, &power);
        break;
    }
    case TMqttCommand::mkAudio: {
        TAudio a;
        st = FCore->Audio(c.Port, c.Value, &a);
        break;
    }
    case TMqttCommand::mkSwitch: {
        // MQTT offers ir, keys and beeper.
        TSwitch which = swIr;
        for (int n = 0; n < SwitchCount; ++n)
            if (QLatin1String(SwitchNames[n]) == QLatin1String(MqttSwitchNames[size_t(c.Port)]))
                which = TSwitch(n);
        bool on = false;
        st = FCore->Switch(which, c.Value ? 1 : 0, &on);
        break;
    }
    case TMqttCommand::mkPreset: {
        TPresetApplied p;
        st = FCore->ApplyPreset(c.Port, &p);
        break;
    }
    case TMqttCommand::mkNone:
        return;
    }
    if (!st.Ok()) PublishError(topic, payload, st.Text());
}

void TMqttBridge::PublishError(const QString& topic, const QByteArray& payload,
                               const QString& error)
{
    if (FClient)
        FClient->Publish(
            {FOptions.Names.Error(), Mqtt::ErrorPayload(topic, payload, error), false});
}

void TMqttBridge::PublishAvailability()
{
    if (!FClient) return;
    FClient->Publish(
        {FOptions.Names.Availability(),
         FCore->State().Link ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"), true});
}

void TMqttBridge::Publish(const QList<TMqttMessage>& messages)
{
    for (const TMqttMessage& m : messages)
        FClient->Publish(m);
}

void TMqttBridge::PublishState(bool all)
{
    if (!IsConnected()) return;
    const TMqttState now = CurrentState();
    Publish(Mqtt::StateMessages(FOptions.Names, FPublished, now, all));
    FPublished = now;
}

void TMqttBridge::PublishDiscovery(bool all)
{
    if (!IsConnected()) return;
    QMap<QString, QByteArray> now;
    for (const TMqttMessage& m : Mqtt::DiscoveryMessages(FOptions.Names, CurrentDevice()))
        now.insert(m.Topic, m.Payload);
    for (auto it = now.begin(); it != now.end(); ++it)
        if (all || FConfigs.value(it.key()) != it.value()) FClient->Publish({it.key(), it.value()});
    // A pre-setting that lost its name loses its button, also one that lost
    // it while we were away (the broker still holds that config).
    if (all) {
        for (const TMqttMessage& m : Mqtt::DiscoveryMessages(FOptions.Names, CurrentDevice(), true))
            if (!now.contains(m.Topic)) FClient->Publish(m);
    }
    for (auto it = FConfigs.begin(); it != FConfigs.end(); ++it)
        if (!now.contains(it.key())) FClient->Publish({it.key(), QByteArray()});
    FConfigs = now;
}

TMqttState TMqttBridge::CurrentState() const
{
    const TServerState& s = FCore->State();
    TMqttState m;
    m.Routing = s.Routing;
    m.Power = s.Power;
    m.Audio = s.Audio;
    // The core keeps ir, keys, apm, beeper; MQTT offers ir, keys, beeper.
    m.Switches = {s.Switches[0], s.Switches[1], s.Switches[3]};
    m.InputConnected = FInputConnected;
    m.OutputConnected = FOutputConnected;
    m.Version = FVersion;
    return m;
}

TMqttDevice TMqttBridge::CurrentDevice() const
{
    TMqttDevice d;
    d.Version = FVersion;
    const TPortTags tags = FCore->Tags();
    d.InputTags = tags.In;
    d.OutputTags = tags.Out;
    const std::array<TPreSetting, 8> presets = FCore->PreSettings();
    for (size_t n = 0; n < presets.size(); ++n)
        d.PresetNames[n] = presets[n].Name;
    return d;
}

void TMqttBridge::QueueStatus()
{
    if (FStatusQueued) return;
    FStatusQueued = FCore->Queue()->Post([this] {
        FStatusQueued = false;
        TDeviceStatus s;
        FCore->Status(&s);
        const QString version =
            s.DetailsRead ? s.VersionText.section(QLatin1Char(' '), 1) : QString();
        const bool versionChanged = !version.isEmpty() && version != FVersion;
        if (versionChanged) FVersion = version;
        auto plugs = [](int read, const std::array<TPlugState, 4>& from, std::array<int, 4>& into) {
            for (int n = 1; n <= read; ++n) {
                if (from[size_t(n - 1)] == psConnected)
                    into[size_t(n - 1)] = 1;
                else if (from[size_t(n - 1)] == psNotConnected)
                    into[size_t(n - 1)] = 0;
            }
        };
        plugs(s.InputsRead, s.InputState, FInputConnected);
        plugs(s.OutputsRead, s.OutputState, FOutputConnected);
        PublishState(false);
        if (versionChanged) PublishDiscovery(false); // sw_version of the device
    });
}

void TMqttBridge::Stop()
{
    FStopping = true;
    FStatusTimer->stop();
    FAliveTimer->stop();
    FAliveWait->stop();
    if (FCheckClient) FCheckClient->Stop();
    if (!FClient) return;
    if (FClient->IsConnected()) {
        FClient->Publish({FOptions.Names.Availability(), QByteArrayLiteral("offline"), true});
        if (FOptions.HaRemove)
            Publish(Mqtt::DiscoveryMessages(FOptions.Names, CurrentDevice(), true));
    }
    FClient->Stop();
}
