// The matrix going away in the middle of a transfer: the serial device
// vanishing (the pseudo-terminal's master hangs up) and the TCP peer
// resetting. The window reports the port failure, shows the link as
// disconnected within one timer tick, keeps what it showed, and the next
// command connects again; matrixctl exits 1 with the failure text.
#include "FreePort.h"
#include "WindowFixture.h"
#include "link/FirmwareFile.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/EdidPanel.h"
#include "ui/main/TabContainer.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>
#include <csignal>
#include <memory>

class tst_unplug : public QObject
{
    Q_OBJECT
private slots:
    void windowMidTransfer_data();
    void windowMidTransfer();
    void matrixctlMidTransfer_data();
    void matrixctlMidTransfer();
    void matrixctlStoppedMidTransfer();
};

namespace
{
// A process that never started has no id, and kill(0, ...) would signal the
// whole process group, ctest among it.
void Signal(const QProcess& process, int signal)
{
    if (process.processId() > 0) ::kill(pid_t(process.processId()), signal);
}
// A slow EDID read: 16-byte blocks, each answer 20 ms late.
void MakeSlow(TMatrixSim& sim)
{
    sim.Device().State().Power = true;
    sim.Device().State().EdidBlockSize = 16;
    sim.Faults().Add(QStringLiteral("delay:20"));
}
// Frames the simulator process has logged as received so far.
int Received(const QTemporaryDir& dir)
{
    QFile log(dir.filePath(QStringLiteral("frames.jsonl")));
    if (!log.open(QIODevice::ReadOnly)) return 0;
    return int(log.readAll().count("\"rx\""));
}
} // namespace

void tst_unplug::windowMidTransfer_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("serial device vanishes") << true;
    QTest::newRow("TCP peer resets") << false;
}

void tst_unplug::windowMidTransfer()
{
    QFETCH(bool, serial);
    TTiming timing = TTiming::Fast();
    timing.PollLimit = 200; // the delayed answers are in time
    TWindowFixture f;
    // A matrix of the test's own, so that it can vanish.
    auto sim = std::make_unique<TMatrixSim>();
    sim->Device().LoadEdids(QStringLiteral(":/edid"));
    MakeSlow(*sim);
    const QString tty = f.Dir.filePath(QStringLiteral("ttyUNPLUG"));
    if (serial) {
        QVERIFY(sim->OpenPty(tty));
        f.Ports.Names = QStringList{tty};
        f.WriteFile("[Control mode]\r\nMode=0\r\n[COM port]\r\nName=" + tty.toUtf8() + "\r\n");
    } else {
        QVERIFY(sim->ListenTcp(QHostAddress::LocalHost, 0));
        f.WriteTcpSettings();
    }
    f.Show(timing);
    if (!serial) f.Form->Link()->SetDevicePort(sim->TcpPort());
    QVERIFY(f.Form->DeviceStatus()->QueryPowerStatus());
    QVERIFY(f.Form->Link()->Connected());
    f.Form->Container()->setCurrentWidget(f.Form->tsEDIDCtrl);
    TEdidPanel* e = f.Form->Edid();
    e->cbReadEDIDDataOutput->setCurrentIndex(1);
    QByteArray before;
    e->GridBytes(&before);

    // Gone after a few blocks of the read.
    QTimer::singleShot(120, [&] {
        if (serial)
            sim.reset();
        else
            sim->ResetTcpPeer();
    });
    QElapsedTimer clock;
    clock.start();
    e->btnReadEDID->click();
    // Had it tried on, every block would wait out all its tries (16 s).
    QVERIFY2(clock.elapsed() < 10000, "the read ran on after the link went");
    QVERIFY(!sim || !serial);
    QCOMPARE(f.Panel(2),
             serial ? QStringLiteral("COM access failed!") : QStringLiteral("TCP control failed!"));
    QByteArray after;
    e->GridBytes(&after);
    QCOMPARE(after, before);
    QVERIFY(f.Form->Flags().Idle);
    QTRY_COMPARE_WITH_TIMEOUT(f.Panel(1), QStringLiteral("Disconnect"), timing.TimerMs + 500);

    // Back again: the next command connects on its own and reads.
    if (serial) {
        sim = std::make_unique<TMatrixSim>();
        sim->Device().LoadEdids(QStringLiteral(":/edid"));
        QVERIFY(sim->OpenPty(tty));
    }
    sim->Faults().Clear();
    const QByteArray edid = sim->Device().State().OutputEdid[0];
    QVERIFY(edid.size() == 256);
    e->btnReadEDID->click();
    QCOMPARE(f.Panel(2), QStringLiteral("Done"));
    e->GridBytes(&after);
    QCOMPARE(after, edid);
    QVERIFY(f.Panel(1).startsWith(QStringLiteral("Connected: ")));
}

void tst_unplug::matrixctlMidTransfer_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("serial device vanishes") << true;
    QTest::newRow("TCP peer goes") << false;
}

void tst_unplug::matrixctlMidTransfer()
{
    QFETCH(bool, serial);
    const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    QTemporaryDir dir;
    const quint16 port = FreePort();
    const QString tty = dir.filePath(QStringLiteral("ttyCTL"));
    QProcess sim;
    sim.start(bin + QStringLiteral("/sim/matrix-sim"),
              {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
               QStringLiteral("--pty"), tty, QStringLiteral("--fault"), QStringLiteral("delay:150"),
               QStringLiteral("--log"), dir.filePath(QStringLiteral("frames.jsonl"))});
    QVERIFY(sim.waitForReadyRead(10000));
    QCOMPARE(sim.readLine().trimmed(), QByteArray("ready"));

    const QStringList link =
        serial ? QStringList{QStringLiteral("--serial"), tty}
               : QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port)};
    QProcess ctl;
    ctl.start(bin + QStringLiteral("/cli/matrixctl"),
              link + QStringList{QStringLiteral("power"), QStringLiteral("on")});
    QVERIFY(ctl.waitForFinished(30000));
    QCOMPARE(ctl.exitCode(), 0);

    // An EDID read (the control mode query, the opening, the block: each
    // answer 150 ms late), and the simulator killed while it runs.
    const QString out = dir.filePath(QStringLiteral("edid.bin"));
    ctl.start(bin + QStringLiteral("/cli/matrixctl"),
              link + QStringList{QStringLiteral("edid"), QStringLiteral("read"),
                                 QStringLiteral("1"), out});
    QVERIFY(ctl.waitForStarted());
    const int received = Received(dir);
    QTRY_VERIFY_WITH_TIMEOUT(Received(dir) >= received + 2, 20000); // into its second exchange
    Signal(sim, SIGKILL);
    QVERIFY(sim.waitForFinished(10000));
    QVERIFY(ctl.waitForFinished(60000));
    QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ctl.exitCode(), 1);
    const QString err = QString::fromUtf8(ctl.readAllStandardError()).trimmed();
    QVERIFY2(err == (serial ? QStringLiteral("COM access failed!")
                            : QStringLiteral("TCP control failed!")),
             qPrintable(err));
    QVERIFY(!QFile::exists(out));
}

// Ctrl-C and a termination request while matrixctl waits for the matrix.
void tst_unplug::matrixctlStoppedMidTransfer()
{
    const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    QTemporaryDir dir;
    const quint16 port = FreePort();
    const QStringList link{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port)};
    // A fresh matrix each time, answering 150 ms late; `args` run until it
    // has taken two frames.
    QProcess sim, ctl;
    auto startAndWait = [&](const QStringList& args) {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            QVERIFY(sim.waitForFinished(5000));
        }
        QFile::remove(dir.filePath(QStringLiteral("frames.jsonl")));
        sim.start(bin + QStringLiteral("/sim/matrix-sim"),
                  {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
                   QStringLiteral("--power-on"), QStringLiteral("--fault"),
                   QStringLiteral("delay:150"), QStringLiteral("--log"),
                   dir.filePath(QStringLiteral("frames.jsonl"))});
        QVERIFY(sim.waitForReadyRead(10000));
        ctl.start(bin + QStringLiteral("/cli/matrixctl"), link + args);
        QVERIFY(ctl.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(Received(dir) >= 2, 20000);
        QCOMPARE(ctl.state(), QProcess::Running);
    };

    // SIGTERM during an EDID read: 143, what was stopped, no output file.
    const QString out = dir.filePath(QStringLiteral("edid.bin"));
    startAndWait({QStringLiteral("edid"), QStringLiteral("read"), QStringLiteral("1"), out});
    Signal(ctl, SIGTERM);
    QVERIFY(ctl.waitForFinished(10000));
    QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ctl.exitCode(), 143);
    QString err = QString::fromUtf8(ctl.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("stopped by SIGTERM: 'edid read 1 ")), qPrintable(err));
    QVERIFY(!QFile::exists(out));

    // A firmware upgrade: the first Ctrl-C warns and the part goes on; the
    // second stops with 130.
    const QString fw = dir.filePath(QStringLiteral("x.fw"));
    QFile file(fw);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(TFirmwareFile::BuildPart(2, 1, 1, 2, QByteArray(4096, 'x')));
    file.close();
    startAndWait({QStringLiteral("fw"), QStringLiteral("upgrade"), fw});
    Signal(ctl, SIGINT);
    err.clear();
    QTRY_VERIFY2_WITH_TIMEOUT((err += QString::fromUtf8(ctl.readAllStandardError()))
                                  .contains(QStringLiteral("press Ctrl-C again")),
                              qPrintable(err + QString::number(ctl.state())), 5000);
    const int received = Received(dir);
    QTRY_VERIFY_WITH_TIMEOUT(Received(dir) > received, 5000);
    QCOMPARE(ctl.state(), QProcess::Running);
    Signal(ctl, SIGINT);
    QVERIFY(ctl.waitForFinished(10000));
    QCOMPARE(ctl.exitCode(), 130);
    err = QString::fromUtf8(ctl.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("without working firmware: upgrade it again")),
             qPrintable(err));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

QTEST_MAIN(tst_unplug)
#include "tst_unplug.moc"
