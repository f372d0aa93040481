// matrixctl's routing, audio, switch and pre-setting commands against the
// simulator as a process.
#include "FreePort.h"

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
    QStringList Out;
    QString Err;
};

// One simulator process with its frame log.
class TSimProcess
{
public:
    TSimProcess(const QString& sim, const QStringList& extra)
    {
        Port = FreePort();
        FProcess.start(sim, QStringList{QStringLiteral("--tcp"),
                                        QStringLiteral("127.0.0.1:%1").arg(Port),
                                        QStringLiteral("--log"), LogPath()} +
                                extra);
        Ready = FProcess.waitForReadyRead(10000) && FProcess.readLine().trimmed() == "ready";
    }
    ~TSimProcess()
    {
        ::kill(pid_t(FProcess.processId()), SIGTERM);
        FProcess.waitForFinished(10000);
    }
    QString LogPath() const { return FDir.filePath(QStringLiteral("frames.jsonl")); }
    // "group,code" of every command received so far.
    QStringList Received() const
    {
        QStringList names;
        QFile f(LogPath());
        if (!f.open(QIODevice::ReadOnly)) return names;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("dir")).toString() != QLatin1String("rx")) continue;
            const QStringList hex =
                o.value(QStringLiteral("hex")).toString().split(QLatin1Char(' '));
            if (hex.size() >= 4)
                names << QStringLiteral("%1,%2")
                             .arg(hex[2].toInt(nullptr, 16))
                             .arg(hex[3].toInt(nullptr, 16));
        }
        return names;
    }
    quint16 Port = 0;
    bool Ready = false;

private:
    QTemporaryDir FDir;
    QProcess FProcess;
};
} // namespace

class tst_matrixctl_settings : public QObject
{
    Q_OBJECT
    QString FSim, FCtl;
    QTemporaryDir FDir;

    TRun Ctl(quint16 port, const QStringList& args)
    {
        QProcess p;
        p.start(FCtl, QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
                                  QStringLiteral("--timeout-ms"), QStringLiteral("100")} +
                          args);
        p.waitForFinished(30000);
        const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        return {p.exitCode(), out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n')),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        FSim = bin + QStringLiteral("/sim/matrix-sim");
        FCtl = bin + QStringLiteral("/cli/matrixctl");
        QVERIFY(QFile::exists(FSim) && QFile::exists(FCtl));
    }

    void poweredCommandsRefusedWhileOff()
    {
        TSimProcess sim(FSim, {});
        QVERIFY(sim.Ready);
        for (const QStringList& args : {QStringList{"ir"}, QStringList{"keys", "on"},
                                        QStringList{"audio"}, QStringList{"route", "1", "all"}}) {
            const TRun r = Ctl(sim.Port, args);
            QCOMPARE(r.Code, 1);
            QCOMPARE(r.Err.trimmed(),
                     QStringLiteral("System is power off, please turn it on first."));
            QVERIFY(r.Out.isEmpty());
        }
        QCOMPARE(sim.Received(), QStringList(4, QStringLiteral("16,1")));
    }

    void routeAudioAndSwitches()
    {
        TSimProcess sim(FSim, {QStringLiteral("--power-on")});
        QVERIFY(sim.Ready);
        TRun r = Ctl(sim.Port, {"route", "3", "all"});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Out, (QStringList{"Output1: Input3", "Output2: Input3", "Output3: Input3",
                                     "Output4: Input3"}));
        QCOMPARE(sim.Received(), (QStringList{"16,1", "2,3", "2,3", "2,3", "2,3"}));

        r = Ctl(sim.Port, {"audio", "3", "2"});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Out, QStringList{"Input3: Analog L/R In embeded"});
        QCOMPARE(sim.Received().mid(5), (QStringList{"16,1", "6,5", "6,6"}));
        r = Ctl(sim.Port, {"audio"});
        QCOMPARE(r.Out, (QStringList{"Input1: Original", "Input2: Original",
                                     "Input3: Analog L/R In embeded", "Input4: Original"}));

        r = Ctl(sim.Port, {"keys", "off"});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Out, QStringList{"keys: OFF"});
        QCOMPARE(sim.Received().mid(13), (QStringList{"16,1", "1,15", "1,14"}));
        QCOMPARE(Ctl(sim.Port, {"ir"}).Out, QStringList{"ir: ON"});
        QCOMPARE(Ctl(sim.Port, {"apm", "on"}).Out, QStringList{"apm: ON"});
        QCOMPARE(Ctl(sim.Port, {"beeper", "off"}).Out, QStringList{"beeper: OFF"});
        QCOMPARE(Ctl(sim.Port, {"beeper", "maybe"}).Code, 2);
        QCOMPARE(Ctl(sim.Port, {"audio", "1", "4"}).Code, 2);
    }

    void routeAllStopsAtTheFirstFailure()
    {
        // Replies 1..3 (power, outputs 1 and 2) pass; output 3 is never answered.
        TSimProcess sim(FSim, {QStringLiteral("--power-on"), QStringLiteral("--fault"),
                               QStringLiteral("silence/after=3")});
        QVERIFY(sim.Ready);
        const TRun r = Ctl(sim.Port, {"route", "2", "all"});
        QCOMPARE(r.Code, 1);
        QCOMPARE(r.Out, (QStringList{"Output1: Input2", "Output2: Input2"}));
        QCOMPARE(r.Err.trimmed(), QStringLiteral("Time out!"));
        QVERIFY(!sim.Received().mid(4).contains(QStringLiteral("16,1")));
    }

    void presets()
    {
        const QString ini = FDir.filePath(QStringLiteral("Settings.ini"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Pre-Setting name]\r\nSetting1=Cinema\r\nSetting2=Stray\r\nSetting5=%1\r\n"
                "[Pre-Setting value]\r\nvalue1=2,2,1,4\r\nvalue2=1,0,1,1\r\nvalue3=3\r\n"
                "value4=1,2,3,4,4\r\nvalue5=2,,3,4\r\n");
        f.close();
        TRun list = Ctl(1, {"--settings", ini, "preset", "list"});
        // No link is needed for the list.
        QProcess offline;
        offline.start(FCtl, {"--settings", ini, "preset", "list"});
        QVERIFY(offline.waitForFinished(10000));
        QCOMPARE(offline.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(offline.readAllStandardOutput()).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QStringLiteral("1: Cinema: 2,2,1,4"));
        QCOMPARE(lines[2], QStringLiteral("3: Setting3: 3,1,2,3"));
        QCOMPARE(lines[3], QStringLiteral("4: Setting4: 1,2,3,4,4"));
        QCOMPARE(lines[4], QStringLiteral("5: %1: 2,,3,4")); // the empty item keeps its place
        QCOMPARE(list.Out, lines);

        TSimProcess sim(FSim, {QStringLiteral("--power-on")});
        QVERIFY(sim.Ready);
        TRun r = Ctl(sim.Port, {"--settings", ini, "preset", "apply", "1"});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Out, (QStringList{"Output1: Input2", "Output2: Input2", "Output3: Input1",
                                     "Output4: Input4"}));
        r = Ctl(sim.Port, {"--settings", ini, "preset", "apply", "2"});
        QCOMPARE(r.Code, 1);
        QVERIFY(r.Err.contains(QStringLiteral("the input \"0\" for Output2")));
        r = Ctl(sim.Port, {"--settings", ini, "preset", "apply", "5"});
        QCOMPARE(r.Code, 1);
        QVERIFY2(r.Err.contains(QStringLiteral("Pre-setting 5 (%1): the input \"\" for Output2")),
                 qPrintable(r.Err));
        QCOMPARE(sim.Received(), (QStringList{"16,1", "2,3", "2,3", "2,3", "2,3"}));

        QCOMPARE(Ctl(sim.Port, {"preset", "list"}).Code, 2);
        QCOMPARE(Ctl(sim.Port, {"--settings", ini, "preset", "apply", "9"}).Code, 2);
    }
};

QTEST_MAIN(tst_matrixctl_settings)
#include "tst_matrixctl_settings.moc"
