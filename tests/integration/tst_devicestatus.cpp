// Device status and power: the power button, the status refresh and its
// labels, against the simulator over TCP and over a pseudo-terminal.
#include "WindowFixture.h"
#include "ui/main/DeviceStatusPanel.h"

#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>

namespace
{
// A matrix on loopback TCP whose replies a test may override one by one.
class TScriptedMatrix : public QObject
{
public:
    TScriptedMatrix()
    {
        Device.State().Power = true;
        FServer.listen(QHostAddress::LocalHost, 0);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = FServer.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                FIn += s->readAll();
                while (FIn.size() >= TCommandPacket::Size) {
                    const QByteArray frame = FIn.left(TCommandPacket::Size);
                    FIn.remove(0, TCommandPacket::Size);
                    const TCommandPacket cmd = TCommandPacket::FromBytes(frame);
                    QByteArray reply = Override ? Override(cmd) : QByteArray();
                    if (reply.isEmpty())
                        for (const QByteArray& r : Device.Feed(frame))
                            reply += r;
                    s->write(reply);
                }
            });
        });
    }
    quint16 Port() const { return FServer.serverPort(); }

    TMatrixDevice Device;
    std::function<QByteArray(const TCommandPacket&)> Override;

private:
    QTcpServer FServer;
    QByteArray FIn;
};

bool IsBold(QLabel* l)
{
    return l->font().bold();
}

// The status refresh ends with the advanced switches: IR, keys, APM, beeper.
const QStringList RefreshFrames = {"16,1", "1,1", "1,2", "1,3", "1,4", "1,4",  "1,4",  "1,4",
                                   "1,5",  "1,5", "1,5", "1,5", "4,4", "1,14", "1,10", "1,12"};
} // namespace

class tst_devicestatus : public QObject
{
    Q_OBJECT
private slots:
    void powerButtonSwitchesOnAndRefreshes_data();
    void powerButtonSwitchesOnAndRefreshes();
    void powerButtonSwitchesOff();
    void refreshRefusedWhilePowerOff();
    void silentMatrixShowsNoReply();
    void clicksDuringARefreshChangeNothing();
    void versionText_data();
    void versionText();
    void inputReplyOutsideTheRuleLeavesLabel();
    void failingPortQueryMarksOnlyThatPort();
    void inputPausesRunFromTheReply();
    void outputConnectionForEdid();
};

void tst_devicestatus::powerButtonSwitchesOnAndRefreshes_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void tst_devicestatus::powerButtonSwitchesOnAndRefreshes()
{
    QFETCH(bool, serial);
    TWindowFixture f;
    if (serial) {
        QVERIFY(f.StartPty());
        f.WriteComSettings();
    } else {
        QVERIFY(f.StartTcp());
        f.WriteTcpSettings();
    }
    f.Show();
    TDeviceStatusPanel* d = f.Form->DeviceStatus();
    QCOMPARE(d->PowerPictureShown(), ppDesign);

    d->bbPower->click();

    const QList<TCommandPacket> sent = f.Log.Commands();
    QCOMPARE(f.Log.Names(), QStringList({"16,1", "16,2", "16,1"}) + RefreshFrames);
    QCOMPARE(sent[0].P1, uint16_t(0xFE));
    QCOMPARE(sent[1].P1, uint16_t(0x0F));
    for (int i : {0, 1, 2}) {
        QCOMPARE(sent[i].P3, uint16_t(38731));
        QCOMPARE(sent[i].P4, uint16_t(27659));
    }
    QCOMPARE(f.Panel(3), QStringLiteral("Matrix Power On"));
    QCOMPARE(f.Runner()->PowerFlag(), uint8_t(1));
    QCOMPARE(d->PowerPictureShown(), ppOn);
    QVERIFY(f.Sim.Device().State().Power);

    QCOMPARE(d->lblDevice->text(), QStringLiteral("Device: HDMI Matrix, 4x4"));
    QCOMPARE(d->lblVersion->text(), QStringLiteral("Version: 2.07"));
    // Simulator: inputs 1, 2 and outputs 1..3 have cables.
    QCOMPARE(d->lblInput[0]->text(), QStringLiteral("Input1: Connected"));
    QVERIFY(IsBold(d->lblInput[0]));
    QCOMPARE(d->lblInput[2]->text(), QStringLiteral("Input3: Not connected"));
    QVERIFY(!IsBold(d->lblInput[2]));
    QCOMPARE(d->lblHDMIOutput[2]->text(), QStringLiteral("HDMI Output3: Connected"));
    QCOMPARE(d->lblHDMIOutput[3]->text(), QStringLiteral("HDMI Output4: Not connected"));
    QVERIFY(!d->lblHDBTOutput[0]->isVisible());
}

void tst_devicestatus::powerButtonSwitchesOff()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.Sim.Device().State().Power = true;
    f.WriteTcpSettings();
    f.Show();
    f.Form->DeviceStatus()->bbPower->click();
    QCOMPARE(f.Log.Names(), (QStringList{"16,1", "16,2", "16,1"}));
    QCOMPARE(f.Log.Commands()[1].P1, uint16_t(0xF0));
    QCOMPARE(f.Panel(3), QStringLiteral("Matrix Power Off"));
    QCOMPARE(f.Runner()->PowerFlag(), uint8_t(0));
    QCOMPARE(f.Form->DeviceStatus()->PowerPictureShown(), ppOff);
}

void tst_devicestatus::refreshRefusedWhilePowerOff()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    f.Show();
    f.Form->DeviceStatus()->btnGetDevStatus->click();
    QCOMPARE(f.Log.Names(), QStringList{"16,1"});
    QCOMPARE(f.Form->DeviceStatus()->PowerPictureShown(), ppOff);
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation),
             QStringList{"System is power off, please turn it on first to refresh more status."});
    QCOMPARE(f.Form->DeviceStatus()->lblDevice->text(), QStringLiteral("Device: Not known"));

    // Every powered command is refused the same way, without traffic.
    const TCommandReply r = f.Runner()->RunPoweredCommand(Catalogue::DeviceQuery());
    QCOMPARE(int(r.Ok), 0);
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation).last(),
             QStringLiteral("System is power off, please turn it on first."));
    QCOMPARE(f.Log.Count(), 1);
}

void tst_devicestatus::silentMatrixShowsNoReply()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("silence")));
    f.WriteTcpSettings();
    f.Show();
    f.Runner()->SetPowerFlag(1);
    f.Form->DeviceStatus()->bbPower->click();
    QCOMPARE(f.Form->DeviceStatus()->PowerPictureShown(), ppNoReply);
    QCOMPARE(f.Runner()->PowerFlag(), uint8_t(0));
    QCOMPARE(f.Panel(2), QStringLiteral("Time out!"));
    // Only the five tries of the status query went out.
    QCOMPARE(f.Log.Names(), QStringList(5, QStringLiteral("16,1")));
}

void tst_devicestatus::clicksDuringARefreshChangeNothing()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.Sim.Device().State().Power = true;
    f.WriteTcpSettings();
    f.Show();
    TDeviceStatusPanel* d = f.Form->DeviceStatus();
    d->btnGetDevStatus->click();
    const QStringList known = {d->lblDevice->text(), d->lblInput[0]->text(),
                               d->lblHDMIOutput[3]->text()};
    // A slow matrix: both buttons are clicked while the refresh waits for its
    // third command.
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("delay:40")));
    bool clicked = false;
    QTimer::singleShot(100, [&] {
        QTest::mouseClick(d->btnGetDevStatus, Qt::LeftButton);
        QTest::mouseClick(d->bbPower, Qt::LeftButton);
        clicked = true;
    });
    const int before = f.Log.Count();
    QTest::mouseClick(d->btnGetDevStatus, Qt::LeftButton);
    QVERIFY(clicked);
    QCOMPARE(f.Log.Count() - before, RefreshFrames.size()); // one refresh, nothing else
    QCOMPARE(d->PowerPictureShown(), ppOn);
    QCOMPARE(f.Runner()->PowerFlag(), uint8_t(1));
    QCOMPARE(
        QStringList({d->lblDevice->text(), d->lblInput[0]->text(), d->lblHDMIOutput[3]->text()}),
        known);
    QVERIFY(f.Prompter.Texts(TScriptedPrompter::pkInformation).isEmpty());
    QVERIFY(f.Sim.Device().State().Power);
}

void tst_devicestatus::versionText_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("text");
    QTest::newRow("2.07") << 2 << 7 << "Version: 2.07";
    QTest::newRow("1.12") << 1 << 12 << "Version: 1.12";
}

void tst_devicestatus::versionText()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, text);
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.Sim.Device().State().Power = true;
    f.Sim.Device().State().VersionMajor = major;
    f.Sim.Device().State().VersionMinor = minor;
    f.WriteTcpSettings();
    f.Show();
    f.Form->DeviceStatus()->btnGetDevStatus->click();
    QCOMPARE(f.Form->DeviceStatus()->lblVersion->text(), text);
}

void tst_devicestatus::inputReplyOutsideTheRuleLeavesLabel()
{
    TWindowFixture f;
    TScriptedMatrix m;
    f.WriteTcpSettings();
    f.Show();
    f.Form->Link()->SetDevicePort(m.Port());
    TDeviceStatusPanel* d = f.Form->DeviceStatus();
    d->btnGetDevStatus->click();
    QCOMPARE(d->lblInput[0]->text(), QStringLiteral("Input1: Connected"));
    QCOMPARE(d->lblInput[3]->text(), QStringLiteral("Input4: Not connected"));

    m.Override = [](const TCommandPacket& c) {
        if (c.Group == 1 && c.Code == 4) return TMatrixDevice::Reply(1, 4, c.P1, 1);
        return QByteArray();
    };
    d->btnGetDevStatus->click();
    QCOMPARE(f.Panel(2), QStringLiteral("Done"));
    QCOMPARE(d->lblInput[0]->text(), QStringLiteral("Input1: Connected"));
    QVERIFY(IsBold(d->lblInput[0]));
    QCOMPARE(d->lblInput[3]->text(), QStringLiteral("Input4: Not connected"));
    QVERIFY(!IsBold(d->lblInput[3]));
}

// The pause after each input query is counted from the reply's last byte:
// exactly four turnarounds of the refresh hold it, none falls short.
void tst_devicestatus::inputPausesRunFromTheReply()
{
    TWindowFixture f;
    QVERIFY(f.StartPty());
    f.Sim.Device().State().Power = true;
    f.WriteComSettings();
    TTiming timing = TTiming::Fast();
    timing.StatusPauseMs = 60;
    f.Show(timing);
    f.Form->DeviceStatus()->btnGetDevStatus->click(); // connects first
    f.Sim.PtyLine()->RecordTurnarounds(true);
    f.Form->DeviceStatus()->btnGetDevStatus->click();
    int paused = 0;
    for (qint64 ns : f.Sim.PtyLine()->Turnarounds())
        if (ns >= 40'000'000) {
            ++paused;
            QVERIFY2(ns >= 60'000'000, qPrintable(QString::number(ns)));
        }
    QCOMPARE(f.Sim.PtyLine()->Turnarounds().size(), RefreshFrames.size() - 1);
    QCOMPARE(paused, 4);
}

void tst_devicestatus::failingPortQueryMarksOnlyThatPort()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.Sim.Device().State().Power = true;
    // Replies 1..4 answer (16,1), (1,1), (1,2), (1,3); the five tries of
    // input 1 are refused, everything after answers again.
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("refuse/after=4/count=5")));
    f.WriteTcpSettings();
    f.Show();
    TDeviceStatusPanel* d = f.Form->DeviceStatus();
    d->btnGetDevStatus->click();
    QCOMPARE(d->lblInput[0]->text(), QStringLiteral("Input1: Not known"));
    QCOMPARE(d->lblInput[1]->text(), QStringLiteral("Input2: Connected"));
    QCOMPARE(d->lblHDMIOutput[0]->text(), QStringLiteral("HDMI Output1: Connected"));
    QCOMPARE(f.Log.Names().count(QStringLiteral("1,5")), 4);
}

void tst_devicestatus::outputConnectionForEdid()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.Sim.Device().State().Power = true;
    f.WriteTcpSettings();
    f.Show();
    TDeviceStatusPanel* d = f.Form->DeviceStatus();
    QCOMPARE(d->QueryOutputConnection(1), uint8_t(0xFF)); // power flag not read yet
    QVERIFY(d->QueryPowerStatus());
    QCOMPARE(d->QueryOutputConnection(1), uint8_t(0x0F));
    QCOMPARE(d->QueryOutputConnection(4), uint8_t(0xF0));
}

QTEST_MAIN(tst_devicestatus)
#include "tst_devicestatus.moc"
