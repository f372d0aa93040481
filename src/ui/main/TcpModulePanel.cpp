#include "TcpModulePanel.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "link/ModuleRecords.h"
#include "link/QMCOMControl.h"
#include "ui/dialogs/EnterYes.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TTcpModulePanel::TTcpModulePanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
    gbTCPModInfo = new QGroupBox(QStringLiteral("TCP Module infomation"));
    lblVersion = new QLabel(QStringLiteral("Version: "));
    lblDHCP = new QLabel(QStringLiteral("DHCP: "));
    lblIPAddr = new QLabel(QStringLiteral("IP Address: "));
    btnQueryTCPModInfo = new QPushButton(QStringLiteral("&Query"));
    auto* info = new QVBoxLayout(gbTCPModInfo);
    info->addWidget(lblVersion);
    info->addWidget(lblDHCP);
    info->addWidget(lblIPAddr);
    auto* queryRow = new QHBoxLayout;
    queryRow->addStretch();
    queryRow->addWidget(btnQueryTCPModInfo);
    info->addLayout(queryRow);

    gbResetTCPMod = new QGroupBox(QStringLiteral("Reset TCP Module"));
    btnReset = new QPushButton(QStringLiteral("&Reset ..."));
    auto* reset = new QHBoxLayout(gbResetTCPMod);
    reset->addStretch();
    reset->addWidget(btnReset);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(gbTCPModInfo);
    row->addWidget(gbResetTCPMod, 0, Qt::AlignTop);
    row->addStretch();

    connect(btnQueryTCPModInfo, &QPushButton::clicked, this, [this] { btnQueryTCPModInfoClick(); });
    connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
}

void TTcpModulePanel::SetModuleControlsEnabled(bool enabled, const QColor& caption)
{
    for (QGroupBox* gb : {gbTCPModInfo, gbResetTCPMod}) {
        gb->setEnabled(enabled);
        QPalette p = gb->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, QPalette::WindowText, caption);
        gb->setPalette(p);
    }
}

bool TTcpModulePanel::MayStart()
{
    TQMCOMControl* link = FRunner->Link();
    if (FRunner->Flags()->Abort) return false;
    if (!link->Connected()) {
        if (ConnectAction) ConnectAction();
        if (!link->Connected()) return false;
    }
    if (!FRunner->Flags()->Idle) {
        FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
        return false;
    }
    return true;
}

void TTcpModulePanel::btnQueryTCPModInfoClick()
{
    if (!MayStart()) return;
    TProcessFlags* flags = FRunner->Flags();
    flags->Idle = false;
    btnQueryTCPModInfo->setEnabled(false);
    FRunner->ShowStatus(2, QStringLiteral("Query TCP Module information ..."));
    lblVersion->setText(QStringLiteral("Version: "));
    lblDHCP->setText(QStringLiteral("DHCP: "));
    lblIPAddr->setText(QStringLiteral("IP Address: "));
    QByteArray request(LDCD::Size, '\0');
    request[16] = char(LDCD::Query);
    QByteArray answer;
    FRunner->Link()->LDCDTransaction(request, answer);
    const auto* a = reinterpret_cast<const uint8_t*>(answer.constData());
    if (a[LDCD::Size]) {
        FRunner->ShowStatus(2, QStringLiteral("Query TCP Module ok"));
        lblVersion->setText(QStringLiteral("Version: Ver%1.%2").arg(a[17]).arg(a[18]));
        lblDHCP->setText(a[19] ? QStringLiteral("DHCP: Auto IP")
                               : QStringLiteral("DHCP: Static IP"));
        lblIPAddr->setText(QStringLiteral("IP Address: ") + ModuleRecord::IpText(a + 20));
    } else {
        FRunner->ShowStatus(2, QStringLiteral("Query TCP Module failed"), true);
    }
    btnQueryTCPModInfo->setEnabled(true);
    flags->Idle = true;
    FRunner->ShowStatus(3, QString());
}

void TTcpModulePanel::btnResetClick()
{
    if (!MayStart()) return;
    FRunner->ShowStatus(2, QStringLiteral("Reset Default ..."));
    TfrmEnterYes* dialog = ConfirmDialog ? ConfirmDialog() : nullptr;
    if (!dialog || FRunner->Prompter()->RunModal(dialog) != TfrmEnterYes::mrYes) {
        FRunner->ShowStatus(2, QStringLiteral("Reset Default cancelled"));
        return;
    }
    // The dialog let events run: another command may have started meanwhile.
    if (!FRunner->Flags()->Idle) {
        FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
        return;
    }
    TProcessFlags* flags = FRunner->Flags();
    flags->Idle = false;
    QByteArray request(LDCD::Size, '\0');
    request[16] = char(LDCD::Reset);
    request[19] = 0;
    std::array<uint8_t, 4> ip{};
    ModuleRecord::IpBytes(QString::fromLatin1(DefaultModuleIP), &ip);
    for (int i = 0; i < 4; ++i)
        request[20 + i] = char(ip[size_t(i)]);
    QByteArray answer;
    FRunner->Link()->LDCDTransaction(request, answer);
    if (answer.at(LDCD::Size)) {
        FRunner->ShowStatus(2, QStringLiteral("Reset Default ok"));
        flags->Idle = true;
        btnQueryTCPModInfoClick();
    } else {
        FRunner->ShowStatus(2, QStringLiteral("Reset Default failed"), true);
        flags->Idle = true;
    }
    FRunner->ShowStatus(3, QString());
}
