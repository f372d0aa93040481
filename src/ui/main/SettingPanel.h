#pragma once

#include "settings/SettingsFile.h"

#include <QWidget>
#include <array>

class TCommandRunner;

// The "Setting" tab: routing surface, pre-settings and audio sources.
class TSettingPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TSettingPanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // tsSettingShow.
    void tsSettingShow();
    bool RefreshRouting();
    bool RefreshAudioSources();
    // Start-up steps of the routing displays, the pre-settings list and the
    // context menu.
    void SetDisplayDigits(int digits);
    void FixPreSettingColumns();
    void SetAllOutputsPortCount(int count);

    const std::array<TPreSetting, 8>& PreSettings() const { return FPreSettings; }
    void SetPreSettings(const std::array<TPreSetting, 8>& presets);
    int SelectedPreSetting() const { return FSelectedPreSetting; }
    void SelectPreSetting(int index) { FSelectedPreSetting = index; }

protected:
    TCommandRunner* FRunner;
    std::array<TPreSetting, 8> FPreSettings;
    int FSelectedPreSetting = -1;
};
