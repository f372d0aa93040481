#pragma once

#include "link/Commands.h"

#include <QColor>
#include <QWidget>
#include <array>

class QGroupBox;
class QRadioButton;
class QVBoxLayout;
class TCommandRunner;

// The "Advanced" tab: the matrix's on/off switches and the TCP module groups.
class TAdvancedPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TAdvancedPanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // Reads the switch states back from the matrix; false on the first failure.
    virtual bool RefreshSwitches();

    enum TSwitch { swIR = 0, swKeys = 1, swAPM = 2, swBeeper = 3 };
    // The handler the two buttons of a group share.
    void SwitchClick(TSwitch which);

    QGroupBox* gbIR;
    QGroupBox* gbKeys;
    QGroupBox* gbAPM;
    QGroupBox* gbBeeper;
    QRadioButton* rbIRDisable;
    QRadioButton* rbIREnable;
    QRadioButton* rbKeyLock;
    QRadioButton* rbKeyUnlock;
    QRadioButton* rbAPMOFF;
    QRadioButton* rbAPMON;
    QRadioButton* rbBeeperDisable;
    QRadioButton* rbBeeperEnable;
    // Set while the refresh moves the buttons, so nothing is sent for that.
    bool AdvancedGuard = false;

    // The column beside the switch groups, for the TCP module groups.
    QVBoxLayout* ModuleColumn() const { return FModuleColumn; }

protected:
    TCommandRunner* FRunner;

private:
    struct TSwitchGroup {
        QGroupBox* Group;
        QRadioButton* Off;
        QRadioButton* On;
    };
    TSwitchGroup Group(TSwitch which) const;
    void Select(TSwitch which, bool on);

    QVBoxLayout* FModuleColumn;
};
