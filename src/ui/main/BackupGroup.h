#pragma once

#include <QGroupBox>
#include <functional>

class QPushButton;
class TCommandRunner;

// "Backup ..." and "Restore ...": the matrix settings to and from a JSON file
// (TDeviceBackup), with the window's command wrapper, status texts and
// refusals.
class TBackupGroup : public QGroupBox
{
    Q_OBJECT
public:
    // `restored` runs after a restore sent anything, so that the panels read
    // the matrix again.
    explicit TBackupGroup(TCommandRunner* runner, std::function<void()> restored = {},
                          QWidget* parent = nullptr);

    void btnBackupClick();
    void btnRestoreClick();
    std::function<void()> Restored;

    QPushButton* btnBackup;
    QPushButton* btnRestore;

private:
    // False (with the refusal shown) while a command is in flight or the
    // matrix is off.
    bool MayStart();
    void SetBusy(bool busy);

    TCommandRunner* FRunner;
    QString FLastFolder;
    bool FBusy = false;
};
