#include "Main.h"

#include "AdvancedPanel.h"
#include "BackupGroup.h"
#include "CommandRunner.h"
#include "ConnectionPanel.h"
#include "DeviceStatusPanel.h"
#include "EdidPanel.h"
#include "FirmwarePanel.h"
#include "PortTagPanel.h"
#include "Prompter.h"
#include "RoutingPanel.h"
#include "SerialPortLister.h"
#include "SettingPanel.h"
#include "StatusBar.h"
#include "TabContainer.h"
#include "TcpDeviceActions.h"
#include "TcpModulePanel.h"
#include "TrafficWindow.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/PreSettingEdit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

namespace
{
const int WindowWidth = 1025;
const int WindowHeight = 640;
const char* const WritableRefusal =
    "Please copy GUI application to writable disk then run it. Thank you.";
} // namespace

TForm1::TForm1(const TForm1Options& options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      FTiming(options.Timing)
{
    FPrompter = options.Prompter;
    if (!FPrompter) {
        FOwnedPrompter = std::make_unique<TMessageBoxPrompter>(this);
        FPrompter = FOwnedPrompter.get();
    }
    FLister = options.PortLister;
    if (!FLister) {
        FOwnedLister = std::make_unique<TSystemSerialPortLister>();
        FLister = FOwnedLister.get();
    }
    FormCreate(options);
}

TForm1::~TForm1()
{
    // The link may still report while it closes its port; nobody listens now.
    if (FLink) {
        disconnect(FLink, nullptr, this, nullptr);
        delete FLink;
        FLink = nullptr;
    }
}

void TForm1::FormCreate(const TForm1Options& options)
{
    setWindowTitle(QStringLiteral("4x4 HDMI2.0 Matrix Controller - "));
    const QString programFolder = options.SettingsFolder.isEmpty()
                                      ? QCoreApplication::applicationDirPath()
                                      : options.SettingsFolder;
    // An installed program sits in a folder nobody may write: its settings go
    // to the user's configuration folder instead.
    const QString userFolder =
        options.UserSettingsFolder.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
            : options.UserSettingsFolder;
    // An installed program keeps nothing beside itself, not even for root or
    // an administrator.
    const bool installed =
        options.SettingsFolder.isEmpty() && SettingsFile::IsInstalledProgramFolder(programFolder);
    const auto writable = options.FolderWritable ? options.FolderWritable : IsFolderWritable;
    const QString folder =
        SettingsFile::ChooseFolder(programFolder, userFolder, [&](const QString& f) {
            return !(installed && f == programFolder) && writable(f);
        });
    FSettingsPath = QDir(folder.isEmpty() ? programFolder : folder)
                        .filePath(QLatin1String(SettingsFile::FileName));
    if (folder.isEmpty()) {
        FTerminated = true;
        FPrompter->Information(QLatin1String(WritableRefusal));
    }

    FLink = new TQMCOMControl(&FFlags, FTiming, this);
    connect(FLink, &TQMCOMControl::Notify, this, &TForm1::OnNotify, Qt::DirectConnection);
    FTraffic = new TTrafficWindow(FLink, FPrompter, this);
    connect(new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+T")), this),
            &QShortcut::activated, FTraffic, &TTrafficWindow::ShowWindow);
    FFlags.Abort = false;
    FFlags.Blink = true;
    FFlags.Idle = true;
    FFlags.RoutingFailure = true;

    sb = new TStatusBar;
    sb->SetDrawPanel(
        [this](QPainter& p, const QRect& r, const QString& text) { sbDrawPanel(p, r, text); });
    FRunner = new TCommandRunner(&FFlags, FLink, sb, FPrompter, FTiming, this);
    BuildTabs();
    FRunner->SetConnectAction([this] { FConnection->btnConnectClick(); });

    setWindowTitle(windowTitle() + QLatin1String(Version));

    // Debug strip: kept but cut off by the window's width.
    mmoDebug = new QPlainTextEdit;
    btnClear = new QPushButton(QStringLiteral("clear"));
    btnStop = new QPushButton(QStringLiteral("Stop"));
    for (QWidget* w : {static_cast<QWidget*>(mmoDebug), static_cast<QWidget*>(btnClear),
                       static_cast<QWidget*>(btnStop)}) {
        w->setEnabled(false);
        w->hide();
    }
    connect(btnClear, &QPushButton::clicked, mmoDebug, &QPlainTextEdit::clear);
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });
    auto* debugColumn = new QVBoxLayout;
    debugColumn->addWidget(mmoDebug, 1);
    debugColumn->addWidget(btnClear);
    debugColumn->addWidget(btnStop);

    auto* mainColumn = new QVBoxLayout;
    mainColumn->setContentsMargins(0, 0, 0, 0);
    mainColumn->setSpacing(0);
    mainColumn->addWidget(pcContainer, 1);
    mainColumn->addWidget(sb);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(mainColumn, 1);
    outer->addLayout(debugColumn);
    setFixedSize(WindowWidth, WindowHeight);

    FRunner->SetPowerFlag(0);
    for (QString& b : MacIdBytes)
        b.clear();

    tmr = new QTimer(this);
    tmr->setInterval(FTiming.TimerMs);
    connect(tmr, &QTimer::timeout, this, [this] { tmrTimer(); });
}

void TForm1::BuildTabs()
{
    pcContainer = new TTabContainer;
    pcContainer->setTabPosition(QTabWidget::South);
    tsGeneral = new TTabPage;
    tsPortTag = new TTabPage;
    tsSetting = new TTabPage;
    tsEDIDCtrl = new TTabPage;
    tsIR = new TTabPage;
    tsFWUpgrade = new TTabPage;
    // Pages go in while empty: the first one becomes current at once, and
    // laying it out now would be done again at show.
    pcContainer->addTab(tsGeneral, QStringLiteral("General"));
    pcContainer->addTab(tsPortTag, QStringLiteral("Port Tag"));
    pcContainer->addTab(tsSetting, QStringLiteral("Setting"));
    pcContainer->addTab(tsEDIDCtrl, QStringLiteral("EDID control"));
    pcContainer->addTab(tsIR, QStringLiteral("Advanced"));
    pcContainer->addTab(tsFWUpgrade, QStringLiteral("FW upgrade"));

    FPortTags = new TPortTagPanel(FRunner, FSettingsPath);
    FSetting = new TSettingPanel(FRunner);
    FEdid = new TEdidPanel(FRunner);
    FAdvanced = new TAdvancedPanel(FRunner);
    FFirmware = new TFirmwarePanel(FRunner);
    FConnection = new TConnectionPanel(FRunner, FLister, FPortTags);
    // A list read in the background takes effect as a timer tick's would.
    FLister->Changed = [this] {
        if (FShown && !FRunner->InBlockingWait()) FConnection->RefreshComPorts();
    };
    FDeviceStatus = new TDeviceStatusPanel(FRunner, FAdvanced);
    FEdid->QueryOutputConnection = [this](int n) {
        return FDeviceStatus->QueryOutputConnection(n);
    };
    FTcpModule = new TTcpModulePanel(FRunner);
    FTcpModule->ConnectAction = [this] { FConnection->btnConnectClick(); };
    FTcpModule->ConfirmDialog = [this] { return FDialogs.EnterYes.get(); };
    FTcpDevices = new TTcpDeviceActions(FRunner, FConnection, this);
    FTcpDevices->SearchDialog = [this] { return FDialogs.Search.get(); };
    FTcpDevices->EditLANDialog = [this] { return FDialogs.EditLAN.get(); };
    FTcpDevices->MacChanged = [this](const QStringList& mac) {
        for (int i = 0; i < 3; ++i)
            MacIdBytes[size_t(i)] = mac.value(i);
    };
    FTcpDevices->PanelShown = [this] { return pcContainer->currentIndex() == 0; };
    FConnection->ModeControlsChanged = [this](bool notBusy, bool com, const QColor& caption) {
        FDeviceStatus->btnGetDevStatus->setEnabled(notBusy);
        FTcpModule->SetModuleControlsEnabled(com, caption);
    };

    cbDisplayTag =
        new QCheckBox(QStringLiteral("Display Input, Output tags when focus setting buttons"));
    WirePanels();
    auto* right = new QVBoxLayout;
    right->addWidget(FDeviceStatus);
    right->addWidget(cbDisplayTag);
    right->addStretch();
    auto* general = new QHBoxLayout(tsGeneral);
    FConnection->setFixedWidth(430);
    general->addWidget(FConnection, 0, Qt::AlignTop);
    general->addLayout(right, 1);

    auto fill = [](QWidget* page, QWidget* panel) {
        auto* box = new QVBoxLayout(page);
        box->addWidget(panel);
    };
    fill(tsPortTag, FPortTags);
    fill(tsSetting, FSetting);
    fill(tsEDIDCtrl, FEdid);
    fill(tsIR, FAdvanced);
    FAdvanced->ModuleColumn()->addWidget(FTcpModule);
    FAdvanced->ModuleColumn()->addWidget(
        new TBackupGroup(FRunner, [this] { FAdvanced->RefreshSwitches(); }));
    FAdvanced->ModuleColumn()->addStretch();
    fill(tsFWUpgrade, FFirmware);

    pcContainer->SetChanging([this] { return pcContainerChanging(); });
    connect(pcContainer, &QTabWidget::currentChanged, this, &TForm1::OnTabShown);
}

void TForm1::WirePanels()
{
    auto dialog = [this] { return FDialogs.PreSettingEdit.get(); };
    auto tags = [this] { return FPortTags->Tags(); };
    FPortTags->EditDialog = dialog;
    FPortTags->CurrentMAC = [this] { return FConnection->CurrentMAC(); };
    FSetting->EditDialog = dialog;
    FSetting->Tags = tags;
    TRoutingPanel* routing = FSetting->Routing();
    routing->Tags = tags;
    routing->DisplayTags = [this] { return cbDisplayTag->isChecked(); };
    routing->InfoWindow = [this] { return FDialogs.ShowInOutInfo.get(); };
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(pcContainer), tsSetting})
        routing->AddLeaveArea(w);
}

void TForm1::SetDialogs(TForm1Dialogs dialogs)
{
    FDialogs = std::move(dialogs);
    FDialogs.PreSettingEdit.OnMade([this](TfrmPreSettingEdit* dialog) {
        dialog->SetInputNames(FInputNames);
        dialog->SetOutputNames(FOutputNames);
    });
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown) return;
    FShown = true;
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TForm1::FormShow()
{
    FSetting->SetDisplayDigits(1);
    FSetting->FixPreSettingColumns();
    FConnection->RefreshComPorts();
    LoadSettings();
    FRunner->ShowStatus(1, QLatin1String(Options::ConnectionState[FLink->Connected() ? 1 : 0]));
    tmr->start();
    FEdid->ClearEdidGrid();
    FDeviceStatus->ResetDeviceLabels();
    FEdid->MoveCaretsToEnd();
    SaveSettings();
    FSetting->SetAllOutputsPortCount(4);
}

void TForm1::tmrTimer()
{
    // The blink and the connect pause hold the window; the next tick catches up.
    if (FRunner->InBlockingWait()) return;
    FConnection->RefreshComPorts();
    FConnection->SyncConnectionState();
    FRunner->ShowStatus(4,
                        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
}

bool TForm1::pcContainerChanging() const
{
    if (FRunner->PowerFlag() == 0) return true;
    return FFlags.Idle && !FLink->Searching && !FLink->FConnecting && !FLink->Configuring;
}

void TForm1::OnTabShown(int index)
{
    QWidget* page = pcContainer->widget(index);
    if (page == tsSetting)
        FSetting->tsSettingShow();
    else if (page == tsEDIDCtrl)
        FEdid->tsEDIDCtrlShow(FPortTags->Tags());
    else if (page == tsIR && FRunner->PowerFlag() != 0)
        FAdvanced->RefreshSwitches();
}

void TForm1::sbDrawPanel(QPainter& p, const QRect& r, const QString& text)
{
    const bool normal = FFlags.Blink;
    p.fillRect(r, normal ? palette().color(QPalette::Button) : QColor(255, 0, 0));
    p.setPen(normal ? QColor(0, 0, 0) : QColor(255, 255, 255));
    p.drawText(r.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
}

bool TForm1::FormCloseQuery()
{
    if (FFlags.Idle && !FLink->Searching && !FLink->FConnecting && !FLink->Configuring) {
        FFlags.Abort = true;
        return true;
    }
    if (FLink->FConnecting) {
        FPrompter->Information(QStringLiteral("Connection in process, please wait..."));
        return false;
    }
    if (FPrompter->Confirm(
            QStringLiteral("Processing not complete, continue to close controller?"))) {
        FFlags.Abort = true;
        return true;
    }
    return false;
}

void TForm1::FormClose()
{
    FClosed = true;
    tmr->stop();
    SaveSettings();
    // A command still on the stack below this close unwinds on the abort
    // flag; its link goes with the window. Otherwise close the port now.
    if (FFlags.Idle && !FLink->FConnecting) FLink->Disconnect();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (FClosed || FTerminated) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm1::btnStopClick()
{
    FFlags.Abort = !FFlags.Abort;
}
