#include "MqttBroker.h"

#include "FreePort.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <mosquitto.h>
#include <pwd.h>
#include <unistd.h>

TMqttBroker::TMqttBroker()
{
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TMqttBroker::~TMqttBroker()
{
    Stop();
}

bool TMqttBroker::Start(QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const QString passwordFile = FDir.filePath(QStringLiteral("passwd"));
    if (!QFile::exists(passwordFile) &&
        QProcess::execute(QStringLiteral("mosquitto_passwd"),
                          {QStringLiteral("-c"), QStringLiteral("-b"), passwordFile,
                           QLatin1String(User), QLatin1String(Password)}) != 0)
        return fail(QStringLiteral("mosquitto_passwd failed"));
    if (FPort == 0) FPort = FreePort();
    // Run as root (containers), the broker would drop to its own user and
    // lose the password file in our private folder.
    const struct passwd* me = getpwuid(getuid());
    QFile conf(FDir.filePath(QStringLiteral("mosquitto.conf")));
    conf.open(QIODevice::WriteOnly | QIODevice::Truncate);
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2\n"
                              "persistence false\nlog_dest none\nuser %3\nset_tcp_nodelay true\n")
                   .arg(FPort)
                   .arg(passwordFile, QString::fromLocal8Bit(me ? me->pw_name : "root"))
                   .toUtf8());
    conf.close();
    FProcess.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
    if (!FProcess.waitForStarted(3000)) return fail(QStringLiteral("mosquitto did not start"));
    for (QDeadlineTimer d(5000); !d.hasExpired(); QThread::msleep(10)) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, FPort);
        if (s.waitForConnected(200)) return true;
        if (FProcess.state() != QProcess::Running) break;
    }
    return fail(QStringLiteral("mosquitto does not listen on port %1").arg(FPort));
}

void TMqttBroker::Stop()
{
    if (FProcess.state() == QProcess::NotRunning) return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(3000)) {
        FProcess.kill();
        FProcess.waitForFinished(1000);
    }
}

QString TMqttBroker::Url(const QString& password) const
{
    return QStringLiteral("mqtt://%1:%2@127.0.0.1:%3")
        .arg(QLatin1String(User), password)
        .arg(FPort);
}

TMqttProbe::TMqttProbe(quint16 port, const QString& user, const QString& password) : FPort(port)
{
    mosquitto_lib_init();
    FMosq = mosquitto_new(nullptr, true, this);
    mosquitto_username_pw_set(FMosq, user.toUtf8().constData(), password.toUtf8().constData());
    mosquitto_int_option(FMosq, MOSQ_OPT_TCP_NODELAY, 1);
    // A burst leaves at once, not 20 unacknowledged messages at a time.
    mosquitto_max_inflight_messages_set(FMosq, 0);
    mosquitto_message_callback_set(FMosq, &TMqttProbe::OnMessage);
    mosquitto_subscribe_callback_set(FMosq, &TMqttProbe::OnSubscribe);
}

TMqttProbe::~TMqttProbe()
{
    mosquitto_disconnect(FMosq);
    mosquitto_destroy(FMosq);
}

bool TMqttProbe::Connect(int timeoutMs)
{
    if (mosquitto_connect(FMosq, "127.0.0.1", FPort, 60) != MOSQ_ERR_SUCCESS) return false;
    // mosquitto_connect only sends CONNECT; a subscription acknowledged
    // proves the broker accepted us.
    return Subscribe(QStringLiteral("$probe/none"), timeoutMs);
}

bool TMqttProbe::Subscribe(const QString& filter, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_subscribe(FMosq, &mid, filter.toUtf8().constData(), 1) != MOSQ_ERR_SUCCESS)
        return false;
    for (QDeadlineTimer d(timeoutMs); !d.hasExpired();) {
        Step();
        if (FAcked == mid) return true;
    }
    return false;
}

void TMqttProbe::Publish(const QString& topic, const QByteArray& payload, bool retain, bool drive)
{
    mosquitto_publish(FMosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
                      payload.constData(), 1, retain);
    if (drive) Step();
}

void TMqttProbe::Step()
{
    mosquitto_loop(FMosq, 1, 100);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

void TMqttProbe::Pump(int ms)
{
    QDeadlineTimer d(ms);
    do
        Step();
    while (!d.hasExpired());
}

bool TMqttProbe::WaitFor(const QString& topic, const QByteArray& payload, int timeoutMs)
{
    for (QDeadlineTimer d(timeoutMs);;) {
        for (const TMessage& m : Messages) {
            if (m.Topic == topic && (payload.isNull() || m.Payload == payload)) return true;
        }
        if (d.hasExpired()) return false;
        Step();
    }
}

void TMqttProbe::OnMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    auto* p = static_cast<TMqttProbe*>(self);
    const TMessage msg{QString::fromUtf8(m->topic),
                       QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain};
    p->Messages.append(msg);
    p->FLast.insert(msg.Topic, msg.Payload);
}

void TMqttProbe::OnSubscribe(mosquitto*, void* self, int mid, int, const int*)
{
    static_cast<TMqttProbe*>(self)->FAcked = mid;
}
