#pragma once

#include "link/ProcessFlags.h"
#include "link/Timing.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TAdvancedPanel;
class TCommandRunner;
class TConnectionPanel;
class TDeviceStatusPanel;
class TEdidPanel;
class TFirmwarePanel;
class TPortTagPanel;
class TPrompter;
class TQMCOMControl;
class TSerialPortLister;
class TSettingPanel;
class TStatusBar;
class TTabContainer;
class TTcpDeviceActions;
class TTcpModulePanel;
class TTrafficWindow;
class TfrmEditLAN;
class TfrmEnterYes;
class TfrmPreSettingEdit;
class TfrmSearch;
class TfrmShowInOutInfo;

// What the main window depends on; the defaults are the product's.
struct TForm1Options {
    QString SettingsFolder;     // empty: the executable's folder
    QString UserSettingsFolder; // empty: the per-user configuration folder
    TTiming Timing;
    TPrompter* Prompter = nullptr;                      // not owned; null: message boxes
    TSerialPortLister* PortLister = nullptr;            // not owned; null: the system's ports
    std::function<bool(const QString&)> FolderWritable; // null: IsFolderWritable
};

// A dialog made the first time somebody asks for it: most sessions never
// open most dialogs, and making them all would slow the window's start.
template <class T>
class TLazyDialog
{
public:
    TLazyDialog() = default;
    explicit TLazyDialog(std::function<T*()> make) : FMake(std::move(make)) {}
    // One holder per dialog: a copy would make a second one.
    TLazyDialog(const TLazyDialog&) = delete;
    TLazyDialog& operator=(const TLazyDialog&) = delete;
    TLazyDialog(TLazyDialog&&) = default;
    TLazyDialog& operator=(TLazyDialog&&) = default;

    T* get() const
    {
        if (!FDialog && FMake) {
            FDialog = FMake();
            if (FDialog && FMade) FMade(FDialog);
        }
        return FDialog;
    }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }
    bool Made() const { return FDialog != nullptr; }
    // Runs once on the new dialog, right after it was made.
    void OnMade(std::function<void(T*)> made) { FMade = std::move(made); }

private:
    std::function<T*()> FMake;
    std::function<void(T*)> FMade;
    mutable T* FDialog = nullptr;
};

// The dialogs, handed to the main window after it was made; each is made
// on first use, as the main window's child.
struct TForm1Dialogs {
    TLazyDialog<TfrmPreSettingEdit> PreSettingEdit;
    TLazyDialog<TfrmShowInOutInfo> ShowInOutInfo;
    TLazyDialog<TfrmEditLAN> EditLAN;
    TLazyDialog<TfrmSearch> Search;
    TLazyDialog<TfrmEnterYes> EnterYes;
};

// The program's main window: tabs, status bar, the one link controller, the
// start-up and shutdown steps and the routing of the link's notifications.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(const TForm1Options& options = TForm1Options(), QWidget* parent = nullptr);
    ~TForm1() override;

    static constexpr const char* Version = "ver2.00";

    void SetDialogs(TForm1Dialogs dialogs);
    const TForm1Dialogs& Dialogs() const { return FDialogs; }
    // Set when the program folder is not writable: the window is never shown.
    bool Terminated() const { return FTerminated; }
    QString SettingsPath() const { return FSettingsPath; }

    void LoadSettings();
    bool SaveSettings();

    void tmrTimer();
    bool pcContainerChanging() const;
    void OnNotify(int code, qintptr wParam, qintptr lParam, const QString& text);
    bool FormCloseQuery();
    void FormClose();
    void btnStopClick();

    TQMCOMControl* Link() const { return FLink; }
    TCommandRunner* Runner() const { return FRunner; }
    TProcessFlags& Flags() { return FFlags; }
    TStatusBar* StatusBar() const { return sb; }
    TConnectionPanel* Connection() const { return FConnection; }
    TDeviceStatusPanel* DeviceStatus() const { return FDeviceStatus; }
    TPortTagPanel* PortTags() const { return FPortTags; }
    TSettingPanel* Setting() const { return FSetting; }
    TEdidPanel* Edid() const { return FEdid; }
    TAdvancedPanel* Advanced() const { return FAdvanced; }
    TFirmwarePanel* Firmware() const { return FFirmware; }
    TTcpModulePanel* TcpModule() const { return FTcpModule; }
    TTcpDeviceActions* TcpDevices() const { return FTcpDevices; }
    TTabContainer* Container() const { return pcContainer; }
    TTrafficWindow* Traffic() const { return FTraffic; }
    QTimer* Timer() const { return tmr; }

    std::array<QString, 3> MacIdBytes;

    QWidget* tsGeneral;
    QWidget* tsPortTag;
    QWidget* tsSetting;
    QWidget* tsEDIDCtrl;
    QWidget* tsIR;
    QWidget* tsFWUpgrade;
    QCheckBox* cbDisplayTag;
    QPlainTextEdit* mmoDebug;
    QPushButton* btnClear;
    QPushButton* btnStop;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const TForm1Options& options);
    void FormShow();
    void BuildTabs();
    void WirePanels();
    void OnTabShown(int index);
    void sbDrawPanel(QPainter& painter, const QRect& rect, const QString& text);

    TProcessFlags FFlags;
    TTiming FTiming;
    std::unique_ptr<TPrompter> FOwnedPrompter;
    std::unique_ptr<TSerialPortLister> FOwnedLister;
    TPrompter* FPrompter = nullptr;
    TSerialPortLister* FLister = nullptr;
    TForm1Dialogs FDialogs;
    QString FSettingsPath;
    bool FTerminated = false;
    bool FShown = false;
    bool FClosed = false;
    // Name pools kept here when the pre-setting dialog is not there to hold them.
    QStringList FInputNames;
    QStringList FOutputNames;

    TQMCOMControl* FLink = nullptr;
    TCommandRunner* FRunner = nullptr;
    TStatusBar* sb = nullptr;
    TTabContainer* pcContainer = nullptr;
    QTimer* tmr = nullptr;
    TConnectionPanel* FConnection = nullptr;
    TDeviceStatusPanel* FDeviceStatus = nullptr;
    TPortTagPanel* FPortTags = nullptr;
    TSettingPanel* FSetting = nullptr;
    TEdidPanel* FEdid = nullptr;
    TAdvancedPanel* FAdvanced = nullptr;
    TFirmwarePanel* FFirmware = nullptr;
    TTcpModulePanel* FTcpModule = nullptr;
    TTcpDeviceActions* FTcpDevices = nullptr;
    TTrafficWindow* FTraffic = nullptr; // Ctrl+Shift+T
};
