#include "EditLAN.h"

#include "link/Constants.h"
#include "ui/main/Prompter.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TfrmEditLAN::TfrmEditLAN(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    setWindowTitle(QStringLiteral("TCP configuration"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    auto* gb = new QGroupBox(QStringLiteral("Device information"));
    auto* grid = new QGridLayout(gb);
    leDeviceTag = new QLineEdit;
    leDeviceTag->setMaxLength(32);
    leDeviceTag->setAccessibleName(QStringLiteral("Device Tag"));
    grid->addWidget(new QLabel(QStringLiteral("Device Tag")), 0, 0);
    grid->addWidget(leDeviceTag, 0, 1, 1, 11);
    lblDevTagLen = new QLabel(QStringLiteral("*Max tag length: 32 characters"));
    grid->addWidget(lblDevTagLen, 1, 1, 1, 11);
    rbDHCP = new QRadioButton(QStringLiteral("Auto IP"));
    rbStaticIP = new QRadioButton(QStringLiteral("Static IP"));
    rbStaticIP->setChecked(true);
    grid->addWidget(rbDHCP, 2, 1, 1, 4);
    grid->addWidget(rbStaticIP, 2, 5, 1, 4);

    const char* const rowNames[3] = {"IP address", "Gateway", "Subnet mask"};
    auto octetEdit = [](const QString& name) {
        auto* e = new QLineEdit;
        e->setMaxLength(3);
        e->setFixedWidth(40);
        e->setAccessibleName(name);
        e->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), e));
        connect(e, &QLineEdit::editingFinished, e, [e] { e->setText(ClampEditByte(e->text())); });
        return e;
    };
    for (int r = 0; r < 3; ++r) {
        lblRow[size_t(r)] = new QLabel(QLatin1String(rowNames[r]));
        grid->addWidget(lblRow[size_t(r)], 3 + r, 0);
        for (int i = 0; i < 4; ++i) {
            QLineEdit* e =
                octetEdit(QStringLiteral("%1 field %2").arg(QLatin1String(rowNames[r])).arg(i + 1));
            Row(r)[size_t(i)] = e;
            e->setEnabled(false);
            grid->addWidget(e, 3 + r, 1 + 2 * i);
            if (i < 3) {
                auto* dot = new QLabel(QStringLiteral("."));
                dot->setEnabled(false);
                lblDots << dot;
                grid->addWidget(dot, 3 + r, 2 + 2 * i);
            }
        }
    }
    grid->addWidget(new QLabel(QStringLiteral("MAC")), 6, 0);
    auto* macRow = new QHBoxLayout;
    for (int i = 0; i < 6; ++i) {
        auto* e = new QLineEdit;
        e->setMaxLength(2);
        e->setFixedWidth(30);
        e->setAccessibleName(QStringLiteral("MAC field %1").arg(i + 1));
        edtMACField[size_t(i)] = e;
        macRow->addWidget(e);
        if (i < 5) macRow->addWidget(new QLabel(QStringLiteral("-")));
    }
    macRow->addStretch();
    grid->addLayout(macRow, 6, 1, 1, 11);

    btnReset = new QPushButton(QStringLiteral("Reset"));
    btnOK = new QPushButton(QStringLiteral("OK"));
    btnOK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnReset);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(gb);
    outer->addLayout(buttons);

    connect(rbDHCP, &QRadioButton::clicked, this, [this] { ApplyMode(false); });
    connect(rbStaticIP, &QRadioButton::clicked, this, [this] { ApplyMode(true); });
    connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
}

std::array<QLineEdit*, 4>& TfrmEditLAN::Row(int row)
{
    return row == 0 ? edtIPField : row == 1 ? edtGWField : edtSNMField;
}

void TfrmEditLAN::ApplyMode(bool staticIP)
{
    for (int r = 0; r < 3; ++r) {
        lblRow[size_t(r)]->setEnabled(staticIP);
        for (QLineEdit* e : Row(r))
            e->setEnabled(staticIP);
    }
    for (QLabel* dot : lblDots)
        dot->setEnabled(staticIP);
}

QString TfrmEditLAN::Address(int row) const
{
    QStringList octets;
    for (QLineEdit* e : const_cast<TfrmEditLAN*>(this)->Row(row))
        octets << e->text();
    return octets.join(QLatin1Char('.'));
}

void TfrmEditLAN::SetAddress(int row, const QStringList& octets)
{
    for (int i = 0; i < 4; ++i)
        Row(row)[size_t(i)]->setText(octets.value(i, QStringLiteral("0")));
}

QStringList TfrmEditLAN::MacTexts() const
{
    QStringList parts;
    for (QLineEdit* e : edtMACField)
        parts << e->text();
    return parts;
}

void TfrmEditLAN::btnResetClick()
{
    if (FPrompter && !FPrompter->Confirm(QStringLiteral("Sure to reset TCP configurations?")))
        return;
    leDeviceTag->setText(QStringLiteral("TCP Module"));
    rbStaticIP->setChecked(true);
    ApplyMode(true);
    SetAddress(0, QString::fromLatin1(DefaultModuleIP).split(QLatin1Char('.')));
    SetAddress(1, {QStringLiteral("192"), QStringLiteral("168"), QStringLiteral("0"),
                   QStringLiteral("1")});
    SetAddress(2, {QStringLiteral("255"), QStringLiteral("255"), QStringLiteral("255"),
                   QStringLiteral("0")});
}

void TfrmEditLAN::btnOKClick()
{
    for (int r = 0; r < 3; ++r)
        for (QLineEdit* e : Row(r))
            e->setText(ClampEditByte(e->text()));
    done(1);
}

void TfrmEditLAN::reject()
{
    done(2);
}

void TfrmEditLAN::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    QRadioButton* chosen = rbDHCP->isChecked() ? rbDHCP : rbStaticIP;
    chosen->setFocus();
    ApplyMode(chosen == rbStaticIP);
}
