#pragma once

#include "link/Constants.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

// "Settings.ini": the program's persistent state as plain structs.
//
// Every function opens the file by its path, does its work and releases it;
// nothing is cached. Reads never fail hard: whatever is missing or unreadable
// takes its default. Writes return false with the message
// "Unable to write to " + path when the system refuses the save; the file is
// then left as it was (saves are atomic).
//
// The window collects its controls into a TSettingsData, calls WriteSettings,
// and applies ReadSettings' result to its controls; the settings layer never
// touches a widget.

// Tag texts of input 1..4 (In[0..3]) and output 1..4 (Out[0..3]).
struct TPortTags {
    std::array<QString, 4> In;
    std::array<QString, 4> Out;
};

struct TPreSetting {
    QString Name;
    // Input numbers for outputs 1, 2, 3, 4 as texts; at least four items,
    // extra items beyond the fourth are kept as stored.
    QStringList Values;
};

// Texts of the EDID tab's lists ("" selects the first item) and path fields.
struct TEdidSettings {
    QString EdidMode;         // "EDID mode"
    QString InOfEdidMode;     // "In of EDID mode"
    QString OutOfCopyEdid;    // "Out of Copy EDID"
    QString InOfCopyEdid;     // "In of Copy EDID"
    QString OutOfReadEdid;    // "Out of Read EDID"
    QString InOfDownloadEdid; // "In of Download EDID"
    QString SaveEdidFile;     // "Save EDID file", written only
    QString OpenEdidFile;     // "Open EDID file", written only
};

struct TSettingsData {
    TSettingsData();

    bool TcpMode = true;    // "Control mode"/"Mode"
    QString ComPortName;    // "COM port"/"Name"; not written when empty
    QString TcpDeviceName;  // "TCP control device"/"Name"; not written when empty
    QStringList TcpDevices; // "TCP control device list", file order (the window sorts)
    std::array<TPreSetting, 8> PreSettings; // "Pre-Setting name" / "Pre-Setting value"
    QStringList InDeviceNames;              // "In device name" pool, file order
    QStringList OutDisplayNames;            // "Out display name" pool, file order
    TEdidSettings Edid;                     // "EDID setting"; the two paths are never read back
    bool DisplayTag = false;                // "Display tag"/"Value"
    std::array<QString, 3> MacIdBytes;      // "MAC ID Bytes", defaults "18", "98", "66"
};

// Fields of a TCP device entry, in entry order.
enum TDeviceEntryField {
    defTag = 0,
    defIPMode = 1,
    defIP = 2,
    defGateway = 3,
    defMask = 4,
    defMAC = 5,
    defSubnet = 6
};

namespace SettingsFile
{

constexpr const char* FileName = "Settings.ini";
// The MAC of "no device": tags are never stored under it.
constexpr const char* NoDeviceMAC = "00-00-00-00-00-00";

// Program folder + "Settings.ini".
QString DefaultPath();

// The folder that holds "Settings.ini": the program's folder when it is
// writable (a portable install; every existing file stays where it is),
// otherwise `userFolder` (the per-user configuration folder of an installed
// program), created when missing. A file left beside a read-only program is
// copied there on first use, so its settings carry over. Empty when neither
// folder can be written: the program must not start.
QString ChooseFolder(const QString& programFolder, const QString& userFolder,
                     const std::function<bool(const QString&)>& writable);

// True when `programFolder` is where an installed program lives, so never a
// portable copy's folder even when it can be written (by root or an
// administrator): inside a macOS application bundle, or one of
// `systemFolders` or below one. Separators and letter case do not matter.
bool IsSystemProgramFolder(const QString& programFolder, const QStringList& systemFolders);
// This system's program folders: /usr/bin, /usr/local/bin, /bin, and the
// folders %ProgramFiles%, %ProgramFiles(x86)% and %ProgramW6432% name.
QStringList SystemProgramFolders();
// True for a system program folder, and for any folder the Windows installer
// filled (its "Uninstall.exe" beside the programs), wherever it was put: the
// installer runs elevated, so that folder may be writable and still shared.
bool IsInstalledProgramFolder(const QString& programFolder);

// Reads the whole file. When the file exists but cannot be read, `error`
// (if given) receives a message and the defaults are returned; otherwise it is
// emptied.
TSettingsData ReadSettings(const QString& path, QString* error = nullptr);

// The full save, in the file's fixed order: warning note, control mode, COM
// port, selected device, device list (erased and rewritten), the port tags of
// `mode`/`mac` (as SavePortTags, including the purge of empty tag sections),
// pre-settings, name pools (erased and rewritten), EDID settings, display tag,
// MAC ID bytes. Keys the program does not know survive.
bool WriteSettings(const QString& path, const TSettingsData& data, TControlMode mode,
                   const QString& mac, const TPortTags& tags, QString* error = nullptr);

// Tags of the serial link (cmCOM) or of the TCP device with that MAC (cmLAN).
// Missing keys give empty tags; so does the no-device MAC.
TPortTags LoadPortTags(const QString& path, TControlMode mode, const QString& mac);
// Writes the tags (not in TCP mode for the no-device or an empty MAC), then
// erases tag sections that hold nothing but blanks.
bool SavePortTags(const QString& path, TControlMode mode, const QString& mac, const TPortTags& tags,
                  QString* error = nullptr);
bool PurgeEmptyTagSections(const QString& path, QString* error = nullptr);

// Section names of the tags: "Tag of Input - COM", "Tag of Output - TCP:" + mac, ...
QString InputTagSection(TControlMode mode, const QString& mac);
QString OutputTagSection(TControlMode mode, const QString& mac);

// A stored pre-setting value -> its items: split at commas and blanks, padded
// with 1, 2, 3 ... up to four items.
QStringList ParsePreSettingValue(const QString& text);

// Field n (0-based) of a device entry: the text between the (n+1)-th "[" and
// the first "]" after it; empty when either is missing.
QString DeviceEntryField(const QString& entry, int n);
// "[tag] - [IP mode] - [IP] - [gateway] - [mask] - [MAC] - [subnet relation]"
QString BuildDeviceEntry(const std::array<QString, 7>& fields);

} // namespace SettingsFile
