#pragma once

#include <QDialog>
#include <QStringList>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TPrompter;

// Edits port tags and pre-settings, one group at a time. Holds the pools of
// device and display names offered by its name combos (kept sorted).
class TfrmPreSettingEdit : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmPreSettingEdit(QWidget* parent = nullptr);

    void SetPrompter(TPrompter* prompter) { FPrompter = prompter; }

    QStringList InputNames() const { return FInputNames; }
    void SetInputNames(const QStringList& names);
    QStringList OutputNames() const { return FOutputNames; }
    void SetOutputNames(const QStringList& names);

    // The two layouts: tag editing (input or output group) and pre-setting
    // editing.
    void LayoutForTags(bool inputs);
    void LayoutForPreSetting();

    void btnOKClick();
    void btnDeleteInput1TagClick(int row);
    void btnDeleteOutput1TagClick(int row);
    void cbFromDeviceOfAllOutputChange(int index);

    QGroupBox* gbInputTags;
    QGroupBox* gbOutputTags;
    QGroupBox* gbOutputSetting;
    std::array<QComboBox*, 4> cbInputTag{};
    std::array<QComboBox*, 4> cbOutputTag{};
    std::array<QToolButton*, 4> btnDeleteInputTag{};
    std::array<QToolButton*, 4> btnDeleteOutputTag{};
    QLineEdit* edtSettingName;
    std::array<QLabel*, 4> lblOutput{};
    std::array<QComboBox*, 4> cbOutput{};
    QComboBox* cbFromDeviceOfAllOutput;
    QPushButton* btnOK;
    QPushButton* btnCancel;

private:
    QGroupBox* TagGroup(const QString& title, const QString& label,
                        std::array<QComboBox*, 4>& combos, std::array<QToolButton*, 4>& deletes,
                        bool inputs);
    void SetPool(std::array<QComboBox*, 4>& combos, QStringList& pool, const QStringList& names);
    void DeleteName(bool inputs, int row);

    TPrompter* FPrompter = nullptr;
    QStringList FInputNames;
    QStringList FOutputNames;
};
