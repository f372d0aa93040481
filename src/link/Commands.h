#pragma once

#include "Packet.h"

#include <QString>
#include <cstdint>

// Every command the program sends, by name. Callers build packets from these
// and never spell raw group and code numbers.
struct TCommandId {
    uint8_t Group;
    uint8_t Code;
    TCommandPacket Packet(uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0, uint16_t p4 = 0) const
    {
        return TCommandPacket::Make(Group, Code, p1, p2, p3, p4);
    }
    bool operator==(const TCommandId& o) const { return Group == o.Group && Code == o.Code; }
};

namespace Cmd {
// Device information and status.
constexpr TCommandId DeviceQuery{1, 1};
constexpr TCommandId DeviceSize{1, 2};
constexpr TCommandId Version{1, 3};
constexpr TCommandId InputConnection{1, 4};
constexpr TCommandId OutputConnection{1, 5};
constexpr TCommandId ApmQuery{1, 10};
constexpr TCommandId ApmSet{1, 11};
constexpr TCommandId BeeperQuery{1, 12};
constexpr TCommandId BeeperSet{1, 13};
constexpr TCommandId KeysQuery{1, 14};
constexpr TCommandId KeysSet{1, 15};
// Routing.
constexpr TCommandId RouteQuery{2, 1};
constexpr TCommandId RouteSet{2, 3};
// EDID.
constexpr TCommandId EdidModeAll{3, 1};
constexpr TCommandId EdidModeOne{3, 2};
constexpr TCommandId EdidCopyAll{3, 3};
constexpr TCommandId EdidCopyOne{3, 4};
constexpr TCommandId EdidRead{3, 5};
constexpr TCommandId EdidWriteAll{3, 6};
constexpr TCommandId EdidWrite{3, 7};
constexpr TCommandId EdidPrepare{3, 8};
constexpr TCommandId EdidDefaultAll{3, 9};
constexpr TCommandId EdidDefaultOne{3, 10};
constexpr TCommandId EdidControlMode{3, 11};
// Advanced switches and audio.
constexpr TCommandId IrSet{4, 3};
constexpr TCommandId IrQuery{4, 4};
constexpr TCommandId AudioSet{6, 5};
constexpr TCommandId AudioQuery{6, 6};
// Power.
constexpr TCommandId PowerQuery{16, 1};
constexpr TCommandId PowerSet{16, 2};
// Firmware.
constexpr TCommandId Reboot{128, 2};
constexpr TCommandId RebootProbe{1, 1};
constexpr uint8_t FirmwareGroup = 0x20;
constexpr uint8_t FirmwareMainCode = 1;
constexpr uint8_t FirmwareSlaveCode = 2;
} // namespace Cmd

constexpr uint16_t QueryParam = 254;          // p1 of a query
constexpr uint8_t SwitchOn = 0x0F;
constexpr uint8_t SwitchOff = 0xF0;
constexpr uint16_t PowerGuard3 = 38731;       // fixed p3 of both power commands
constexpr uint16_t PowerGuard4 = 27659;       // fixed p4 of both power commands
constexpr uint16_t EdidPrepareParam = 0xF0;
constexpr uint16_t EdidAllInputsParam = 0xF0FE;
constexpr uint8_t EdidDipSwitchMode = 0x0F;   // (3, 11) reply: DIP switch controls EDID
constexpr uint16_t RebootParam = 0x0F;
constexpr int PortCount = 4;

// A catalogue command ready to run: packet and the status text shown meanwhile.
struct TCatalogueCommand {
    TCommandPacket Packet;
    QString StatusText;
};

namespace Catalogue {
TCatalogueCommand PowerStatus();
TCatalogueCommand PowerSet(bool on);
TCatalogueCommand DeviceQuery();
TCatalogueCommand DeviceSize();
TCatalogueCommand Version();
TCatalogueCommand InputConnection(int n);
// `forEdid`: the output check before an EDID read or copy uses its own text.
TCatalogueCommand OutputConnection(int n, bool forEdid = false);
TCatalogueCommand RouteQuery(int output);
TCatalogueCommand RouteSet(int input, int output);
TCatalogueCommand ApmQuery();
TCatalogueCommand ApmSet(bool on);
TCatalogueCommand BeeperQuery();
TCatalogueCommand BeeperSet(bool on);
TCatalogueCommand KeysQuery();
TCatalogueCommand KeysSet(bool on);
TCatalogueCommand IrQuery();
TCatalogueCommand IrSet(bool on);
TCatalogueCommand AudioQuery(int input);
TCatalogueCommand AudioSet(int input, int source);
TCatalogueCommand EdidControlMode();
TCatalogueCommand EdidPrepare(const QString& actionText);
TCatalogueCommand Reboot();

// Readers of the reply values.
// Switch queries: only 0xFF in p2 low byte means on.
bool SwitchIsOn(const TCommandReply& reply);
bool PowerIsOn(const TCommandReply& reply);
QString DeviceText(const TCommandReply& sizeReply);    // "Device: HDMI Matrix, 4x4"
QString VersionText(const TCommandReply& versionReply); // "Version: 2.07"
// Connection label after a connection query: `prefix` is "Input" or "HDMI Output".
// Returns an empty text when the reply value changes nothing.
QString ConnectionText(const QString& prefix, int n, const TCommandReply& reply);
// Audio source names, 1-based numbers.
QString AudioSourceName(int number);
// The catalogue name of a command, e.g. "RouteSet"; empty for one the
// catalogue does not hold. Firmware part commands are "FirmwarePart".
QString CommandName(uint8_t group, uint8_t code);
} // namespace Catalogue
