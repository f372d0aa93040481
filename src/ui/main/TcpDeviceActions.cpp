#include "TcpDeviceActions.h"

#include "CommandRunner.h"
#include "ConnectionPanel.h"
#include "Prompter.h"
#include "link/ModuleRecords.h"
#include "link/ProcessFlags.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/EditLAN.h"
#include "ui/dialogs/Search.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>

TTcpDeviceActions::TTcpDeviceActions(TCommandRunner* runner, TConnectionPanel* connection,
                                     QObject* parent)
    : QObject(parent), FRunner(runner), FConnection(connection)
{
    TConnectionPanel* c = connection;
    connect(c->btnSearch, &QPushButton::clicked, this, [this] { btnSearchDeviceClick(); });
    connect(c->btnConfig, &QPushButton::clicked, this, [this] { btnConfigClick(); });
}

bool TTcpDeviceActions::Refused()
{
    // A command in flight owns the link: closing it under the command, or
    // rebinding the UDP socket, would break it.
    TQMCOMControl* link = FRunner->Link();
    if (FRunner->Flags()->Idle && !link->FConnecting && !link->Configuring) return false;
    FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
    return true;
}

void TTcpDeviceActions::btnSearchDeviceClick()
{
    TQMCOMControl* link = FRunner->Link();
    TCommandRunner* runner = FRunner;
    TConnectionPanel* conn = FConnection;
    TfrmSearch* wizard = SearchDialog ? SearchDialog() : nullptr;
    if (link->Searching || !wizard) return;
    if (Refused()) return;
    if (link->Connected()) conn->btnConnectClick();
    runner->ShowStatus(2, QStringLiteral("Searching TCP control device ..."));
    runner->ShowStatus(3, QString());
    const QString deviceIP = link->DeviceIP();
    link->SetUDPMode(umBROADCAST);
    link->FoundModules.clear();
    wizard->ResultList.clear();
    wizard->SetLink(link);
    wizard->SetPrompter(runner->Prompter());
    if (runner->Prompter()->ShowModal(wizard) == 1) {
        QString last;
        const QStringList known = conn->Devices();
        for (const QString& entry : wizard->ResultList)
            if (!known.contains(entry)) {
                conn->AddDevice(entry);
                last = entry;
            }
        if (!last.isEmpty()) conn->SelectDevice(last);
        conn->cbLANDeviceChange();
        runner->ShowStatus(2, QStringLiteral("Search TCP control device ok"));
    } else {
        // A typed manual address must not become the next connect's target.
        link->SetDeviceIP(deviceIP);
        runner->ShowStatus(2, QStringLiteral("Search TCP control device cancelled"));
    }
    runner->ShowStatus(3, QString());
    if (!conn->rbLANMode->isChecked()) runner->ShowStatus(2, QString());
}

void TTcpDeviceActions::btnConfigClick()
{
    TQMCOMControl* link = FRunner->Link();
    TCommandRunner* runner = FRunner;
    TConnectionPanel* conn = FConnection;
    TfrmEditLAN* dlg = EditLANDialog ? EditLANDialog() : nullptr;
    if (!dlg || link->Searching || Refused()) return;
    if (conn->cbLANDevice->currentIndex() < 0) {
        runner->Prompter()->Information(QStringLiteral("TCP control deivce not found."));
        return;
    }
    if (link->Connected()) conn->btnConnectClick();
    runner->ShowStatus(2, QString());
    runner->ShowStatus(3, QString());

    const QString entry = conn->cbLANDevice->currentText();
    auto field = [&](int n) { return SettingsFile::DeviceEntryField(entry, n); };
    dlg->SetPrompter(runner->Prompter());
    dlg->leDeviceTag->setText(field(defTag));
    const bool autoIP = field(defIPMode) == QLatin1String(Options::AddressMode[1]);
    (autoIP ? dlg->rbDHCP : dlg->rbStaticIP)->setChecked(true);
    for (int row = 0; row < 3; ++row) {
        QStringList octets;
        ParseIPv4(field(defIP + row), &octets);
        dlg->SetAddress(row, octets);
    }
    QStringList macParts;
    FormatMAC(conn->CurrentMAC(), &macParts);
    for (int i = 0; i < 6; ++i) {
        QLineEdit* e = dlg->edtMACField[size_t(i)];
        e->setText(macParts.value(i));
        e->setReadOnly(true);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, dlg->palette().color(QPalette::Button));
        e->setPalette(p);
    }
    dlg->lblDevTagLen->hide();
    dlg->rbDHCP->setEnabled(true);
    dlg->rbStaticIP->setEnabled(true);
    const bool sameSubnet = field(defSubnet) == QLatin1String(Options::SubnetRelation[0]);

    if (runner->Prompter()->ShowModal(dlg) != 1) {
        runner->ShowStatus(2, QStringLiteral("Modify TCP configuration cancelled"));
        return;
    }
    const TControlMode mode = link->ControlMode();
    conn->UpdateModeControls(mode, true);
    runner->ShowStatus(2, QStringLiteral("Setting TCP control configuration ..."));

    std::array<uint8_t, 6> mac{};
    int result = 1;
    const bool staticIP = !dlg->rbDHCP->isChecked();
    // A request for a MAC that cannot be read, or for no device at all, would
    // configure nobody (or the wrong module): it is not sent.
    if (conn->CurrentMAC() != QLatin1String(SettingsFile::NoDeviceMAC) &&
        ParseMAC(conn->CurrentMAC(), &mac)) {
        std::array<std::array<uint8_t, 4>, 3> rows{};
        for (int row = 0; row < 3; ++row)
            ModuleRecord::IpBytes(dlg->Address(row), &rows[size_t(row)]);
        const QByteArray request = ModuleRecord::BuildConfigRequest(
            mac, !staticIP, rows[0], rows[1], rows[2], dlg->leDeviceTag->text());
        result = link->ConfigureModule(request);
        if (!link->ModuleError().isEmpty()) runner->Prompter()->Error(link->ModuleError());
        runner->Pause(2 * runner->Timing().PollTickMs);
    }
    switch (result) {
    case 0: {
        runner->ShowStatus(2, QString());
        runner->ShowStatus(2, QStringLiteral("Modify TCP configuration ok"));
        std::array<QString, 7> f;
        f[defTag] = ModuleRecord::CleanTag(dlg->leDeviceTag->text());
        f[defIPMode] = QLatin1String(Options::AddressMode[staticIP ? 0 : 1]);
        if (!staticIP) {
            f[defIP] = ModuleRecord::IpText(link->ConfigBuffer + 6);
            f[defGateway] = ModuleRecord::IpText(link->ConfigBuffer + 10);
            f[defMask] = ModuleRecord::IpText(link->ConfigBuffer + 14);
            // A module that leaves its MAC out of the answer keeps the one we asked.
            static const uint8_t none[6] = {};
            f[defMAC] = std::memcmp(link->ConfigBuffer + 19, none, 6) != 0
                            ? ModuleRecord::MacText(link->ConfigBuffer + 19)
                            : dlg->MacTexts().join(QLatin1Char('-'));
        } else {
            f[defIP] = dlg->Address(0);
            f[defGateway] = dlg->Address(1);
            f[defMask] = dlg->Address(2);
            f[defMAC] = dlg->MacTexts().join(QLatin1Char('-'));
        }
        f[defSubnet] = QLatin1String(Options::SubnetRelation[sameSubnet ? 0 : 1]);
        const QString newEntry = SettingsFile::BuildDeviceEntry(f);
        QStringList devices = conn->Devices();
        devices.removeAt(conn->cbLANDevice->currentIndex());
        if (!devices.contains(newEntry)) devices << newEntry;
        conn->SetDevices(devices);
        conn->SelectDevice(newEntry);
        conn->cbLANDeviceChange();
        if (MacChanged) MacChanged(dlg->MacTexts());
        break;
    }
    case 2:
        runner->ShowStatus(2, QStringLiteral("Setting IP conflict:") + dlg->Address(0), true);
        runner->ShowStatus(3, QString());
        break;
    default:
        runner->ShowStatus(2, QStringLiteral("Modify TCP configuration failed"), true);
        runner->ShowStatus(3, QString());
        break;
    }
    conn->UpdateModeControls(mode, false);
    if (conn->btnConfig->isEnabled() && PanelShown && PanelShown()) conn->btnConfig->setFocus();
}
