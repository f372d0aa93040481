// "Settings.ini" through the window: the save after start-up, a restart on
// the same folder, and a refused write.
#include "WindowFixture.h"
#include "ui/dialogs/PreSettingEdit.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/PortTagPanel.h"
#include "ui/main/SettingPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class tst_mainsettings : public QObject
{
    Q_OBJECT
private slots:
    void firstStartWritesDefaults();
    void stateSurvivesRestart();
    void staleDeviceSelectionFallsBackToFirst();
    void refusedWriteIsReported();
};

void tst_mainsettings::firstStartWritesDefaults()
{
    TWindowFixture f;
    f.Show();
    QByteArray expected = "[WARNING]\r\nNOTE=DON'T MODIFY THIS FILE MANUALLY!\r\n"
                          "[Control mode]\r\nMode=1\r\n"
                          "[Pre-Setting name]\r\n";
    for (int n = 1; n <= 8; ++n)
        expected += "Setting" + QByteArray::number(n) + "=Setting" + QByteArray::number(n) + "\r\n";
    expected += "[Pre-Setting value]\r\n";
    for (int n = 1; n <= 8; ++n)
        expected += "value" + QByteArray::number(n) + "=1,2,3,4\r\n";
    expected += "[EDID setting]\r\nEDID mode=Select EDID\r\nIn of EDID mode=Select Input\r\n"
                "Out of Copy EDID=Select Output\r\nIn of Copy EDID=Select Input\r\n"
                "Out of Read EDID=Select Output\r\nIn of Download EDID=Select Input\r\n"
                "Save EDID file=\r\nOpen EDID file=\r\n"
                "[Display tag]\r\nValue=0\r\n"
                "[MAC ID Bytes]\r\nMAC ID B1=18\r\nMAC ID B2=98\r\nMAC ID B3=66\r\n";
    QCOMPARE(f.ReadFile(), expected);
    QVERIFY(f.Form->Connection()->rbLANMode->isChecked());
    QCOMPARE(f.Form->Link()->ControlMode(), cmLAN);
    QCOMPARE(f.Form->Connection()->cbLANDevice->count(), 0);
    QCOMPARE(f.Form->MacIdBytes[0], QStringLiteral("18"));
}

void tst_mainsettings::stateSurvivesRestart()
{
    TWindowFixture f;
    QVERIFY(f.StartPty());
    const QByteArray other = "[Other] - [Auto IP] - [10.9.8.7] - [0.0.0.0] - [255.0.0.0] - "
                             "[00-0A-0B-0C-0D-0E] - [Cross Subnet]";
    f.WriteFile(QByteArray("[Mine]\r\nkept=yes\r\n[TCP control device list]\r\nDevice No.1=") +
                TWindowFixture::SimEntry + "\r\nDevice No.2=" + other +
                "\r\n[Pre-Setting value]\r\nvalue2=3\r\nvalue3=4,4,4,4,4\r\n");
    f.Ports.Names = QStringList{QStringLiteral("/dev/ttyNONE0"), f.PtyPath()};
    {
        TForm1* w = f.Show();
        TConnectionPanel* c = w->Connection();
        // Entries sort "[Other]..." before "[Simulator]..."; the first is selected.
        QCOMPARE(w->Link()->DeviceIP(), QStringLiteral("10.9.8.7"));
        c->cbLANDevice->setCurrentIndex(1);
        QCOMPARE(w->Link()->DeviceIP(), QStringLiteral("127.0.0.1"));
        c->rbCOMMode->click();
        c->cbCOMList->setCurrentIndex(1);
        w->PortTags()->leInputTag[0]->setText(QStringLiteral("Blu-ray"));
        w->PortTags()->leOutputTag[3]->setText(QStringLiteral("Projector"));
        QVERIFY(w->PortTags()->SavePortTags(cmCOM, c->CurrentMAC()));
        std::array<TPreSetting, 8> presets = w->Setting()->PreSettings();
        QCOMPARE(presets[1].Values, (QStringList{"3", "1", "2", "3"}));
        presets[0].Name = QStringLiteral("Cinema");
        presets[0].Values = QStringList{"2", "2", "1", "4"};
        w->Setting()->SetPreSettings(presets);
        w->Dialogs().PreSettingEdit->SetInputNames(
            {QStringLiteral("Blu-ray"), QStringLiteral("Apple TV")});
        w->Dialogs().PreSettingEdit->SetOutputNames({QStringLiteral("Projector")});
        w->cbDisplayTag->setChecked(true);
        w->MacIdBytes = {QStringLiteral("1A"), QStringLiteral("2B"), QStringLiteral("3C")};
        QVERIFY(w->close());
        f.Form.reset();
    }
    const QByteArray file = f.ReadFile();
    QVERIFY(file.contains("[Mine]\r\nkept=yes\r\n"));
    QVERIFY(file.contains("value3=4,4,4,4,4\r\n"));
    QVERIFY(file.contains("[Tag of Input - COM]\r\nIn1=Blu-ray\r\n"));

    TForm1* w = f.Show();
    TConnectionPanel* c = w->Connection();
    QVERIFY(c->rbCOMMode->isChecked());
    QCOMPARE(w->Link()->ControlMode(), cmCOM);
    QCOMPARE(c->cbCOMList->currentText(), f.PtyPath());
    QCOMPARE(w->Link()->ComPort(), f.PtyPath());
    QCOMPARE(c->cbLANDevice->currentText(), QString(TWindowFixture::SimEntry));
    QCOMPARE(c->CurrentMAC(), QString(TWindowFixture::SimMAC));
    QCOMPARE(w->PortTags()->leInputTag[0]->text(), QStringLiteral("Blu-ray"));
    QCOMPARE(w->PortTags()->leOutputTag[3]->text(), QStringLiteral("Projector"));
    QCOMPARE(w->Setting()->PreSettings()[0].Name, QStringLiteral("Cinema"));
    QCOMPARE(w->Setting()->PreSettings()[0].Values, (QStringList{"2", "2", "1", "4"}));
    QCOMPARE(w->Setting()->PreSettings()[2].Values.size(), 5);
    // The dialog is made on first use and gets the name pools read at start.
    QVERIFY(!w->Dialogs().PreSettingEdit.Made());
    QCOMPARE(w->Dialogs().PreSettingEdit->InputNames(), (QStringList{"Apple TV", "Blu-ray"}));
    QCOMPARE(w->Dialogs().PreSettingEdit->OutputNames(), QStringList{"Projector"});
    QVERIFY(w->cbDisplayTag->isChecked());
    QCOMPARE(w->MacIdBytes[2], QStringLiteral("3C"));

    // The serial port named in the file is the one the Connect action opens.
    c->btnConnect->click();
    QCOMPARE(f.Panel(1), QStringLiteral("Connected: ") + f.PtyPath());
}

void tst_mainsettings::staleDeviceSelectionFallsBackToFirst()
{
    TWindowFixture f;
    f.WriteFile(QByteArray("[TCP control device]\r\nName=[Gone] - [Static IP] - [1.2.3.4]\r\n"
                           "[TCP control device list]\r\nDevice No.7=") +
                TWindowFixture::SimEntry + "\r\n");
    f.Show();
    QCOMPARE(f.Form->Connection()->cbLANDevice->currentText(), QString(TWindowFixture::SimEntry));
    QCOMPARE(f.Form->Link()->DeviceIP(), QStringLiteral("127.0.0.1"));
    QVERIFY(f.ReadFile().contains(QByteArray("[TCP control device]\r\nName=") +
                                  TWindowFixture::SimEntry));
}

void tst_mainsettings::refusedWriteIsReported()
{
    TWindowFixture f;
    // A folder where the file should be: the save cannot replace it.
    QVERIFY(QDir(f.Folder()).mkdir(QStringLiteral("Settings.ini")));
    f.Show();
    QVERIFY(f.Form->isVisible());
    QVERIFY(f.Prompter.Has(TScriptedPrompter::pkError,
                           QStringLiteral("Unable to write to ") + f.SettingsPath()));
    f.Prompter.Prompts.clear();
    QVERIFY(!f.Form->SaveSettings());
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkError),
             QStringList{QStringLiteral("Unable to write to ") + f.SettingsPath()});
    QVERIFY(QFileInfo(f.SettingsPath()).isDir());
}

QTEST_MAIN(tst_mainsettings)
#include "tst_mainsettings.moc"
