#pragma once

#include "settings/SettingsFile.h"

#include <QByteArray>
#include <QWidget>
#include <cstdint>
#include <functional>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TCommandRunner;

// The "EDID control" tab: EDID modes and copies, reading a display's EDID
// into the grid, EDID files, and downloading the grid to the matrix. The grid
// is the working copy: Save writes it and Download sends it.
class TEdidPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TEdidPanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // The device status panel's output connection query: 0x0F a display is
    // attached, 0xF0 none, 0xFF the query failed.
    std::function<uint8_t(int output)> QueryOutputConnection;

    // tsEDIDCtrlShow: rebuilds the port lists from the current tags.
    void tsEDIDCtrlShow(const TPortTags& tags);
    // Headers written, data cells emptied.
    void ClearEdidGrid();
    void MoveCaretsToEnd();

    // The "EDID setting" choices: applied at load (the two paths are not read
    // back) and collected at save.
    void ApplySettings(const TEdidSettings& settings, const TPortTags& tags);
    TEdidSettings CollectSettings() const;

    void btnSetEDIDModeClick();
    void btnCopyEDIDClick();
    void btnReadEDIDClick();
    void btnSaveEDIDClick();
    void btnOpenEDIDClick();
    void btnDownloadEDIDClick();
    void btnClearEDIDClick();

    // The 256 bytes of the grid; false when a cell is empty.
    bool GridBytes(QByteArray* bytes) const;
    QString CellText(int row, int column) const;

    QGroupBox* gbEDIDMode;
    QComboBox* cbEDIDMode;
    QComboBox* cbSetEDIDModeInput;
    QPushButton* btnSetEDIDMode;
    QComboBox* cbCopyEDIDOutput;
    QComboBox* cbCopyEDIDInput;
    QPushButton* btnCopyEDID;

    QGroupBox* gbEDIDData;
    QComboBox* cbReadEDIDDataOutput;
    QPushButton* btnReadEDID;
    QLineEdit* edtSaveEDID;
    QPushButton* btnSaveEDID;
    QLineEdit* edtOpenEDID;
    QPushButton* btnOpenEDID;
    QComboBox* cbDownloadEDIDInput;
    QPushButton* btnDownloadEDID;

    QGroupBox* gbEDIDContent;
    QTableWidget* sgEDIDContent;
    QPushButton* btnClearEDID;

private:
    void BuildModeGroup();
    void BuildDataGroup();
    void BuildContentGroup();
    void RebuildPortLists(const TPortTags& tags);
    // The checks every change starts with; false ends the action.
    bool EdidControlModeOk();
    bool OutputConnectedOk(int output);
    // Refuses with the status hint while another command or transfer runs.
    bool RefuseWhileBusy();
    void WriteGridHeaders();
    void EmptyGridData();
    void SetGridBytes(const QByteArray& edid);
    // The EDID content test on `buffer`: the grid shows it when it passes.
    bool ShowContent(const QByteArray& buffer);
    bool SaveEdidFile(const QString& name, const QByteArray& bytes);

    TCommandRunner* FRunner;
};
