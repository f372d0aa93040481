#pragma once

#include "link/Packet.h"
#include "widgets/Pictures.h"

#include <QWidget>
#include <array>
#include <cstdint>

class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;
class TAdvancedPanel;
class TCommandRunner;

// Right side of the "General" tab: device information, the power button and
// the status refresh. The power state read here is the runner's power flag.
class TDeviceStatusPanel : public QWidget
{
    Q_OBJECT
public:
    TDeviceStatusPanel(TCommandRunner* runner, TAdvancedPanel* advanced, QWidget* parent = nullptr);

    bool QueryPowerStatus();
    void SetPower(bool on);
    void bbPowerClick();
    // btnGetDevStatusClick.
    void RefreshDeviceStatus();
    // 0x0F: a display is attached; 0xF0: none; 0xFF: the query failed.
    uint8_t QueryOutputConnection(int n);
    void ResetDeviceLabels();

    TPowerPicture PowerPictureShown() const { return FPicture; }

    QGroupBox* gbRefresh;
    QPushButton* btnGetDevStatus;
    QGroupBox* gbDeviceStatus;
    QLabel* lblDevice;
    QLabel* lblVersion;
    std::array<QLabel*, 4> lblInput;
    std::array<QLabel*, 4> lblHDMIOutput;
    std::array<QLabel*, 4> lblHDBTOutput;
    QToolButton* bbPower;
    QLabel* lblGuide;

private:
    void ShowPowerPicture(TPowerPicture picture);
    void ShowConnection(QLabel* label, const QString& prefix, int n, const TCommandReply& r);

    TCommandRunner* FRunner;
    TAdvancedPanel* FAdvanced;
    TPowerPicture FPicture = ppDesign;
};
