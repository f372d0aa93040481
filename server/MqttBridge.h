#pragma once

#include "MqttClient.h"
#include "MqttTopics.h"
#include "ServerOptions.h"

#include <QMap>
#include <QObject>

class TServerCore;
class QTimer;

// What --mqtt and its companions ask for.
struct TMqttBridgeOptions {
    TMqttUrl Broker;
    QString CaFile;
    TMqttNames Names;
    bool HaRemove = false; // empty retained configs at the clean stop
    int StatusS = 10;      // how often version and connections are read again; 0 never

    // Adds the options to the command line, with the checks that refuse bad
    // combinations (exit 2).
    static void AddTo(TServerCommandLine& commandLine);
    // From the parsed command line; throws EUsage. False when --mqtt is not given.
    static bool From(const TServerOptions& options, TMqttBridgeOptions* out);
};

// The server's state on an MQTT broker and commands by topic: state topics
// retained and published on every change (whoever made it) and after every
// connect, Home Assistant discovery beside them, commands through the core's
// one queue. Availability follows the link to the matrix and, through the
// broker's will, the process.
class TMqttBridge : public QObject
{
    Q_OBJECT
public:
    TMqttBridge(TServerCore* core, const TMqttBridgeOptions& options,
                const TTiming& timing = TTiming(), QObject* parent = nullptr);
    ~TMqttBridge() override;

    // Checks that no other server holds our id, waiting at most `checkMs`
    // for the broker; false with `error` when one does. Runs before the
    // matrix is touched. Held means: our availability is "online", or
    // "offline" and said again by its live server within MqttAliveMs (a
    // stopped server's "offline" stays as it was), or Home Assistant's
    // configs for our id point at another prefix.
    bool Start(QString* error, int checkMs = 3000);
    // Connects for good once the core is up (after the check, if that is
    // still waiting for the broker).
    void Connect();
    // The clean stop: "offline" (and with HaRemove the empty configs), then
    // DISCONNECT.
    void Stop();
    bool IsConnected() const { return FClient && FClient->IsConnected(); }

signals:
    // Another server holds our id: found by the check after Start returned,
    // or it took our session over while we ran.
    void Fatal(const QString& text);

private:
    enum TCheck { chPending, chFree, chTaken };
    void StartCheck();
    void OnCheckMessage(const QString& topic, const QByteArray& payload, bool retained);
    void FinishCheck(const QString& takenBy);
    QString Where() const;
    void ConnectForGood();
    void OnConnected();
    void OnMessage(const QString& topic, const QByteArray& payload, bool retained);
    void RunCommand(const TMqttCommand& command, const QString& topic, const QByteArray& payload);
    void PublishError(const QString& topic, const QByteArray& payload, const QString& error);
    void PublishAvailability();
    void PublishState(bool all);
    void PublishDiscovery(bool all);
    void QueueStatus();
    void Publish(const QList<TMqttMessage>& messages);
    TMqttState CurrentState() const;
    TMqttDevice CurrentDevice() const;
    void ReportRefusal(const QString& reason);

    TServerCore* FCore;
    TMqttBridgeOptions FOptions;
    TTiming FTiming;
    TMqttClient* FCheckClient = nullptr;
    TMqttClient* FClient = nullptr;
    TCheck FCheck = chPending;
    QString FCheckError;      // why the id is taken
    QByteArray FAvailability; // the retained one the check found
    QString FOtherPrefix;     // where Home Assistant's configs for our id point
    bool FFenced = false;     // the retained messages are in: the broker answered
    int FFenceMid = -1;
    QTimer* FAliveWait;  // the check listening for a live "offline"
    QTimer* FAliveTimer; // our own "offline" said again
    bool FStarted = false;
    bool FStopping = false;
    bool FStatusQueued = false;
    TMqttState FPublished;              // what the broker holds of our state
    QMap<QString, QByteArray> FConfigs; // the discovery configs the broker holds
    // Read by the status job; the core's cache does not hold them.
    QString FVersion;
    std::array<int, 4> FInputConnected{-1, -1, -1, -1};
    std::array<int, 4> FOutputConnected{-1, -1, -1, -1};
    QTimer* FStatusTimer;
    bool FTroubleLogged = false; // a refusal or loss is on stderr; the reconnect goes there too
};
