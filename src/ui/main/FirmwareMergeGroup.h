#pragma once

#include <QGroupBox>
#include <array>
#include <functional>

class QLineEdit;
class QPushButton;
class TPrompter;

// The "Merge FW" group of the "FW upgrade" tab: five processor images with
// their versions merged into one firmware file. It sends nothing to the
// matrix. The window creates it hidden and nothing shows it; matrixctl's
// "fw merge" is the way to it.
class TFirmwareMergeGroup : public QGroupBox
{
    Q_OBJECT
public:
    // `lastFolder` is the tab's last firmware folder, shared with the upgrade;
    // `memo` writes one line to the Messages log.
    TFirmwareMergeGroup(TPrompter* prompter, QString* lastFolder,
                        std::function<void(const QString&)> memo, QWidget* parent = nullptr);

    // The open buttons by Tag (1 main, 11..14 slaves), "&Merge".
    void btnOpenMCUFWClick(int tag);
    void btnMergeClick();

    QLineEdit* edtMainMCUFW;
    QLineEdit* edtSlaveMCU1FW;
    QLineEdit* edtSlaveMCU2FW;
    QLineEdit* edtSlaveMCU3FW;
    QLineEdit* edtSlaveMCU4FW;
    QLineEdit* leMainFWVer1;
    QLineEdit* leMainFWVer2;
    QLineEdit* leSlave1FWVer1;
    QLineEdit* leSlave1FWVer2;
    QLineEdit* leSlave2FWVer1;
    QLineEdit* leSlave2FWVer2;
    QLineEdit* leSlave3FWVer1;
    QLineEdit* leSlave3FWVer2;
    QLineEdit* leSlave4FWVer1;
    QLineEdit* leSlave4FWVer2;
    QPushButton* btnOpenMainMCUFW;
    std::array<QPushButton*, 4> btnOpenSlaveMCUFW; // Tags 11..14
    QPushButton* btnMerge;

private:
    TPrompter* FPrompter;
    QString* FLastFolder;
    std::function<void(const QString&)> FMemo;
    // The rows in merge order: main MCU, slave MCU1..4.
    struct TRowEdits {
        QLineEdit* Path;
        QLineEdit* Ver1;
        QLineEdit* Ver2;
        int Tag;
    };
    std::array<TRowEdits, 5> FRows;
};
