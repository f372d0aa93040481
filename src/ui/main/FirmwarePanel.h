#pragma once

#include "FirmwareMergeGroup.h"

#include <QWidget>
#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TCommandRunner;
class TFirmwareUpgrade;
class TQMGauge;

// The "FW upgrade" tab: the upgrade group with its gauge, the Messages log,
// and the merge group (created hidden; nothing shows it).
class TFirmwarePanel : public QWidget
{
    Q_OBJECT
public:
    explicit TFirmwarePanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // Messages log.
    void AppendMessage(const QString& line);
    // The reboot wait rewrites its own line: a last line containing
    // "System rebooting" is replaced, anything else gets a new line.
    void ReplaceRebootLine(const QString& line);
    void Button1Click();
    QStringList MessageLines() const;

    // Upgrade gauge: the one place that knows which widget shows it.
    // Emits GaugeSet after the gauge shows the new state.
    void SetGauge(const QString& caption, int progress);
    QString GaugeCaption() const;
    int GaugeProgress() const;

    // Notifications 2034, 2035 and 2038, routed here by the window.
    void OnFirmwareNotify(int code, qintptr wParam, qintptr lParam, const QString& text);
    // Set by 2034, cleared at the start of each part.
    bool FirmwareWriteFailure() const;
    // Gauge position last set by 2035, reset at the start of each part.
    int LastUpgradeProgress() const;

    // The open button beside edtFWFile, "&Upgrade".
    void btnOpenFWFileClick();
    void btnUpgradeClick();

    // Folder of the last firmware file chosen; empty at start-up.
    QString LastFirmwareFolder;

    QGroupBox* gbFWUpgrade;
    QLineEdit* edtFWFile;
    QPushButton* btnOpenFWFile;
    TQMGauge* qmgUpgrade;
    QPushButton* btnUpgrade;
    QGroupBox* gbMessages;
    QPlainTextEdit* mmoMessage;
    QPushButton* btnClearMessages;

    TFirmwareMergeGroup* gbMergeFW;

signals:
    void GaugeSet(const QString& caption, int progress);

private:
    void BuildUpgradeGroup();
    QString DialogFolder() const;

    TCommandRunner* FRunner;
    TFirmwareUpgrade* FUpgrade;
};
