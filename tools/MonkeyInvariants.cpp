#include "Monkey.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "ui/main/AdvancedPanel.h"
#include "ui/main/AppWindows.h"
#include "ui/main/AudioSourcePanel.h"
#include "ui/main/CommandRunner.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/Prompter.h"
#include "ui/main/RoutingPanel.h"
#include "ui/main/SerialPortLister.h"
#include "ui/main/SettingPanel.h"
#include "ui/main/StatusBar.h"
#include "ui/main/TabContainer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <set>
void TMonkey::CheckIdle()
{
    ++FIdleChecks;
    TQMCOMControl* link = FForm->Link();
    if (!FForm->Flags().Idle) Violation(QStringLiteral("idle flag down with no wait running"));
    if (link->Searching || link->FConnecting || link->Configuring)
        Violation(QStringLiteral("link flag set with no wait running"));
    if (FForm->Runner()->InBlockingWait())
        Violation(QStringLiteral("a blocking wait is counted with none running"));
    if (QApplication::activeModalWidget() && QApplication::activeModalWidget() != FForm.get())
        Violation(QStringLiteral("a dialog is open with no loop running"));
    const bool lan = FForm->Connection()->rbLANMode->isChecked();
    const bool connected = link->Connected();
    for (QWidget* w : FBaseline[lan]) {
        if (w->isEnabled()) {
            FDisabledSince.erase(w);
            continue;
        }
        // Disabled by their own rules: the port list while connected, the
        // device delete button without devices.
        TConnectionPanel* c = FForm->Connection();
        if ((w == c->cbCOMList && connected) ||
            (w == c->btnDeleteDevice && c->cbLANDevice->count() == 0)) {
            FDisabledSince.erase(w);
            continue;
        }
        // The panel follows a link that went away by itself at the next tick:
        // only a control disabled at every check for longer counts.
        auto since = FDisabledSince.find(w);
        if (since == FDisabledSince.end() || since->second.second != FIdleChecks - 1) {
            FDisabledSince[w].first.start();
            FDisabledSince[w].second = FIdleChecks;
            continue;
        }
        since->second.second = FIdleChecks;
        if (since->second.first.elapsed() < 2 * FForm->Runner()->Timing().TimerMs + 200) continue;
        FDisabledSince.erase(since);
        Violation(QStringLiteral("'%1' left disabled while idle (%2, %3)")
                      .arg(Name(w), lan ? "TCP mode" : "COM mode",
                           connected ? "connected" : "disconnected"));
    }
}

void TMonkey::OnPanel(int panel, const QString& text)
{
    if (panel != 2) return;
    if (!text.isEmpty()) Record(QStringLiteral("  status: ") + text);
    if (FChecking) return;
    const TFaultPlan& f = FSim.Faults();
    if (text != QLatin1String("Done")) {
        // Command status texts end in "..."; a connect is no command (it can
        // run inside one whose link dropped, and that command's "Done"
        // follows it), nor is a failure text.
        if (text.endsWith(QLatin1String("...")) &&
            !text.startsWith(QLatin1String("Connecting [")) &&
            !text.startsWith(QLatin1String("Opening [")))
            FRepliesAtStart = f.Replies();
        return;
    }
    static const char* const Verdicts[] = {"intact", "dropped", "refused", "corrupted"};
    if (f.Replies() == FRepliesAtStart)
        Violation(QStringLiteral("\"Done\" for a command the simulator never answered"));
    else if (f.LastVerdict() != TFaultPlan::fvIntact)
        Violation(QStringLiteral("\"Done\" though the simulator's last reply was %1")
                      .arg(Verdicts[f.LastVerdict()]));
}

void TMonkey::Edited(const QString& title)
{
    // What the operator changed on purpose is not checked for loss.
    const bool lan = FForm->Link()->ControlMode() == cmLAN;
    const QString mac = lan ? SettingsFile::DeviceEntryField(
                                  FForm->Connection()->cbLANDevice->currentText(), defMAC)
                            : QString();
    const TControlMode mode = lan ? cmLAN : cmCOM;
    QString section;
    if (title.contains(QLatin1String("Input port tags")))
        section = SettingsFile::InputTagSection(mode, mac);
    else if (title.contains(QLatin1String("Output port tags")))
        section = SettingsFile::OutputTagSection(mode, mac);
    else
        FEditedPreSettings.insert(FForm->Setting()->lvPreSetting->currentRow());
    for (auto it = FTags.begin(); it != FTags.end();)
        it = !section.isEmpty() && it.key().chopped(1) == section ? FTags.erase(it) : ++it;
}

bool TMonkey::ReachSimulator()
{
    // The actions may have left the window on a device nobody answers at:
    // choose the simulator the way the operator would.
    TConnectionPanel* c = FForm->Connection();
    if (c->rbLANMode->isChecked()) {
        const int at = c->cbLANDevice->findText(SimEntry);
        if (at >= 0 && c->cbLANDevice->currentIndex() != at) c->cbLANDevice->setCurrentIndex(at);
        if (at < 0) Click(c->rbCOMMode);
    }
    if (c->rbCOMMode->isChecked()) {
        const int at = c->cbCOMList->findText(FTty);
        if (at >= 0 && c->cbCOMList->currentIndex() != at && c->cbCOMList->isEnabled())
            c->cbCOMList->setCurrentIndex(at);
    }
    return true;
}

void TMonkey::Settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void TMonkey::CheckState()
{
    FChecking = true;
    Record(QStringLiteral("%1 check: fault-free refresh").arg(FDone));
    FSim.Faults().Clear();
    if (!FPtyUp) {
        FSim.OpenPty(FTty);
        FPorts.Names = QStringList{FTty};
        FPtyUp = true;
    }
    Settle(FForm->Runner()->Timing().TimerMs + 50); // the port list follows
    TDeviceStatusPanel* d = FForm->DeviceStatus();
    FForm->Container()->setCurrentWidget(FForm->tsGeneral);
    QApplication::processEvents();
    ReachSimulator();
    Click(d->btnGetDevStatus);
    const TMatrixState& s = FSim.Device().State();
    const bool on = FForm->Runner()->PowerFlag() == 1;
    if (on != s.Power || d->PowerPictureShown() != (s.Power ? ppOn : ppOff))
        Violation(QStringLiteral("power shown %1 (picture %2), the matrix is %3")
                      .arg(on)
                      .arg(int(d->PowerPictureShown()))
                      .arg(s.Power ? "on" : "off"));
    if (on && s.Power) {
        FForm->Container()->setCurrentWidget(FForm->tsSetting);
        QApplication::processEvents();
        FForm->Container()->setCurrentWidget(FForm->tsIR);
        QApplication::processEvents();
        auto conn = [](QLabel* l, const QString& prefix, bool yes) {
            return l->text() == prefix + (yes ? ": Connected" : ": Not connected");
        };
        for (int n = 1; n <= 4; ++n) {
            const size_t i = size_t(n - 1);
            if (!conn(d->lblInput[i], QStringLiteral("Input%1").arg(n), s.InputConnected[i]) ||
                !conn(d->lblHDMIOutput[i], QStringLiteral("HDMI Output%1").arg(n),
                      s.OutputConnected[i]))
                Violation(QStringLiteral("port %1 shows '%2' / '%3'")
                              .arg(n)
                              .arg(d->lblInput[i]->text(), d->lblHDMIOutput[i]->text()));
            TRoutingPanel* r = FForm->Setting()->Routing();
            if (r->DisplayedInput(n) != s.Route[i] ||
                !r->sbSetInput[i][size_t(s.Route[i] - 1)]->isChecked())
                Violation(QStringLiteral("output %1 shows input %2, the matrix routes %3")
                              .arg(n)
                              .arg(r->DisplayedInput(n))
                              .arg(s.Route[i]));
            QComboBox* a = FForm->Setting()->Audio()->cbAudioSourceInput[i];
            if (a->currentText() != Catalogue::AudioSourceName(s.AudioSource[i]))
                Violation(QStringLiteral("input %1 audio shows '%2', the matrix has %3")
                              .arg(n)
                              .arg(a->currentText())
                              .arg(s.AudioSource[i]));
        }
        TAdvancedPanel* adv = FForm->Advanced();
        const std::pair<QRadioButton*, bool> sw[] = {{adv->rbIREnable, s.Ir},
                                                     {adv->rbKeyUnlock, s.Keys},
                                                     {adv->rbAPMON, s.Apm},
                                                     {adv->rbBeeperEnable, s.Beeper}};
        for (const auto& [button, value] : sw)
            if (button->isChecked() != value)
                Violation(QStringLiteral("switch '%1' shows %2, the matrix has %3")
                              .arg(button->parentWidget()->property("title").toString())
                              .arg(button->isChecked())
                              .arg(value));
    }
    CheckSettings(true);
    FChecking = false;
}

void TMonkey::CheckSettings(bool save)
{
    const QString path = FForm->SettingsPath();
    if (save && !FForm->SaveSettings()) Violation(QStringLiteral("the settings save failed"));
    QString error;
    const TSettingsData d = SettingsFile::ReadSettings(path, &error);
    if (!error.isEmpty() || !QFile::exists(path))
        Violation(QStringLiteral("Settings.ini does not read: ") + error);
    for (const QString& e : FDevices)
        if (!FPrompter.DeletedDevices.contains(e) && !d.TcpDevices.contains(e))
            Violation(QStringLiteral("device entry lost: ") + e);
    for (int i = 0; i < 8; ++i)
        if (!FEditedPreSettings.count(i) && d.PreSettings[size_t(i)].Name.isEmpty())
            Violation(QStringLiteral("pre-setting %1 lost its name").arg(i + 1));
    for (auto it = FTags.cbegin(); it != FTags.cend(); ++it) {
        const QString section = it.key().chopped(1);
        const int port = it.key().right(1).toInt();
        const bool input = section.contains(QLatin1String("Input"));
        const bool com = section.endsWith(QLatin1String("COM"));
        const QString mac = com ? QString() : section.section(QLatin1Char(':'), 1);
        bool deleted = false;
        for (const QString& e : FPrompter.DeletedDevices)
            if (SettingsFile::DeviceEntryField(e, defMAC) == mac) deleted = true;
        if (deleted) continue;
        const TPortTags t = SettingsFile::LoadPortTags(path, com ? cmCOM : cmLAN, mac);
        if ((input ? t.In : t.Out)[size_t(port)].isEmpty())
            Violation(QStringLiteral("tag lost: %1 port %2 ('%3')")
                          .arg(section)
                          .arg(port + 1)
                          .arg(it.value()));
    }
}
