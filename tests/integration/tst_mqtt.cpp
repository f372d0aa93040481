// matrix-server --mqtt against a real mosquitto broker and the simulator:
// discovery, commands by topic, state from every side, the will, broker
// restarts and several servers on one broker.
#include "MqttBroker.h"
#include "SimFrameLog.h"
#include "SimServers.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <memory>

namespace
{
// One matrix-server process; stderr is kept for the test to read.
class TServer
{
public:
    ~TServer()
    {
        if (P.state() != QProcess::NotRunning) {
            P.kill();
            P.waitForFinished(3000);
        }
    }
    void Start(const QString& program, const QStringList& args)
    {
        P.start(program, args);
        QVERIFY(P.waitForStarted(3000));
    }
    // The port of "ready http://127.0.0.1:PORT".
    int WaitReady()
    {
        // Waits in the event loop: the simulator in this process must answer meanwhile.
        for (QDeadlineTimer d(15000); !d.hasExpired() && P.state() == QProcess::Running;) {
            const QString line = QString::fromUtf8(P.readLine()).trimmed();
            if (line.startsWith(QLatin1String("ready ")))
                return line.section(QLatin1Char(':'), -1).toInt();
            if (line.isEmpty()) QTest::qWait(5);
        }
        return 0;
    }
    bool WaitStderr(const QString& text, int timeoutMs = 5000)
    {
        for (QDeadlineTimer d(timeoutMs); !d.hasExpired();) {
            Err += QString::fromUtf8(P.readAllStandardError());
            if (Err.contains(text)) return true;
            QTest::qWait(10);
        }
        return false;
    }
    void Signal(int sig) { ::kill(pid_t(P.processId()), sig); }
    // In the event loop, so that the simulator in this process goes on answering.
    bool WaitExit(int ms = 5000)
    {
        return QTest::qWaitFor([this] { return P.state() == QProcess::NotRunning; }, ms);
    }
    QProcess P;
    QString Err;
};
} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private:
    QString FServer;
    TMqttBroker FBroker;
    QTemporaryDir FDir;

    QStringList Args(TMatrixSim& sim, const QString& id, const QString& url = QString()) const
    {
        return {QStringLiteral("--tcp"),       QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort()),
                QStringLiteral("--listen"),    QStringLiteral("127.0.0.1:0"),
                QStringLiteral("--settings"),  FDir.filePath(QStringLiteral("Settings.ini")),
                QStringLiteral("--refresh-s"), QStringLiteral("1"),
                QStringLiteral("--mqtt"),      url.isEmpty() ? FBroker.Url() : url,
                QStringLiteral("--mqtt-id"),   id};
    }
    static void StartSim(TMatrixSim& sim)
    {
        sim.Device().State().Power = true;
        QVERIFY(sim.ListenTcp(QHostAddress::LocalHost, 0));
    }
    static int RouteSets(const QList<TCommandPacket>& sent)
    {
        return int(std::count_if(sent.begin(), sent.end(), [](const TCommandPacket& p) {
            return p.ToByteArray().mid(2, 2) == QByteArray("\x02\x03");
        }));
    }

private slots:
    void initTestCase()
    {
        FServer =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../server/matrix-server");
        QVERIFY(QFile::exists(FServer));
        QString error;
        QVERIFY2(FBroker.Start(&error), qPrintable(error));
    }

    void discoveryCommandsAndStateFromEverySide()
    {
        TMatrixSim sim;
        StartSim(sim);
        TSimFrameLog frames(sim);
        TServer server;
        server.Start(FServer, Args(sim, QStringLiteral("hall")));
        const int http = server.WaitReady();
        QVERIFY(http > 0);

        TMqttProbe ha(FBroker.Port());
        QVERIFY(ha.Connect());
        QVERIFY(ha.Subscribe(QStringLiteral("homeassistant/#")));
        QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/hall/#")));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/availability"), "online"));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/version"), "2.07"));
        QCOMPARE(ha.Last(QStringLiteral("hdmi-matrix/hall/output/2/input")), QByteArray("2"));
        QCOMPARE(ha.Last(QStringLiteral("hdmi-matrix/hall/input/3/connected")), QByteArray("OFF"));

        // A late subscriber gets every config retained: JSON, our device and availability.
        ha.Pump(200);
        TMqttProbe late(FBroker.Port());
        QVERIFY(late.Connect());
        QVERIFY(late.Subscribe(QStringLiteral("homeassistant/#")));
        late.Pump(200);
        int configs = 0;
        for (const TMqttProbe::TMessage& m : late.Messages) {
            if (!m.Topic.startsWith(QLatin1String("homeassistant/"))) continue;
            ++configs;
            QVERIFY(m.Retained);
            const QJsonObject c = QJsonDocument::fromJson(m.Payload).object();
            const QString object = m.Topic.section(QLatin1Char('/'), 3, 3);
            QCOMPARE(c.value("unique_id").toString(), "hall_" + object);
            QCOMPARE(c.value("availability_topic").toString(), "hdmi-matrix/hall/availability");
            QCOMPARE(c.value("device").toObject().value("sw_version").toString(), "2.07");
        }
        QCOMPARE(configs, 4 + 4 + 4 + 8 + 1 + 8);

        // A command by topic: the right frame, then the state topic.
        ha.Clear();
        const int before = frames.Count();
        ha.Publish(QStringLiteral("hdmi-matrix/hall/output/3/input/set"), "In2");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/output/3/input"), "2"));
        QCOMPARE(sim.Device().State().Route[2], 2);
        const QList<TCommandPacket> sent = frames.Commands().mid(before);
        QCOMPARE(RouteSets(sent), 1);
        QVERIFY(std::any_of(sent.begin(), sent.end(), [](const TCommandPacket& p) {
            return p.ToByteArray().toHex() == "a55b02030200030000000000f6";
        }));

        // A bad payload: B/error, nothing sent, no state touched.
        ha.Clear();
        const int quiet = frames.Count();
        ha.Publish(QStringLiteral("hdmi-matrix/hall/output/1/input/set"), "9");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/error")));
        const QJsonObject e = QJsonDocument::fromJson(ha.Last("hdmi-matrix/hall/error")).object();
        QCOMPARE(e.value("topic").toString(), "hdmi-matrix/hall/output/1/input/set");
        QCOMPARE(e.value("payload").toString(), "9");
        QVERIFY(e.value("error").toString().contains("1..4"));
        ha.Pump(100);
        QVERIFY(!ha.Seen(QStringLiteral("hdmi-matrix/hall/output/1/input")));
        QCOMPARE(RouteSets(frames.Commands().mid(quiet)), 0);
        // A flood of a payload: refused, echoed once and cut.
        ha.Clear();
        ha.Publish(QStringLiteral("hdmi-matrix/hall/power/set"), QByteArray(1 << 20, 'O'));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/error")));
        QVERIFY(ha.Last("hdmi-matrix/hall/error").size() < 512);
        const QJsonObject flood =
            QJsonDocument::fromJson(ha.Last("hdmi-matrix/hall/error")).object();
        QCOMPARE(flood.value("payload").toString().size(), 256);
        QCOMPARE(flood.value("length").toInt(), 1 << 20);

        // A burst on one topic: none refused, the last one stays.
        ha.Clear();
        for (int i = 0; i < 1000; ++i)
            ha.Publish(QStringLiteral("hdmi-matrix/hall/output/2/input/set"),
                       QByteArray::number(1 + (i + 1) % 4), false, false);
        for (QDeadlineTimer d(20000); !d.hasExpired();) {
            const qsizetype before = ha.Messages.size();
            ha.Pump(500);
            if (ha.Messages.size() == before && before > 0) break;
        }
        QCOMPARE(ha.Last(QStringLiteral("hdmi-matrix/hall/output/2/input")), QByteArray("1"));
        QCOMPARE(sim.Device().State().Route[1], 1);
        QVERIFY2(!ha.Seen(QStringLiteral("hdmi-matrix/hall/error")),
                 ha.Last(QStringLiteral("hdmi-matrix/hall/error")).constData());
        ha.Publish(QStringLiteral("hdmi-matrix/hall/output/2/input/set"), "2");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/output/2/input"), "2"));

        // A change by HTTP and one behind the server's back reach the state topics.
        QNetworkAccessManager net;
        QNetworkRequest put(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/routing/4").arg(http)));
        put.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply* reply = net.put(put, QByteArray(R"({"input": 1})"));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/output/4/input"), "1"));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        delete reply;
        sim.Device().State().Route[0] = 4;
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/output/1/input"), "4", 5000));

        // A failed command: the matrix is off, so routing is refused on B/error.
        ha.Clear();
        ha.Publish(QStringLiteral("hdmi-matrix/hall/power/set"), "OFF");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/power"), "OFF"));
        ha.Publish(QStringLiteral("hdmi-matrix/hall/output/2/input/set"), "3");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/error")));
        QVERIFY(ha.Last("hdmi-matrix/hall/error").contains("power off"));
        QCOMPARE(sim.Device().State().Route[1], 2);
    }

    void willCleanStopAndCommandsKeptWhileAway()
    {
        TMatrixSim sim;
        StartSim(sim);
        TMqttProbe ha(FBroker.Port());
        QVERIFY(ha.Connect());
        QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/stage/#")));
        const QString availability = QStringLiteral("hdmi-matrix/stage/availability");
        // A retained command is not run (at every connect it would run again), and says so.
        const QString set2 = QStringLiteral("hdmi-matrix/stage/output/2/input/set");
        ha.Publish(set2, "4", true);
        {
            TServer server;
            server.Start(FServer, Args(sim, QStringLiteral("stage")));
            QVERIFY(ha.WaitFor(availability, "online", 10000));
            QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/stage/error")));
            const QJsonObject e =
                QJsonDocument::fromJson(ha.Last("hdmi-matrix/stage/error")).object();
            QCOMPARE(e.value("topic").toString(), set2);
            QCOMPARE(e.value("error").toString(), "retained command ignored");
            ha.Pump(200);
            QCOMPARE(sim.Device().State().Route[1], 2);
            ha.Clear();
            server.Signal(SIGKILL);
            QVERIFY(ha.WaitFor(availability, "offline")); // the broker's will
        }
        TServer server;
        server.Start(FServer, Args(sim, QStringLiteral("stage")));
        QVERIFY(ha.WaitFor(availability, "online", 15000));
        ha.Clear();
        server.Signal(SIGTERM);
        QVERIFY(ha.WaitFor(availability, "offline"));
        QVERIFY(server.WaitExit(5000));
        QCOMPARE(server.P.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.P.exitCode(), 0);
        // A clean stop keeps the device in Home Assistant; --ha-remove removes it.
        const QString config = QStringLiteral("homeassistant/switch/stage/power/config");
        auto retained = [&] {
            TMqttProbe late(FBroker.Port());
            late.Connect();
            late.Subscribe(config);
            late.Pump(100);
            return late.Seen(config);
        };
        QVERIFY(retained());

        // The session stays at the broker: a command sent meanwhile runs on return.
        ha.Publish(QStringLiteral("hdmi-matrix/stage/output/1/input/set"), "3");
        ha.Clear();
        TServer again;
        again.Start(FServer, Args(sim, QStringLiteral("stage")) << QStringLiteral("--ha-remove"));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/stage/output/1/input"), "3", 15000));
        QCOMPARE(sim.Device().State().Route[0], 3);

        again.Signal(SIGTERM);
        QVERIFY(again.WaitExit(5000));
        QVERIFY(!retained());
        ha.Publish(set2, QByteArray(), true);
    }

    void brokerRestartAndLinkLossBringEverythingBack()
    {
        TMatrixSim sim;
        StartSim(sim);
        TServer server;
        server.Start(FServer, Args(sim, QStringLiteral("bar")));
        QVERIFY(server.WaitReady() > 0);
        {
            TMqttProbe ha(FBroker.Port());
            QVERIFY(ha.Connect());
            QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/bar/availability")));
            QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/bar/availability"), "online", 10000));
        }
        QVERIFY(FBroker.Restart()); // without persistence: every retained message is gone
        QVERIFY(server.WaitStderr(QStringLiteral("lost the MQTT broker 127.0.0.1:")));
        TMqttProbe ha(FBroker.Port());
        QVERIFY(ha.Connect());
        QVERIFY(ha.Subscribe(QStringLiteral("#")));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/bar/availability"), "online", 10000));
        QVERIFY(ha.WaitFor(QStringLiteral("homeassistant/select/bar/output_1/config")));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/bar/output/4/input"), "4"));
        QVERIFY(server.WaitStderr(
            QStringLiteral("MQTT broker 127.0.0.1:%1 connected").arg(FBroker.Port())));
        ha.Publish(QStringLiteral("hdmi-matrix/bar/switch/beeper/set"), "OFF");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/bar/switch/beeper"), "OFF"));

        // The link to the matrix drops: offline at once, online after the next refresh.
        ha.Clear();
        sim.DropTcpPeer();
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/bar/availability"), "offline", 1000));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/bar/availability"), "online", 5000));
    }

    void serversShareOneBrokerAndRefuseATakenId()
    {
        TMatrixSim hallSim, foyerSim;
        StartSim(hallSim);
        StartSim(foyerSim);
        TServer hall, foyer;
        hall.Start(FServer, Args(hallSim, QStringLiteral("hall")));
        foyer.Start(FServer, Args(foyerSim, QStringLiteral("foyer")));
        QVERIFY(hall.WaitReady() > 0);
        QVERIFY(foyer.WaitReady() > 0);
        TMqttProbe ha(FBroker.Port());
        QVERIFY(ha.Connect());
        QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/+/output/2/input")));
        // "ready" is the HTTP side; a server takes commands once it is online.
        QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/+/availability")));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/availability"), "online", 10000));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/foyer/availability"), "online", 10000));
        ha.Clear();
        ha.Publish(QStringLiteral("hdmi-matrix/foyer/output/2/input/set"), "4");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/foyer/output/2/input"), "4"));
        ha.Pump(200);
        QVERIFY(ha.Last(QStringLiteral("hdmi-matrix/hall/output/2/input")) != "4");
        QCOMPARE(hallSim.Device().State().Route[1], 2);

        TServer twin;
        twin.Start(FServer, Args(hallSim, QStringLiteral("hall")));
        QVERIFY(twin.WaitExit(10000));
        QCOMPARE(twin.P.exitCode(), 1);
        QVERIFY(twin.WaitStderr(QStringLiteral("'hall' under prefix 'hdmi-matrix' is online")));
        // One id per broker, whatever the prefix: Home Assistant would mix up the two.
        TServer elsewhere;
        elsewhere.Start(FServer, Args(hallSim, QStringLiteral("hall"))
                                     << QStringLiteral("--mqtt-prefix") << QStringLiteral("av"));
        QVERIFY(elsewhere.WaitExit(10000));
        QCOMPARE(elsewhere.P.exitCode(), 1);
        QVERIFY(elsewhere.WaitStderr(QStringLiteral("prefix 'hdmi-matrix'")));
        QVERIFY(elsewhere.Err.contains(QStringLiteral("not under 'av'")));
        // The first keeps its session and its topics.
        ha.Publish(QStringLiteral("hdmi-matrix/hall/output/2/input/set"), "1");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/hall/output/2/input"), "1"));
    }

    void oneIdOneServerForAsLongAsItRuns()
    {
        TMqttProbe ha(FBroker.Port());
        QVERIFY(ha.Connect());
        QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/+/availability")));

        // The first one's matrix is away: "offline", but its server lives.
        auto lost = std::make_unique<TMatrixSim>();
        StartSim(*lost);
        TMatrixSim sim;
        StartSim(sim);
        TServer first;
        first.Start(FServer, Args(*lost, QStringLiteral("twin")));
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/twin/availability"), "online", 10000));
        lost.reset();
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/twin/availability"), "offline", 5000));
        TServer second;
        second.Start(FServer, Args(sim, QStringLiteral("twin")));
        QVERIFY(second.WaitExit(15000));
        QCOMPARE(second.P.exitCode(), 1);
        QVERIFY(second.WaitStderr(QStringLiteral("'twin' under prefix 'hdmi-matrix' is running")));
        QCOMPARE(first.P.state(), QProcess::Running);

        // Two that boot together both pass the check; the broker then closes
        // one connection whenever the other connects, until one gives up.
        TMatrixSim sim2;
        StartSim(sim2);
        TServer a, b;
        a.Start(FServer, Args(sim, QStringLiteral("pair")));
        b.Start(FServer, Args(sim2, QStringLiteral("pair")));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return a.P.state() == QProcess::NotRunning || b.P.state() == QProcess::NotRunning;
            },
            20000));
        TServer& gone = a.P.state() == QProcess::NotRunning ? a : b;
        TServer& kept = &gone == &a ? b : a;
        QCOMPARE(gone.P.exitCode(), 1);
        QVERIFY(gone.WaitStderr(
            QStringLiteral("MQTT id 'pair' under prefix 'hdmi-matrix' was taken over")));
        // The other stays, and its commands reach its own matrix only.
        QVERIFY(ha.Subscribe(QStringLiteral("hdmi-matrix/pair/output/3/input")));
        ha.Pump(1500);
        QCOMPARE(kept.P.state(), QProcess::Running);
        ha.Clear();
        ha.Publish(QStringLiteral("hdmi-matrix/pair/output/3/input/set"), "1");
        QVERIFY(ha.WaitFor(QStringLiteral("hdmi-matrix/pair/output/3/input"), "1"));
        QCOMPARE((&kept == &a ? sim : sim2).Device().State().Route[2], 1);
        QCOMPARE((&kept == &a ? sim2 : sim).Device().State().Route[2], 3);
    }

    void refusedCredentialsAreRetriedWithGrowingDelay()
    {
        TMatrixSim sim;
        StartSim(sim);
        TServer server;
        server.Start(FServer, Args(sim, QStringLiteral("den"), FBroker.Url("wrong")));
        QVERIFY(server.WaitStderr(QStringLiteral("not authorised; trying again in 1.0 s")));
        QVERIFY(server.WaitStderr(QStringLiteral("not authorised; trying again in 2.0 s")));
        QCOMPARE(server.P.state(), QProcess::Running);
        // Usage errors exit 2 before anything is touched.
        QProcess bad;
        bad.start(FServer, Args(sim, QStringLiteral("a/b")));
        QVERIFY(bad.waitForFinished(5000));
        QCOMPARE(bad.exitCode(), 2);
    }
};

QTEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
