#pragma once

#include "FirmwareFile.h"
#include "Packet.h"
#include "ProcessFlags.h"

#include <QObject>
#include <QString>
#include <functional>

class TQMCOMControl;

// The firmware upgrade: checks the whole file, sends its parts in file order,
// reboots the matrix and waits for it. The window's firmware tab and matrixctl
// share it; what they show goes through the hooks.
//
// Notifications 2034 (part declined), 2035 (progress) and 2038 (reboot text)
// belong to the window's handler. By default the runner listens to the
// controller's Notify itself while it runs; a window that routes every
// notification through its own handler sets ObserveNotify to false and calls
// HandleNotification from there.
class TFirmwareUpgrade : public QObject
{
    Q_OBJECT
public:
    struct THooks {
        // A line for the Messages log.
        std::function<void(const QString& line)> Memo;
        // A line that reports a failure; unset: it goes to Memo like the rest.
        std::function<void(const QString& line)> Failure;
        // A reboot wait text: `waiting` texts replace the log's last line when
        // that line contains "System rebooting", the final one is appended.
        // Unset: the final text goes to Memo, the waiting ones nowhere.
        std::function<void(const QString& text, bool waiting)> RebootText;
        // Status panel 1..5; blink matters for panel 2 only.
        std::function<void(int panel, const QString& text, bool blink)> Status;
        // The upgrade gauge: caption and position 0..100.
        std::function<void(const QString& caption, int position)> Gauge;
        // True when the upgrade starts (disable "&Upgrade", hide the log's caret),
        // false when it ends.
        std::function<void(bool running)> Running;
        // The Connect action; unset: the controller's Connect.
        std::function<bool()> Connect;
        // The window's RunCommand for the reboot command; unset: the same rules
        // (abort, connect, idle flag, status texts) built in.
        std::function<void(const QString& statusText, const TCommandPacket& packet,
                           TCommandReply& reply)>
            RunCommand;
    };

    TFirmwareUpgrade(TQMCOMControl* link, TProcessFlags* flags, QObject* parent = nullptr);

    THooks Hooks;
    bool ObserveNotify = true;

    // Runs the upgrade of the firmware file at `path`. True when it ended with
    // "Firmware upgrade successfully!".
    bool Run(const QString& path);
    // The window's handling of 2034, 2035 and 2038; false for other codes.
    bool HandleNotification(int code, qintptr wParam, qintptr lParam, const QString& text);

    bool IsRunning() const { return FRunning; }
    bool TransferResult() const { return FTransferResult; }
    bool WriteFailure() const { return FWriteFailure; }
    int LastProgress() const { return FLastProgress; }

private:
    void Memo(const QString& line);
    void Fail(const QString& line);
    void Status(int panel, const QString& text, bool blink = false);
    void Gauge(const QString& caption, int position);
    bool ConnectLink();
    void RunCommand(const QString& statusText, const TCommandPacket& packet, TCommandReply& reply);
    bool Upgrade(const QString& path);

    TQMCOMControl* FLink;
    TProcessFlags* FFlags;
    bool FRunning = false;
    bool FTransferResult = false;
    bool FWriteFailure = false;
    int FLastProgress = 0;
};
