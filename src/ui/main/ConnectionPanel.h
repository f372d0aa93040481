#pragma once

#include "link/Constants.h"

#include <QColor>
#include <QWidget>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TCommandRunner;
class TPortTagPanel;
class TQMCOMControl;
class TSerialPortLister;

// Upper left of the "General" tab: control mode, serial port, TCP device list
// and the Connect action the command wrapper also connects through.
class TConnectionPanel : public QWidget
{
    Q_OBJECT
public:
    TConnectionPanel(TCommandRunner* runner, TSerialPortLister* lister, TPortTagPanel* tags,
                     QWidget* parent = nullptr);

    // The Connect action: toggles the link.
    void btnConnectClick();
    void rbCOMModeClick();
    void rbLANModeClick();
    void cbLANDeviceChange();
    void btnDeleteDeviceClick();
    void RefreshComPorts();
    void UpdateModeControls(TControlMode mode, bool busy);
    // Brings the plug, caption and panel 1 in line with the link when the
    // link dropped by itself (peer closed, adapter pulled).
    void SyncConnectionState();

    // MAC field of the selected device entry; keys the per-device tag sections.
    QString CurrentMAC() const { return FCurrentMAC; }

    // Device list, kept sorted.
    void SetDevices(const QStringList& entries);
    void AddDevice(const QString& entry);
    QStringList Devices() const;
    // Selects the entry with exactly that text, else the first one.
    void SelectDevice(const QString& entry);
    // Selects the serial port of that name, else the first one.
    void SelectComPort(const QString& name);
    bool ShownConnected() const { return FShownConnected; }

    // Told when the mode controls change: whether the window is not busy,
    // whether the serial group is enabled, and that group's caption colour.
    std::function<void(bool notBusy, bool comEnabled, const QColor& comCaption)>
        ModeControlsChanged;

    static QColor CaptionColour(bool enabled);

    QGroupBox* gbModeSelect;
    QRadioButton* rbCOMMode;
    QRadioButton* rbLANMode;
    QGroupBox* gbCOMMode;
    QLabel* lblPort;
    QComboBox* cbCOMList;
    QGroupBox* gbLANMode;
    QComboBox* cbLANDevice;
    QPushButton* btnDeleteDevice;
    QPushButton* btnSearch;
    QPushButton* btnConfig;
    QGroupBox* gbConnection;
    QLabel* imgDisconnected;
    QLabel* imgConnected;
    QPushButton* btnConnect;

private:
    // While a connect waits or a command runs on the open link, the mode and
    // the device stay: the hint goes to panel 3 and true comes back.
    bool RefuseLinkChange();
    void ShowConnectionState();
    void SetComPortItems(const QStringList& names);

    TCommandRunner* FRunner;
    TQMCOMControl* FLink;
    TSerialPortLister* FLister;
    TPortTagPanel* FTags;
    QString FCurrentMAC;
    bool FShownConnected = false;
    QString FDeviceEntry; // the entry the link and the tags were set from
};
