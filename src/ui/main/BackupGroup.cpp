#include "BackupGroup.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "link/DeviceBackup.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>

namespace
{
const char* const Filter = "Backup files (*.json);;All files (*)";
}

TBackupGroup::TBackupGroup(TCommandRunner* runner, std::function<void()> restored, QWidget* parent)
    : QGroupBox(QStringLiteral("Backup and restore"), parent), Restored(std::move(restored)),
      FRunner(runner)
{
    btnBackup = new QPushButton(QStringLiteral("Backup ..."));
    btnRestore = new QPushButton(QStringLiteral("Restore ..."));
    auto* row = new QHBoxLayout(this);
    row->addWidget(btnBackup);
    row->addWidget(btnRestore);
    row->addStretch();
    connect(btnBackup, &QPushButton::clicked, this, [this] { btnBackupClick(); });
    connect(btnRestore, &QPushButton::clicked, this, [this] { btnRestoreClick(); });
}

bool TBackupGroup::MayStart()
{
    if (FBusy || !FRunner->Flags()->Idle) {
        FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
        return false;
    }
    if (FRunner->PowerFlag() == 0) {
        FRunner->Prompter()->Information(QLatin1String(TDeviceBackup::PowerOffText));
        return false;
    }
    return true;
}

void TBackupGroup::SetBusy(bool busy)
{
    FBusy = busy;
    btnBackup->setEnabled(!busy);
    btnRestore->setEnabled(!busy);
}

static TDeviceBackup MakeBackup(TCommandRunner* runner)
{
    TDeviceBackup b([runner](const TCatalogueCommand& c, TCommandReply* r) {
        *r = runner->RunCommand(c);
        return r->Ok != 0;
    });
    // The window's own power state, as every powered command uses it.
    b.PowerState = [runner] { return int(runner->PowerFlag()); };
    return b;
}

void TBackupGroup::btnBackupClick()
{
    if (!MayStart()) return;
    QString path =
        FRunner->Prompter()->SaveFile(QStringLiteral("Backup"), FLastFolder, QLatin1String(Filter));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
    FLastFolder = QFileInfo(path).absolutePath();
    SetBusy(true);
    TDeviceBackup backup = MakeBackup(FRunner);
    TDeviceState state;
    const bool read = backup.Read(&state);
    SetBusy(false);
    if (!read) {
        if (!backup.Error().isEmpty()) FRunner->Prompter()->Error(backup.Error());
        return;
    }
    QString error;
    if (!TDeviceBackup::Save(path, state, &error)) {
        FRunner->Prompter()->Error(error);
        return;
    }
    FRunner->ShowStatus(2, QStringLiteral("Backup saved"));
}

void TBackupGroup::btnRestoreClick()
{
    if (!MayStart()) return;
    const QString path = FRunner->Prompter()->OpenFile(QStringLiteral("Restore"), FLastFolder,
                                                       QLatin1String(Filter));
    if (path.isEmpty()) return;
    FLastFolder = QFileInfo(path).absolutePath();
    // The whole file is checked before anything goes to the matrix.
    TDeviceState state;
    QString error;
    if (!TDeviceBackup::Load(path, &state, &error)) {
        FRunner->Prompter()->Error(error);
        return;
    }
    if (!FRunner->Prompter()->Confirm(
            QStringLiteral("Restore switches, audio sources and routing from %1?")
                .arg(QFileInfo(path).fileName())))
        return;
    // The box let events run: the matrix may have been switched off meanwhile.
    if (!MayStart()) return;
    SetBusy(true);
    TDeviceBackup backup = MakeBackup(FRunner);
    int sent = 0;
    const bool ok = backup.Restore(state, [&](const TRestoreStep&) { ++sent; });
    SetBusy(false);
    // The switches are read back first, so that the result is what stays shown.
    if ((ok || sent > 0 || !FRunner->LastRefused()) && Restored) Restored();
    if (ok)
        FRunner->ShowStatus(2, QStringLiteral("Restore done"));
    else if (!backup.Error().isEmpty())
        FRunner->Prompter()->Error(backup.Error());
}
