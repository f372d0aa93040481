#include "ConnectionPanel.h"

#include "CommandRunner.h"
#include "PortTagPanel.h"
#include "Prompter.h"
#include "SerialPortLister.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "widgets/Pictures.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace
{
void SetCaptionColour(QGroupBox* gb, const QColor& colour)
{
    QPalette p = gb->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::WindowText, colour);
    gb->setPalette(p);
}

bool SortsBefore(const QString& a, const QString& b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
}
} // namespace

TConnectionPanel::TConnectionPanel(TCommandRunner* runner, TSerialPortLister* lister,
                                   TPortTagPanel* tags, QWidget* parent)
    : QWidget(parent), FRunner(runner), FLink(runner->Link()), FLister(lister), FTags(tags),
      FCurrentMAC(QLatin1String(SettingsFile::NoDeviceMAC))
{
    gbModeSelect = new QGroupBox(QStringLiteral("Control mode select"));
    rbCOMMode = new QRadioButton(QStringLiteral("COM control mode"));
    rbLANMode = new QRadioButton(QStringLiteral("TCP control mode"));
    rbCOMMode->setChecked(true);
    auto* modeRow = new QHBoxLayout(gbModeSelect);
    modeRow->addWidget(rbCOMMode);
    modeRow->addWidget(rbLANMode);

    gbCOMMode = new QGroupBox(QStringLiteral("COM control mode"));
    lblPort = new QLabel(QStringLiteral("Port"));
    cbCOMList = new QComboBox;
    cbCOMList->setMinimumWidth(160);
    auto* comRow = new QHBoxLayout(gbCOMMode);
    comRow->addWidget(lblPort);
    comRow->addWidget(cbCOMList, 1);

    gbLANMode = new QGroupBox(QStringLiteral("TCP control mode"));
    cbLANDevice = new QComboBox;
    cbLANDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbLANDevice->setMinimumContentsLength(30);
    btnDeleteDevice = new QPushButton(QString(QChar(0x00D7)));
    btnDeleteDevice->setFixedWidth(28);
    btnDeleteDevice->setToolTip(QStringLiteral("Delete device"));
    btnSearch = new QPushButton(QStringLiteral("Search ..."));
    btnConfig = new QPushButton(QStringLiteral("Config ..."));
    auto* lanGrid = new QGridLayout(gbLANMode);
    lanGrid->addWidget(cbLANDevice, 0, 0, 1, 3);
    lanGrid->addWidget(btnDeleteDevice, 0, 3);
    lanGrid->addWidget(btnSearch, 1, 1);
    lanGrid->addWidget(btnConfig, 1, 2, 1, 2);
    lanGrid->setColumnStretch(0, 1);

    gbConnection = new QGroupBox(QStringLiteral("Connection"));
    imgDisconnected = new QLabel;
    imgDisconnected->setPixmap(PlugPicture(false, 33));
    imgDisconnected->setFixedSize(33, 33);
    imgConnected = new QLabel;
    imgConnected->setPixmap(PlugPicture(true, 33));
    imgConnected->setFixedSize(33, 33);
    imgConnected->hide();
    btnConnect = new QPushButton(QStringLiteral("&Connect"));
    btnConnect->setMinimumWidth(110);
    auto* connRow = new QHBoxLayout(gbConnection);
    connRow->addWidget(imgDisconnected);
    connRow->addWidget(imgConnected);
    connRow->addStretch();
    connRow->addWidget(btnConnect);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(gbModeSelect);
    column->addWidget(gbCOMMode);
    column->addWidget(gbLANMode);
    column->addWidget(gbConnection);
    column->addStretch();

    auto modeClick = [this](QRadioButton* other, void (TConnectionPanel::*click)()) {
        return [this, other, click](bool on) {
            if (!on) return;
            if (RefuseLinkChange()) {
                QSignalBlocker block(other);
                other->setChecked(true);
                return;
            }
            (this->*click)();
        };
    };
    connect(rbCOMMode, &QRadioButton::toggled, this,
            modeClick(rbLANMode, &TConnectionPanel::rbCOMModeClick));
    connect(rbLANMode, &QRadioButton::toggled, this,
            modeClick(rbCOMMode, &TConnectionPanel::rbLANModeClick));
    connect(cbLANDevice, &QComboBox::currentIndexChanged, this, [this] {
        if (!RefuseLinkChange()) {
            cbLANDeviceChange();
            return;
        }
        QSignalBlocker block(cbLANDevice);
        cbLANDevice->setCurrentIndex(
            cbLANDevice->findText(FDeviceEntry, Qt::MatchExactly | Qt::MatchCaseSensitive));
    });
    connect(btnDeleteDevice, &QPushButton::clicked, this, [this] {
        if (!RefuseLinkChange()) btnDeleteDeviceClick();
    });
    connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
}

QColor TConnectionPanel::CaptionColour(bool enabled)
{
    return enabled ? QColor(0, 0, 0) : QColor(128, 128, 128);
}

bool TConnectionPanel::RefuseLinkChange()
{
    QString why;
    if (FLink->FConnecting)
        why = QStringLiteral("Connection in process, please wait...");
    else if (!FRunner->Flags()->Idle && FLink->Connected())
        why = QStringLiteral("In processing, command ignored");
    if (why.isEmpty()) return false;
    FRunner->ShowStatus(3, why);
    return true;
}

void TConnectionPanel::btnConnectClick()
{
    // A connect already waiting for its peer (a command asked while the
    // button's own connect ran) must not start a second one on the same socket.
    if (FLink->FConnecting) return;
    // Cutting the link under a transfer can leave the matrix half written.
    if (FLink->Connected() && !FRunner->Flags()->Idle) {
        FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
        return;
    }
    FRunner->ShowStatus(2, QString());
    if (FLink->Connected()) {
        FLink->Disconnect();
    } else {
        if (FLink->ControlMode() == cmCOM) {
            FLink->SetComPort(cbCOMList->currentText());
            FRunner->ShowStatus(2, QStringLiteral("Opening [") + FLink->ComPort() +
                                       QStringLiteral("] ..."));
        } else {
            FRunner->ShowStatus(2, QStringLiteral("Connecting [") + FLink->DeviceIP() +
                                       QStringLiteral("] ..."));
        }
        const bool enabled = btnConnect->isEnabled();
        btnConnect->setEnabled(false);
        FLink->Connect();
        btnConnect->setEnabled(enabled);
        if (isVisible()) btnConnect->setFocus();
    }
    ShowConnectionState();
    if (FLink->Connected()) FRunner->ShowStatus(2, QString());
    FRunner->Pause(FRunner->Timing().ConnectPauseMs);
}

void TConnectionPanel::ShowConnectionState()
{
    const bool connected = FLink->Connected();
    FShownConnected = connected;
    cbCOMList->setEnabled(!connected);
    imgConnected->setVisible(connected);
    imgDisconnected->setVisible(!connected);
    btnConnect->setText(connected ? QStringLiteral("&") + QLatin1String(Options::LinkAction[1])
                                  : QStringLiteral("&Connect"));
    QString state = QLatin1String(Options::ConnectionState[connected ? 1 : 0]);
    if (connected)
        state += QStringLiteral(": ") +
                 (FLink->ControlMode() == cmCOM ? FLink->ComPort() : FLink->DeviceIP());
    FRunner->ShowStatus(1, state);
}

void TConnectionPanel::SyncConnectionState()
{
    if (!FLink->FConnecting && FShownConnected != FLink->Connected()) ShowConnectionState();
}

void TConnectionPanel::rbCOMModeClick()
{
    FRunner->ShowStatus(2, QString());
    if (FLink->Connected()) btnConnectClick();
    FTags->ClearPortTags();
    FLink->SetControlMode(cmCOM);
    UpdateModeControls(cmCOM, false);
    FTags->LoadPortTags(cmCOM, FCurrentMAC);
}

void TConnectionPanel::rbLANModeClick()
{
    if (FLink->Searching) return;
    if (FLink->Connected()) btnConnectClick();
    FTags->ClearPortTags();
    FLink->SetControlMode(cmLAN);
    FTags->LoadPortTags(cmLAN, FCurrentMAC);
    FRunner->ShowStatus(3, QString());
    UpdateModeControls(cmLAN, false);
}

void TConnectionPanel::cbLANDeviceChange()
{
    FTags->ClearPortTags();
    if (FLink->Connected()) btnConnectClick();
    const QString entry = cbLANDevice->currentIndex() >= 0 ? cbLANDevice->currentText() : QString();
    FDeviceEntry = entry;
    // A hand-edited entry may hold blanks around its fields.
    const QString mac = SettingsFile::DeviceEntryField(entry, defMAC).trimmed();
    const QString ip = SettingsFile::DeviceEntryField(entry, defIP).trimmed();
    // An entry without these fields names no device: its tags must not land
    // in a section of an empty MAC, nor a connect go to an empty address.
    FCurrentMAC = mac.isEmpty() ? QLatin1String(SettingsFile::NoDeviceMAC) : mac;
    FLink->SetDeviceIP(ip.isEmpty() ? QStringLiteral("0.0.0.0") : ip);
    FTags->LoadPortTags(FLink->ControlMode(), FCurrentMAC);
}

void TConnectionPanel::btnDeleteDeviceClick()
{
    const int index = cbLANDevice->currentIndex();
    if (index < 0) return;
    const QString entry = cbLANDevice->currentText();
    if (!FRunner->Prompter()->Confirm(QStringLiteral("Sure to delete device: ") + entry +
                                      QStringLiteral(" ?")))
        return;
    {
        QSignalBlocker block(cbLANDevice);
        cbLANDevice->removeItem(index);
        cbLANDevice->setCurrentIndex(qMin(index, cbLANDevice->count() - 1));
    }
    cbLANDeviceChange();
}

void TConnectionPanel::SetDevices(const QStringList& entries)
{
    {
        QSignalBlocker block(cbLANDevice);
        cbLANDevice->clear();
    }
    for (const QString& e : entries)
        AddDevice(e);
}

void TConnectionPanel::AddDevice(const QString& entry)
{
    QSignalBlocker block(cbLANDevice);
    const int selected = cbLANDevice->currentIndex();
    int pos = 0;
    while (pos < cbLANDevice->count() && !SortsBefore(entry, cbLANDevice->itemText(pos)))
        ++pos;
    cbLANDevice->insertItem(pos, entry);
    // Inserting must not change which entry is selected.
    cbLANDevice->setCurrentIndex(selected < 0 ? -1 : (selected >= pos ? selected + 1 : selected));
}

QStringList TConnectionPanel::Devices() const
{
    QStringList list;
    for (int i = 0; i < cbLANDevice->count(); ++i)
        list << cbLANDevice->itemText(i);
    return list;
}

void TConnectionPanel::SelectDevice(const QString& entry)
{
    QSignalBlocker block(cbLANDevice);
    const int index = cbLANDevice->findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbLANDevice->setCurrentIndex(index >= 0 ? index : (cbLANDevice->count() > 0 ? 0 : -1));
}

void TConnectionPanel::SelectComPort(const QString& name)
{
    const int index = cbCOMList->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbCOMList->setCurrentIndex(index >= 0 ? index : (cbCOMList->count() > 0 ? 0 : -1));
}

void TConnectionPanel::SetComPortItems(const QStringList& names)
{
    cbCOMList->clear();
    cbCOMList->addItems(names);
}

void TConnectionPanel::RefreshComPorts()
{
    QStringList names;
    for (const QString& n : FLister->PortNames())
        if (!names.contains(n)) names << n;
    bool changed = cbCOMList->count() != names.size();
    for (int i = 0; !changed && i < names.size(); ++i)
        changed = cbCOMList->findText(names[i], Qt::MatchExactly | Qt::MatchCaseSensitive) < 0;
    if (!changed) return;
    SetComPortItems(names);
    const QString port = FLink->ComPort();
    if (!names.contains(port)) {
        if (FLink->ControlMode() == cmCOM) {
            if (FLink->Connected())
                btnConnectClick();
            else if (FShownConnected)
                ShowConnectionState(); // the port closed itself when the device went away
        }
        if (!names.isEmpty()) cbCOMList->setCurrentIndex(0);
    } else {
        cbCOMList->setCurrentIndex(int(names.indexOf(port)));
    }
}

void TConnectionPanel::UpdateModeControls(TControlMode mode, bool busy)
{
    const bool lan = mode == cmLAN && !busy;
    const bool com = mode == cmCOM && !busy;
    gbLANMode->setEnabled(lan);
    for (QWidget* w : {static_cast<QWidget*>(cbLANDevice), static_cast<QWidget*>(btnSearch),
                       static_cast<QWidget*>(btnConfig), static_cast<QWidget*>(btnDeleteDevice)})
        w->setEnabled(lan);
    SetCaptionColour(gbLANMode, CaptionColour(lan));

    gbCOMMode->setEnabled(com);
    lblPort->setEnabled(com);
    cbCOMList->setEnabled(com);
    SetCaptionColour(gbCOMMode, CaptionColour(com));

    gbModeSelect->setEnabled(!busy);
    rbCOMMode->setEnabled(!busy);
    rbLANMode->setEnabled(!busy);
    btnConnect->setEnabled(!busy);
    SetCaptionColour(gbModeSelect, CaptionColour(!busy));
    if (ModeControlsChanged) ModeControlsChanged(!busy, com, CaptionColour(com));
}
