#pragma once

#include "settings/SettingsFile.h"

#include <QWidget>
#include <array>
#include <functional>

class QGroupBox;
class QPushButton;
class QTableWidget;
class TAudioSourcePanel;
class TCommandRunner;
class TRoutingPanel;
class TfrmPreSettingEdit;

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
    // Selected row 0..7, -1 for none.
    int SelectedPreSetting() const;
    void SelectPreSetting(int index);

    void btnPreEditClick();
    void btnSetClick();

    TRoutingPanel* Routing() const { return FRouting; }
    TAudioSourcePanel* Audio() const { return FAudio; }

    // What the tab reads from the rest of the window.
    std::function<TfrmPreSettingEdit*()> EditDialog;
    std::function<TPortTags()> Tags;

    QGroupBox* gbPreSettings;
    QTableWidget* lvPreSetting;
    QPushButton* btnPreEdit;
    QPushButton* btnSet;

protected:
    void ShowRow(int row);

    TCommandRunner* FRunner;
    TRoutingPanel* FRouting;
    TAudioSourcePanel* FAudio;
    std::array<TPreSetting, 8> FPreSettings;
};
