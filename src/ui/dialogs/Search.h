#pragma once

#include <QDialog>
#include <QStringList>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class TPrompter;
class TQMCOMControl;
class TQMGauge;
class TQMPing;

// The device search wizard: searches the TCP modules by broadcast on its
// first activation, then, if nothing was found or the user rejects it, at a
// typed address; pings each module for its subnet relation. The main window
// forwards the search progress to it (code 3024). Results: 1 ok ("Yes",
// "Done"), 2 cancel, 7 no ("Close" after finding nothing).
class TfrmSearch : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmSearch(QWidget* parent = nullptr);

    void SetLink(TQMCOMControl* link);
    void SetPrompter(TPrompter* prompter) { FPrompter = prompter; }

    void WizardNotify(int code, qintptr wParam, qintptr lParam, const QString& text = QString());
    void ShowStep(int k);
    int Step() const;

    void btnStopClick();
    void btnNoClick();
    void btnGoClick();

    // Entries found, no duplicates; read by the main window after closing.
    QStringList ResultList;
    bool AutoSearchPending = false;
    bool StopRequested = false;

    std::array<QWidget*, 6> pnlStep;
    std::array<QGroupBox*, 6> gbStep;
    TQMGauge* qmgSearch;
    QComboBox* cbMXDevice;
    QComboBox* cbMXDevice1;
    std::array<QLineEdit*, 4> edtIPField;
    QPushButton* btnStop;
    QPushButton* btnNo;
    QPushButton* btnYes;
    QPushButton* btnGo;
    QPushButton* btnClose;  // step 2
    QPushButton* btnClose1; // step 3
    QPushButton* btnDone;
    QPushButton* btnClose2; // step 5
    TQMPing* Ping;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // no Esc, no close box: only the buttons close

private:
    void AutoSearch();
    // Builds the entry of module n; `ip` replaces its address when given.
    QString ModuleEntry(int n, const QString& ip, bool sameSubnet) const;
    void AddResult(const QString& entry);
    void FillList(QComboBox* list);
    bool Stopped() const;
    void ReportSocketError();

    TQMCOMControl* FLink = nullptr;
    TPrompter* FPrompter = nullptr;
    QStackedWidget* FSteps;
    bool FManual = false;
};
