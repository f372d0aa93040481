#pragma once

#include "link/Commands.h"
#include "link/DeviceBackup.h"
#include "settings/SettingsFile.h"

#include <QString>
#include <QStringList>
#include <array>
#include <stdexcept>

// A usage error of a front end (a bad option or argument): its message,
// and nothing sent.
class EUsage : public std::runtime_error
{
public:
    explicit EUsage(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// A number in min..max, decimal or 0x-hex; anything else is a usage error
// that states the range.
uint16_t ParseNumber(const QString& text, uint32_t min, uint32_t max, const char* what);

// Why an operation failed, named where it failed: the notification of the
// link, the power check or the check that refused.
enum TOpError {
    oeNone,
    oeBadInput,   // the request itself is wrong
    oePowerOff,   // the matrix is switched off
    oeRefused,    // the matrix, the settings or a check refuse it in their state
    oeLinkFailed, // connect, port or send failure, data invalid
    oeTimeOut     // no reply within the tries
};

// The outcome of one operation: its failure kind and the system's failure
// texts, one a line, in the order they arose.
struct TOpStatus {
    TOpError Kind = oeNone;
    QStringList Errors;
    bool Ok() const { return Kind == oeNone; }
    // The lines as one text ("Command failed" when a failure gave none).
    QString Text() const;
};

// A connection state as the status shows it.
enum TPlugState { psUnknown = -1, psNotConnected = 0, psConnected = 1 };

// power, model, version and connections. On failure: what was read before.
struct TDeviceStatus {
    int Power = -1;       // -1: the query failed
    bool Details = false; // model and version were looked for (power on)
    bool DetailsRead = false;
    QString DeviceText;  // "Device: 4x4 HDMI Matrix"-style line of the catalogue
    QString VersionText; // "Version 2.07"-style line
    int Inputs = 0, Outputs = 0;
    // Connections read (0: not looked at); their states and catalogue lines.
    int InputsRead = 0, OutputsRead = 0;
    std::array<TPlugState, PortCount> InputState{psUnknown, psUnknown, psUnknown, psUnknown};
    std::array<TPlugState, PortCount> OutputState{psUnknown, psUnknown, psUnknown, psUnknown};
    std::array<QString, PortCount> InputText, OutputText;
};

// Inputs on outputs 1..4 that the matrix confirmed; 0 where nothing is known.
struct TRouting {
    std::array<int, PortCount> Input{};
};

// Audio sources of inputs 1..4 read back; 0 where nothing is known.
struct TAudio {
    std::array<int, PortCount> Source{};
};

// One of the four switches.
enum TSwitch { swIr, swKeys, swApm, swBeeper };
constexpr int SwitchCount = 4;
extern const char* const SwitchNames[SwitchCount]; // "ir", "keys", "apm", "beeper"

// A pre-setting applied: its row and name, and the routing it made.
struct TPresetApplied {
    int Number = 0; // 0: refused before anything was sent
    QString Name;
    TRouting Routing;
};

// A raw transaction of `send`.
struct TSendResult {
    QByteArray Reply; // 13 bytes; empty when nothing came back
    bool Accepted = false;
};

// What an EDID read gives.
struct TEdidRead {
    QByteArray Edid;
};

// A restore: the steps sent (or, dry, the steps it would send).
struct TRestoreResult {
    bool DryRun = false;
    QList<TRestoreStep> Steps;
};

// The TCP module's answer to a query.
struct TModuleInfo {
    QString Version; // "1.4"
    bool Dhcp = false;
    QString Ip;
};
