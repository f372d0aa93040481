#include "DeviceStatusPanel.h"

#include "AdvancedPanel.h"
#include "CommandRunner.h"
#include "Prompter.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
const int PowerButtonSize = 73;

void SetBold(QLabel* label, bool bold)
{
    if (label->font().bold() == bold) return;
    QFont f = label->font();
    f.setBold(bold);
    label->setFont(f);
}
} // namespace

TDeviceStatusPanel::TDeviceStatusPanel(TCommandRunner* runner, TAdvancedPanel* advanced,
                                       QWidget* parent)
    : QWidget(parent), FRunner(runner), FAdvanced(advanced)
{
    gbRefresh = new QGroupBox(QStringLiteral("Refresh device status"));
    btnGetDevStatus = new QPushButton(QStringLiteral("D&evice status"));
    auto* refreshRow = new QHBoxLayout(gbRefresh);
    refreshRow->addWidget(btnGetDevStatus);
    refreshRow->addStretch();

    gbDeviceStatus = new QGroupBox(QStringLiteral("Device information"));
    lblDevice = new QLabel;
    lblVersion = new QLabel;
    auto* grid = new QGridLayout(gbDeviceStatus);
    grid->addWidget(lblDevice, 0, 0, 1, 2);
    grid->addWidget(lblVersion, 1, 0, 1, 2);
    for (int n = 1; n <= 4; ++n) {
        const size_t i = size_t(n - 1);
        lblInput[i] = new QLabel;
        lblHDMIOutput[i] = new QLabel;
        lblHDBTOutput[i] = new QLabel(this);
        // The HDBT outputs do not exist on this model: the HDMI label takes
        // the input's row.
        lblHDBTOutput[i]->hide();
        grid->addWidget(lblInput[i], n + 1, 0);
        grid->addWidget(lblHDMIOutput[i], n + 1, 1);
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    gbDeviceStatus->setFixedHeight(185);

    bbPower = new QToolButton;
    bbPower->setFixedSize(PowerButtonSize, PowerButtonSize);
    bbPower->setIconSize(QSize(PowerButtonSize - 6, PowerButtonSize - 6));
    bbPower->setAutoRaise(false);
    bbPower->setToolTip(QStringLiteral("Power"));
    bbPower->setAccessibleName(QStringLiteral("Power"));
    ShowPowerPicture(ppDesign);

    lblGuide = new QLabel(
        QStringLiteral("NOTE - Steps after GUI Controller run:\n"
                       "1. Click \"Device status\" button to get Matrix power status\n"
                       "2. Click Power button below to boot up Matrix if it's powered off\n"
                       "3. Use GUI Controller to control Matrix after unit boots up"));
    lblGuide->setWordWrap(true);

    auto* powerRow = new QHBoxLayout;
    powerRow->addWidget(bbPower, 0, Qt::AlignTop);
    powerRow->addWidget(lblGuide, 1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(gbRefresh);
    column->addWidget(gbDeviceStatus);
    column->addLayout(powerRow);
    column->addStretch();

    ResetDeviceLabels();
    connect(btnGetDevStatus, &QPushButton::clicked, this, [this] { RefreshDeviceStatus(); });
    connect(bbPower, &QToolButton::clicked, this, [this] { bbPowerClick(); });
}

void TDeviceStatusPanel::ShowPowerPicture(TPowerPicture picture)
{
    // Every refresh asks for the power state: draw only what changes.
    if (picture == FPicture && !bbPower->icon().isNull()) return;
    FPicture = picture;
    bbPower->setIcon(QIcon(PowerPicture(picture, PowerButtonSize - 6)));
}

bool TDeviceStatusPanel::QueryPowerStatus()
{
    const TCommandReply r = FRunner->RunCommand(Catalogue::PowerStatus());
    if (!r.Ok && FRunner->LastRefused()) return false; // nothing was asked
    if (!r.Ok) {
        ShowPowerPicture(ppNoReply);
        FRunner->SetPowerFlag(0);
        return false;
    }
    const bool on = Catalogue::PowerIsOn(r);
    ShowPowerPicture(on ? ppOn : ppOff);
    FRunner->SetPowerFlag(on ? 1 : 0);
    return true;
}

void TDeviceStatusPanel::SetPower(bool on)
{
    FRunner->ShowStatus(3, QString());
    if (FRunner->RunCommand(Catalogue::PowerSet(on)).Ok) QueryPowerStatus();
}

void TDeviceStatusPanel::bbPowerClick()
{
    if (!QueryPowerStatus()) return;
    SetPower(FRunner->PowerFlag() == 0);
    if (FRunner->PowerFlag() == 1) {
        RefreshDeviceStatus();
        FRunner->ShowStatus(3, QStringLiteral("Matrix Power On"));
    } else {
        FRunner->ShowStatus(3, QStringLiteral("Matrix Power Off"));
    }
}

void TDeviceStatusPanel::ShowConnection(QLabel* label, const QString& prefix, int n,
                                        const TCommandReply& r)
{
    const QString text = Catalogue::ConnectionText(prefix, n, r);
    if (text.isEmpty()) return;
    label->setText(text);
    if (r.Ok) SetBold(label, r.P2Lo() == 0x00);
}

void TDeviceStatusPanel::RefreshDeviceStatus()
{
    if (!QueryPowerStatus()) return;
    if (FRunner->PowerFlag() == 0) {
        FRunner->Prompter()->Information(
            QStringLiteral("System is power off, please turn it on first to refresh more status."));
        return;
    }
    if (!FRunner->RunPoweredCommand(Catalogue::DeviceQuery()).Ok) return;
    const TCommandReply size = FRunner->RunPoweredCommand(Catalogue::DeviceSize());
    if (!size.Ok) return;
    const TCommandReply version = FRunner->RunPoweredCommand(Catalogue::Version());
    if (!version.Ok) return;
    lblDevice->setText(Catalogue::DeviceText(size));
    lblVersion->setText(Catalogue::VersionText(version));
    for (int n = 1; n <= 4; ++n) {
        ShowConnection(lblInput[size_t(n - 1)], QStringLiteral("Input"), n,
                       FRunner->RunPoweredCommand(Catalogue::InputConnection(n)));
        FRunner->PauseAfterReply(FRunner->Timing().StatusPauseMs);
    }
    for (int n = 1; n <= 4; ++n)
        ShowConnection(lblHDMIOutput[size_t(n - 1)], QStringLiteral("HDMI Output"), n,
                       FRunner->RunPoweredCommand(Catalogue::OutputConnection(n)));
    if (FAdvanced) FAdvanced->RefreshSwitches();
}

uint8_t TDeviceStatusPanel::QueryOutputConnection(int n)
{
    const TCommandReply r = FRunner->RunPoweredCommand(Catalogue::OutputConnection(n, true));
    if (!r.Ok) return 0xFF;
    return r.P2Lo() != 0 ? 0xF0 : 0x0F;
}

void TDeviceStatusPanel::ResetDeviceLabels()
{
    lblDevice->setText(QStringLiteral("Device: Not known"));
    lblVersion->setText(QStringLiteral("Version: Not known"));
    for (int n = 1; n <= 4; ++n) {
        const size_t i = size_t(n - 1);
        lblInput[i]->setText(QStringLiteral("Input%1: Not known").arg(n));
        lblHDMIOutput[i]->setText(QStringLiteral("HDMI Output%1: Not known").arg(n));
        lblHDBTOutput[i]->setText(QStringLiteral("HDBT Output%1: Not known").arg(n));
    }
}
