#include "FirmwareMergeGroup.h"

#include "Prompter.h"
#include "link/FirmwareMerge.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace
{
QLineEdit* VersionEdit(const QString& name)
{
    auto* e = new QLineEdit;
    e->setAccessibleName(name);
    e->setMaxLength(3);
    e->setFixedWidth(40);
    // Digits only: every other key is dropped.
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    e->setValidator(new QRegularExpressionValidator(digits, e));
    return e;
}
} // namespace

TFirmwareMergeGroup::TFirmwareMergeGroup(TPrompter* prompter, QString* lastFolder,
                                         std::function<void(const QString&)> memo, QWidget* parent)
    : QGroupBox(QStringLiteral("Merge FW"), parent), FPrompter(prompter), FLastFolder(lastFolder),
      FMemo(std::move(memo))
{
    struct TRowText {
        const char* Label;
        const char* Ver1;
        const char* Ver2;
        int Tag;
    };
    static const TRowText texts[5] = {
        {"Open Main MCU FW", "Main Ver1", "Main Ver2", 1},
        {"Open Slave MCU1 FW", "Slave Ver1", "Slave Ver2", 11},
        {"Open IR MCU2 FW", "IR Ver1", "IR Ver2", 12},
        {"Open Panel MCU3 FW", "Panel Ver1", "Panel Ver2", 13},
        {"Open IDIR MCU4 FW", "IDIR Ver1", "IDIR Ver2", 14},
    };
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 5; ++i) {
        const TRowText& t = texts[i];
        const QString label = QLatin1String(t.Label);
        auto* path = new QLineEdit;
        path->setAccessibleName(label);
        auto* open = new QPushButton(QStringLiteral("..."));
        open->setFixedWidth(28);
        open->setAccessibleName(label);
        QLineEdit* v1 = VersionEdit(QLatin1String(t.Ver1));
        QLineEdit* v2 = VersionEdit(QLatin1String(t.Ver2));
        FRows[size_t(i)] = {path, v1, v2, t.Tag};
        grid->addWidget(new QLabel(label), i, 0);
        grid->addWidget(path, i, 1);
        grid->addWidget(open, i, 2);
        grid->addWidget(new QLabel(QLatin1String(t.Ver1)), i, 3);
        grid->addWidget(v1, i, 4);
        grid->addWidget(new QLabel(QLatin1String(t.Ver2)), i, 5);
        grid->addWidget(v2, i, 6);
        const int tag = t.Tag;
        connect(open, &QPushButton::clicked, this, [this, tag] { btnOpenMCUFWClick(tag); });
        if (i == 0)
            btnOpenMainMCUFW = open;
        else
            btnOpenSlaveMCUFW[size_t(i - 1)] = open;
    }
    grid->setColumnStretch(1, 1);
    btnMerge = new QPushButton(QStringLiteral("&Merge"));
    grid->addWidget(btnMerge, 5, 6);
    connect(btnMerge, &QPushButton::clicked, this, [this] { btnMergeClick(); });

    edtMainMCUFW = FRows[0].Path;
    edtSlaveMCU1FW = FRows[1].Path;
    edtSlaveMCU2FW = FRows[2].Path;
    edtSlaveMCU3FW = FRows[3].Path;
    edtSlaveMCU4FW = FRows[4].Path;
    leMainFWVer1 = FRows[0].Ver1;
    leMainFWVer2 = FRows[0].Ver2;
    leSlave1FWVer1 = FRows[1].Ver1;
    leSlave1FWVer2 = FRows[1].Ver2;
    leSlave2FWVer1 = FRows[2].Ver1;
    leSlave2FWVer2 = FRows[2].Ver2;
    leSlave3FWVer1 = FRows[3].Ver1;
    leSlave3FWVer2 = FRows[3].Ver2;
    leSlave4FWVer1 = FRows[4].Ver1;
    leSlave4FWVer2 = FRows[4].Ver2;
}

void TFirmwareMergeGroup::btnOpenMCUFWClick(int tag)
{
    for (const TRowEdits& row : FRows) {
        if (row.Tag != tag) continue;
        // These dialogs leave the last firmware folder alone.
        const QString folder =
            FLastFolder->isEmpty() ? QCoreApplication::applicationDirPath() : *FLastFolder;
        const QString path = FPrompter->OpenFile(QStringLiteral("Open FW binary file"), folder,
                                                 QStringLiteral("FW binary file(*.bin)"));
        if (path.isEmpty()) return;
        row.Path->setText(path);
        row.Path->setCursorPosition(int(path.size()));
        return;
    }
}

void TFirmwareMergeGroup::btnMergeClick()
{
    TFirmwareMerge merge;
    for (size_t i = 0; i < FRows.size(); ++i)
        merge.Inputs[i] = {FRows[i].Path->text(), FRows[i].Ver1->text(), FRows[i].Ver2->text()};
    merge.LastFolder = *FLastFolder;
    merge.Memo = FMemo;
    merge.ConfirmOverwrite = [this](const QString& question) {
        return FPrompter->Confirm(question);
    };
    merge.Run();
    // The rows show what the merge trimmed and normalised.
    for (size_t i = 0; i < FRows.size(); ++i) {
        FRows[i].Path->setText(merge.Inputs[i].Path);
        FRows[i].Ver1->setText(merge.Inputs[i].Ver1);
        FRows[i].Ver2->setText(merge.Inputs[i].Ver2);
    }
    *FLastFolder = merge.LastFolder;
}
