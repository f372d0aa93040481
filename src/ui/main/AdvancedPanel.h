#pragma once

#include <QColor>
#include <QWidget>

class TCommandRunner;

// The "Advanced" tab: the matrix's on/off switches and the TCP module groups.
class TAdvancedPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TAdvancedPanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // Reads the switch states back from the matrix; false on the first failure.
    virtual bool RefreshSwitches();
    // The TCP module groups follow the serial group's enabling and caption colour.
    virtual void SetModuleControlsEnabled(bool enabled, const QColor& caption);

protected:
    TCommandRunner* FRunner;
};
