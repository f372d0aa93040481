#include "MqttClient.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mqtt_protocol.h>

namespace
{
void InitLibrary()
{
    // Once per process; the library keeps its state until exit.
    static const int rc = mosquitto_lib_init();
    (void)rc;
}
} // namespace

TMqttClient::TMqttClient(const TMqttClientOptions& options, const TTiming& timing, QObject* parent)
    : QObject(parent), FOptions(options), FTiming(timing), FMisc(new QTimer(this)),
      FRetry(new QTimer(this)), FDelayMs(timing.MqttRetryFirstMs)
{
    InitLibrary();
    FRetry->setSingleShot(true);
    connect(FRetry, &QTimer::timeout, this, &TMqttClient::Attempt);
    connect(FMisc, &QTimer::timeout, this, [this] {
        if (FMosq) Drive([this] { return mosquitto_loop_misc(FMosq); });
    });
}

TMqttClient::~TMqttClient()
{
    delete FRead;
    delete FWrite;
    if (FMosq) mosquitto_destroy(FMosq);
}

bool TMqttClient::Start(QString* error)
{
    const QByteArray id = FOptions.ClientId.toUtf8();
    FMosq = mosquitto_new(id.constData(), FOptions.CleanSession, this);
    if (!FMosq) {
        *error = QStringLiteral("MQTT client could not be created: %1").arg(strerror(errno));
        return false;
    }
    // 3.1.1, not 5: libmosquitto 2.0's asynchronous reconnect sends no
    // Session Expiry Interval, and an MQTT 5 session without one ends at
    // every disconnect: the commands kept while we are away would be lost,
    // and a takeover would publish our will over the other server's state.
    mosquitto_int_option(FMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Commands and state are a few bytes each: never hold them back for Nagle.
    mosquitto_int_option(FMosq, MOSQ_OPT_TCP_NODELAY, 1);
    // After a connect the whole state goes out at once; with the default
    // limit of 20 unacknowledged messages the rest would wait for round trips.
    mosquitto_max_inflight_messages_set(FMosq, 0);
    const TMqttUrl& b = FOptions.Broker;
    if (!b.User.isEmpty() &&
        mosquitto_username_pw_set(
            FMosq, b.User.toUtf8().constData(),
            b.Password.isEmpty() ? nullptr : b.Password.toUtf8().constData()) != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("MQTT user name or password is not valid UTF-8");
        return false;
    }
    if (b.Tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (FOptions.CaFile.isEmpty())
            rc = mosquitto_int_option(FMosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            rc = mosquitto_tls_set(FMosq, FOptions.CaFile.toLocal8Bit().constData(), nullptr,
                                   nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("MQTT TLS set-up failed (%1): %2")
                         .arg(FOptions.CaFile, QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    if (!FOptions.WillTopic.isEmpty())
        mosquitto_will_set(FMosq, FOptions.WillTopic.toUtf8().constData(),
                           int(FOptions.WillPayload.size()), FOptions.WillPayload.constData(), 1,
                           true);
    mosquitto_connect_callback_set(FMosq, &TMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(FMosq, &TMqttClient::OnDisconnect);
    mosquitto_subscribe_callback_set(FMosq, &TMqttClient::OnSubscribe);
    mosquitto_message_callback_set(FMosq, &TMqttClient::OnMessage);
    mosquitto_publish_callback_set(FMosq, &TMqttClient::OnPublish);
    FMisc->start(FTiming.MqttMiscMs);
    Attempt();
    return true;
}

void TMqttClient::Attempt()
{
    if (FStopped || !FMosq) return;
    const int rc = Drive([this] {
        if (FEverAttempted) return mosquitto_reconnect_async(FMosq);
        FEverAttempted = true;
        return mosquitto_connect_async(FMosq, FOptions.Broker.Host.toUtf8().constData(),
                                       FOptions.Broker.Port, FTiming.MqttKeepAliveS);
    });
    FReported = false;
    // After a failed TLS handshake the library may report success without
    // a socket: nothing would ever wake us, so that is a failure too.
    if (rc != MOSQ_ERR_SUCCESS || (FSocket < 0 && !FConnected)) {
        ReportUnreachable(rc != MOSQ_ERR_SUCCESS ? rc : MOSQ_ERR_NO_CONN);
        ScheduleRetry();
    }
}

void TMqttClient::ReportUnreachable(int rc)
{
    if (FReported) return;
    FReported = true;
    QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                       : QString::fromUtf8(mosquitto_strerror(rc));
    if (why.endsWith(QLatin1Char('.'))) why.chop(1);
    emit Refused(QStringLiteral("MQTT broker %1:%2 cannot be reached: %3")
                     .arg(FOptions.Broker.Host)
                     .arg(FOptions.Broker.Port)
                     .arg(why));
}

void TMqttClient::ScheduleRetry()
{
    if (FStopped || FRetry->isActive()) return;
    FRetry->start(FDelayMs);
    FDelayMs = std::min(FDelayMs * 2, FTiming.MqttRetryMaxMs);
}

int TMqttClient::Drive(const std::function<int()>& call)
{
    const bool had = FSocket >= 0;
    const int events = int(FEvents.size());
    const int rc = call();
    WatchSocket();
    // A TLS handshake that fails closes the socket without a disconnect
    // callback: without this nothing would try again.
    if (had && FSocket < 0 && !FConnected && !FStopped && int(FEvents.size()) == events)
        FEvents.append(
            {TEvent::evLost, {}, {}, rc != MOSQ_ERR_SUCCESS ? rc : MOSQ_ERR_CONN_LOST, false});
    Dispatch();
    return rc;
}

void TMqttClient::WatchSocket()
{
    const int s = FMosq ? mosquitto_socket(FMosq) : -1;
    if (s != FSocket) {
        // The library closed (or replaced) the socket inside the call that
        // just returned: drop the notifiers before the loop can poll the
        // stale descriptor.
        delete FRead;
        delete FWrite;
        FRead = FWrite = nullptr;
        FSocket = s;
        if (s >= 0) {
            FRead = new QSocketNotifier(s, QSocketNotifier::Read, this);
            FWrite = new QSocketNotifier(s, QSocketNotifier::Write, this);
            connect(FRead, &QSocketNotifier::activated, this,
                    [this] { Drive([this] { return mosquitto_loop_read(FMosq, 16); }); });
            connect(FWrite, &QSocketNotifier::activated, this,
                    [this] { Drive([this] { return mosquitto_loop_write(FMosq, 16); }); });
        }
    }
    if (FWrite) FWrite->setEnabled(mosquitto_want_write(FMosq));
}

void TMqttClient::Dispatch()
{
    // Slots may run nested event loops that drive the client again; the
    // events stay in order because each is taken before it is emitted.
    while (!FEvents.isEmpty()) {
        const TEvent e = FEvents.takeFirst();
        switch (e.Kind) {
        case TEvent::evConnected:
            FConnected = true;
            FConnectedAt.start();
            FDelayMs = FTiming.MqttRetryFirstMs;
            emit Connected();
            break;
        case TEvent::evRefused:
            FReported = true;
            emit Refused(e.Text);
            break;
        case TEvent::evLost: {
            const bool was = FConnected;
            FConnected = false;
            if (was) {
                FShortCloses =
                    FConnectedAt.elapsed() < FTiming.MqttTakeoverWindowMs ? FShortCloses + 1 : 0;
                if (e.Number == MQTT_RC_SESSION_TAKEN_OVER || FShortCloses >= 2) {
                    // Reconnecting would take the session back, and so on
                    // for ever: the two of us would share every command.
                    FStopped = true;
                    FRetry->stop();
                    FMisc->stop();
                    FEvents.clear();
                    emit TakenOver();
                    return;
                }
                emit Disconnected();
            } else if (e.Number != MOSQ_ERR_SUCCESS)
                ReportUnreachable(e.Number); // an asynchronous connect or TLS failure
            ScheduleRetry();
            break;
        }
        case TEvent::evSubscribed:
            emit Subscribed(e.Number);
            break;
        case TEvent::evMessage:
            emit MessageArrived(e.Text, e.Payload, e.Retained);
            break;
        }
    }
}

void TMqttClient::Stop()
{
    if (FStopped) return;
    FStopped = true;
    FRetry->stop();
    FMisc->stop();
    if (!FMosq) return;
    if (FConnected) {
        // Blocking on purpose: the process is about to end and the last
        // messages ("offline") must reach the broker before DISCONNECT, which
        // would overtake messages still queued in the library.
        QDeadlineTimer deadline(FTiming.MqttStopFlushMs);
        while (FUnacked > 0 && mosquitto_socket(FMosq) >= 0 && !deadline.hasExpired())
            mosquitto_loop(FMosq, 10, 1);
        mosquitto_disconnect(FMosq);
        while (mosquitto_socket(FMosq) >= 0 && mosquitto_want_write(FMosq) &&
               !deadline.hasExpired())
            mosquitto_loop(FMosq, 10, 1);
    }
    FConnected = false;
    FEvents.clear();
    WatchSocket();
}

bool TMqttClient::Publish(const TMqttMessage& m, int qos)
{
    if (!FConnected) return false;
    const QByteArray topic = m.Topic.toUtf8();
    const int rc = mosquitto_publish(FMosq, nullptr, topic.constData(), int(m.Payload.size()),
                                     m.Payload.constData(), qos, m.Retain);
    WatchSocket();
    if (rc == MOSQ_ERR_SUCCESS && qos > 0) ++FUnacked;
    return rc == MOSQ_ERR_SUCCESS;
}

int TMqttClient::Subscribe(const QString& topic, int qos)
{
    if (!FConnected) return -1;
    int mid = -1;
    const int rc = mosquitto_subscribe(FMosq, &mid, topic.toUtf8().constData(), qos);
    WatchSocket();
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void TMqttClient::OnConnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<TMqttClient*>(self);
    if (rc == 0) {
        c->FEvents.append({TEvent::evConnected, {}, {}, 0, false});
        return;
    }
    c->FEvents.append({TEvent::evRefused,
                       QStringLiteral("MQTT broker %1:%2 refused the connection: %3")
                           .arg(c->FOptions.Broker.Host)
                           .arg(c->FOptions.Broker.Port)
                           .arg(QString::fromUtf8(mosquitto_connack_string(rc))
                                    .remove(QRegularExpression(QStringLiteral("\\.$")))),
                       {},
                       rc,
                       false});
}

void TMqttClient::OnDisconnect(mosquitto*, void* self, int rc)
{
    // rc is the library's error code, or, should the protocol become MQTT 5,
    // the reason code of the broker's DISCONNECT (MQTT_RC_SESSION_TAKEN_OVER
    // is 0x8E, above every library code).
    static_cast<TMqttClient*>(self)->FEvents.append({TEvent::evLost, {}, {}, rc, false});
}

void TMqttClient::OnPublish(mosquitto*, void* self, int)
{
    auto* c = static_cast<TMqttClient*>(self);
    c->FUnacked = std::max(0, c->FUnacked - 1);
}

void TMqttClient::OnSubscribe(mosquitto*, void* self, int mid, int, const int*)
{
    static_cast<TMqttClient*>(self)->FEvents.append({TEvent::evSubscribed, {}, {}, mid, false});
}

void TMqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    static_cast<TMqttClient*>(self)->FEvents.append(
        {TEvent::evMessage, QString::fromUtf8(m->topic),
         QByteArray(static_cast<const char*>(m->payload), m->payloadlen), 0, m->retain});
}
