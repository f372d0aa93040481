#pragma once

#include <QDialog>

// The device search wizard. The main window forwards the module
// notifications to it (code 3024).
class TfrmSearch : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmSearch(QWidget* parent = nullptr);

    void WizardNotify(int code, qintptr wParam, qintptr lParam);
};
