#pragma once

#include "Constants.h"
#include "Notifications.h"
#include "Packet.h"
#include "ProcessFlags.h"
#include "Timing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

class TComPort;
class TNMUDP;
class TPowersock;
class QEventLoop;

// Direction of a frame on the line, as the Frame signal reports it.
enum TFrameDirection {
    fdSent,     // written to the port or socket
    fdReceived, // a whole frame the receiver completed
    fdPartial,  // the bytes of a frame that was still incomplete when its wait ended
};

// The one object through which the program talks to the matrix: owns the
// serial port and the TCP client, runs every command as a transaction of up to
// five tries, moves EDID and firmware data in blocks, and reports through the
// Notify signal (connect it directly: the handler runs before the controller
// goes on, as the window relies on).
//
// Every operation runs on the owning thread and waits in nested event loops
// that wake on received bytes, on the poll tick and on the abort flag.
class TQMCOMControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString ComPort READ ComPort WRITE SetComPort)
    Q_PROPERTY(bool Connected READ Connected)
    Q_PROPERTY(QString DeviceIP READ DeviceIP WRITE SetDeviceIP)
public:
    TQMCOMControl(TProcessFlags* flags, const TTiming& timing = TTiming(),
                  QObject* owner = nullptr);
    ~TQMCOMControl() override;

    // Published properties.
    QString ComPort() const;
    void SetComPort(const QString& name);
    bool Connected() const;
    TControlMode ControlMode() const { return FControlMode; }
    void SetControlMode(TControlMode mode);
    QString DeviceIP() const { return FDeviceIP; }
    void SetDeviceIP(const QString& ip) { FDeviceIP = ip; }
    TUDPMode UDPMode() const { return FUDPMode; }
    void SetUDPMode(TUDPMode mode) { FUDPMode = mode; }
    // TCP port of the matrix; 8000 unless a test or tool points elsewhere.
    quint16 DevicePort() const;
    void SetDevicePort(quint16 port);

    bool Connect();
    bool Disconnect();
    void ExecuteCommand(const TCommandPacket& request, TCommandReply& reply);
    void ReadBlocks(const TCommandPacket& request, TCommandReply& reply);
    void WriteBlocks(const TCommandPacket& request, TCommandReply& reply);
    void WriteFirmwarePart(const TCommandPacket& request, TCommandReply& reply);
    void WriteFirmwarePartErased(const TCommandPacket& request, TCommandReply& reply);
    void WaitForReboot(TCommandReply& reply);
    void Delay(int polls);
    // Nanoseconds since the last byte of the last complete frame came in; -1
    // before the first.
    qint64 NsSinceFrame() const
    {
        return FLastFrameNs < 0 ? -1 : FClock.nsecsElapsed() - FLastFrameNs;
    }

    static void ScrambleBuffer(uint8_t* buffer, int length);
    static void UnscrambleBuffer(uint8_t* buffer, int length);
    static constexpr const char* ScrambleKey = "7C1E04B9D35A28F6E0B47D9C12A3F85E";

    // The EDID read buffer (filled by ReadBlocks) and the EDID download buffer
    // (filled by the caller before WriteBlocks or a firmware part).
    QByteArray& EdidReadBuffer() { return FEdidReadBuffer; }
    QByteArray& EdidDownloadBuffer() { return FEdidDownloadBuffer; }

    const TTiming& Timing() const { return FTiming; }
    void SetTiming(const TTiming& t) { FTiming = t; }
    TProcessFlags* Flags() const { return FFlags; }
    // Text of the last connect or port failure, for tools that show it.
    QString LastErrorText() const { return FLastErrorText; }

    // Module discovery and configuration (QMCOMControlModule.cpp).
    bool SearchModules();
    // 0 accepted, 1 failed, 2 address conflict; `record` is 76 bytes.
    int ConfigureModule(const QByteArray& record);
    int ModuleCount() const { return int(FoundModules.size() / 8); }
    QString ModuleField(int n, int index) const;
    QString LocalHostIP() const;
    // The lookup's address and every interface address of this computer.
    QStringList OwnAddresses() const;
    // Tests point this computer's address elsewhere; nullopt: the real lookup.
    void SetLocalHostIP(const std::optional<QString>& ip) { FLocalHostIP = ip; }
    // Why the last search or configuration could not use the network; empty
    // when it could.
    QString ModuleError() const { return FModuleError; }
    TNMUDP* UDP() const { return FUDP; }
    // The 32-byte exchange of the module query and reset; `answer` gets the
    // 32 answer bytes and the ok flag as byte 32.
    void LDCDTransaction(const QByteArray& request, QByteArray& answer);

    TComPort* SerialPort() const { return FComPort; }
    TPowersock* TcpClient() const { return FSock; }

    // State of the running transfer, kept under the names the protocol uses.
    uint8_t FReply[13] = {};
    int FBlockFrameSize = 0;
    int FBlockDataSize = 0;
    uint8_t FBlockDataChecksum = 0;
    uint8_t FRxBuffer[540] = {};
    uint8_t FFrameKind = 0;
    bool FFrameComplete = false;
    int FPollCount = 0;
    int FRxPos = 0;
    bool FRestartBlocks = false;
    bool FConnecting = false;
    bool Searching = false;
    bool Configuring = false;
    bool ModuleReplied = false;
    bool Listening = false;
    QStringList FoundModules;
    uint8_t ConfigBuffer[76] = {};

    // Text builders of the diagnostic notifications.
    static QString CommandLogLine(const QString& title, const uint8_t* bytes13, int rc);
    static QString ReceivedDump(const uint8_t* bytes, int count, const QString& prefix);
    static QString SentDump(const QString& title, const uint8_t* bytes, int count);

signals:
    void Notify(int code, qintptr wParam, qintptr lParam, const QString& text);
    // Every frame on the line (TFrameDirection), for the traffic view and
    // the command line trace.
    void Frame(int direction, const QByteArray& bytes);
    // Internal: the receiver took bytes; wakes a running wait.
    void ReceiverAdvanced();

protected:
    void SendNotify(int code, qintptr wParam = 0, qintptr lParam = 0,
                    const QString& text = QString());
    int SendFrame(const uint8_t* bytes, int count);
    // Waits for a whole frame, the poll limit or the abort flag; false when
    // aborted. `onPoll` runs on every poll tick; `dumpLan` sends the dump of
    // the TCP bytes taken.
    // `resume` goes on with the poll count of the wait it continues.
    bool WaitForFrame(bool dumpLan = true, const std::function<void()>& onPoll = {},
                      bool resume = false);
    enum TTryResult { trFrame, trRetry, trStop };
    // One try of an exchange: clear the receiver for `frameKind`, send the
    // bytes, run `afterSend`, wait. trFrame: FReply and reply.Packet hold the
    // frame. trRetry: no whole frame and this is not try `lastTry`. trStop:
    // aborted, or no whole frame on the last try (2026 sent); reply.Ok is 0.
    TTryResult ExchangeTry(const uint8_t* bytes, int count, uint8_t frameKind, int tryNo,
                           int lastTry, TCommandReply& reply,
                           const std::function<void()>& afterSend = {},
                           const std::function<void()>& onPoll = {}, bool dumpLan = true);
    // Waits again in the same try after a frame that was not its answer; bytes
    // that came behind that frame are kept.
    TTryResult ResumeTry(int tryNo, int lastTry, TCommandReply& reply);
    TTryResult FinishTry(bool waited, int tryNo, int lastTry, TCommandReply& reply);
    // Tries of plain commands that got no reply of their own yet. A matrix that
    // answers late answers one of them inside a later command's wait; such a
    // reply is told apart by its p1 and skipped.
    void NoteSent(const TCommandPacket& request);
    bool TakeLateReply(const TCommandPacket& request);
    void NoteAnswered(const TCommandPacket& request);
    // The part command of a firmware transfer; true when the data may follow.
    bool OpenFirmwarePart(const TCommandPacket& request, TCommandReply& reply);
    void ClearReceiveState(uint8_t frameKind);
    int FrameLimit() const;
    // Feeds received bytes to the frame receiver; returns the bytes taken.
    QByteArray Receive(const QByteArray& bytes);
    // cmLAN: takes the bytes the TCP client has queued into the receiver.
    void TakeLanBytes(bool dump);
    void OnRxBuf(const QByteArray& bytes);
    void Pause(int ms);
    // A port or socket failure during a transfer: reply.Ok = 0 and 2031.
    void PortFailure(const std::exception& e, TCommandReply& reply);
    void SendCommandLog(const QString& title, const uint8_t* bytes13, int rc);
    void SendSentDump(const QString& title, const uint8_t* bytes, int count);
    // Block and firmware transfers (QMCOMControlBlocks.cpp, QMCOMControlFirmware.cpp).
    void WaitMs(int ms);
    void SendFirmwareData(const TCommandPacket& request, TCommandReply& reply, bool erased);
    void SendRebootText(const QString& text, bool waiting);
    // Module protocol helpers.
    void OnModuleDatagram(int count, const QString& fromIP, quint16 port);
    bool ModuleSteps(const QString& text, int selector, const bool& running);
    bool WaitModuleReply(int cycles);
    void WaitEvents(int ms);

    TProcessFlags* FFlags;
    TTiming FTiming;
    TComPort* FComPort;
    TPowersock* FSock;
    TControlMode FControlMode = cmLAN;
    TUDPMode FUDPMode = umBROADCAST;
    QString FDeviceIP = QStringLiteral("0.0.0.0");
    QString FLastErrorText;
    QByteArray FEdidReadBuffer;
    QByteArray FEdidDownloadBuffer;
    QByteArray FRxExtra;    // bytes that arrived behind the frame just completed
    bool FLinkLost = false; // the last wait ended because the link went away
    struct TSent {
        uint8_t Group, Code;
        uint16_t P1;
        qint64 AtMs;
    };
    QList<TSent> FUnanswered;
    QElapsedTimer FClock;
    qint64 FLastFrameNs = -1;
    QString FDumpTitle;  // title of the sent-data dump, set by the transfer
    int FSpinnerPos = 0; // next reboot spinner text
    TNMUDP* FUDP;
    std::optional<QString> FLocalHostIP;
    QString FOperationLocalIP;    // this computer's address, looked up once per operation
    QStringList FOperationOwnIPs; // and all its addresses, our echoes come from them
    quint16 FListenPort = 0;      // the records the running operation takes
    QString FModuleError;
    int FModuleSpinner = 0;
};
