// The connection panel: serial port list refresh, TCP device list, mode
// switches, Connect action and the mode-dependent enabling.
#include "WindowFixture.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/PortTagPanel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace
{
QStringList Items(QComboBox* cb)
{
    QStringList items;
    for (int i = 0; i < cb->count(); ++i)
        items << cb->itemText(i);
    return items;
}

QColor Caption(QGroupBox* gb)
{
    return gb->palette().color(QPalette::WindowText);
}

const QColor Grey(128, 128, 128);
const QColor Black(0, 0, 0);

QByteArray Entry(const char* tag, const char* ip, const char* mac)
{
    return QByteArray("[") + tag + "] - [Static IP] - [" + ip + "] - [0.0.0.0] - [255.0.0.0] - [" +
           mac + "] - [Same Subnet]";
}
} // namespace

class tst_connectionpanel : public QObject
{
    Q_OBJECT
private slots:
    void portListFollowsTheSystem();
    void droppedLinkShowsDisconnect();
    void deviceListSortedAndDeletion();
    void modeSwitchesSwapTagsAndDisconnect();
    void modeControlsGreyWhenDisabled();
    void lanSwitchIgnoredWhileSearching();
};

void tst_connectionpanel::portListFollowsTheSystem()
{
    TWindowFixture f;
    QVERIFY(f.StartPty());
    f.WriteFile("[Control mode]\r\nMode=0\r\n");
    f.Show();
    TConnectionPanel* c = f.Form->Connection();
    QCOMPARE(c->cbCOMList->count(), 0);

    // A port appears: listed at the next tick, first one selected.
    f.Ports.Names = QStringList{QStringLiteral("/dev/ttyNONE0"), f.PtyPath()};
    f.Form->tmrTimer();
    QCOMPARE(Items(c->cbCOMList), f.Ports.Names);
    QCOMPARE(c->cbCOMList->currentIndex(), 0);

    c->cbCOMList->setCurrentIndex(1);
    c->btnConnect->click();
    QVERIFY(f.Form->Link()->Connected());
    QCOMPARE(f.Panel(1), QStringLiteral("Connected: ") + f.PtyPath());
    QCOMPARE(c->btnConnect->text(), QStringLiteral("&Disconnect"));
    QVERIFY(!c->cbCOMList->isEnabled());

    // Another port appears: the connected one stays selected.
    f.Ports.Names << QStringLiteral("/dev/ttyNONE1");
    f.Form->tmrTimer();
    QCOMPARE(c->cbCOMList->count(), 3);
    QCOMPARE(c->cbCOMList->currentText(), f.PtyPath());

    // Same names in another order: the list is not rebuilt.
    const QStringList before = Items(c->cbCOMList);
    std::reverse(f.Ports.Names.begin(), f.Ports.Names.end());
    f.Form->tmrTimer();
    QCOMPARE(Items(c->cbCOMList), before);
    QVERIFY(f.Form->Link()->Connected());

    // The connected port vanishes: disconnected within the tick.
    f.Ports.Names.removeAll(f.PtyPath());
    f.Form->tmrTimer();
    QVERIFY(!f.Form->Link()->Connected());
    QCOMPARE(f.Panel(1), QStringLiteral("Disconnect"));
    QCOMPARE(c->btnConnect->text(), QStringLiteral("&Connect"));
    QVERIFY(c->imgConnected->isHidden());
    QCOMPARE(c->cbCOMList->currentIndex(), 0);
    QVERIFY(c->cbCOMList->isEnabled());
}

void tst_connectionpanel::droppedLinkShowsDisconnect()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    f.Show();
    f.Form->Connection()->btnConnect->click();
    QVERIFY(f.Form->Link()->Connected());
    f.Sim.DropTcpPeer();
    QTRY_VERIFY(!f.Form->Link()->Connected());
    f.Form->tmrTimer();
    QCOMPARE(f.Panel(1), QStringLiteral("Disconnect"));
    QCOMPARE(f.Form->Connection()->btnConnect->text(), QStringLiteral("&Connect"));
}

void tst_connectionpanel::deviceListSortedAndDeletion()
{
    TWindowFixture f;
    const QByteArray a = Entry("Alpha", "10.0.0.1", "00-00-00-00-00-0A");
    const QByteArray b = Entry("bravo", "10.0.0.2", "00-00-00-00-00-0B");
    const QByteArray c = Entry("Charlie", "10.0.0.3", "00-00-00-00-00-0C");
    f.WriteFile("[Control mode]\r\nMode=1\r\n[TCP control device]\r\nName=" + b +
                "\r\n[TCP control device list]\r\nDevice No.1=" + c + "\r\nDevice No.7=" + a +
                "\r\nDevice No.2=" + b +
                "\r\n[Tag of Input - TCP:00-00-00-00-00-0A]\r\nIn1=Player\r\n");
    f.Show();
    TConnectionPanel* p = f.Form->Connection();
    QCOMPARE(Items(p->cbLANDevice), (QStringList{a, b, c}));
    QCOMPARE(p->cbLANDevice->currentText(), QString(b));
    QCOMPARE(f.Form->Link()->DeviceIP(), QStringLiteral("10.0.0.2"));
    QCOMPARE(p->CurrentMAC(), QStringLiteral("00-00-00-00-00-0B"));

    // Refused: nothing changes.
    f.Prompter.ConfirmAnswers = {false};
    p->btnDeleteDevice->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkConfirm),
             QStringList{QStringLiteral("Sure to delete device: ") + b + QStringLiteral(" ?")});
    QCOMPARE(p->cbLANDevice->count(), 3);

    // The entry now at the same position is selected; past the end, the last.
    f.Prompter.DefaultConfirm = true;
    p->btnDeleteDevice->click();
    QCOMPARE(Items(p->cbLANDevice), (QStringList{a, c}));
    QCOMPARE(p->cbLANDevice->currentText(), QString(c));
    QCOMPARE(f.Form->Link()->DeviceIP(), QStringLiteral("10.0.0.3"));
    p->btnDeleteDevice->click();
    QCOMPARE(p->cbLANDevice->currentText(), QString(a));
    QCOMPARE(f.Form->PortTags()->leInputTag[0]->text(), QStringLiteral("Player"));

    // The only device goes: no selection, no address, no tags.
    p->btnDeleteDevice->click();
    QCOMPARE(p->cbLANDevice->count(), 0);
    QCOMPARE(p->cbLANDevice->currentIndex(), -1);
    QCOMPARE(f.Form->Link()->DeviceIP(), QStringLiteral("0.0.0.0"));
    QCOMPARE(p->CurrentMAC(), QStringLiteral("00-00-00-00-00-00"));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(f.Form->PortTags()->leInputTag[size_t(i)]->text(), QString());
        QCOMPARE(f.Form->PortTags()->leOutputTag[size_t(i)]->text(), QString());
    }
    QVERIFY(f.Form->SaveSettings());
    QVERIFY(!f.ReadFile().contains("Device No."));
}

void tst_connectionpanel::modeSwitchesSwapTagsAndDisconnect()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings(QByteArray("[Tag of Input - COM]\r\nIn1=Player\r\n[Tag of Output - TCP:") +
                       TWindowFixture::SimMAC + "]\r\nOut2=Projector\r\n");
    f.Show();
    TConnectionPanel* c = f.Form->Connection();
    TPortTagPanel* tags = f.Form->PortTags();
    QVERIFY(c->rbLANMode->isChecked());
    QCOMPARE(tags->leOutputTag[1]->text(), QStringLiteral("Projector"));
    QCOMPARE(tags->leInputTag[0]->text(), QString());
    c->btnConnect->click();
    QVERIFY(f.Form->Link()->Connected());

    f.Runner()->ShowStatus(2, QStringLiteral("something"));
    c->rbCOMMode->click();
    QVERIFY(!f.Form->Link()->Connected());
    QCOMPARE(f.Form->Link()->ControlMode(), cmCOM);
    QCOMPARE(f.Panel(1), QStringLiteral("Disconnect"));
    QCOMPARE(f.Panel(2), QString());
    QCOMPARE(tags->leInputTag[0]->text(), QStringLiteral("Player"));
    QCOMPARE(tags->leOutputTag[1]->text(), QString());

    c->rbLANMode->click();
    QCOMPARE(f.Form->Link()->ControlMode(), cmLAN);
    QCOMPARE(tags->leInputTag[0]->text(), QString());
    QCOMPARE(tags->leOutputTag[1]->text(), QStringLiteral("Projector"));
}

void tst_connectionpanel::modeControlsGreyWhenDisabled()
{
    TWindowFixture f;
    f.WriteFile("[Control mode]\r\nMode=0\r\n");
    f.Show();
    TConnectionPanel* c = f.Form->Connection();
    QCOMPARE(Caption(c->gbLANMode), Grey);
    QCOMPARE(Caption(c->gbCOMMode), Black);
    QVERIFY(!c->btnSearch->isEnabled() && !c->btnDeleteDevice->isEnabled());
    QVERIFY(c->cbCOMList->isEnabled());

    c->UpdateModeControls(cmLAN, true);
    QCOMPARE(Caption(c->gbModeSelect), Grey);
    QCOMPARE(Caption(c->gbLANMode), Grey);
    QCOMPARE(Caption(c->gbCOMMode), Grey);
    QVERIFY(!c->btnConnect->isEnabled());
    QVERIFY(!c->rbCOMMode->isEnabled());
    QVERIFY(!f.Form->DeviceStatus()->btnGetDevStatus->isEnabled());

    c->UpdateModeControls(cmLAN, false);
    QCOMPARE(Caption(c->gbModeSelect), Black);
    QCOMPARE(Caption(c->gbLANMode), Black);
    QCOMPARE(Caption(c->gbCOMMode), Grey);
    QVERIFY(c->btnConnect->isEnabled() && c->btnConfig->isEnabled());
    QVERIFY(f.Form->DeviceStatus()->btnGetDevStatus->isEnabled());
}

void tst_connectionpanel::lanSwitchIgnoredWhileSearching()
{
    TWindowFixture f;
    f.WriteFile("[Control mode]\r\nMode=0\r\n");
    f.Show();
    f.Form->Link()->Searching = true;
    f.Form->Connection()->rbLANModeClick();
    QCOMPARE(f.Form->Link()->ControlMode(), cmCOM);
}

QTEST_MAIN(tst_connectionpanel)
#include "tst_connectionpanel.moc"
