#pragma once

#include <QDialog>
#include <QStringList>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TPrompter;

// The TCP configuration dialog: device tag, automatic or static address,
// address, gateway and mask octets, and the module's MAC (read-only here).
// Results: 1 from "OK", 2 otherwise.
class TfrmEditLAN : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmEditLAN(QWidget* parent = nullptr);

    void SetPrompter(TPrompter* prompter) { FPrompter = prompter; }

    // Enables the address rows for "Static IP", disables them for "Auto IP".
    void ApplyMode(bool staticIP);
    void btnResetClick();
    void btnOKClick();
    // Octet texts of one row (IP, gateway, mask), joined by ".".
    QString Address(int row) const;
    void SetAddress(int row, const QStringList& octets);
    QStringList MacTexts() const;

    QLineEdit* leDeviceTag;
    QLabel* lblDevTagLen;
    QRadioButton* rbDHCP;
    QRadioButton* rbStaticIP;
    std::array<QLineEdit*, 4> edtIPField;
    std::array<QLineEdit*, 4> edtGWField;
    std::array<QLineEdit*, 4> edtSNMField;
    std::array<QLineEdit*, 6> edtMACField;
    std::array<QLabel*, 3> lblRow;
    QList<QLabel*> lblDots;
    QPushButton* btnReset;
    QPushButton* btnOK;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    std::array<QLineEdit*, 4>& Row(int row);
    TPrompter* FPrompter = nullptr;
};
