#pragma once

#include "Commands.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <functional>

// Everything the matrix lets us read back, as a backup file holds it.
struct TDeviceState {
    bool Power = false;
    QString Device;                       // "4x4": inputs x outputs
    QString Version;                      // "2.07"
    std::array<int, PortCount> Routing{}; // input shown on output n
    std::array<int, PortCount> Audio{};   // audio source number of input n, 1..3
    bool Ir = false;
    bool Keys = false; // panel keys unlocked
    bool Apm = false;
    bool Beeper = false;

    bool operator==(const TDeviceState& o) const;
};

// One set command of a restore and what it does, e.g. "Output1: Input3".
struct TRestoreStep {
    TCatalogueCommand Command;
    QString Description;
};

// Backup and restore of the matrix settings, below any user interface: the
// window and matrixctl hand in how one command runs (with their own status
// texts, refusals and failure reports).
//
// The file is one JSON document:
//   {"format": "hdmi-matrix-backup", "formatVersion": 1, "created": "...",
//    "device": "4x4", "version": "2.07", "power": true,
//    "routing": {"1": 3, ...}, "audio": {"1": 1, ...},
//    "switches": {"ir": true, "keys": true, "apm": false, "beeper": true}}
class TDeviceBackup
{
public:
    static constexpr const char* Format = "hdmi-matrix-backup";
    static constexpr int FormatVersion = 1;
    // A backup is well under a kilobyte; anything this big is not one.
    static constexpr qint64 MaxFileSize = 64 * 1024;
    static constexpr const char* PowerOffText = "System is power off, please turn it on first.";

    // Runs one catalogue command; true when the matrix accepted it. A false
    // result has been reported by whoever ran it.
    using TRunner = std::function<bool(const TCatalogueCommand&, TCommandReply*)>;
    explicit TDeviceBackup(TRunner run) : FRun(std::move(run)) {}

    // The power state before a backup or restore: 1 on, 0 off, -1 the query
    // failed (and was reported). The default asks the matrix.
    std::function<int()> PowerState;

    // Reads the whole state, stopping at the first failure. False: a command
    // failed (reported by the runner) or Error() says why.
    bool Read(TDeviceState* state);
    // Sends the restore steps in order; `done` hears of each accepted one.
    // Refused with PowerOffText while the matrix is off: nothing is sent.
    bool Restore(const TDeviceState& state,
                 const std::function<void(const TRestoreStep&)>& done = {});
    // Our own refusal of the last Read or Restore; empty when a command failed.
    QString Error() const { return FError; }

    // The fixed order of a restore: switches, audio sources, routing.
    static QList<TRestoreStep> RestoreSteps(const TDeviceState& state);

    static QByteArray ToJson(const TDeviceState& state,
                             const QDateTime& created = QDateTime::currentDateTimeUtc());
    // Checks the whole document; false with a message naming the first fault.
    static bool FromJson(const QByteArray& bytes, TDeviceState* state, QString* error);
    // Written atomically: the old file stays whole until the new one is.
    static bool Save(const QString& path, const TDeviceState& state, QString* error);
    static bool Load(const QString& path, TDeviceState* state, QString* error);
    // Ranges a state must keep to be written or restored; empty when it does.
    static QString Check(const TDeviceState& state);

private:
    int QueryPower();
    TRunner FRun;
    QString FError;
};
