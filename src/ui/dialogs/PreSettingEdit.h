#pragma once

#include <QDialog>
#include <QStringList>

// Edits port tags and pre-settings. Holds the pools of device and display
// names offered by its name combos (kept sorted).
class TfrmPreSettingEdit : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmPreSettingEdit(QWidget* parent = nullptr);

    QStringList InputNames() const { return FInputNames; }
    void SetInputNames(const QStringList& names);
    QStringList OutputNames() const { return FOutputNames; }
    void SetOutputNames(const QStringList& names);

private:
    QStringList FInputNames;
    QStringList FOutputNames;
};
