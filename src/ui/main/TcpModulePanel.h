#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;
class TCommandRunner;
class TfrmEnterYes;

// The TCP module groups of the "Advanced" tab: the module's version, address
// mode and address read over the serial link, and its reset to the default
// address, confirmed by typing "Yes".
class TTcpModulePanel : public QWidget
{
    Q_OBJECT
public:
    explicit TTcpModulePanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // The Connect action of the connection panel; the typed confirmation.
    std::function<void()> ConnectAction;
    std::function<TfrmEnterYes*()> ConfirmDialog;

    void btnQueryTCPModInfoClick();
    void btnResetClick();
    // Follows the serial group's enabling and caption colour.
    void SetModuleControlsEnabled(bool enabled, const QColor& caption);

    QGroupBox* gbTCPModInfo;
    QLabel* lblVersion;
    QLabel* lblDHCP;
    QLabel* lblIPAddr;
    QPushButton* btnQueryTCPModInfo;
    QGroupBox* gbResetTCPMod;
    QPushButton* btnReset;

private:
    // Connects on demand and checks the idle flag; false: leave it.
    bool MayStart();

    TCommandRunner* FRunner;
};
