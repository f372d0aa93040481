#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

// The TCP module's records: the 55-byte search answer, the 76-byte
// configuration record and the 32-byte LDCD packet of the module query and
// reset. Bytes only; the link controller runs the exchanges.
namespace ModuleRecord
{
constexpr quint16 SearchPort = 30600;
constexpr quint16 ConfigPort = 30601;
constexpr int SearchSize = 55;
constexpr int ConfigSize = 76;
constexpr uint8_t SearchProbe = 0x23;
constexpr uint8_t ConfigRequestMark = 0xFF; // byte 74 of a request
constexpr uint8_t ConfigAutoMode = 0x14;    // byte 25
constexpr uint8_t ConfigStaticMode = 0x15;
constexpr uint8_t StatusConflict = 0x20;
constexpr uint8_t StatusRefused = 0x10;
constexpr int TagSize = 32;
constexpr const char* BroadcastHost = "255.255.255.255";

// A device tag as it may enter a device entry: at most 32 bytes of UTF-8
// (whole characters), no control characters, and "[" / "]" turned into
// "(" / ")" so that a tag can never shift the fields of the entry.
QString CleanTag(const QString& tag);
// The tag field of a record: up to the first zero byte, at most 32 bytes.
QString TagFromField(const uint8_t* field32);

// Texts of a 55-byte search answer, in FoundModules order: MAC, IP, gateway,
// mask, the two 16-bit numbers, tag, DHCP flag.
QStringList SearchRecordFields(const uint8_t* record55);
QString MacText(const uint8_t* six);
QString IpText(const uint8_t* four);
// Defaults of ModuleField for a module that is not there.
QString DefaultField(int index);

// The configuration request as the dialog builds it (bytes 74 and 75 are set
// when it is sent). The tag is cleaned and cut to the 32-byte field.
QByteArray BuildConfigRequest(const std::array<uint8_t, 6>& mac, bool autoIP,
                              const std::array<uint8_t, 4>& ip,
                              const std::array<uint8_t, 4>& gateway,
                              const std::array<uint8_t, 4>& mask, const QString& tag);
// Sets byte 74 to the request mark and byte 75 to the sum of bytes 0..74.
void SealConfigRequest(uint8_t* record76);
// The MAC at bytes 19..24 of an answer, zero when the module left it out.
bool AnswerNamesOtherModule(const uint8_t* answer76, const uint8_t* requestMac6);
// 0 accepted, 1 failed, 2 address conflict, from the answer's status byte.
int ConfigStatusResult(uint8_t status);

// Dotted text -> four bytes; false when it is not four fields 0..255.
bool IpBytes(const QString& text, std::array<uint8_t, 4>* bytes);
} // namespace ModuleRecord

// The 32-byte packet of the module query and reset.
namespace LDCD
{
constexpr int Size = 32;
constexpr uint8_t Query = 1;
constexpr uint8_t Reset = 0xFF;
constexpr uint8_t NotReceived = 0xFF; // byte 30 of a request
extern const std::array<uint8_t, 16> Header;
uint8_t Checksum(const uint8_t* packet32);
// Fills header, receive mark and checksum of a request.
void Seal(uint8_t* packet32);
// The answer is taken when it is no echo, its checksum holds and the header
// is the request's.
bool AnswerGood(const uint8_t* answer32, const uint8_t* request32);
bool ChecksumGood(const uint8_t* packet32);
// The diagnostic dump of one packet.
QString Dump(const QString& prefix, const uint8_t* packet32);
} // namespace LDCD
