#pragma once

#include "MqttTopics.h"
#include "link/Timing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;
class QTimer;

struct TMqttClientOptions {
    TMqttUrl Broker;
    QString CaFile; // mqtts: the CA that signed the broker's certificate
    QString ClientId;
    bool CleanSession = false; // false: the broker keeps subscriptions and QoS 1 messages
    QString WillTopic;         // empty: no will
    QByteArray WillPayload;
};

// One broker connection driven from the Qt event loop: libmosquitto's socket
// watched by notifiers, its keep-alive by a timer, no threads. Connects,
// and after every loss or refusal reconnects with a delay growing from
// MqttRetryFirstMs to MqttRetryMaxMs; stops for good when another client
// takes its session over.
//
// libmosquitto's callbacks only record what happened; the signals are
// emitted after the library call returned, so a slot may publish, stop or
// run a nested event loop without re-entering the library.
class TMqttClient : public QObject
{
    Q_OBJECT
public:
    TMqttClient(const TMqttClientOptions& options, const TTiming& timing,
                QObject* parent = nullptr);
    ~TMqttClient() override;

    // Sets the client up and makes the first attempt; false (with `error`)
    // only when the options cannot work at all (bad CA file, ...).
    bool Start(QString* error);
    // Sends DISCONNECT after everything queued and stops reconnecting.
    // Waits at most MqttStopFlushMs for the bytes to leave.
    void Stop();
    bool IsConnected() const { return FConnected; }

    // False when not connected: nothing is queued for later, the owner
    // publishes its state again after the next connect.
    bool Publish(const TMqttMessage& message, int qos = 1);
    // Returns the message id the Subscribed signal reports, or -1.
    int Subscribe(const QString& topic, int qos = 1);

    // Test hook: the delay before the next attempt.
    int RetryDelayMs() const { return FDelayMs; }

signals:
    void Connected();
    void Disconnected();
    // Another client connected with our client id: the broker said so
    // (MQTT 5, "Session taken over"), or closed two connections in a row,
    // each within MqttTakeoverWindowMs of its connect (brokers that close
    // the older connection without a word). The client has stopped.
    void TakenOver();
    // The broker refused the connection, or it could not be reached.
    void Refused(const QString& reason);
    void Subscribed(int mid);
    void MessageArrived(const QString& topic, const QByteArray& payload, bool retained);

private:
    struct TEvent {
        enum { evConnected, evRefused, evLost, evSubscribed, evMessage } Kind;
        QString Text;
        QByteArray Payload;
        int Number = 0;
        bool Retained = false;
    };
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnSubscribe(mosquitto*, void* self, int mid, int, const int*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);

    void Attempt();
    void ScheduleRetry();
    void ReportUnreachable(int rc);
    // Runs one library call, then keeps the notifiers in step with the
    // socket and emits what the callbacks recorded.
    int Drive(const std::function<int()>& call);
    void WatchSocket();
    void Dispatch();

    TMqttClientOptions FOptions;
    TTiming FTiming;
    mosquitto* FMosq = nullptr;
    QSocketNotifier* FRead = nullptr;
    QSocketNotifier* FWrite = nullptr;
    int FSocket = -1;
    QTimer* FMisc;
    QTimer* FRetry;
    int FDelayMs;
    bool FConnected = false;
    bool FStopped = false;
    bool FEverAttempted = false;
    bool FReported = false; // this attempt's failure is told already
    int FUnacked = 0;       // QoS 1 messages the broker has not acknowledged yet
    QElapsedTimer FConnectedAt;
    int FShortCloses = 0; // connections in a row closed soon after their connect
    QList<TEvent> FEvents;
};
