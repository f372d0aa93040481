#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// The typed confirmation dialog: proceeds only when "Yes" is typed.
// Results: 6 confirmed, 7 refused.
class TfrmEnterYes : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmEnterYes(QWidget* parent = nullptr);

    static constexpr int mrYes = 6;
    static constexpr int mrNo = 7;

    void btnYesClick();

    QLineEdit* edtYes;
    QPushButton* btnYes;
    QPushButton* btnNo;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
};
