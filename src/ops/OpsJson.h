#pragma once

#include "OpsTypes.h"

#include <QJsonArray>
#include <QJsonObject>

// The documents of matrixctl --json, built from the operations' results: one
// place for the shapes that matrixctl prints, the HTTP routes answer and the
// events carry. A failed operation's document holds what it did before it
// failed; the front end adds "error".
namespace OpsJson
{
// {"power": true, "device": "4x4", "version": "2.07",
//  "inputs": {"1": "connected", ...}, "outputs": {...}}
QJsonObject Status(const TDeviceStatus& s);
// {"power": true}; empty when unknown.
QJsonObject Power(int power);
// {"routing": {"2": 3}}: the outputs known; empty when none is.
QJsonObject Routing(const TRouting& r);
// {"audio": {"1": 2, ...}, "audioNames": {"1": "Analog L/R In embeded", ...}}
QJsonObject Audio(const TAudio& a);
// {"ir": true}
QJsonObject Switch(TSwitch which, bool on);
// [{"number": 1, "name": "...", "inputs": [1, 2, 3, 4]}, ...]
QJsonArray Presets(const std::array<TPreSetting, 8>& presets);
// {"preset": {"number": 3, "name": "..."}, "routing": {...}}
QJsonObject PresetApplied(const TPresetApplied& p);
// {"reply": "A5 5B ...", "ok": true}
QJsonObject Send(const TSendResult& s);
// {"result": "Done"}
QJsonObject Done();
// {"result": "Done", "file": FILE, "edid": "00 FF ..."}
QJsonObject EdidRead(const TEdidRead& e, const QString& file);
// The backup file's document.
QJsonObject Backup(const TDeviceState& state);
// {"dryRun": false, "commands": [{"group": 2, "code": 3, ..., "description": "..."}]}
QJsonObject Restore(const TRestoreResult& r);
// {"version": "1.4", "dhcp": false, "ip": "..."}
QJsonObject Module(const TModuleInfo& m);
// The union of two documents (the second's keys win).
QJsonObject Merge(QJsonObject a, const QJsonObject& b);
} // namespace OpsJson
