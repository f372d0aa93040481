#pragma once

#include <QWidget>
#include <cstdint>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TCommandRunner;
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

    // Upgrade gauge.
    void SetGauge(const QString& caption, int progress);
    QString GaugeCaption() const;
    int GaugeProgress() const;

    bool FirmwareWriteFailure = false;
    int LastUpgradeProgress = -1;

    QGroupBox* gbFWUpgrade;
    TQMGauge* qmgUpgrade;
    QGroupBox* gbMessages;
    QPlainTextEdit* mmoMessage;
    QPushButton* btnClearMessages;
    QGroupBox* gbMergeFW;

private:
    TCommandRunner* FRunner;
};
