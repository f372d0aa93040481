#pragma once

#include "link/Constants.h"
#include "settings/SettingsFile.h"

#include <QWidget>
#include <array>
#include <functional>

class QGroupBox;
class QLineEdit;
class QPushButton;
class TCommandRunner;
class TfrmPreSettingEdit;

// The "Port Tag" tab: the eight tag fields that name what is plugged into each
// port. The fields hold the current tags; an empty field means no tag.
class TPortTagPanel : public QWidget
{
    Q_OBJECT
public:
    TPortTagPanel(TCommandRunner* runner, const QString& settingsPath, QWidget* parent = nullptr);

    TPortTags Tags() const;
    void SetTags(const TPortTags& tags);
    void ClearPortTags();
    void LoadPortTags(TControlMode mode, const QString& mac);
    // Shows the refusal and returns false when the file cannot be written.
    bool SavePortTags(TControlMode mode, const QString& mac);

    // "&Edit" and "E&dit": the tags through the pre-setting dialog, then saved
    // for the current control path.
    void btnEditInputPortTagClick();
    void btnEditOutputPortTagClick();

    // What the tab reads from the rest of the window.
    std::function<TfrmPreSettingEdit*()> EditDialog;
    std::function<QString()> CurrentMAC;

    QGroupBox* gbInputTags;
    QGroupBox* gbOutputTags;
    std::array<QLineEdit*, 4> leInputTag;
    std::array<QLineEdit*, 4> leOutputTag;
    QPushButton* btnEditInputPortTag;
    QPushButton* btnEditOutputPortTag;

private:
    void EditTags(bool inputs);

    TCommandRunner* FRunner;
    QString FSettingsPath;
};
