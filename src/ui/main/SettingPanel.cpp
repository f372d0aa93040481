#include "SettingPanel.h"

#include "CommandRunner.h"

TSettingPanel::TSettingPanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
}

void TSettingPanel::SetPreSettings(const std::array<TPreSetting, 8>& presets)
{
    FPreSettings = presets;
    FSelectedPreSetting = -1;
}

void TSettingPanel::tsSettingShow()
{
    if (FRunner->PowerFlag() == 0) return;
    if (FSelectedPreSetting < 0) FSelectedPreSetting = 0;
    update();
    RefreshRouting();
    update();
    RefreshAudioSources();
}

bool TSettingPanel::RefreshRouting()
{
    return true;
}
bool TSettingPanel::RefreshAudioSources()
{
    return true;
}
void TSettingPanel::SetDisplayDigits(int) {}
void TSettingPanel::FixPreSettingColumns() {}
void TSettingPanel::SetAllOutputsPortCount(int) {}
