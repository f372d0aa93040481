#include "QMCOMControl.h"

#include "transport/ComPort.h"
#include "transport/NMUDP.h"
#include "transport/Powersock.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <cstring>
#include <exception>
#include <stdexcept>

TQMCOMControl::TQMCOMControl(TProcessFlags* flags, const TTiming& timing, QObject* owner)
    : QObject(owner), FFlags(flags), FTiming(timing), FComPort(new TComPort(this)),
      FSock(new TPowersock(this)), FUDP(new TNMUDP(this))
{
    FSock->SetPort(8000);
    FUDP->SetRemoteHost(QStringLiteral("255.255.255.255"));
    connect(FUDP, &TNMUDP::DataReceived, this, &TQMCOMControl::OnModuleDatagram);
    FClock.start();
    connect(FComPort, &TComPort::RxBuf, this, &TQMCOMControl::OnRxBuf);
    connect(FComPort, &TComPort::DeviceLost, this, [this] {
        // The adapter or device went away: the port is closed so that
        // Connected tells the truth and the next command reopens it; a
        // running wait ends with a port failure.
        try {
            FComPort->Close();
        } catch (const std::exception&) {
        }
        emit ReceiverAdvanced();
    });
    connect(FSock, &TPowersock::ConnectionClosed, this, &TQMCOMControl::ReceiverAdvanced);
}

TQMCOMControl::~TQMCOMControl()
{
    FSock->Cancel();
    try {
        Disconnect();
    } catch (...) {
    }
}

QString TQMCOMControl::ComPort() const
{
    return FComPort->Port();
}
void TQMCOMControl::SetComPort(const QString& name)
{
    FComPort->SetPort(name);
}

bool TQMCOMControl::Connected() const
{
    return FControlMode == cmCOM ? FComPort->Connected() : FSock->Connected();
}

void TQMCOMControl::SetControlMode(TControlMode mode)
{
    FControlMode = mode;
    Searching = false;
    Configuring = false;
}

quint16 TQMCOMControl::DevicePort() const
{
    return FSock->Port();
}
void TQMCOMControl::SetDevicePort(quint16 port)
{
    FSock->SetPort(port);
}

void TQMCOMControl::SendNotify(int code, qintptr wParam, qintptr lParam, const QString& text)
{
    emit Notify(code, wParam, lParam, text);
}

bool TQMCOMControl::Connect()
{
    if (Connected()) return true;
    FUnanswered.clear(); // a new link owes no answers
    const QPointer<TQMCOMControl> self(this);
    try {
        if (FControlMode == cmCOM) {
            FConnecting = true;
            FComPort->Open();
            FConnecting = false;
            FComPort->ClearBuffers(true, true);
        } else {
            FSock->SetHost(FDeviceIP);
            FSock->SetTimeOut(FTiming.ConnectTimeoutMs);
            FSock->SetAbortCheck([this] { return FFlags->Abort; }, FTiming.PollTickMs);
            FConnecting = true;
            FSock->Connect();
            FConnecting = false;
            FSock->SetTimeOut(0);
        }
        FLastErrorText.clear();
        return true;
    } catch (const std::exception& e) {
        if (!self) return false; // deleted while it waited for its peer
        FLastErrorText = QString::fromStdString(e.what());
        FSock->Disconnect();
        FConnecting = false;
        FSock->SetTimeOut(0);
        SendNotify(ntConnectFailed, Connected() ? 1 : 0);
        return false;
    }
}

bool TQMCOMControl::Disconnect()
{
    try {
        if (Connected()) {
            if (FControlMode == cmCOM)
                FComPort->Close();
            else
                FSock->Disconnect();
        }
        return true;
    } catch (const std::exception& e) {
        FLastErrorText = QString::fromStdString(e.what());
        SendNotify(ntConnectFailed, Connected() ? 1 : 0);
        return false;
    }
}

int TQMCOMControl::SendFrame(const uint8_t* bytes, int count)
{
    QByteArray data(reinterpret_cast<const char*>(bytes), count);
    emit Frame(fdSent, data);
    if (FControlMode == cmCOM) {
        FComPort->ClearBuffers(true, true);
        return FComPort->Write(data);
    }
    FSock->DiscardInput();
    return FSock->SendBuffer(data);
}

int TQMCOMControl::FrameLimit() const
{
    switch (FFrameKind) {
    case 1:
        return FrameSizeBlock;
    case 6:
        return FrameSizeModule;
    default:
        return FrameSizeCommand;
    }
}

void TQMCOMControl::ClearReceiveState(uint8_t frameKind)
{
    FFrameKind = frameKind;
    FFrameComplete = false;
    std::memset(FReply, 0, sizeof FReply);
    FBlockFrameSize = 0;
    FBlockDataSize = 0;
    FBlockDataChecksum = 0;
    std::memset(FRxBuffer, 0, sizeof FRxBuffer);
    FRxPos = 0;
    FRxExtra.clear();
}

QByteArray TQMCOMControl::Receive(const QByteArray& bytes)
{
    const int limit = FrameLimit();
    const int oldPos = FRxPos;
    int take = int(bytes.size());
    if (FRxPos + take > limit) {
        take = qMax(0, limit - FRxPos);
        FRxPos = limit;
    } else {
        FRxPos += take;
    }
    FFrameComplete = FRxPos >= limit;
    if (FFrameComplete) {
        FRxPos = 0;
        FLastFrameNs = FClock.nsecsElapsed();
    }
    FRxExtra = bytes.mid(take);
    if (take > 0) std::memcpy(FRxBuffer + oldPos, bytes.constData(), size_t(take));
    if (FFrameComplete)
        emit Frame(fdReceived, QByteArray(reinterpret_cast<const char*>(FRxBuffer), limit));
    return bytes.left(take);
}

void TQMCOMControl::OnRxBuf(const QByteArray& bytes)
{
    if (FFlags->Abort) return;
    SendNotify(ntDump, 0, 0, QStringLiteral("CopyDataPosition = %1\r\n").arg(FRxPos));
    QByteArray taken = Receive(bytes);
    SendNotify(ntBytesReceived, qintptr(bytes.size()));
    SendNotify(ntDump, 0, 0,
               ReceivedDump(reinterpret_cast<const uint8_t*>(taken.constData()), int(taken.size()),
                            QString()));
    emit ReceiverAdvanced();
}

void TQMCOMControl::TakeLanBytes(bool dump)
{
    QByteArray bytes = FSock->ReadAvailable();
    if (bytes.isEmpty()) return;
    SendNotify(ntBytesReceived, qintptr(bytes.size()));
    QByteArray taken = Receive(bytes);
    if (dump)
        SendNotify(ntDump, 0, 0,
                   ReceivedDump(reinterpret_cast<const uint8_t*>(taken.constData()),
                                int(taken.size()), QStringLiteral("cmLAN:::")));
}

bool TQMCOMControl::WaitForFrame(bool dumpLan, const std::function<void()>& onPoll, bool resume)
{
    if (!resume) FPollCount = 0;
    FLinkLost = false;
    QEventLoop loop;
    bool aborted = false;
    bool done = false;
    auto check = [&] {
        if (done) return;
        if (FFlags->Abort) {
            aborted = true;
            done = true;
        } else if (FFrameComplete || FPollCount >= FTiming.PollLimit) {
            done = true;
        } else if (!Connected()) {
            // Unplugged, hung up, reset by the peer or disconnected: nothing
            // more can arrive.
            FLinkLost = done = true;
        }
        if (done) loop.quit();
    };
    auto takeLan = [&] {
        if (FControlMode == cmLAN && !FFlags->Abort) TakeLanBytes(dumpLan);
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        ++FPollCount;
        if (onPoll) onPoll();
        takeLan();
        check();
    });
    connect(FSock, &TPowersock::DataArrived, &loop, [&] {
        takeLan();
        check();
    });
    connect(this, &TQMCOMControl::ReceiverAdvanced, &loop, check);
    tick.start(FTiming.PollTickMs);
    takeLan();
    check();
    if (!done) loop.exec();
    return !aborted;
}

TQMCOMControl::TTryResult TQMCOMControl::ExchangeTry(const uint8_t* bytes, int count,
                                                     uint8_t frameKind, int tryNo, int lastTry,
                                                     TCommandReply& reply,
                                                     const std::function<void()>& afterSend,
                                                     const std::function<void()>& onPoll,
                                                     bool dumpLan)
{
    ClearReceiveState(frameKind);
    SendFrame(bytes, count);
    if (afterSend) afterSend();
    return FinishTry(WaitForFrame(dumpLan, onPoll), tryNo, lastTry, reply);
}

TQMCOMControl::TTryResult TQMCOMControl::ResumeTry(int tryNo, int lastTry, TCommandReply& reply)
{
    const QByteArray behind = FRxExtra;
    ClearReceiveState(FFrameKind);
    if (!behind.isEmpty()) Receive(behind);
    return FinishTry(WaitForFrame(true, {}, true), tryNo, lastTry, reply);
}

TQMCOMControl::TTryResult TQMCOMControl::FinishTry(bool waited, int tryNo, int lastTry,
                                                   TCommandReply& reply)
{
    if (!waited) {
        reply.Ok = 0;
        return trStop;
    }
    if (!FFrameComplete && FLinkLost)
        throw std::runtime_error(FControlMode == cmCOM ? "The serial line went away"
                                                       : "The connection was closed");
    if (!FFrameComplete) {
        if (FRxPos > 0)
            emit Frame(fdPartial, QByteArray(reinterpret_cast<const char*>(FRxBuffer), FRxPos));
        if (tryNo != lastTry) return trRetry;
        reply.Ok = 0;
        SendNotify(ntTimeOut);
        return trStop;
    }
    std::memcpy(FReply, FRxBuffer, 13);
    reply.Packet = TCommandPacket::FromBytes(FReply);
    return trFrame;
}

void TQMCOMControl::Delay(int polls)
{
    if (polls <= 0 || FFlags->Abort) return;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    int left = polls;
    connect(&tick, &QTimer::timeout, &loop, [&] {
        ++FPollCount;
        if (--left <= 0 || FFlags->Abort) loop.quit();
    });
    tick.start(FTiming.PollTickMs);
    loop.exec();
}

void TQMCOMControl::Pause(int ms)
{
    // A breather for the matrix, not for the window: the event loop runs on.
    WaitMs(ms);
}

void TQMCOMControl::PortFailure(const std::exception& e, TCommandReply& reply)
{
    FLastErrorText = QString::fromStdString(e.what());
    reply.Ok = 0;
    SendNotify(ntPortError);
}

void TQMCOMControl::SendCommandLog(const QString& title, const uint8_t* bytes13, int rc)
{
    SendNotify(ntCommandLog, 0, 0, CommandLogLine(title, bytes13, rc));
}

void TQMCOMControl::SendSentDump(const QString& title, const uint8_t* bytes, int count)
{
    SendNotify(ntDump, 0, 0, SentDump(title, bytes, count));
}

void TQMCOMControl::NoteSent(const TCommandPacket& r)
{
    const qint64 now = FClock.elapsed();
    while (!FUnanswered.isEmpty() && now - FUnanswered.first().AtMs > FTiming.LateReplyWindowMs)
        FUnanswered.removeFirst();
    FUnanswered.append({r.Group, r.Code, r.P1, now});
}

bool TQMCOMControl::TakeLateReply(const TCommandPacket& request)
{
    const uint16_t p1 = MakeWord16(FReply[5], FReply[4]);
    if (p1 == request.P1) return false;
    const qint64 now = FClock.elapsed();
    for (int i = 0; i < FUnanswered.size(); ++i) {
        const TSent& s = FUnanswered[i];
        if (s.Group == request.Group && s.Code == request.Code && s.P1 == p1 &&
            now - s.AtMs <= FTiming.LateReplyWindowMs) {
            FUnanswered.removeAt(i);
            return true;
        }
    }
    return false;
}

void TQMCOMControl::NoteAnswered(const TCommandPacket& r)
{
    for (int i = 0; i < FUnanswered.size(); ++i) {
        const TSent& s = FUnanswered[i];
        if (s.Group == r.Group && s.Code == r.Code && s.P1 == r.P1) {
            FUnanswered.removeAt(i);
            return;
        }
    }
}

void TQMCOMControl::ExecuteCommand(const TCommandPacket& request, TCommandReply& reply)
{
    if (FFlags->Abort) return;
    const auto frame = BuildCommandFrame(request);
    const auto asPassed = request.Bytes();
    int tryNo = 0;
    try {
        for (tryNo = 1; tryNo <= FTiming.Tries; ++tryNo) {
            NoteSent(request);
            TTryResult result = ExchangeTry(frame.data(), 13, 0, tryNo, FTiming.Tries, reply, [&] {
                SendCommandLog(QStringLiteral("[%1] snd cmd PPP:   ").arg(tryNo), asPassed.data(),
                               0);
            });
            bool accepted = false;
            while (result == trFrame) {
                SendCommandLog(QStringLiteral("rcv cmd PPP:   "), FReply, 0);
                accepted = CheckReply(FReply, frame[2], frame[3]) == rcOk;
                if (!accepted || !TakeLateReply(request)) break;
                // An earlier command's late answer: this try's own is still due.
                result = ResumeTry(tryNo, FTiming.Tries, reply);
            }
            if (result == trStop) return;
            if (result == trRetry) continue;
            if (accepted) {
                NoteAnswered(request);
                reply.Ok = 1;
                break;
            }
            reply.Ok = 0;
            Pause(FTiming.RejectPauseMs);
        }
        if (tryNo > FTiming.Tries && reply.Ok == 0) SendNotify(ntSendFailed);
    } catch (const std::exception& e) {
        PortFailure(e, reply);
    }
}

static QString Hex2(uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString TQMCOMControl::CommandLogLine(const QString& title, const uint8_t* b, int rc)
{
    QString s = title + QStringLiteral("\r\n");
    s += Hex2(b[0]) + ' ' + Hex2(b[1]) + ' ' + Hex2(b[2]) + ' ' + Hex2(b[3]);
    s += QStringLiteral(" [") + Hex2(b[5]) + QStringLiteral(" UU ") + Hex2(b[4]) + ']';
    for (int p = 6; p <= 10; p += 2)
        s += QStringLiteral(" [") + Hex2(b[p + 1]) + ' ' + Hex2(b[p]) + ']';
    s += ' ' + Hex2(b[12]) + QStringLiteral(", RC=") + QString::number(rc);
    return s.left(255); // the text travels in a 256-byte buffer
}

QString TQMCOMControl::ReceivedDump(const uint8_t* bytes, int count, const QString& prefix)
{
    const QString stars(48, QLatin1Char('*'));
    QString list = prefix;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && i % 16 == 0) list += QStringLiteral("\r\n");
        list += QStringLiteral("0x") + Hex2(bytes[i]) + QChar(QLatin1Char(char(bytes[i]))) +
                QStringLiteral(", ");
    }
    QString text = stars + QStringLiteral("\r\n") + list + QStringLiteral("\r\n") + stars +
                   QStringLiteral("\r\n");
    // The text travels zero-terminated in a 5000-byte buffer: a zero data byte
    // ends what the receiver sees.
    int nul = int(text.indexOf(QChar(0)));
    if (nul >= 0) text.truncate(nul);
    return text.left(4999);
}

QString TQMCOMControl::SentDump(const QString& title, const uint8_t* bytes, int count)
{
    QString s = title;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && i % 16 == 0) s += QStringLiteral("\r\n");
        if (i == 4 || i == 6 || i == 8 || i == 10 || i == 12) s += QLatin1Char('|');
        s += QStringLiteral("0x") + Hex2(bytes[i]) + QStringLiteral(", ");
    }
    return s;
}

void TQMCOMControl::ScrambleBuffer(uint8_t* buffer, int length)
{
    for (int i = 0; i < length; ++i) {
        const uint8_t k = uint8_t(ScrambleKey[i % 32]);
        buffer[i] = uint8_t((buffer[i] ^ k) + k);
    }
}

void TQMCOMControl::UnscrambleBuffer(uint8_t* buffer, int length)
{
    for (int i = 0; i < length; ++i) {
        const uint8_t k = uint8_t(ScrambleKey[i % 32]);
        buffer[i] = uint8_t(uint8_t(buffer[i] - k) ^ k);
    }
}
