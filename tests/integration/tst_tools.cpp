// matrix-sim and matrixctl as processes, the way scripts and people use them.
#include "FreePort.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TstTools : public QObject {
    Q_OBJECT

    QString FSim, FCtl;
    QTemporaryDir FDir;
    QProcess FSimProcess;
    quint16 FPort = 0;
    QString FPty;

    struct TRun {
        int Code;
        QString Out;
        QString Err;
    };
    TRun Ctl(const QStringList& args)
    {
        QProcess p;
        p.start(FCtl, args);
        p.waitForFinished(30000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QStringList Tcp() const { return {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FPort)}; }

    // Commands the simulator received from line `from` of its frame log on,
    // as "group,code,p1,p2" (plain 13-byte traffic only).
    QStringList Received(int from, int* lines = nullptr) const
    {
        QFile log(FDir.filePath(QStringLiteral("frames.jsonl")));
        if (!log.open(QIODevice::ReadOnly)) return {};
        const QList<QByteArray> all = log.readAll().trimmed().split('\n');
        if (lines) *lines = int(all.size());
        QByteArray rx;
        for (const QByteArray& line : all.mid(from)) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("dir")).toString() == QLatin1String("rx"))
                rx += QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1());
        }
        QStringList frames;
        for (int at = 0; at + 13 <= rx.size(); at += 13) {
            const auto b = [&](int i) { return int(uint8_t(rx[at + i])); };
            frames << QStringLiteral("%1,%2,%3,%4").arg(b(2)).arg(b(3)).arg(b(4) | b(5) << 8).arg(b(6) | b(7) << 8);
        }
        return frames;
    }
    int LogLines() const
    {
        int n = 0;
        Received(0, &n);
        return n;
    }

private slots:
    void initTestCase()
    {
        const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        FSim = bin + QStringLiteral("/sim/matrix-sim");
        FCtl = bin + QStringLiteral("/cli/matrixctl");
        QVERIFY(QFile::exists(FSim));
        QVERIFY(QFile::exists(FCtl));
        FPort = FreePort();
        FPty = FDir.filePath(QStringLiteral("ttyMATRIX"));
        FSimProcess.start(FSim, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FPort),
                                 QStringLiteral("--pty"), FPty, QStringLiteral("--log"),
                                 FDir.filePath(QStringLiteral("frames.jsonl")), QStringLiteral("--state"),
                                 FDir.filePath(QStringLiteral("state.json"))});
        QVERIFY(FSimProcess.waitForReadyRead(10000));
        QCOMPARE(FSimProcess.readLine().trimmed(), QByteArray("ready"));
    }

    void cleanupTestCase()
    {
        ::kill(pid_t(FSimProcess.processId()), SIGTERM);
        QVERIFY(FSimProcess.waitForFinished(10000));
        QCOMPARE(FSimProcess.exitStatus(), QProcess::NormalExit);
        QCOMPARE(FSimProcess.exitCode(), 0);
        QVERIFY(!QFile::exists(FPty)); // the symlink goes with it
        // The state survives in its file.
        QFile state(FDir.filePath(QStringLiteral("state.json")));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(state.readAll()).object();
        QCOMPARE(o.value(QStringLiteral("power")).toBool(), true);
    }

    void PowerAndStatus()
    {
        TRun off = Ctl(Tcp() << QStringLiteral("status"));
        QCOMPARE(off.Code, 1);
        QCOMPARE(off.Out.trimmed(), QStringLiteral("Matrix Power Off"));
        QVERIFY(off.Err.contains(QStringLiteral("System is power off, please turn it on first to refresh more status.")));

        TRun on = Ctl(Tcp() << QStringLiteral("power") << QStringLiteral("on"));
        QCOMPARE(on.Code, 0);
        QCOMPARE(on.Out.trimmed(), QStringLiteral("Matrix Power On"));

        TRun status = Ctl(QStringList{QStringLiteral("--serial"), FPty, QStringLiteral("status")});
        QCOMPARE(status.Code, 0);
        const QStringList lines = status.Out.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines[1], QStringLiteral("Device: HDMI Matrix, 4x4"));
        QCOMPARE(lines[2], QStringLiteral("Version: 2.07"));
        QCOMPARE(lines[3], QStringLiteral("Input1: Connected"));
        QCOMPARE(lines[10], QStringLiteral("HDMI Output4: Not connected"));
    }

    void RouteAndRouting()
    {
        QCOMPARE(Ctl(Tcp() << QStringLiteral("power") << QStringLiteral("on")).Code, 0);
        QCOMPARE(Ctl(Tcp() << QStringLiteral("route") << QStringLiteral("2") << QStringLiteral("0x3")).Code, 0);
        TRun routing = Ctl(Tcp() << QStringLiteral("routing"));
        QCOMPARE(routing.Code, 0);
        QVERIFY(routing.Out.contains(QStringLiteral("Output3: Input2")));
    }

    void EdidModeAndCopy()
    {
        // The window's order: control mode check, preparation, the change.
        int from = LogLines();
        TRun user2 = Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("mode") << QStringLiteral("3")
                               << QStringLiteral("User2"));
        QCOMPARE(user2.Code, 0);
        QCOMPARE(Received(from), (QStringList{"16,1,254,0", "3,11,0,0", "3,8,240,0", "3,2,61952,3"}));
        from = LogLines();
        QCOMPARE(Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("mode") << QStringLiteral("all")
                           << QStringLiteral("4K2K, HD Audio 7.1")).Code, 0);
        QCOMPARE(Received(from).last(), QStringLiteral("3,1,61452,0"));
        from = LogLines();
        QCOMPARE(Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("mode") << QStringLiteral("2")
                           << QStringLiteral("Default EDID")).Code, 0);
        QCOMPARE(Received(from).last(), QStringLiteral("3,10,2,0"));

        from = LogLines();
        TRun copy = Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("copy") << QStringLiteral("1")
                              << QStringLiteral("all"));
        QCOMPARE(copy.Code, 0);
        QCOMPARE(Received(from), (QStringList{"16,1,254,0", "3,11,0,0", "1,5,1,0", "3,8,240,0", "3,3,1,0"}));
        // Output 4 has no display.
        from = LogLines();
        TRun none = Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("copy") << QStringLiteral("4")
                              << QStringLiteral("2"));
        QCOMPARE(none.Code, 1);
        QCOMPARE(none.Err, QStringLiteral("EDID can not be read because output not connected.\nOutput4\n"));
        QCOMPARE(Received(from), (QStringList{"16,1,254,0", "3,11,0,0", "1,5,4,0"}));

        // Names outside the list, and the prompt, are usage errors: nothing is sent.
        from = LogLines();
        for (const char* name : {"Select EDID", "Auto EDID", "user2", "Bogus"}) {
            TRun bad = Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("mode") << QStringLiteral("1")
                                 << QLatin1String(name));
            QCOMPARE(bad.Code, 2);
        }
        QCOMPARE(Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("copy") << QStringLiteral("1")
                           << QStringLiteral("5")).Code, 2);
        QCOMPARE(Received(from), QStringList());

        // A matrix whose DIP switch holds the EDID: the window's text, nothing changed.
        const quint16 port = FreePort();
        const QString state = FDir.filePath(QStringLiteral("dip.json"));
        QFile f(state);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"power": true, "edidDipSwitch": true})");
        f.close();
        QProcess dip;
        dip.start(FSim, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--state"),
                         state});
        QVERIFY(dip.waitForReadyRead(10000));
        const QStringList at = {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
                                QStringLiteral("edid")};
        const QString dipText = QStringLiteral("Set \"DIP Switch\" on side of the Matrix to \"1111\" to enter "
                                               "EDID Software control mode.\n");
        TRun mode = Ctl(QStringList(at) << QStringLiteral("mode") << QStringLiteral("1") << QStringLiteral("User1"));
        QCOMPARE(mode.Code, 1);
        QCOMPARE(mode.Err, dipText);
        TRun copyDip = Ctl(QStringList(at) << QStringLiteral("copy") << QStringLiteral("1") << QStringLiteral("1"));
        QCOMPARE(copyDip.Code, 1);
        QCOMPARE(copyDip.Err, dipText);
        ::kill(pid_t(dip.processId()), SIGTERM);
        QVERIFY(dip.waitForFinished(10000));
    }

    void SendPrintsReply()
    {
        TRun r = Ctl(Tcp() << QStringLiteral("--trace") << QStringLiteral("send") << QStringLiteral("4")
                           << QStringLiteral("4") << QStringLiteral("254"));
        QCOMPARE(r.Code, 0);
        QVERIFY(r.Out.startsWith(QStringLiteral("A5 5B 04 04 FE 00")));
        QVERIFY(r.Out.contains(QStringLiteral("\nok")));
        QVERIFY(r.Err.contains(QStringLiteral("[1] snd cmd PPP:   ")));
        // An unknown command is refused by the matrix: five tries, then the failure text.
        TRun refused = Ctl(Tcp() << QStringLiteral("--timeout-ms") << QStringLiteral("50")
                                 << QStringLiteral("send") << QStringLiteral("99") << QStringLiteral("1"));
        QCOMPARE(refused.Code, 1);
        QVERIFY(refused.Err.contains(QStringLiteral("Send data failed!")));
    }

    void LinkFailures()
    {
        TRun r = Ctl(QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FreePort()),
                                 QStringLiteral("status")});
        QCOMPARE(r.Code, 1);
        QVERIFY(r.Err.contains(QStringLiteral("Connect 127.0.0.1 failed")));
        TRun s = Ctl(QStringList{QStringLiteral("--serial"), FDir.filePath(QStringLiteral("none")),
                                 QStringLiteral("status")});
        QCOMPARE(s.Code, 1);
        QVERIFY(s.Err.contains(QStringLiteral("Open COM [")));
    }

    void UsageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1")};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("--tcp"), QStringLiteral("h"), QStringLiteral("dance")};
        QTest::newRow("bad number") << QStringList{QStringLiteral("--tcp"), QStringLiteral("h"), QStringLiteral("send"),
                                                   QStringLiteral("0x1G"), QStringLiteral("2")};
        QTest::newRow("too big") << QStringList{QStringLiteral("--tcp"), QStringLiteral("h"), QStringLiteral("send"),
                                                QStringLiteral("256"), QStringLiteral("2")};
        QTest::newRow("no link") << QStringList{QStringLiteral("status")};
        QTest::newRow("both links") << QStringList{QStringLiteral("--tcp"), QStringLiteral("h"), QStringLiteral("--serial"),
                                                   QStringLiteral("/dev/null"), QStringLiteral("status")};
        QTest::newRow("port 0 route") << QStringList{QStringLiteral("--tcp"), QStringLiteral("h"), QStringLiteral("route"),
                                                     QStringLiteral("0"), QStringLiteral("1")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast"), QStringLiteral("status")};
        // One number syntax and the real ranges everywhere.
        const QString h = QStringLiteral("--tcp");
        QTest::newRow("empty host") << QStringList{h, QStringLiteral(":8000"), QStringLiteral("status")};
        QTest::newRow("tcp port 0") << QStringList{h, QStringLiteral("h:0"), QStringLiteral("status")};
        QTest::newRow("tcp port 65536") << QStringList{h, QStringLiteral("h:65536"), QStringLiteral("status")};
        QTest::newRow("signed target") << QStringList{h, QStringLiteral("h"), QStringLiteral("edid"),
                                                      QStringLiteral("write"), QStringLiteral("+1"), QStringLiteral("f")};
        QTest::newRow("blank in number") << QStringList{h, QStringLiteral("h"), QStringLiteral("send"),
                                                        QStringLiteral(" 4"), QStringLiteral("4")};
    }
    void UsageErrors()
    {
        QFETCH(QStringList, args);
        TRun r = Ctl(args);
        QCOMPARE(r.Code, 2);
        QVERIFY(r.Err.contains(QStringLiteral("usage: matrixctl")));
        QVERIFY(!r.Err.contains(QStringLiteral("0..4")));
    }

    void FileFailuresOnStderr()
    {
        // Hex is taken like decimal: the content check runs, not the parser.
        TRun hex = Ctl(Tcp() << QStringLiteral("edid") << QStringLiteral("write") << QStringLiteral("0x1")
                             << QStringLiteral("/dev/null"));
        QCOMPARE(hex.Code, 1);
        QCOMPARE(hex.Err.trimmed(), QStringLiteral("EDID content error."));
        // A device that never ends is refused without reading it whole; a
        // missing file is reported on stderr with nothing on stdout.
        TRun zero = Ctl({QStringLiteral("fw"), QStringLiteral("info"), QStringLiteral("/dev/zero")});
        QCOMPARE(zero.Code, 1);
        QVERIFY(zero.Err.contains(QStringLiteral("too large")));
        const QString missing = FDir.filePath(QStringLiteral("missing.fw"));
        TRun up = Ctl(Tcp() << QStringLiteral("fw") << QStringLiteral("upgrade") << missing);
        QCOMPARE(up.Code, 1);
        QCOMPARE(up.Out, QString());
        QVERIFY(up.Err.contains(QStringLiteral("Firmware file: ") + missing + QStringLiteral(" does not exist")));
    }

    void FrameLog()
    {
        QFile log(FDir.filePath(QStringLiteral("frames.jsonl")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QVERIFY(lines.size() >= 2);
        const QJsonObject first = QJsonDocument::fromJson(lines.first()).object();
        QCOMPARE(first.value(QStringLiteral("dir")).toString(), QStringLiteral("rx"));
        QVERIFY(first.value(QStringLiteral("hex")).toString().startsWith(QStringLiteral("A5 5B 10 01")));
        QVERIFY(first.value(QStringLiteral("t")).isDouble());
    }

    void SimulatorArguments()
    {
        QProcess help;
        help.start(FSim, {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(10000));
        const QString text = QString::fromUtf8(help.readAllStandardOutput());
        QVERIFY(text.contains(QStringLiteral("split:A+B")));
        QProcess bad;
        bad.start(FSim, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--fault"),
                         QStringLiteral("explode")});
        QVERIFY(bad.waitForFinished(10000));
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY(bad.readAllStandardError().contains("bad fault plan 'explode'"));
    }
};

QTEST_MAIN(TstTools)
#include "tst_tools.moc"
