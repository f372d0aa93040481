#pragma once

#include "link/Constants.h"
#include "settings/SettingsFile.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;
class TCommandRunner;

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

    QGroupBox* gbInputTags;
    QGroupBox* gbOutputTags;
    std::array<QLineEdit*, 4> leInputTag;
    std::array<QLineEdit*, 4> leOutputTag;
    QPushButton* btnEditInputPortTag;
    QPushButton* btnEditOutputPortTag;

private:
    TCommandRunner* FRunner;
    QString FSettingsPath;
};
