#pragma once

#include "MatrixOps.h"
#include "OpsJson.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

// EUsage (ops/OpsTypes.h): message on stderr, exit status 2.

class TTrafficRecorder;

// What every matrixctl command works with: the operations over the link and
// the output streams.
//
// Output: text lines go through Out(), failure texts through Err() (stderr).
// With --json the text lines are dropped and a command gives its data with
// Json()/JsonAt()/Doc() instead; Finish() prints the one document, with
// "error" set to the failure texts when the command failed. Every failure
// text of an operation goes through Err() as it arises.
class TCli
{
public:
    TCli(TQMCOMControl* link, TProcessFlags* flags, bool trace, bool json = false);
    ~TCli();

    static void SetUpLink(TQMCOMControl* link, const QString& tcp, const QString& serial)
    {
        TMatrixOps::SetUpLink(link, tcp, serial);
    }
    static int PollLimitFor(int timeoutMs, int pollTickMs)
    {
        return TMatrixOps::PollLimitFor(timeoutMs, pollTickMs);
    }

    TMatrixOps& Ops() { return FOps; }
    TQMCOMControl* Link() { return FLink; }
    bool Trace() const { return FTrace; }
    TProcessFlags* Flags() { return FFlags; }

    // Connects on demand; on failure prints the failure text and returns false.
    bool EnsureConnected();
    // One catalogue command; prints the failure text when it is not accepted.
    bool Run(const TCatalogueCommand& command, TCommandReply* reply);
    // As Run, refused with the power-off text while the matrix is off.
    bool RunPowered(const TCatalogueCommand& command, TCommandReply* reply);
    // Queries the power state; -1 when the query failed.
    int QueryPower();

    void Out(const QString& line);
    void Err(const QString& line);
    bool JsonMode() const { return FJson; }
    // The command's data for --json, e.g. Json("power", true); ignored in text mode.
    void Json(const QString& key, const QJsonValue& value);
    // An entry of an object member: JsonAt("routing", "3", 2) gives {"routing": {"3": 2}}.
    void JsonAt(const QString& object, const QString& key, const QJsonValue& value);
    // Every member of `doc` (an operation's document).
    void Doc(const QJsonObject& doc);
    // Prints the JSON document (--json only) and returns `rc`.
    int Finish(int rc);
    // The document of a failure before any command ran (usage errors).
    static void PrintJsonError(const QString& text);
    // The text of the last failure notification ("Time out!", ...), if any.
    QString LastFailure() const { return FOps.LastFailure(); }
    void ClearFailure() { FOps.ClearFailure(); }

    // A number in min..max; anything else is a usage error that states the range.
    static uint16_t ParseNumber(const QString& text, uint32_t min, uint32_t max, const char* what)
    {
        return ::ParseNumber(text, min, max, what);
    }
    static uint16_t ParseNumber(const QString& text, uint32_t max, const char* what)
    {
        return ::ParseNumber(text, 0, max, what);
    }
    // Queries the power state; true when on. Prints the refusal when off.
    bool PoweredOn();
    // The exit status of an operation's outcome.
    static int Rc(const TOpStatus& st) { return st.Ok() ? 0 : 1; }

private:
    TQMCOMControl* FLink;
    TProcessFlags* FFlags;
    bool FTrace;
    bool FJson;
    TMatrixOps FOps;
    QJsonObject FDoc;
    QStringList FErrors;
    TTrafficRecorder* FRecorder = nullptr;
};

// The command groups; each returns the exit status.
int CmdCore(TCli& cli, const QString& command, const QStringList& args);
bool IsCoreCommand(const QString& command);
int CmdEdid(TCli& cli, const QStringList& args);
int CmdFirmware(TCli& cli, const QStringList& args);
// audio, ir, keys, apm, beeper, preset.
int CmdSettings(TCli& cli, const QString& command, const QStringList& args);
bool IsSettingsCommand(const QString& command);
// False for commands that work without the matrix.
bool SettingsCommandNeedsLink(const QString& command, const QStringList& args);
int CmdDiscover(TCli& cli, const QStringList& args, bool trace);
int CmdModule(TCli& cli, const QStringList& args, bool trace);
bool ModuleCommandNeedsLink(const QStringList& args);
// backup FILE, restore FILE [--dry-run].
int CmdBackup(TCli& cli, const QString& command, const QStringList& args);
bool IsBackupCommand(const QString& command);
bool BackupCommandNeedsLink(const QString& command, const QStringList& args);
// Usage lines of the groups.
QString CoreUsage();
QString EdidUsage();
QString FirmwareUsage();
QString SettingsUsage();
QString ModuleUsage();
QString BackupUsage();
