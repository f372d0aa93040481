#pragma once

#include "SimFrame.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <array>
#include <cstdint>
#include <functional>

// What the simulated matrix keeps.
struct TMatrixState {
    bool Power = false;
    int Inputs = 4;
    int Outputs = 4;
    int VersionMajor = 2;
    int VersionMinor = 7;
    std::array<int, 4> Route = {1, 2, 3, 4}; // input shown on output n
    std::array<bool, 4> InputConnected = {true, true, false, false};
    std::array<bool, 4> OutputConnected = {true, true, true, false};
    bool Ir = true;
    bool Keys = true; // panel keys unlocked
    bool Apm = false;
    bool Beeper = true;
    std::array<int, 4> AudioSource = {1, 1, 1, 1};
    bool EdidDipSwitch = false;                          // EDID set by the DIP switch
    std::array<int, 4> InputEdidMode = {18, 18, 18, 18}; // mode code per input (18: default)
    std::array<QByteArray, 4> OutputEdid;                // EDID of the display on each output
    std::array<QByteArray, 4> InputEdid;                 // EDID each input presents
    std::array<QByteArray, 2> UserEdid;                  // the two user memories
    int EdidBlockSize = 256;                             // data bytes per EDID read block
    bool EdidWriteNotReady = false;                      // answer a download opening with 0x00

    // Firmware receiver.
    QMap<int, QByteArray> FirmwareParts; // part identity -> data received
    QMap<int, int> FirmwareVersions;     // part identity -> version word
    bool DeclineSameOrOlder = false;     // decline parts not newer than held
    int DeclineAfterFrames = -1;         // decline mid-part after N frames
    int RebootSilenceMs = 300;           // silence after a reboot
    int Reboots = 0;

    QJsonObject ToJson() const;
    void FromJson(const QJsonObject& o);
};

// The matrix as a pure function of bytes: Feed() takes what arrives on the
// line and returns the reply units to send back, one per answered frame. The
// model keeps the frame parser's state between calls, so bytes may arrive in
// any pieces.
class TMatrixDevice
{
public:
    TMatrixDevice();
    virtual ~TMatrixDevice() = default;

    QList<QByteArray> Feed(const QByteArray& bytes);
    // The TCP module's 32-byte packets share the line; when set, a packet
    // starting with ModulePacketStart goes here whole and its answer (empty:
    // none) goes back on the line.
    std::function<QByteArray(const QByteArray&)> ModulePacket;
    std::function<bool(const QByteArray&)> ModulePacketStart;
    // Forget partial frames and transfer state (a new connection).
    void ResetLine();

    TMatrixState& State() { return FState; }
    const TMatrixState& State() const { return FState; }
    // Loads the display EDIDs from a folder of .bin files (sorted by name).
    bool LoadEdids(const QString& folder);

    // Time (ms, from the line owner's clock) until which the device stays
    // silent after a reboot; the owner tells the device the time.
    void SetNow(qint64 ms) { FNowMs = ms; }
    bool Silent() const { return FNowMs < FSilentUntilMs; }

    static QByteArray Reply(uint8_t group, uint8_t code, uint16_t p1, uint16_t p2 = 0,
                            uint16_t p3 = 0, uint16_t p4 = 0);
    static QByteArray Refusal(const TSimFrame& cmd);

    int FramesReceived() const { return FFramesReceived; }

    // Block requests and data frames as they arrived, for tests and tools.
    struct TBlockRecord {
        TSimFrame Header;
        bool Data = false; // a data frame (else a block request or opening)
        int DataLength = 0;
        QByteArray Raw; // the frame exactly as it came off the line
    };
    const QList<TBlockRecord>& BlockLog() const { return FBlockLog; }
    void ClearBlockLog() { FBlockLog.clear(); }

protected:
    QByteArray HandleCommand(const TSimFrame& cmd);
    QByteArray HandleStatus(const TSimFrame& cmd);
    QByteArray HandleEdidSimple(const TSimFrame& cmd);
    // Block transfers and firmware: the opening commands, block requests,
    // data frames and the reboot.
    QByteArray HandleBlockCommand(const TSimFrame& cmd, bool* handled);
    QByteArray HandleDataFrame(const TSimFrame& header, const QByteArray& data,
                               uint8_t dataChecksum, const QByteArray& raw);
    QByteArray EdidReadRequest(const TSimFrame& cmd);
    QByteArray EdidReadBlock();
    QByteArray EdidWriteOpening(const TSimFrame& cmd);
    QByteArray EdidWriteFrame(const TSimFrame& header, const QByteArray& data);
    QByteArray FirmwareCommand(const TSimFrame& cmd);
    QByteArray FirmwareFrame(const TSimFrame& header, const QByteArray& data);
    void EndBlockTransfers();
    void Record(const TSimFrame& header, bool data, int length, const QByteArray& raw);

    // Data frames expected after an accepted block write opening.
    struct TDataMode {
        bool Active = false;
        uint8_t Group = 0;
        uint8_t Code = 0;
        bool Padded = true;
    };
    TDataMode FDataMode;

    // Block read in progress.
    struct TReadState {
        bool Active = false;
        uint8_t Group = 0, Code = 0;
        uint16_t P3 = 0, P4 = 0;
        QByteArray Data;
        int Offset = 0;    // start of the block last sent
        int BlockSize = 0; // size of the block last sent
    };
    TReadState FRead;

    // Block write in progress.
    struct TWriteState {
        uint16_t Target = 0;
        QByteArray Data;
        int PartIdentity = -1;
        int PartVersion = 0;
        int NextBlock = 0;
        int Frames = 0;
        bool Firmware = false;
        uint8_t Code = 0;
        uint16_t Mcu = 0;
        int Prepared = 0;     // firmware erase preparation steps received
        bool Done = false;    // the last frame has been taken
        QByteArray LastFrame; // header and data of the frame last taken
    };
    TWriteState FWrite;

    TMatrixState FState;
    QByteArray FIn;
    qint64 FNowMs = 0;
    qint64 FSilentUntilMs = 0;
    int FFramesReceived = 0;
    QList<TBlockRecord> FBlockLog;
};
