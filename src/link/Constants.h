#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

// Byte helpers for the 16-bit packet parameters.
inline uint8_t LowByte(uint16_t w) { return uint8_t(w & 0xFF); }
inline uint8_t HighByte(uint16_t w) { return uint8_t(w >> 8); }
inline uint16_t MakeWord16(uint8_t high, uint8_t low) { return uint16_t((high << 8) | low); }

enum TControlMode { cmLAN = 0, cmCOM = 1 };
enum TUDPMode { umBROADCAST = 0, umNORMAL = 1 };

// Option texts shown by the windows, indexed from 0.
namespace Options {
extern const std::array<const char*, 2> AddressMode;    // "Static IP", "Auto IP"
extern const std::array<const char*, 2> SubnetRelation; // "Same Subnet", "Cross Subnet"
extern const std::array<const char*, 2> ConnectionState; // "Disconnect", "Connected"
extern const std::array<const char*, 2> PortAction;     // "Open", "Close"
extern const std::array<const char*, 2> LinkAction;     // "Connect", "Disconnect"
extern const std::array<const char*, 2> DisableEnable;  // "Disable", "Enable"
extern const std::array<const char*, 2> OffOn;          // "OFF", "ON"
extern const std::array<const char*, 2> Lock;           // "Unlock", "Lock"
extern const std::array<uint8_t, 2> SwitchValue;        // 0xF0 (off), 0x0F (on)
extern const std::array<const char*, 4> Spinner;        // "/", "-", "\", "|"
enum TPanelColour { pcRed = 0, pcWhite = 1, pcButtonFace = 2 };
} // namespace Options

// The EDID modes the matrix knows, in table order.
struct TEdidMode {
    uint8_t Code;
    const char* Name;
};
extern const std::array<TEdidMode, 20> EdidModes;
// Code of the first mode whose name equals `name` exactly; 255 when none does.
uint8_t EdidModeCode(const QString& name);

constexpr const char* DefaultModuleIP = "192.168.0.100";

// Dotted IPv4 text -> four field texts. See the rules in Constants.cpp.
bool ParseIPv4(const QString& text, QStringList* fields);
// Dash-separated MAC text -> six bytes.
bool ParseMAC(const QString& text, std::array<uint8_t, 6>* bytes);
// MAC text -> six two-digit upper-case hex texts.
bool FormatMAC(const QString& text, QStringList* parts);
// The rule of the byte-sized address edit fields: empty -> "0", above 254 -> "255",
// 0 or less -> "0".
QString ClampEditByte(const QString& text);
// True when a file can be created in `folder`.
bool IsFolderWritable(const QString& folder);
