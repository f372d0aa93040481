#include "EnterYes.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmEnterYes::TfrmEnterYes(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    setWindowTitle(QStringLiteral("Confirm to Reset"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    auto* gb = new QGroupBox(QStringLiteral("Confirmation"));
    auto* box = new QVBoxLayout(gb);
    box->addWidget(new QLabel(
        QStringLiteral("Enter 'Yes' in the following edit box to confirm Reset Default process.")));
    edtYes = new QLineEdit;
    edtYes->setAccessibleName(QStringLiteral("Confirmation text"));
    box->addWidget(edtYes);
    btnYes = new QPushButton(QStringLiteral("Yes"));
    btnNo = new QPushButton(QStringLiteral("No"));
    btnYes->setDefault(true);
    btnYes->setAutoDefault(true);
    btnNo->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btnYes);
    row->addWidget(btnNo);
    box->addLayout(row);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(gb);
    connect(btnYes, &QPushButton::clicked, this, [this] { btnYesClick(); });
    connect(btnNo, &QPushButton::clicked, this, [this] { done(mrNo); });
}

void TfrmEnterYes::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget()) {
        const QRect p = parentWidget()->window()->frameGeometry();
        move(p.center() - rect().center());
    }
    edtYes->clear();
    edtYes->setFocus();
}

void TfrmEnterYes::btnYesClick()
{
    if (edtYes->text() == QLatin1String("Yes")) {
        done(mrYes);
        return;
    }
    edtYes->setFocus();
}

void TfrmEnterYes::reject()
{
    done(mrNo);
}

void TfrmEnterYes::closeEvent(QCloseEvent* event)
{
    if (result() != mrYes) setResult(mrNo);
    QDialog::closeEvent(event);
}
