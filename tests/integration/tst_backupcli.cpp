// matrixctl --json, --trace, backup and restore as processes against
// matrix-sim processes, the way scripts use them.
#include "FreePort.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace
{
struct TRun {
    int Code;
    QString Out;
    QString Err;
    QJsonObject Json() const { return QJsonDocument::fromJson(Out.toUtf8()).object(); }
};

// One simulated matrix process with its state file and frame log.
class TSim
{
public:
    TSim(const QString& folder, const QString& name, const QByteArray& state)
        : FLog(folder + QLatin1Char('/') + name + QStringLiteral(".jsonl")),
          FState(folder + QLatin1Char('/') + name + QStringLiteral(".json")), FPort(FreePort())
    {
        QFile f(FState);
        if (f.open(QIODevice::WriteOnly)) f.write(state);
    }
    ~TSim()
    {
        ::kill(pid_t(FProcess.processId()), SIGTERM);
        FProcess.waitForFinished(10000);
    }
    bool Start(const QString& program)
    {
        FProcess.start(program, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FPort),
                                 QStringLiteral("--log"), FLog, QStringLiteral("--state"), FState});
        return FProcess.waitForReadyRead(10000) && FProcess.readLine().trimmed() == "ready";
    }
    QStringList Tcp() const
    {
        return {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FPort)};
    }
    // Frames the matrix received.
    int Frames() const
    {
        QFile log(FLog);
        if (!log.open(QIODevice::ReadOnly)) return 0;
        return int(log.readAll().count("\"rx\""));
    }
    QJsonObject State() const
    {
        QFile f(FState);
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                           : QJsonObject();
    }

private:
    QString FLog, FState;
    quint16 FPort;
    QProcess FProcess;
};
} // namespace

class tst_backupcli : public QObject
{
    Q_OBJECT
    QString FSim, FCtl;
    QTemporaryDir FDir;

    TRun Ctl(const QStringList& args)
    {
        QProcess p;
        p.start(FCtl, args);
        p.waitForFinished(30000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString Path(const QString& name) const { return FDir.filePath(name); }

private slots:
    void initTestCase()
    {
        const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        FSim = bin + QStringLiteral("/sim/matrix-sim");
        FCtl = bin + QStringLiteral("/cli/matrixctl");
        QVERIFY(QFile::exists(FSim));
        QVERIFY(QFile::exists(FCtl));
    }

    void jsonMatchesTextAndTraceGoesToStderr()
    {
        TSim sim(FDir.path(), QStringLiteral("json"), R"({"power": true, "route": [2, 2, 3, 1]})");
        QVERIFY(sim.Start(FSim));

        const TRun text = Ctl(sim.Tcp() << QStringLiteral("status"));
        const TRun json = Ctl(sim.Tcp() << QStringLiteral("--json") << QStringLiteral("status"));
        QCOMPARE(text.Code, 0);
        QCOMPARE(json.Code, 0);
        const QJsonObject status = json.Json();
        QVERIFY2(!status.isEmpty(), qPrintable(json.Out));
        QCOMPARE(status.value(QStringLiteral("power")).toBool(), true);
        QVERIFY(text.Out.contains(QStringLiteral("Device: HDMI Matrix, ") +
                                  status.value(QStringLiteral("device")).toString()));
        QVERIFY(text.Out.contains(QStringLiteral("Version: ") +
                                  status.value(QStringLiteral("version")).toString()));
        const QJsonObject inputs = status.value(QStringLiteral("inputs")).toObject();
        const QJsonObject outputs = status.value(QStringLiteral("outputs")).toObject();
        QCOMPARE(inputs.size(), 4);
        QCOMPARE(outputs.size(), 4);
        for (int n = 1; n <= 4; ++n) {
            const QString key = QString::number(n);
            const QString in = inputs.value(key).toString() == QLatin1String("connected")
                                   ? "Connected"
                                   : "Not connected";
            const QString out = outputs.value(key).toString() == QLatin1String("connected")
                                    ? "Connected"
                                    : "Not connected";
            QVERIFY(text.Out.contains(QStringLiteral("Input%1: %2\n").arg(n).arg(in)));
            QVERIFY(text.Out.contains(QStringLiteral("HDMI Output%1: %2\n").arg(n).arg(out)));
        }

        // routing, with --trace: the data alone on stdout, the traffic on stderr.
        const TRun routing = Ctl(sim.Tcp() << QStringLiteral("--json") << QStringLiteral("--trace")
                                           << QStringLiteral("routing"));
        QCOMPARE(routing.Code, 0);
        QCOMPARE(
            routing.Json(),
            QJsonDocument::fromJson(R"({"routing": {"1": 2, "2": 2, "3": 3, "4": 1}})").object());
        QVERIFY(routing.Err.contains(QRegularExpression(
            QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d{3} TX A5 5B 02 01 04 00 00 00 00 00 00 00 "
                           "[0-9A-F]{2}  RouteQuery \\(2, 1\\)\n"))));
        QVERIFY(routing.Err.contains(QStringLiteral("  RouteQuery (2, 1)\n")));
        QVERIFY(routing.Err.contains(QStringLiteral(" RX A5 5B 02 01 04 00 01 00")));
        const TRun routingText = Ctl(sim.Tcp() << QStringLiteral("routing"));
        QCOMPARE(
            routingText.Out,
            QStringLiteral("Output1: Input2\nOutput2: Input2\nOutput3: Input3\nOutput4: Input1\n"));

        const TRun send =
            Ctl(sim.Tcp() << QStringLiteral("--json") << QStringLiteral("send")
                          << QStringLiteral("4") << QStringLiteral("4") << QStringLiteral("254"));
        QCOMPARE(send.Code, 0);
        QVERIFY(send.Json()
                    .value(QStringLiteral("reply"))
                    .toString()
                    .startsWith(QLatin1String("A5 5B 04 04 FE 00")));
        QCOMPARE(send.Json().value(QStringLiteral("ok")).toBool(), true);

        // Failures: {"error": ...} with the exit status of the text mode.
        const TRun refused =
            Ctl(QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FreePort()),
                            QStringLiteral("--json"), QStringLiteral("power")});
        QCOMPARE(refused.Code, 1);
        QCOMPARE(refused.Json().value(QStringLiteral("error")).toString(),
                 QStringLiteral("Connect 127.0.0.1 failed"));
        const TRun usage = Ctl(sim.Tcp() << QStringLiteral("--json") << QStringLiteral("route")
                                         << QStringLiteral("9") << QStringLiteral("1"));
        QCOMPARE(usage.Code, 2);
        QVERIFY(usage.Json()
                    .value(QStringLiteral("error"))
                    .toString()
                    .startsWith(QLatin1String("bad input '9'")));
        const TRun fw = Ctl({QStringLiteral("--json"), QStringLiteral("fw"), QStringLiteral("info"),
                             Path(QStringLiteral("missing.bin"))});
        QCOMPARE(fw.Code, 1);
        QCOMPARE(fw.Json().value(QStringLiteral("parts")).toArray().size(), 0);
        QVERIFY(!fw.Json().value(QStringLiteral("error")).toString().isEmpty());
    }

    void settingsJsonMatchesText()
    {
        TSim sim(FDir.path(), QStringLiteral("settings"),
                 R"({"power": true, "audio": [1, 3, 2, 1], "apm": true})");
        QVERIFY(sim.Start(FSim));
        const QString ini = Path(QStringLiteral("Settings.ini"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Pre-Setting name]\r\nSetting1=Cinema\r\n"
                "[Pre-Setting value]\r\nvalue1=2,2,1,4\r\nvalue2=1,x,1,1\r\n");
        f.close();

        // Each command's text lines rebuilt from its JSON must be the text output.
        auto both = [&](const QStringList& args) {
            const TRun text = Ctl(sim.Tcp() << args);
            const TRun json = Ctl(sim.Tcp() << QStringLiteral("--json") << args);
            [&] {
                QCOMPARE(text.Code, 0);
                QCOMPARE(json.Code, 0);
                QVERIFY2(!json.Json().isEmpty(), qPrintable(json.Out));
            }();
            return std::make_pair(text.Out, json.Json());
        };
        auto [audioText, audio] = both({QStringLiteral("audio")});
        QString rebuilt;
        for (int n = 1; n <= 4; ++n)
            rebuilt += QStringLiteral("Input%1: %2\n")
                           .arg(n)
                           .arg(audio[QStringLiteral("audioNames")][QString::number(n)].toString());
        QCOMPARE(rebuilt, audioText);
        QCOMPARE(audio.value(QStringLiteral("audio")).toObject(),
                 QJsonDocument::fromJson(R"({"1": 1, "2": 3, "3": 2, "4": 1})").object());

        auto [apmText, apm] = both({QStringLiteral("apm"), QStringLiteral("off")});
        QCOMPARE(apmText, QStringLiteral("apm: OFF\n"));
        QCOMPARE(apm, QJsonDocument::fromJson(R"({"apm": false})").object());

        auto [listText, list] = both(
            {QStringLiteral("--settings"), ini, QStringLiteral("preset"), QStringLiteral("list")});
        const QJsonArray presets = list.value(QStringLiteral("presets")).toArray();
        QCOMPARE(presets.size(), 8);
        rebuilt.clear();
        for (const QJsonValue& p : presets) {
            QStringList inputs;
            for (const QJsonValue& v : p[QStringLiteral("inputs")].toArray())
                inputs << (v.isDouble() ? QString::number(v.toInt()) : v.toString());
            rebuilt +=
                QStringLiteral("%1: %2: %3\n")
                    .arg(p[QStringLiteral("number")].toInt())
                    .arg(p[QStringLiteral("name")].toString(), inputs.join(QLatin1Char(',')));
        }
        QCOMPARE(rebuilt, listText);
        QCOMPARE(presets[1].toObject(),
                 QJsonDocument::fromJson(
                     R"({"number": 2, "name": "Setting2", "inputs": [1, "x", 1, 1]})")
                     .object());

        const TRun apply = Ctl(sim.Tcp() << QStringLiteral("--json") << QStringLiteral("--settings")
                                         << ini << QStringLiteral("preset")
                                         << QStringLiteral("apply") << QStringLiteral("1"));
        QCOMPARE(apply.Code, 0);
        QCOMPARE(apply.Json(),
                 QJsonDocument::fromJson(R"({"preset": {"number": 1, "name": "Cinema"},
                                                           "routing": {"1": 2, "2": 2, "3": 1, "4": 4}})")
                     .object());
    }

    void backupRestoreOntoAFreshMatrix()
    {
        TSim source(FDir.path(), QStringLiteral("source"),
                    R"({"power": true, "route": [3, 3, 1, 2], "audio": [2, 3, 1, 2],
                        "ir": false, "keys": false, "apm": true, "beeper": false})");
        TSim fresh(FDir.path(), QStringLiteral("fresh"), R"({"power": true})");
        TSim off(FDir.path(), QStringLiteral("off"), R"({"power": false})");
        QVERIFY(source.Start(FSim));
        QVERIFY(fresh.Start(FSim));
        QVERIFY(off.Start(FSim));

        const QString file = Path(QStringLiteral("backup.json"));
        const TRun backup =
            Ctl(source.Tcp() << QStringLiteral("--json") << QStringLiteral("backup") << file);
        QCOMPARE(backup.Code, 0);
        const QJsonObject saved = backup.Json().value(QStringLiteral("backup")).toObject();
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        f.close();
        QCOMPARE(QJsonDocument::fromJson(bytes).object(), saved);
        QCOMPARE(saved.value(QStringLiteral("format")).toString(),
                 QStringLiteral("hdmi-matrix-backup"));
        QCOMPARE(saved.value(QStringLiteral("formatVersion")).toInt(), 1);
        QCOMPARE(saved.value(QStringLiteral("device")).toString(), QStringLiteral("4x4"));
        QCOMPARE(saved.value(QStringLiteral("version")).toString(), QStringLiteral("2.07"));
        QCOMPARE(saved.value(QStringLiteral("power")).toBool(), true);

        // Dry run: the commands, in the fixed order, and nothing on the line
        // (no link needed at all).
        const TRun dry = Ctl({QStringLiteral("restore"), file, QStringLiteral("--dry-run")});
        QCOMPARE(dry.Code, 0);
        const QStringList lines = dry.Out.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines.first(), QStringLiteral("send 4 3 240 0 0 0  # IR control: OFF"));
        QCOMPARE(lines[5],
                 QStringLiteral("send 6 5 2 3 0 0  # Input2 audio: Analog embeded when DVI"));
        QCOMPARE(lines.last(), QStringLiteral("send 2 3 2 4 0 0  # Output4: Input2"));
        const int freshBefore = fresh.Frames();
        QCOMPARE(
            Ctl(fresh.Tcp() << QStringLiteral("restore") << file << QStringLiteral("--dry-run"))
                .Code,
            0);

        // Truncated and hand-broken files are refused before anything is sent.
        const QString truncated = Path(QStringLiteral("truncated.json"));
        const QString broken = Path(QStringLiteral("broken.json"));
        QFile t(truncated);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write(bytes.left(bytes.size() / 2));
        t.close();
        QFile b(broken);
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.write(QByteArray(bytes).replace("\"beeper\": false", "\"beeper\": \"off\""));
        b.close();
        const TRun cut = Ctl(fresh.Tcp() << QStringLiteral("restore") << truncated);
        QCOMPARE(cut.Code, 1);
        QVERIFY2(cut.Err.startsWith(QLatin1String("Bad backup file: not a whole JSON document")),
                 qPrintable(cut.Err));
        const TRun bad =
            Ctl(fresh.Tcp() << QStringLiteral("--json") << QStringLiteral("restore") << broken);
        QCOMPARE(bad.Code, 1);
        QCOMPARE(bad.Json().value(QStringLiteral("error")).toString(),
                 QStringLiteral(
                     "Bad backup file: \"switches\": \"beeper\" is missing or not true/false"));
        QCOMPARE(fresh.Frames(), freshBefore);

        // A matrix that is off: the power message, only the power query sent.
        const TRun refused = Ctl(off.Tcp() << QStringLiteral("restore") << file);
        QCOMPARE(refused.Code, 1);
        QCOMPARE(refused.Err, QStringLiteral("System is power off, please turn it on first.\n"));
        QCOMPARE(off.Frames(), 1);

        // The real thing, then the fresh matrix's own backup matches the first.
        const TRun restore = Ctl(fresh.Tcp() << QStringLiteral("restore") << file);
        QCOMPARE(restore.Code, 0);
        QCOMPARE(restore.Out.trimmed().split(QLatin1Char('\n')).size(), 12);
        QVERIFY(restore.Out.startsWith(
            QLatin1String("IR control: OFF\nKeys on panel: OFF\nAPM: ON\nBeeper: OFF\n")));
        const TRun again = Ctl(fresh.Tcp() << QStringLiteral("--json") << QStringLiteral("backup")
                                           << Path(QStringLiteral("again.json")));
        QCOMPARE(again.Code, 0);
        QJsonObject copy = again.Json().value(QStringLiteral("backup")).toObject();
        QJsonObject original = saved;
        copy.remove(QStringLiteral("created"));
        original.remove(QStringLiteral("created"));
        QCOMPARE(copy, original);
    }
};

QTEST_MAIN(tst_backupcli)
#include "tst_backupcli.moc"
