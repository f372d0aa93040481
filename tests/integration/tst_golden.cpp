// One fixed script through the three front ends (matrixctl --json, HTTP,
// MQTT) against the simulator, compared line by line with the answers kept
// in tests/golden/frontends.txt. MATRIX_GOLDEN_RECORD=1 writes that file
// anew from the code as it is.
#include "FreePort.h"
#include "HttpTestClient.h"
#include "MqttBroker.h"
#include "SimServers.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{
const char* const SettingsText =
    "[TCP control device list]\n"
    "Device1=[Rack] - [Static] - [127.0.0.1] - [0.0.0.0] - [255.0.0.0] - [00-1A-2B-3C-4D-50] - "
    "[Same]\n"
    "[Tag of Input - TCP:00-1A-2B-3C-4D-50]\nIn1=Blu-ray\n"
    "[Tag of Output - TCP:00-1A-2B-3C-4D-50]\nOut2=Projector\n"
    "[Pre-Setting name]\nSetting1=Broken\nSetting3=Movie night\n"
    "[Pre-Setting value]\nvalue1=2,x,4,1\nvalue3=2,2,4,1\n";

const QByteArray Json = "Content-Type: application/json";

// The simulator every part starts from.
void Reset(TMatrixSim& sim)
{
    sim.Faults().Clear();
    auto& s = sim.Device().State();
    s.Power = true;
    s.Route = {1, 2, 3, 4};
    s.AudioSource = {1, 1, 1, 1};
    s.Ir = true;
}
} // namespace

class TstGolden : public QObject
{
    Q_OBJECT
    QTemporaryDir FDir;
    QStringList FLines;
    TMatrixSim FSim;

    // What varies from run to run: the folder and the ports.
    QString Normal(QString text) const
    {
        text.replace(FDir.path(), QStringLiteral("$DIR"));
        text.replace(QStringLiteral("127.0.0.1:%1").arg(FSim.TcpPort()),
                     QStringLiteral("127.0.0.1:$PORT"));
        static const QRegularExpression created(QStringLiteral("\"created\": ?\"[^\"]*\""));
        text.replace(created, QStringLiteral("\"created\":\"$TIME\""));
        return text;
    }
    void Note(const QString& line) { FLines << Normal(line); }
    QString Path(const QString& name) const { return FDir.filePath(name); }

    // One matrixctl run, waiting in the event loop: the simulator is in this process.
    void Ctl(const QStringList& args)
    {
        QProcess p;
        p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/matrixctl"),
                QStringList{QStringLiteral("--tcp"),
                            QStringLiteral("127.0.0.1:%1").arg(FSim.TcpPort()),
                            QStringLiteral("--timeout-ms"), QStringLiteral("100"),
                            QStringLiteral("--settings"), Path(QStringLiteral("Settings.ini")),
                            QStringLiteral("--json")} +
                    args);
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000));
        Note(QStringLiteral("cli %1 -> %2 %3")
                 .arg(args.join(QLatin1Char(' ')))
                 .arg(p.exitCode())
                 .arg(QString::fromUtf8(p.readAllStandardOutput()).trimmed()));
    }

    // A matrix-server on the simulator; its HTTP port, 0 when it did not start.
    quint16 StartServer(QProcess& server, const QStringList& extra)
    {
        server.start(
            QCoreApplication::applicationDirPath() + QStringLiteral("/../server/matrix-server"),
            QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FSim.TcpPort()),
                        QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                        QStringLiteral("--settings"), Path(QStringLiteral("Settings.ini")),
                        QStringLiteral("--refresh-s"), QStringLiteral("0"),
                        QStringLiteral("--timeout-ms"), QStringLiteral("100")} +
                extra);
        if (!server.waitForStarted(5000)) return 0;
        for (QDeadlineTimer d(15000); !d.hasExpired();) {
            const QString line = QString::fromUtf8(server.readLine()).trimmed();
            if (line.startsWith(QLatin1String("ready ")))
                return quint16(line.section(QLatin1Char(':'), -1).toInt());
            if (line.isEmpty()) QTest::qWait(5);
        }
        return 0;
    }

private slots:
    void initTestCase()
    {
        QFile f(Path(QStringLiteral("Settings.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(SettingsText);
        f.close();
        QVERIFY(FSim.Device().LoadEdids(QStringLiteral(":/edid")));
        QVERIFY(FSim.ListenTcp(QHostAddress::LocalHost, 0));
    }

    void matrixctl()
    {
        Reset(FSim);
        const QString edid = Path(QStringLiteral("out1.bin"));
        const QString backup = Path(QStringLiteral("backup.json"));
        const QList<QStringList> script = {
            {"status"},
            {"power"},
            {"routing"},
            {"route", "3", "2"},
            {"route", "4", "all"},
            {"route", "9", "1"},
            {"route", "1", "x"},
            {"audio"},
            {"audio", "2", "3"},
            {"audio", "2"},
            {"audio", "5"},
            {"ir"},
            {"ir", "off"},
            {"keys"},
            {"apm", "on"},
            {"beeper"},
            {"beeper", "maybe"},
            {"preset", "list"},
            {"preset", "apply", "3"},
            {"preset", "apply", "1"},
            {"preset", "apply", "9"},
            {"send", "2", "4", "0", "1"},
            {"edid", "read", "1", edid},
            {"edid", "read", "4", edid},
            {"edid", "write", "2", edid},
            {"edid", "write", "user1", edid},
            {"edid", "mode", "all", "User2"},
            {"edid", "mode", "1", "Nothing"},
            {"edid", "copy", "1", "3"},
            {"edid", "copy", "4", "all"},
            {"backup", backup},
            {"restore", backup, "--dry-run"},
            {"route", "1", "1"},
            {"restore", backup},
            {"routing"},
            {"restore", Path(QStringLiteral("missing.json"))},
            {"module", "query"},
            {"power", "off"},
            {"status"},
            {"routing"},
            {"route", "1", "2"},
            {"audio", "1", "2"},
            {"keys", "on"},
            {"preset", "apply", "3"},
            {"edid", "mode", "1", "User2"},
            {"backup", backup},
            {"power", "on"},
        };
        for (const QStringList& args : script)
            Ctl(args);
        // Failures on the line: silence, refusal, a bad checksum.
        FSim.Faults().Add(QStringLiteral("silence/cmd=2.4"));
        Ctl({"routing"});
        Ctl({"status"});
        FSim.Faults().Clear();
        FSim.Faults().Add(QStringLiteral("refuse/cmd=2.3"));
        Ctl({"route", "2", "2"});
        Ctl({"preset", "apply", "3"});
        FSim.Faults().Clear();
        FSim.Faults().Add(QStringLiteral("badsum/cmd=6.2"));
        Ctl({"audio", "1"});
        FSim.Faults().Clear();
        FSim.Faults().Add(QStringLiteral("silence/cmd=2.3/p2=3"));
        Ctl({"route", "2", "all"});
        FSim.Faults().Clear();
    }

    void http()
    {
        Reset(FSim);
        QProcess server;
        const quint16 port = StartServer(server, {});
        QVERIFY(port > 0);
        THttpTestClient c{quint16(port)};
        auto call = [&](const QByteArray& method, const QByteArray& path,
                        const QByteArray& body = {}) {
            const THttpReply r =
                c.Request(method, "/api/v1/" + path, body,
                          body.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{Json});
            QByteArray shown = r.Body;
            if (r.Headers.value("content-type") == "application/octet-stream")
                shown =
                    "sha1:" + QCryptographicHash::hash(r.Body, QCryptographicHash::Sha1).toHex();
            Note(QStringLiteral("http %1 %2 %3 -> %4 %5")
                     .arg(QString::fromLatin1(method), QString::fromLatin1(path),
                          QString::fromUtf8(body))
                     .arg(r.Status)
                     .arg(QString::fromUtf8(shown)));
            return r;
        };
        call("GET", "status");
        call("GET", "routing");
        call("PUT", "routing/2", R"({"input": 3})");
        call("PUT", "routing", R"({"4": 2, "1": 4})");
        call("GET", "presets");
        call("POST", "presets/3/apply");
        call("POST", "presets/1/apply");
        call("GET", "tags");
        call("GET", "audio");
        call("PUT", "audio/2", R"({"source": 3})");
        call("GET", "switches");
        call("PUT", "switches/ir", R"({"on": false})");
        call("PUT", "switches/apm", R"({"on": true})");
        call("GET", "power");
        const QByteArray edid = call("GET", "outputs/1/edid").Body;
        call("GET", "outputs/4/edid");
        const THttpReply w = c.Request("PUT", "/api/v1/inputs/2/edid", edid,
                                       {"Content-Type: application/octet-stream"});
        Note(QStringLiteral("http PUT inputs/2/edid -> %1 %2")
                 .arg(w.Status)
                 .arg(QString::fromUtf8(w.Body)));
        const QByteArray backup = call("GET", "backup").Body;
        call("PUT", "routing/1", R"({"input": 1})");
        call("POST", "restore?dry_run=1", backup);
        call("POST", "restore", backup);
        call("GET", "routing");
        FSim.Faults().Add(QStringLiteral("silence/cmd=2.3/p2=3"));
        call("PUT", "routing", R"({"1": 1, "3": 1, "2": 1})");
        call("PUT", "routing/3", R"({"input": 4})");
        FSim.Faults().Clear();
        FSim.Faults().Add(QStringLiteral("refuse/cmd=2.3"));
        call("PUT", "routing/2", R"({"input": 4})");
        FSim.Faults().Clear();
        FSim.Faults().Add(QStringLiteral("silence/cmd=6.2"));
        call("GET", "audio");
        FSim.Faults().Clear();
        call("PUT", "power", R"({"on": false})");
        call("GET", "status");
        call("GET", "routing");
        call("PUT", "routing/1", R"({"input": 2})");
        call("PUT", "routing", R"({"1": 2})");
        call("PUT", "audio/1", R"({"source": 2})");
        call("GET", "switches");
        call("POST", "presets/3/apply");
        call("GET", "outputs/1/edid");
        call("GET", "backup");
        call("POST", "restore", backup);
        call("PUT", "power", R"({"on": true})");
        call("GET", "routing");
        server.kill();
        server.waitForFinished(3000);
    }

    void mqtt()
    {
        Reset(FSim);
        TMqttBroker broker;
        QString error;
        if (!broker.Start(&error)) QSKIP(qPrintable(error));
        QProcess server;
        const quint16 port = StartServer(
            server, {QStringLiteral("--mqtt"), broker.Url(), QStringLiteral("--mqtt-id"),
                     QStringLiteral("golden"), QStringLiteral("--no-ha")});
        QVERIFY(port > 0);
        THttpTestClient c{port};
        TMqttProbe ha(broker.Port());
        QVERIFY(ha.Connect());
        const QString base = QStringLiteral("hdmi-matrix/golden/");
        QVERIFY(ha.Subscribe(base + QStringLiteral("#")));
        QVERIFY(ha.WaitFor(base + QStringLiteral("version"), "2.07", 15000));
        // Whatever else comes until the line is quiet, then the retained state sorted.
        auto settle = [&] {
            int seen = -1;
            for (QDeadlineTimer d(5000); !d.hasExpired() && seen != int(ha.Messages.size());) {
                seen = int(ha.Messages.size());
                ha.Pump(300);
            }
        };
        settle();
        QMap<QString, QByteArray> state;
        for (const TMqttProbe::TMessage& m : ha.Messages)
            state.insert(m.Topic, m.Payload);
        for (auto it = state.begin(); it != state.end(); ++it)
            Note(QStringLiteral("mqtt state %1 = %2").arg(it.key(), QString::fromUtf8(it.value())));
        auto command = [&](const QString& topic, const QByteArray& payload) {
            ha.Clear();
            ha.Publish(base + topic, payload);
            settle();
            // A queued request behind the command: whatever the command
            // publishes is out once this is answered.
            QCOMPARE(c.Request("GET", "/api/v1/power").Status > 0, true);
            settle();
            Note(QStringLiteral("mqtt %1 %2 ->").arg(topic, QString::fromUtf8(payload)));
            for (const TMqttProbe::TMessage& m : ha.Messages) {
                if (m.Topic == base + topic) continue;
                QByteArray shown = m.Payload;
                // The error topic's text, not its shape (the echo of the payload may be cut).
                if (m.Topic.endsWith(QLatin1String("/error")))
                    shown = QJsonDocument::fromJson(m.Payload)
                                .object()
                                .value(QStringLiteral("error"))
                                .toString()
                                .toUtf8();
                Note(QStringLiteral("  %1 = %2")
                         .arg(m.Topic.mid(base.size()), QString::fromUtf8(shown)));
            }
        };
        command(QStringLiteral("output/3/input/set"), "In2");
        command(QStringLiteral("output/1/input/set"), "4");
        command(QStringLiteral("output/1/input/set"), "9");
        command(QStringLiteral("audio/2/set"), "3");
        command(QStringLiteral("switch/ir/set"), "OFF");
        command(QStringLiteral("switch/beeper/set"), "ON");
        command(QStringLiteral("preset/apply"), "Movie night");
        command(QStringLiteral("preset/apply"), "1");
        FSim.Faults().Add(QStringLiteral("silence/cmd=2.3"));
        command(QStringLiteral("output/2/input/set"), "1");
        FSim.Faults().Clear();
        FSim.Faults().Add(QStringLiteral("refuse/cmd=2.3"));
        command(QStringLiteral("output/2/input/set"), "3");
        FSim.Faults().Clear();
        command(QStringLiteral("power/set"), "OFF");
        command(QStringLiteral("output/2/input/set"), "3");
        command(QStringLiteral("audio/1/set"), "2");
        command(QStringLiteral("switch/keys/set"), "OFF");
        command(QStringLiteral("preset/apply"), "3");
        command(QStringLiteral("power/set"), "ON");
        server.kill();
        server.waitForFinished(3000);
    }

    void cleanupTestCase()
    {
        const QString kept = qEnvironmentVariable("MATRIX_SOURCE_DIR") +
                             QStringLiteral("/tests/golden/frontends.txt");
        const QString now = FLines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        if (qEnvironmentVariableIntValue("MATRIX_GOLDEN_RECORD")) {
            QSaveFile f(kept);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(now.toUtf8());
            QVERIFY(f.commit());
            return;
        }
        QFile f(kept);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(kept));
        const QStringList want = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        const QStringList got = now.split(QLatin1Char('\n'));
        for (int i = 0; i < qMax(want.size(), got.size()); ++i)
            QCOMPARE(got.value(i), want.value(i));
    }
};

QTEST_MAIN(TstGolden)
#include "tst_golden.moc"
