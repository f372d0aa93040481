// TForm1: "Settings.ini" to and from the window.
#include "Main.h"

#include "CommandRunner.h"
#include "ConnectionPanel.h"
#include "EdidPanel.h"
#include "PortTagPanel.h"
#include "Prompter.h"
#include "SettingPanel.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/PreSettingEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSignalBlocker>

void TForm1::LoadSettings()
{
    QString error;
    const TSettingsData d = SettingsFile::ReadSettings(FSettingsPath, &error);
    if (!error.isEmpty()) FPrompter->Error(error);

    if (d.TcpMode) {
        {
            QSignalBlocker block(FConnection->rbLANMode);
            FConnection->rbLANMode->setChecked(true);
        }
        FConnection->rbLANModeClick();
    } else {
        {
            QSignalBlocker block(FConnection->rbCOMMode);
            FConnection->rbCOMMode->setChecked(true);
        }
        FConnection->rbCOMModeClick();
    }
    FLink->SetComPort(d.ComPortName);
    FConnection->SetDevices(d.TcpDevices);
    FConnection->SelectDevice(d.TcpDeviceName);
    FConnection->cbLANDeviceChange();
    FConnection->SelectComPort(FLink->ComPort());
    FPortTags->LoadPortTags(FLink->ControlMode(), FConnection->CurrentMAC());

    FSetting->SetPreSettings(d.PreSettings);
    FInputNames = d.InDeviceNames;
    FOutputNames = d.OutDisplayNames;
    if (FDialogs.PreSettingEdit.Made()) {
        FDialogs.PreSettingEdit->SetInputNames(d.InDeviceNames);
        FDialogs.PreSettingEdit->SetOutputNames(d.OutDisplayNames);
    }
    FEdid->ApplySettings(d.Edid, FPortTags->Tags());
    cbDisplayTag->setChecked(d.DisplayTag);
    MacIdBytes = d.MacIdBytes;
}

bool TForm1::SaveSettings()
{
    TSettingsData d;
    d.TcpMode = FConnection->rbLANMode->isChecked();
    d.ComPortName = FConnection->cbCOMList->currentText();
    d.TcpDeviceName = FConnection->cbLANDevice->currentText();
    d.TcpDevices = FConnection->Devices();
    d.PreSettings = FSetting->PreSettings();
    if (FDialogs.PreSettingEdit.Made()) {
        d.InDeviceNames = FDialogs.PreSettingEdit->InputNames();
        d.OutDisplayNames = FDialogs.PreSettingEdit->OutputNames();
    } else {
        d.InDeviceNames = FInputNames;
        d.OutDisplayNames = FOutputNames;
    }
    d.Edid = FEdid->CollectSettings();
    d.DisplayTag = cbDisplayTag->isChecked();
    d.MacIdBytes = MacIdBytes;

    QString error;
    if (SettingsFile::WriteSettings(FSettingsPath, d, FLink->ControlMode(),
                                    FConnection->CurrentMAC(), FPortTags->Tags(), &error))
        return true;
    FPrompter->Error(error);
    return false;
}
