// The main window's skeleton: command wrapper, status panel, notifications,
// tab-change rule, close query and the writable-folder refusal.
#include "DeadPort.h"
#include "FreePort.h"
#include "WindowFixture.h"
#include "transport/Powersock.h"
#include "ui/dialogs/PreSettingEdit.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/FirmwarePanel.h"
#include "ui/main/PortTagPanel.h"
#include "ui/main/TabContainer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace
{
// Runs `action` once, while the next command is on the wire.
void DuringNextCommand(TForm1* form, std::function<void()> action)
{
    auto fired = std::make_shared<bool>(false);
    auto conn = std::make_shared<QMetaObject::Connection>();
    *conn = QObject::connect(
        form->Link(), &TQMCOMControl::Notify, form->Link(),
        [=](int code, qintptr, qintptr, const QString& text) {
            if (*fired || code != ntCommandLog || !text.contains(QLatin1String("snd cmd"))) return;
            *fired = true;
            QObject::disconnect(*conn);
            action();
        },
        Qt::DirectConnection);
}

QColor Panel2Colour(TForm1* form)
{
    TStatusBar* sb = form->StatusBar();
    const QRect r = sb->PanelRect(2);
    // Bottom right corner of the panel: background, never text.
    return sb->grab().toImage().pixelColor(r.right() - 1, r.bottom() - 1);
}
} // namespace

class tst_mainwindow : public QObject
{
    Q_OBJECT
private slots:
    void startupBuildsWindow();
    void secondCommandRefusedWhileFirstInFlight();
    void commandWhileDisconnectedConnectsFirst();
    void connectFailureBlinksAndEndsRed_data();
    void connectFailureBlinksAndEndsRed();
    void failureNotificationTexts_data();
    void failureNotificationTexts();
    void rebootLineRule();
    void progressAndPartNotifications();
    void closeWhileIdleSavesAndCloses();
    void closeDuringCommand_data();
    void closeDuringCommand();
    void closeWhileConnectingRefused();
    void commandDuringConnectDoesNotConnectAgain();
    void linkChoiceStaysWhileConnectingOrBusy();
    void tabChangeRule_data();
    void tabChangeRule();
    void readOnlyFolderRefused();
    void dialogAskedAgainBeforeItsLoopEnds();
};

void tst_mainwindow::startupBuildsWindow()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    TForm1* w = f.Show();
    QCOMPARE(w->windowTitle(), QStringLiteral("4x4 HDMI2.0 Matrix Controller - ver2.00"));
    QCOMPARE(w->width(), 1025);
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QStringList tabs;
    for (int i = 0; i < w->Container()->count(); ++i)
        tabs << w->Container()->tabText(i);
    QCOMPARE(tabs, (QStringList{"General", "Port Tag", "Setting", "EDID control", "Advanced",
                                "FW upgrade"}));
    QCOMPARE(w->Container()->tabPosition(), QTabWidget::South);
    QCOMPARE(f.Panel(1), QStringLiteral("Disconnect"));
    QVERIFY(w->Timer()->isActive());
    QVERIFY(!w->btnStop->isVisible() && !w->btnStop->isEnabled());
    QVERIFY(!w->Firmware()->gbMergeFW->isVisible());
    QCOMPARE(w->DeviceStatus()->lblDevice->text(), QStringLiteral("Device: Not known"));
    QCOMPARE(w->DeviceStatus()->lblHDMIOutput[3]->text(),
             QStringLiteral("HDMI Output4: Not known"));
    QCOMPARE(w->Link()->DeviceIP(), QStringLiteral("127.0.0.1"));
    QVERIFY(QFile::exists(f.SettingsPath()));
    QVERIFY(f.Prompter.Prompts.isEmpty());

    // A status refresh repaints the labels it changes, not the whole tab
    // container; a longer tab bar still places the bar anew.
    QVERIFY(QTest::qWaitForWindowExposed(w));
    struct TPaints : QObject {
        QRegion Painted;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) Painted += static_cast<QPaintEvent*>(e)->region();
            return false;
        }
    } paints;
    w->Container()->installEventFilter(&paints);
    QTest::qWait(20); // the first paint after showing
    paints.Painted = QRegion();
    f.Sim.Device().State().Power = true;
    w->DeviceStatus()->RefreshDeviceStatus();
    QCOMPARE(w->DeviceStatus()->lblInput[0]->font().bold(), true);
    QApplication::processEvents();
    qint64 painted = 0;
    for (const QRect& r : paints.Painted)
        painted += qint64(r.width()) * r.height();
    const qint64 whole = qint64(w->Container()->width()) * w->Container()->height();
    QVERIFY2(painted < whole / 2, qPrintable(QStringLiteral("%1 of %2").arg(painted).arg(whole)));
    const int barWidth = w->Container()->tabBar()->width();
    w->Container()->setTabText(0, QStringLiteral("General and more"));
    QTRY_VERIFY(w->Container()->tabBar()->width() > barWidth);
    w->Container()->setTabText(0, QStringLiteral("General"));

    w->tmrTimer();
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$"))
                .match(f.Panel(4))
                .hasMatch());
}

void tst_mainwindow::secondCommandRefusedWhileFirstInFlight()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.Sim.Device().State().Power = true;
    f.WriteTcpSettings();
    f.Show();
    f.Runner()->SetPowerFlag(1);
    TCommandReply second;
    QString noteDuring;
    DuringNextCommand(f.Form.get(), [&] {
        second = f.Runner()->RunPoweredCommand(Catalogue::DeviceQuery());
        noteDuring = f.Panel(3);
    });
    const TCommandReply first = f.Runner()->RunCommand(Catalogue::PowerStatus());
    QCOMPARE(int(first.Ok), 1);
    QCOMPARE(int(second.Ok), 0);
    QCOMPARE(noteDuring, QStringLiteral("In processing, command ignored"));
    QCOMPARE(f.Panel(3), QString());
    QCOMPARE(f.Panel(2), QStringLiteral("Done"));
    QCOMPARE(f.Log.Names(), QStringList{"16,1"});
    QVERIFY(f.Form->Flags().Idle);
}

void tst_mainwindow::commandWhileDisconnectedConnectsFirst()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    f.Show();
    QVERIFY(!f.Form->Link()->Connected());
    const TCommandReply r = f.Runner()->RunCommand(Catalogue::PowerStatus());
    QCOMPARE(int(r.Ok), 1);
    QVERIFY(f.Form->Link()->Connected());
    QCOMPARE(f.Panel(1), QStringLiteral("Connected: 127.0.0.1"));
    QCOMPARE(f.Panel(2), QStringLiteral("Done"));
    QCOMPARE(f.Form->Connection()->btnConnect->text(), QStringLiteral("&Disconnect"));
    QVERIFY(!f.Form->Connection()->imgConnected->isHidden());
    QVERIFY(f.Form->Connection()->imgDisconnected->isHidden());
}

void tst_mainwindow::connectFailureBlinksAndEndsRed_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp") << false;
    QTest::newRow("serial") << true;
}

void tst_mainwindow::connectFailureBlinksAndEndsRed()
{
    QFETCH(bool, serial);
    TWindowFixture f;
    const QString missing = f.Dir.filePath(QStringLiteral("ttyGONE"));
    if (serial) {
        f.Ports.Names = QStringList{missing};
        f.WriteFile("[Control mode]\r\nMode=0\r\n");
    } else {
        f.WriteTcpSettings();
    }
    f.Show();
    f.Form->Link()->SetDevicePort(FreePort());
    f.Runner()->ShowStatus(3, QStringLiteral("note"));
    const TCommandReply r = f.Runner()->RunCommand(Catalogue::PowerStatus());
    QCOMPARE(int(r.Ok), 0);
    QVERIFY(!f.Form->Link()->Connected());
    QCOMPARE(f.Panel(2), serial
                             ? QStringLiteral("Open COM [") + missing + QStringLiteral("] failed")
                             : QStringLiteral("Connect 127.0.0.1 failed"));
    QCOMPARE(f.Panel(3), QString());
    QCOMPARE(f.Panel(1), QStringLiteral("Disconnect"));
    QCOMPARE(f.Form->Flags().Blink, false);
    QCOMPARE(Panel2Colour(f.Form.get()), QColor(255, 0, 0));
    QCOMPARE(f.Log.Count(), 0);

    // A second failure starts from normal colours and ends red again; a plain
    // write brings the normal colours back.
    emit f.Form->Link()->Notify(ntTimeOut, 0, 0, QString());
    QCOMPARE(f.Panel(2), QStringLiteral("Time out!"));
    QCOMPARE(f.Form->Flags().Blink, false);
    f.Runner()->ShowStatus(2, QStringLiteral("Done"));
    QCOMPARE(f.Form->Flags().Blink, true);
    QVERIFY(Panel2Colour(f.Form.get()) != QColor(255, 0, 0));
}

void tst_mainwindow::failureNotificationTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("text");
    QTest::newRow("2026") << 2026 << false << "Time out!";
    QTest::newRow("2029") << 2029 << false << "Data invalid!";
    QTest::newRow("2031 serial") << 2031 << true << "COM access failed!";
    QTest::newRow("2031 tcp") << 2031 << false << "TCP control failed!";
    QTest::newRow("2032 serial") << 2032 << true << "Open COM [COM7] failed";
    QTest::newRow("2032 tcp") << 2032 << false << "Connect 10.1.2.3 failed";
    QTest::newRow("2037") << 2037 << false << "Send data failed!";
}

void tst_mainwindow::failureNotificationTexts()
{
    QFETCH(int, code);
    QFETCH(bool, serial);
    QFETCH(QString, text);
    TWindowFixture f;
    f.Show();
    f.Form->Link()->SetControlMode(serial ? cmCOM : cmLAN);
    f.Form->Link()->SetComPort(QStringLiteral("COM7"));
    f.Form->Link()->SetDeviceIP(QStringLiteral("10.1.2.3"));
    f.Runner()->ShowStatus(3, QStringLiteral("note"));
    emit f.Form->Link()->Notify(code, 0, 0, QString());
    QCOMPARE(f.Panel(2), text);
    QCOMPARE(f.Panel(3), QString());
    QCOMPARE(f.Form->Flags().Blink, false);

    // Traffic notes change nothing; a module text goes to panel 2 unblinking.
    for (int quiet : {2024, 2025, 2028, 2030})
        emit f.Form->Link()->Notify(quiet, 1, 1, QStringLiteral("dump"));
    QCOMPARE(f.Panel(2), text);
    emit f.Form->Link()->Notify(ntModule, 0, 1, QStringLiteral("Searching ..."));
    QCOMPARE(f.Panel(2), QStringLiteral("Searching ..."));
    QCOMPARE(f.Form->Flags().Blink, true);
}

void tst_mainwindow::rebootLineRule()
{
    TWindowFixture f;
    f.Show();
    TFirmwarePanel* fw = f.Form->Firmware();
    auto note = [&](qintptr l, const QString& text) {
        emit f.Form->Link()->Notify(ntReboot, 0, l, text);
    };
    note(1, QStringLiteral("System rebooting, please wait ... /"));
    QCOMPARE(fw->MessageLines(), QStringList{"System rebooting, please wait ... /"});
    note(1, QStringLiteral("System rebooting, please wait ... -"));
    QCOMPARE(fw->MessageLines(), QStringList{"System rebooting, please wait ... -"});
    note(0, QStringLiteral("Reboot done"));
    note(1, QStringLiteral("System rebooting, please wait ... \\"));
    QCOMPARE(fw->MessageLines(), (QStringList{"System rebooting, please wait ... -", "Reboot done",
                                              "System rebooting, please wait ... \\"}));
    fw->btnClearMessages->click();
    QCOMPARE(fw->MessageLines(), QStringList());
}

void tst_mainwindow::progressAndPartNotifications()
{
    TWindowFixture f;
    f.Show();
    TFirmwarePanel* fw = f.Form->Firmware();
    emit f.Form->Link()->Notify(ntPartProgress, 0x0101, 40, QString());
    QCOMPARE(fw->GaugeCaption(), QStringLiteral("Upgrading Part_1.1"));
    QCOMPARE(fw->GaugeProgress(), 40);
    // Same progress again: nothing changes, not even the caption.
    emit f.Form->Link()->Notify(ntPartProgress, 0x0203, 40, QString());
    QCOMPARE(fw->GaugeCaption(), QStringLiteral("Upgrading Part_1.1"));
    emit f.Form->Link()->Notify(ntPartProgress, 0x0203, 41, QString());
    QCOMPARE(fw->GaugeCaption(), QStringLiteral("Upgrading Part_2.3"));
    QCOMPARE(fw->GaugeProgress(), 41);

    QVERIFY(!fw->FirmwareWriteFailure());
    emit f.Form->Link()->Notify(ntPartDeclined, 0x0201, 0x020F, QString());
    QCOMPARE(fw->MessageLines(), QStringList{"Write to Part_2.1.2.15 failed"});
    QVERIFY(fw->FirmwareWriteFailure());
}

void tst_mainwindow::closeWhileIdleSavesAndCloses()
{
    TWindowFixture f;
    f.Show();
    f.Form->cbDisplayTag->setChecked(true);
    QVERIFY(f.Form->close());
    QVERIFY(!f.Form->isVisible());
    QVERIFY(f.Form->Flags().Abort);
    QVERIFY(f.Prompter.Prompts.isEmpty());
    QVERIFY(f.ReadFile().contains("[Display tag]\r\nValue=1\r\n"));
}

void tst_mainwindow::closeDuringCommand_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void tst_mainwindow::closeDuringCommand()
{
    QFETCH(bool, answer);
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    f.Show();
    f.Prompter.ConfirmAnswers = {answer};
    bool closed = false;
    DuringNextCommand(f.Form.get(), [&] { closed = f.Form->close(); });
    const TCommandReply r = f.Runner()->RunCommand(Catalogue::PowerStatus());
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkConfirm),
             QStringList{"Processing not complete, continue to close controller?"});
    QCOMPARE(closed, answer);
    QCOMPARE(f.Form->isVisible(), !answer);
    QCOMPARE(f.Form->Flags().Abort, answer);
    QCOMPARE(int(r.Ok), answer ? 0 : 1);
    QVERIFY(f.Form->Flags().Idle);
}

// Runs `during` while the Connect button's connect waits for a peer that
// never accepts, then lets the wait end.
static void DuringAConnect(TWindowFixture& f, const std::function<void()>& during)
{
    TDeadPort dead;
    TTiming t = TTiming::Fast();
    t.ConnectTimeoutMs = 5000;
    f.Show(t);
    f.Form->Link()->SetDeviceIP(QStringLiteral("127.0.0.1"));
    f.Form->Link()->SetDevicePort(dead.Port);
    bool ran = false;
    QTimer::singleShot(30, [&] {
        QVERIFY(f.Form->Link()->FConnecting);
        during();
        ran = true;
        f.Form->Link()->TcpClient()->Cancel();
    });
    QTest::mouseClick(f.Form->Connection()->btnConnect, Qt::LeftButton);
    QVERIFY(ran);
    QVERIFY(!f.Form->Link()->FConnecting);
}

void tst_mainwindow::closeWhileConnectingRefused()
{
    TWindowFixture f;
    f.WriteTcpSettings();
    bool closed = true;
    DuringAConnect(f, [&] { closed = f.Form->close(); });
    QVERIFY(!closed);
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation),
             QStringList{"Connection in process, please wait..."});
    QVERIFY(f.Form->isVisible());
    QVERIFY(!f.Form->Flags().Abort);
}

void tst_mainwindow::commandDuringConnectDoesNotConnectAgain()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    TCommandReply r;
    r.Ok = 1;
    DuringAConnect(f, [&] { r = f.Runner()->RunCommand(Catalogue::PowerStatus()); });
    QCOMPARE(int(r.Ok), 0);
    QVERIFY(f.Runner()->LastRefused());
    QVERIFY(!f.Form->Link()->Connected());
    QCOMPARE(f.Log.Count(), 0);
}

void tst_mainwindow::linkChoiceStaysWhileConnectingOrBusy()
{
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings("Device No.2=[Other] - [Static IP] - [127.0.0.2] - [0.0.0.0] - "
                       "[255.0.0.0] - [00-1A-2B-3C-4D-5F] - [Same Subnet]\r\n");
    TConnectionPanel* c = nullptr;
    // Device, "×" and mode while the connect waits: refused, nothing moves.
    DuringAConnect(f, [&] {
        c = f.Form->Connection();
        const QString device = c->cbLANDevice->currentText();
        c->cbLANDevice->setCurrentIndex(1 - c->cbLANDevice->currentIndex());
        QTest::mouseClick(c->btnDeleteDevice, Qt::LeftButton);
        QTest::mouseClick(c->rbCOMMode, Qt::LeftButton);
        QCOMPARE(c->cbLANDevice->currentText(), device);
        QCOMPARE(c->cbLANDevice->count(), 2);
        QVERIFY(c->rbLANMode->isChecked() && !c->rbCOMMode->isChecked());
        QCOMPARE(f.Form->Link()->ControlMode(), cmLAN);
        QCOMPARE(f.Form->Link()->DeviceIP(), QStringLiteral("127.0.0.1"));
        QCOMPARE(f.Panel(3), QStringLiteral("Connection in process, please wait..."));
    });
    QVERIFY(f.Prompter.Prompts.isEmpty());

    // "&Disconnect" while a command waits for its reply: refused.
    f.Form->Link()->SetDevicePort(f.Sim.TcpPort());
    QTest::mouseClick(c->btnConnect, Qt::LeftButton);
    QVERIFY(f.Form->Link()->Connected());
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("delay:100")));
    QString hint;
    QTimer::singleShot(30, [&] {
        QTest::mouseClick(c->btnConnect, Qt::LeftButton);
        hint = f.Panel(3);
    });
    const TCommandReply r = f.Runner()->RunCommand(Catalogue::PowerStatus());
    QCOMPARE(hint, QStringLiteral("In processing, command ignored"));
    QCOMPARE(int(r.Ok), 1);
    QVERIFY(f.Form->Link()->Connected());
}

void tst_mainwindow::tabChangeRule_data()
{
    QTest::addColumn<int>("power");
    QTest::addColumn<bool>("inFlight");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("off, in flight") << 0 << true << true;
    QTest::newRow("on, in flight") << 1 << true << false;
    QTest::newRow("on, idle") << 1 << false << true;
}

void tst_mainwindow::tabChangeRule()
{
    QFETCH(int, power);
    QFETCH(bool, inFlight);
    QFETCH(bool, allowed);
    TWindowFixture f;
    QVERIFY(f.StartTcp());
    f.WriteTcpSettings();
    f.Show();
    QVERIFY(QTest::qWaitForWindowExposed(f.Form.get()));
    TTabContainer* tabs = f.Form->Container();
    auto clickPortTag = [&] {
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    };
    f.Runner()->SetPowerFlag(uint8_t(power));
    int indexDuring = -1;
    if (inFlight) {
        DuringNextCommand(f.Form.get(), [&] {
            clickPortTag();
            indexDuring = tabs->currentIndex();
        });
        QCOMPARE(int(f.Runner()->RunCommand(Catalogue::PowerStatus()).Ok), 1);
    } else {
        clickPortTag();
        indexDuring = tabs->currentIndex();
    }
    QCOMPARE(indexDuring, allowed ? 1 : 0);
}

void tst_mainwindow::readOnlyFolderRefused()
{
    TWindowFixture f;
    TForm1Options o = f.Options();
    o.FolderWritable = [](const QString&) { return false; };
    std::unique_ptr<TForm1> w = CreateApplicationWindows(o);
    QVERIFY(w->Terminated());
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation),
             QStringList{"Please copy GUI application to writable disk then run it. Thank you."});
    QVERIFY(!QFile::exists(f.SettingsPath()));
    w.reset();

    // An installed program: its own folder is read-only, the user's
    // configuration folder takes the file, starting from the one left beside
    // the program; the program's copy is never touched.
    f.WriteFile("[Control mode]\r\nMode=0\r\n[Display tag]\r\nValue=1\r\n");
    const QByteArray beside = f.ReadFile();
    const QString programFolder = f.Folder();
    o.FolderWritable = [&](const QString& folder) {
        return folder != programFolder && IsFolderWritable(folder);
    };
    w = CreateApplicationWindows(o);
    QVERIFY(!w->Terminated());
    w->show();
    const QString userFile = QDir(f.UserFolder()).filePath(QStringLiteral("Settings.ini"));
    QVERIFY(QFile::exists(userFile));
    QCOMPARE(w->Link()->ControlMode(), cmCOM);
    w.reset();
    QFile saved(userFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    QVERIFY(text.contains("[WARNING]") && text.contains("Mode=0"));
    QCOMPARE(f.ReadFile(), beside);

    // The real probe accepts the test's own folder.
    TWindowFixture g;
    QVERIFY(!g.Create()->Terminated());
}

QTEST_MAIN(tst_mainwindow)
void tst_mainwindow::dialogAskedAgainBeforeItsLoopEnds()
{
    // Escape on the tag dialog and a click on the other "Edit" button handled
    // in one pass of the dialog's loop: the second finds the shared dialog
    // closed but still inside its first run. It is refused, not run nested.
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler old =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg) warnings << text;
        });
    TWindowFixture f;
    f.Show();
    TPortTagPanel* tags = f.Form->PortTags();
    QDialog* dialog = f.Form->Dialogs().PreSettingEdit;
    int runs = 0;
    QTimer::singleShot(0, dialog, [&] {
        ++runs;
        dialog->reject();
        tags->btnEditOutputPortTag->click();
    });
    tags->btnEditInputPortTag->click();
    qInstallMessageHandler(old);
    QVERIFY2(!warnings.join('\n').contains(QLatin1String("Recursive")),
             qPrintable(warnings.join('\n')));
    QCOMPARE(runs, 1);
    QVERIFY(!dialog->isVisible());
    // Asked for once the first run has ended, it runs again.
    QTimer::singleShot(0, dialog, [&] { dialog->reject(); });
    tags->btnEditOutputPortTag->click();
    QVERIFY(!dialog->isVisible());
}

#include "tst_mainwindow.moc"
