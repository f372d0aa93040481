#pragma once

#include "OpsTypes.h"
#include "link/FirmwareUpgrade.h"
#include "link/ProcessFlags.h"

#include <QMap>
#include <QObject>
#include <functional>

class TQMCOMControl;

// The operations matrixctl, matrix-server and the MQTT bridge share, over
// one link session. Each fills its typed result and returns the outcome;
// on failure the result holds what was done before it failed (the outputs
// routed before a time-out, the power read before a refusal).
//
// The checks (power, EDID control mode, connections) are the window's, with
// its texts; the failure kind comes from where the failure happened.
class TMatrixOps
{
public:
    TMatrixOps(TQMCOMControl* link, TProcessFlags* flags);
    ~TMatrixOps();
    TMatrixOps(const TMatrixOps&) = delete;
    TMatrixOps& operator=(const TMatrixOps&) = delete;

    // Points the link at --tcp HOST[:PORT] or --serial DEVICE (exactly one).
    static void SetUpLink(TQMCOMControl* link, const QString& tcp, const QString& serial);
    // The poll limit of a reply wait of `timeoutMs` milliseconds.
    static int PollLimitFor(int timeoutMs, int pollTickMs);

    TQMCOMControl* Link() { return FLink; }
    TProcessFlags* Flags() { return FFlags; }
    // "Settings.ini" of the pre-settings; empty when none was named.
    QString SettingsPath;
    // A failure connecting adds the link's own error text (matrixctl --trace).
    bool VerboseConnect = false;
    // Hears each failure text as it arises (a terminal shows it at once).
    std::function<void(const QString&)> OnError;

    TOpStatus Connect();
    TOpStatus Send(const TCommandPacket& packet, TSendResult* out);
    TOpStatus Status(TDeviceStatus* out);
    // Switches the power when `set` is 0 or 1; reads it back (1 on, 0 off).
    TOpStatus Power(int set, int* power);
    TOpStatus Routing(TRouting* out);
    // Input `input` on `output`, or on every output in order when `output`
    // is 0 (ending at the first failure).
    TOpStatus Route(int input, int output, TRouting* out);
    // Several outputs in ascending order; `applied` names those done.
    TOpStatus RouteSeveral(const QMap<int, int>& routes, QList<int>* applied, TRouting* out);
    // Sets the source of `input` when `source` > 0; reads input `input`
    // (0: all inputs).
    TOpStatus Audio(int input, int source, TAudio* out);
    // Sets the switch when `set` is 0 or 1; reads it back.
    TOpStatus Switch(TSwitch which, int set, bool* on);
    // The pre-settings of SettingsPath.
    TOpStatus Presets(std::array<TPreSetting, 8>* out);
    TOpStatus ApplyPreset(int row, TPresetApplied* out);

    // EDID: read of the display on `output`; write to a download target
    // ("1".."4", "all", "user1", "user2" as packet); mode and copy to input
    // 1..4 or 0 for all.
    TOpStatus EdidRead(int output, TEdidRead* out);
    TOpStatus EdidWrite(const TCommandPacket& opening, const QByteArray& content);
    // `mode` is an index into EdidData::ModeListNames() (1 and up).
    TOpStatus EdidMode(int input, int mode);
    TOpStatus EdidCopy(int output, int input);

    // The whole state of the matrix, as a backup file holds it.
    // `power` (when given) gets the power state read first, -1 when unread.
    TOpStatus Backup(TDeviceState* out, int* power = nullptr);
    // `step` hears each command as it is accepted (or, dry, listed).
    TOpStatus Restore(const TDeviceState& state, bool dryRun, TRestoreResult* out,
                      const std::function<void(const TRestoreStep&)>& step = {});

    // Sends the firmware file at `path` and reboots the matrix. `hooks` show
    // its progress; every failure line also goes into the outcome (after
    // hooks.Failure, which may tidy the display first).
    TOpStatus FirmwareUpgrade(const QString& path, const TFirmwareUpgrade::THooks& hooks);

    TOpStatus ModuleQuery(TModuleInfo* out);
    // Back to the module's factory settings; a query tells what it became.
    TOpStatus ModuleReset();

    // Building blocks of the operations, for the front ends' own.
    bool EnsureConnected(TOpStatus* st);
    bool Run(const TCatalogueCommand& command, TCommandReply* reply, TOpStatus* st);
    // As Run, refused with the power-off text while the matrix is off.
    bool RunPowered(const TCatalogueCommand& command, TCommandReply* reply, TOpStatus* st);
    int QueryPower(TOpStatus* st);
    bool PoweredOn(TOpStatus* st);
    // A failure of `kind` with its text.
    void Fail(TOpStatus* st, TOpError kind, const QString& text);
    // The failure of the last link notification, if any, else `fallback`.
    void FailLink(TOpStatus* st, const QString& fallback);
    void ClearFailure();
    QString LastFailure() const { return FLastFailure; }

private:
    void OnNotify(int code, qintptr wParam);
    bool EdidSoftwareControl(TOpStatus* st);
    bool OutputConnected(int output, TOpStatus* st);
    bool ModuleExchange(const QByteArray& request, QByteArray* answer, TOpStatus* st);

    TQMCOMControl* FLink;
    TProcessFlags* FFlags;
    QMetaObject::Connection FNotifyConnection;
    QString FLastFailure;
    TOpError FLastKind = oeNone;
};
