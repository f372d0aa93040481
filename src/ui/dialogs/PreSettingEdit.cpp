#include "PreSettingEdit.h"

#include "ui/main/Prompter.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

static QStringList Sorted(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

QGroupBox* TfrmPreSettingEdit::TagGroup(const QString& title, const QString& label,
                                        std::array<QComboBox*, 4>& combos,
                                        std::array<QToolButton*, 4>& deletes, bool inputs)
{
    auto* gb = new QGroupBox(title, this);
    auto* grid = new QGridLayout(gb);
    for (int n = 1; n <= 4; ++n) {
        auto* cb = new QComboBox;
        cb->setEditable(true);
        cb->setInsertPolicy(QComboBox::NoInsert);
        cb->setMinimumWidth(300);
        auto* del = new QToolButton;
        del->setText(QStringLiteral("\u00D7"));
        del->setAccessibleName(QStringLiteral("Delete name of %1%2").arg(label).arg(n));
        auto* lbl = new QLabel(label + QString::number(n));
        lbl->setBuddy(cb);
        combos[size_t(n - 1)] = cb;
        deletes[size_t(n - 1)] = del;
        grid->addWidget(lbl, n - 1, 0);
        grid->addWidget(cb, n - 1, 1);
        grid->addWidget(del, n - 1, 2);
        connect(del, &QToolButton::clicked, this, [this, inputs, n] {
            if (inputs)
                btnDeleteInput1TagClick(n);
            else
                btnDeleteOutput1TagClick(n);
        });
    }
    return gb;
}

TfrmPreSettingEdit::TfrmPreSettingEdit(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    gbInputTags =
        TagGroup(QStringLiteral("Input port tags"), QStringLiteral("Device name connect Input"),
                 cbInputTag, btnDeleteInputTag, true);
    gbOutputTags =
        TagGroup(QStringLiteral("Output port tags"), QStringLiteral("Display name connect Output"),
                 cbOutputTag, btnDeleteOutputTag, false);

    gbOutputSetting = new QGroupBox(QStringLiteral("Output setting"), this);
    auto* grid = new QGridLayout(gbOutputSetting);
    edtSettingName = new QLineEdit;
    auto* nameLabel = new QLabel(QStringLiteral("Setting name"));
    nameLabel->setBuddy(edtSettingName);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(edtSettingName, 0, 1);
    for (int n = 1; n <= 4; ++n) {
        auto* lbl = new QLabel(QStringLiteral("Out%1 from").arg(n));
        auto* cb = new QComboBox;
        cb->setMinimumWidth(280);
        lbl->setBuddy(cb);
        lblOutput[size_t(n - 1)] = lbl;
        cbOutput[size_t(n - 1)] = cb;
        grid->addWidget(lbl, n, 0);
        grid->addWidget(cb, n, 1);
    }
    cbFromDeviceOfAllOutput = new QComboBox;
    auto* allLabel = new QLabel(QStringLiteral("All Outputs from"));
    allLabel->setBuddy(cbFromDeviceOfAllOutput);
    grid->addWidget(allLabel, 5, 0);
    grid->addWidget(cbFromDeviceOfAllOutput, 5, 1);
    connect(cbFromDeviceOfAllOutput, &QComboBox::activated, this,
            [this](int index) { cbFromDeviceOfAllOutputChange(index); });

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnOK->resize(110, 30);
    btnCancel->resize(110, 30);
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    LayoutForPreSetting();
}

void TfrmPreSettingEdit::SetPool(std::array<QComboBox*, 4>& combos, QStringList& pool,
                                 const QStringList& names)
{
    pool = Sorted(names);
    for (QComboBox* cb : combos) {
        const QString text = cb->currentText();
        cb->clear();
        cb->addItems(pool);
        cb->setEditText(text);
    }
}

void TfrmPreSettingEdit::SetInputNames(const QStringList& names)
{
    SetPool(cbInputTag, FInputNames, names);
}

void TfrmPreSettingEdit::SetOutputNames(const QStringList& names)
{
    SetPool(cbOutputTag, FOutputNames, names);
}

void TfrmPreSettingEdit::LayoutForTags(bool inputs)
{
    gbOutputSetting->hide();
    gbInputTags->setVisible(inputs);
    gbOutputTags->setVisible(!inputs);
    QGroupBox* shown = inputs ? gbInputTags : gbOutputTags;
    shown->setGeometry(8, 8, 619, 168);
    setFixedSize(635, 245);
    btnOK->move(376, 184);
    btnCancel->move(496, 184);
}

void TfrmPreSettingEdit::LayoutForPreSetting()
{
    gbInputTags->hide();
    gbOutputTags->hide();
    gbOutputSetting->show();
    gbOutputSetting->setGeometry(8, 8, 554, 224);
    setFixedSize(570, 301);
    btnOK->move(296, 240);
    btnCancel->move(416, 240);
}

void TfrmPreSettingEdit::btnOKClick()
{
    auto merge = [](std::array<QComboBox*, 4>& combos) {
        QStringList pool;
        for (int i = 0; i < combos[0]->count(); ++i)
            pool << combos[0]->itemText(i);
        for (QComboBox* cb : combos) {
            const QString text = cb->currentText();
            if (!text.isEmpty() && !pool.contains(text)) pool << text;
        }
        return pool;
    };
    // Hidden, not invisible: the dialog itself need not be on screen.
    if (!gbInputTags->isHidden()) SetInputNames(merge(cbInputTag));
    if (!gbOutputTags->isHidden()) SetOutputNames(merge(cbOutputTag));
    accept();
}

void TfrmPreSettingEdit::DeleteName(bool inputs, int row)
{
    std::array<QComboBox*, 4>& combos = inputs ? cbInputTag : cbOutputTag;
    const QString kind = inputs ? QStringLiteral("Input") : QStringLiteral("Output");
    const QString name = combos[size_t(row - 1)]->currentText();
    if (name.isEmpty()) return;
    for (int n = 1; n <= 4; ++n)
        if (n != row && combos[size_t(n - 1)]->currentText() == name) {
            if (FPrompter)
                FPrompter->Information(kind +
                                       QStringLiteral(" port tag in use, can't be deleted."));
            return;
        }
    if (!FPrompter ||
        !FPrompter->Confirm(QStringLiteral("Sure to delete %1 port tag: [%2] ?").arg(kind, name)))
        return;
    QStringList& pool = inputs ? FInputNames : FOutputNames;
    QStringList rest = pool;
    rest.removeAll(name);
    combos[size_t(row - 1)]->setEditText(QString());
    SetPool(combos, pool, rest);
    combos[size_t(row - 1)]->setEditText(QString());
}

void TfrmPreSettingEdit::btnDeleteInput1TagClick(int row)
{
    DeleteName(true, row);
}

void TfrmPreSettingEdit::btnDeleteOutput1TagClick(int row)
{
    DeleteName(false, row);
}

void TfrmPreSettingEdit::cbFromDeviceOfAllOutputChange(int index)
{
    const int last = cbFromDeviceOfAllOutput->count() - 1;
    if (index <= 0) return;
    for (int n = 1; n <= 4; ++n)
        cbOutput[size_t(n - 1)]->setCurrentIndex(index == last ? n - 1 : index - 1);
}
