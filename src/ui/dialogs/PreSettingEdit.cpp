#include "PreSettingEdit.h"

static QStringList Sorted(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

TfrmPreSettingEdit::TfrmPreSettingEdit(QWidget* parent) : QDialog(parent)
{
    setModal(true);
}

void TfrmPreSettingEdit::SetInputNames(const QStringList& names)
{
    FInputNames = Sorted(names);
}
void TfrmPreSettingEdit::SetOutputNames(const QStringList& names)
{
    FOutputNames = Sorted(names);
}
