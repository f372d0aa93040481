#include "PortTagPanel.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "link/QMCOMControl.h"
#include "ui/dialogs/PreSettingEdit.h"

#include <QComboBox>

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

static QGroupBox* TagGroup(const QString& title, const QString& label,
                           std::array<QLineEdit*, 4>& fields, QPushButton* button)
{
    auto* gb = new QGroupBox(title);
    auto* form = new QFormLayout;
    for (int n = 1; n <= 4; ++n) {
        auto* edit = new QLineEdit;
        edit->setReadOnly(true);
        edit->setMinimumWidth(260);
        fields[size_t(n - 1)] = edit;
        form->addRow(label + QString::number(n), edit);
    }
    auto* box = new QVBoxLayout(gb);
    box->addLayout(form);
    box->addWidget(button, 0, Qt::AlignRight);
    box->addStretch();
    return gb;
}

TPortTagPanel::TPortTagPanel(TCommandRunner* runner, const QString& settingsPath, QWidget* parent)
    : QWidget(parent), FRunner(runner), FSettingsPath(settingsPath)
{
    btnEditInputPortTag = new QPushButton(QStringLiteral("&Edit"));
    btnEditOutputPortTag = new QPushButton(QStringLiteral("E&dit"));
    gbInputTags = TagGroup(QStringLiteral("Input port tags"), QStringLiteral("Tag of Input"),
                           leInputTag, btnEditInputPortTag);
    gbOutputTags = TagGroup(QStringLiteral("Output port tags"), QStringLiteral("Tag of Output"),
                            leOutputTag, btnEditOutputPortTag);
    connect(btnEditInputPortTag, &QPushButton::clicked, this,
            [this] { btnEditInputPortTagClick(); });
    connect(btnEditOutputPortTag, &QPushButton::clicked, this,
            [this] { btnEditOutputPortTagClick(); });
    auto* row = new QHBoxLayout(this);
    row->addWidget(gbInputTags, 1, Qt::AlignTop);
    row->addWidget(gbOutputTags, 1, Qt::AlignTop);
}

TPortTags TPortTagPanel::Tags() const
{
    TPortTags tags;
    for (size_t i = 0; i < 4; ++i) {
        tags.In[i] = leInputTag[i]->text();
        tags.Out[i] = leOutputTag[i]->text();
    }
    return tags;
}

void TPortTagPanel::SetTags(const TPortTags& tags)
{
    for (size_t i = 0; i < 4; ++i) {
        leInputTag[i]->setText(tags.In[i]);
        leOutputTag[i]->setText(tags.Out[i]);
    }
}

void TPortTagPanel::ClearPortTags()
{
    SetTags(TPortTags());
}

void TPortTagPanel::LoadPortTags(TControlMode mode, const QString& mac)
{
    SetTags(SettingsFile::LoadPortTags(FSettingsPath, mode, mac));
}

bool TPortTagPanel::SavePortTags(TControlMode mode, const QString& mac)
{
    QString error;
    if (SettingsFile::SavePortTags(FSettingsPath, mode, mac, Tags(), &error)) return true;
    FRunner->Prompter()->Error(error);
    return false;
}

void TPortTagPanel::btnEditInputPortTagClick()
{
    EditTags(true);
}

void TPortTagPanel::btnEditOutputPortTagClick()
{
    EditTags(false);
}

void TPortTagPanel::EditTags(bool inputs)
{
    TfrmPreSettingEdit* dlg = EditDialog ? EditDialog() : nullptr;
    if (!dlg) return;
    dlg->SetPrompter(FRunner->Prompter());
    dlg->LayoutForTags(inputs);
    dlg->setWindowTitle(inputs ? QStringLiteral("Edit Input port tags")
                               : QStringLiteral("Edit Output port tags"));
    std::array<QLineEdit*, 4>& fields = inputs ? leInputTag : leOutputTag;
    std::array<QComboBox*, 4>& combos = inputs ? dlg->cbInputTag : dlg->cbOutputTag;
    for (size_t i = 0; i < 4; ++i)
        combos[i]->setEditText(fields[i]->text());
    if (!FRunner->Prompter()->ExecDialog(dlg)) return;
    for (size_t i = 0; i < 4; ++i)
        fields[i]->setText(combos[i]->currentText());
    SavePortTags(FRunner->Link()->ControlMode(), CurrentMAC ? CurrentMAC() : QString());
}
