#include "SettingPanel.h"

#include "AudioSourcePanel.h"
#include "CommandRunner.h"
#include "Prompter.h"
#include "RoutingPanel.h"
#include "link/Commands.h"
#include "ui/dialogs/PreSettingEdit.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
const char* const SelectItem = "Please select item.";

QString InputText(const TPortTags& tags, int n)
{
    const QString& tag = tags.In[size_t(n - 1)];
    return tag.isEmpty() ? QStringLiteral("In%1").arg(n)
                         : QStringLiteral("In%1 - [%2]").arg(n).arg(tag);
}

QString OutputLabel(const TPortTags& tags, int n)
{
    const QString& tag = tags.Out[size_t(n - 1)];
    return tag.isEmpty() ? QStringLiteral("Out%1 from").arg(n)
                         : QStringLiteral("Out%1 - [%2] from").arg(n).arg(tag);
}
} // namespace

TSettingPanel::TSettingPanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
    FRouting = new TRoutingPanel(runner);
    FAudio = new TAudioSourcePanel(runner);

    gbPreSettings = new QGroupBox(QStringLiteral("Pre-Settings"));
    lvPreSetting = new QTableWidget(8, 5);
    lvPreSetting->setAccessibleName(QStringLiteral("Pre-Settings"));
    lvPreSetting->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Output1"),
                                             QStringLiteral("Output2"), QStringLiteral("Output3"),
                                             QStringLiteral("Output4")});
    lvPreSetting->verticalHeader()->hide();
    lvPreSetting->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvPreSetting->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPreSetting->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPreSetting->setShowGrid(true);
    lvPreSetting->verticalHeader()->setDefaultSectionSize(22);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            lvPreSetting->setItem(r, c, item);
        }
    FixPreSettingColumns();
    btnPreEdit = new QPushButton(QStringLiteral("&Edit"));
    btnSet = new QPushButton(QStringLiteral("&Set"));
    connect(btnPreEdit, &QPushButton::clicked, this, [this] { btnPreEditClick(); });
    connect(btnSet, &QPushButton::clicked, this, [this] { btnSetClick(); });
    connect(lvPreSetting, &QTableWidget::cellDoubleClicked, this, [this] { btnPreEditClick(); });
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnPreEdit);
    buttons->addWidget(btnSet);
    buttons->addStretch();
    auto* pre = new QHBoxLayout(gbPreSettings);
    pre->addWidget(lvPreSetting);
    pre->addLayout(buttons);
    FRouting->AddLeaveArea(gbPreSettings);
    FRouting->AddLeaveArea(lvPreSetting->viewport());

    auto* lower = new QHBoxLayout;
    lower->addWidget(gbPreSettings, 0, Qt::AlignTop);
    lower->addWidget(FAudio, 0, Qt::AlignTop);
    lower->addStretch();
    auto* column = new QVBoxLayout(this);
    column->addWidget(FRouting);
    column->addLayout(lower);
    column->addStretch();
}

void TSettingPanel::FixPreSettingColumns()
{
    QHeaderView* h = lvPreSetting->horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->resizeSection(0, 110);
    for (int c = 1; c < 5; ++c)
        h->resizeSection(c, 75);
    h->setDefaultAlignment(Qt::AlignCenter);
    const int width = 110 + 4 * 75 + 2 * lvPreSetting->frameWidth();
    lvPreSetting->setFixedWidth(width);
    lvPreSetting->setFixedHeight(h->height() + 8 * 22 + 2 * lvPreSetting->frameWidth());
    lvPreSetting->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvPreSetting->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TSettingPanel::ShowRow(int row)
{
    const TPreSetting& p = FPreSettings[size_t(row)];
    lvPreSetting->item(row, 0)->setText(p.Name);
    for (int n = 1; n <= 4; ++n)
        lvPreSetting->item(row, n)->setText(p.Values.value(n - 1));
}

void TSettingPanel::SetPreSettings(const std::array<TPreSetting, 8>& presets)
{
    FPreSettings = presets;
    for (int r = 0; r < 8; ++r)
        ShowRow(r);
    lvPreSetting->clearSelection();
    lvPreSetting->setCurrentCell(-1, -1);
}

int TSettingPanel::SelectedPreSetting() const
{
    const QList<QTableWidgetSelectionRange> ranges = lvPreSetting->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void TSettingPanel::SelectPreSetting(int index)
{
    if (index < 0 || index >= 8) {
        lvPreSetting->clearSelection();
        return;
    }
    lvPreSetting->selectRow(index);
}

void TSettingPanel::tsSettingShow()
{
    if (FRunner->PowerFlag() == 0) return;
    if (SelectedPreSetting() < 0) SelectPreSetting(0);
    update();
    RefreshRouting();
    update();
    RefreshAudioSources();
}

bool TSettingPanel::RefreshRouting()
{
    return FRouting->RefreshRouting();
}

bool TSettingPanel::RefreshAudioSources()
{
    return FAudio->RefreshAudioSources();
}

void TSettingPanel::SetDisplayDigits(int digits)
{
    FRouting->SetDisplayDigits(digits);
}

void TSettingPanel::SetAllOutputsPortCount(int count)
{
    FRouting->SetAllOutputsPortCount(count);
}

void TSettingPanel::btnPreEditClick()
{
    const int row = SelectedPreSetting();
    if (row < 0) {
        FRunner->Prompter()->Information(QLatin1String(SelectItem));
        return;
    }
    TfrmPreSettingEdit* dlg = EditDialog ? EditDialog() : nullptr;
    if (!dlg) return;
    dlg->SetPrompter(FRunner->Prompter());
    const TPortTags tags = Tags ? Tags() : TPortTags();
    TPreSetting& p = FPreSettings[size_t(row)];
    dlg->LayoutForPreSetting();
    dlg->edtSettingName->setText(p.Name);
    QStringList inputs;
    for (int n = 1; n <= 4; ++n)
        inputs << InputText(tags, n);
    for (int n = 1; n <= 4; ++n) {
        QComboBox* cb = dlg->cbOutput[size_t(n - 1)];
        cb->clear();
        cb->addItems(inputs);
        dlg->lblOutput[size_t(n - 1)]->setText(OutputLabel(tags, n));
        bool isNumber = false;
        const int v = p.Values.value(n - 1).toInt(&isNumber);
        // A number without an input (hand-edited file) opens like a missing one.
        cb->setCurrentIndex(isNumber && v >= 1 && v <= 4 ? v - 1 : n - 1);
    }
    dlg->cbFromDeviceOfAllOutput->clear();
    dlg->cbFromDeviceOfAllOutput->addItems(QStringList{QStringLiteral("Select Input")} + inputs +
                                           QStringList{QStringLiteral("Port to Port")});
    dlg->cbFromDeviceOfAllOutput->setCurrentIndex(0);
    dlg->setWindowTitle(QStringLiteral("Edit Output setting"));
    if (!FRunner->Prompter()->ExecDialog(dlg)) return;
    p.Name = dlg->edtSettingName->text();
    while (p.Values.size() < 4)
        p.Values << QString::number(p.Values.size() + 1);
    for (int n = 1; n <= 4; ++n)
        p.Values[n - 1] = QString::number(dlg->cbOutput[size_t(n - 1)]->currentIndex() + 1);
    ShowRow(row);
}

void TSettingPanel::btnSetClick()
{
    const int row = SelectedPreSetting();
    if (row < 0) {
        FRunner->Prompter()->Information(QLatin1String(SelectItem));
        return;
    }
    const TPreSetting& p = FPreSettings[size_t(row)];
    QList<QPair<int, int>> routes;
    for (int n = 1; n <= 4; ++n) {
        const QString text = p.Values.value(n - 1);
        bool isNumber = false;
        const int v = text.toInt(&isNumber);
        if (!isNumber || v < 1 || v > PortCount) {
            // Only a hand-edited file holds such a value; send nothing.
            FRunner->Prompter()->Information(
                QStringLiteral("Pre-setting %1 (%2): the input \"%3\" for Output%4 is not an "
                               "input of the matrix (1 to 4).")
                    .arg(QString::number(row + 1), p.Name, text, QString::number(n)));
            return;
        }
        routes.append({n, v});
    }
    FRouting->RunChain(routes);
}
