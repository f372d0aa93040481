#include "FirmwareUpgrade.h"

#include "Commands.h"
#include "GuardedCommand.h"
#include "QMCOMControl.h"

#include <QFile>

TFirmwareUpgrade::TFirmwareUpgrade(TQMCOMControl* link, TProcessFlags* flags, QObject* parent)
    : QObject(parent), FLink(link), FFlags(flags)
{
}

void TFirmwareUpgrade::Memo(const QString& line)
{
    if (Hooks.Memo) Hooks.Memo(line);
}

void TFirmwareUpgrade::Fail(const QString& line)
{
    if (Hooks.Failure)
        Hooks.Failure(line);
    else
        Memo(line);
}

void TFirmwareUpgrade::Status(int panel, const QString& text, bool blink)
{
    if (Hooks.Status) Hooks.Status(panel, text, blink);
}

void TFirmwareUpgrade::Gauge(const QString& caption, int position)
{
    if (Hooks.Gauge) Hooks.Gauge(caption, position);
}

bool TFirmwareUpgrade::ConnectLink()
{
    if (FLink->Connected()) return true;
    if (Hooks.Connect)
        Hooks.Connect();
    else
        FLink->Connect();
    return FLink->Connected();
}

void TFirmwareUpgrade::RunCommand(const QString& statusText, const TCommandPacket& packet,
                                  TCommandReply& reply)
{
    if (Hooks.RunCommand) {
        Hooks.RunCommand(statusText, packet, reply);
        return;
    }
    TGuardedCommand guarded;
    guarded.Link = FLink;
    guarded.Flags = FFlags;
    guarded.Connect = [this] { ConnectLink(); };
    guarded.Status = [this](int panel, const QString& text) { Status(panel, text); };
    reply = guarded.Run(statusText, packet);
}

bool TFirmwareUpgrade::HandleNotification(int code, qintptr wParam, qintptr lParam,
                                          const QString& text)
{
    const uint16_t w = uint16_t(wParam & 0xFFFF);
    const uint16_t l = uint16_t(lParam & 0xFFFF);
    switch (code) {
    case ntPartDeclined:
        Fail(QStringLiteral("Write to Part_%1.%2.%3.%4 failed")
                 .arg(HighByte(w))
                 .arg(LowByte(w))
                 .arg(HighByte(l))
                 .arg(LowByte(l)));
        FWriteFailure = true;
        return true;
    case ntPartProgress:
        if (l != FLastProgress) {
            Gauge(QStringLiteral("Upgrading Part_%1.%2").arg(HighByte(w)).arg(LowByte(w)), l);
            FLastProgress = l;
        }
        return true;
    case ntReboot:
        if (Hooks.RebootText)
            Hooks.RebootText(text, lParam == 1);
        else if (lParam != 1)
            Memo(text);
        return true;
    default:
        return false;
    }
}

bool TFirmwareUpgrade::Run(const QString& path)
{
    if (FRunning) return false;
    QMetaObject::Connection listener;
    if (ObserveNotify)
        listener = connect(
            FLink, &TQMCOMControl::Notify, this,
            [this](int code, qintptr w, qintptr l, const QString& text) {
                HandleNotification(code, w, l, text);
            },
            Qt::DirectConnection);
    FRunning = true;
    const bool ok = Upgrade(path);
    FRunning = false;
    if (listener) disconnect(listener);
    return ok;
}

bool TFirmwareUpgrade::Upgrade(const QString& path)
{
    if (path.isEmpty()) return false;
    if (!QFile::exists(path)) {
        Fail(QStringLiteral("Firmware file: ") + path + QStringLiteral(" does not exist"));
        return false;
    }
    if (FFlags->Abort || !ConnectLink()) return false;
    if (!FFlags->Idle) {
        Status(3, QStringLiteral("In processing, command ignored"));
        return false;
    }
    if (Hooks.Running) Hooks.Running(true);
    Status(3, QString());
    FFlags->Idle = false;
    FTransferResult = false;
    FWriteFailure = false;
    FLastProgress = 0;
    auto finish = [this](bool success) {
        if (Hooks.Running) Hooks.Running(false);
        FFlags->Idle = true;
        Status(3, QString());
        return success;
    };

    // The whole file is checked before the first byte goes out, so a broken
    // file never leaves the matrix with some parts new and some old.
    const TFirmwareFile file = TFirmwareFile::Load(path);
    if (file.Problem == TFirmwareFile::fpUnreadable) {
        Fail(file.ProblemText());
        return finish(false);
    }
    if (!file.Ok()) {
        Fail(QStringLiteral("Bad FW file!"));
        Fail(file.ProblemText());
        return finish(false);
    }

    for (const TFirmwarePart& part : file.Parts) {
        Gauge(QStringLiteral("Upgrade progress"), 0);
        FLastProgress = 0;
        FWriteFailure = false;
        FLink->EdidDownloadBuffer() = part.Data;
        const QString name = part.Name();
        const QString line = QStringLiteral("Upgrading ") + name + QStringLiteral(" ...");
        Status(2, line);
        Memo(line);
        TCommandReply reply;
        if (part.Code == Cmd::FirmwareMainCode) {
            FLink->WriteFirmwarePartErased(part.Packet(), reply);
            FTransferResult = reply.Ok;
        } else if (part.Code == Cmd::FirmwareSlaveCode) {
            FLink->WriteFirmwarePart(part.Packet(), reply);
            FTransferResult = reply.Ok;
        }
        if (FTransferResult) {
            if (FWriteFailure) {
                Status(2, QStringLiteral("Write ") + name + QStringLiteral(" failed"), true);
            } else {
                Memo(name + QStringLiteral(" upgrading complete"));
                Status(2, QStringLiteral("Done"));
            }
        } else {
            Fail(QStringLiteral("Upgrading ") + name + QStringLiteral(" failed"));
        }
        if (!FTransferResult || FFlags->Abort) break;
    }
    FFlags->Idle = true;

    bool success = false;
    if (FTransferResult && !FWriteFailure && !FFlags->Abort) {
        TCommandReply reboot;
        const TCatalogueCommand command = Catalogue::Reboot();
        RunCommand(command.StatusText, command.Packet, reboot);
        FFlags->Idle = false;
        TCommandReply wait;
        FLink->WaitForReboot(wait);
        FTransferResult = wait.Ok;
        FFlags->Idle = true;
        if (FTransferResult) {
            Memo(QStringLiteral("Firmware upgrade successfully!"));
            Status(2, QStringLiteral("Firmware upgrade successfully"));
            success = true;
        }
    }
    return finish(success);
}
