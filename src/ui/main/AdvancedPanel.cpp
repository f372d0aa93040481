#include "AdvancedPanel.h"

TAdvancedPanel::TAdvancedPanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
}

bool TAdvancedPanel::RefreshSwitches()
{
    return true;
}

void TAdvancedPanel::SetModuleControlsEnabled(bool, const QColor&) {}
