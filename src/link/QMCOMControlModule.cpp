// TQMCOMControl: discovery and configuration of the TCP module over UDP, and
// the 32-byte module query and reset over the open link.
#include "ModuleRecords.h"
#include "QMCOMControl.h"

#include "transport/NMUDP.h"

#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <stdexcept>

using namespace ModuleRecord;

QString TQMCOMControl::LocalHostIP() const
{
    return FLocalHostIP ? *FLocalHostIP : TNMUDP::LocalHostIP();
}

QStringList TQMCOMControl::OwnAddresses() const
{
    QStringList own = TNMUDP::OwnAddresses();
    if (FLocalHostIP) {
        own.removeAll(TNMUDP::LocalHostIP());
        if (!own.contains(*FLocalHostIP)) own.prepend(*FLocalHostIP);
    }
    return own;
}

QString TQMCOMControl::ModuleField(int n, int index) const
{
    if (n < 1 || n > ModuleCount() || index < 0 || index > 7) return DefaultField(index);
    return FoundModules.at((n - 1) * 8 + index);
}

void TQMCOMControl::WaitEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool TQMCOMControl::ModuleSteps(const QString& text, int selector, const bool& running)
{
    for (int step = 0; step < FTiming.SearchSteps; ++step) {
        if (FFlags->Abort || !running) return false;
        const QString spin = QLatin1String(Options::Spinner[size_t(FModuleSpinner % 4)]);
        SendNotify(ntModule, 0, selector, (text + spin).left(127));
        ++FModuleSpinner;
        WaitEvents(FTiming.SearchStepMs);
    }
    return !FFlags->Abort && running;
}

bool TQMCOMControl::WaitModuleReply(int cycles)
{
    for (int i = 0; i < cycles && !ModuleReplied; ++i) {
        if (FFlags->Abort) break;
        WaitEvents(FTiming.PollTickMs);
    }
    return ModuleReplied;
}

bool TQMCOMControl::SearchModules()
{
    if (Searching) return false;
    Searching = true;
    Listening = true;
    FModuleError.clear();
    FModuleSpinner = 0;
    FOperationLocalIP = LocalHostIP();
    FOperationOwnIPs = OwnAddresses();
    FListenPort = SearchPort;
    bool result = false;
    try {
        FUDP->BindLocalPort(SearchPort);
        FUDP->SetRemotePort(SearchPort);
        char probe[255] = {};
        probe[0] = char(SearchProbe);
        if (FUDPMode == umBROADCAST) {
            FUDP->SetRemoteHost(QLatin1String(BroadcastHost));
            FUDP->EnableBroadcast();
        } else {
            FUDP->SetRemoteHost(FDeviceIP);
            FUDP->SetDontLinger();
        }
        for (int pass = 0; pass < FTiming.SearchPasses; ++pass) {
            if (!FFlags->Abort) {
                ModuleReplied = false;
                FUDP->SendDatagram(probe, 1);
                ModuleSteps(QStringLiteral("Searching TCP control device ..."), 0, Searching);
            }
            if (Searching && !FFlags->Abort) result = WaitModuleReply(FTiming.ModuleReplyCycles);
            if (result || FFlags->Abort || !Searching) break;
        }
    } catch (const EUDPSockError& e) {
        // A socket that cannot be had ends the search as one that found nothing.
        FModuleError = e.Text();
        FLastErrorText = FModuleError;
        result = false;
        Searching = false;
        Listening = false;
        return false;
    }
    if (!FFlags->Abort) {
        Searching = false;
        Listening = false;
    }
    return result;
}

int TQMCOMControl::ConfigureModule(const QByteArray& record)
{
    if (record.size() < ConfigSize) return 1;
    const auto* in = reinterpret_cast<const uint8_t*>(record.constData());
    FModuleError.clear();
    FOperationLocalIP = LocalHostIP();
    const QStringList own = OwnAddresses();
    if (own.contains(IpText(in + 6))) return 2;
    if (Configuring) return 1;
    Configuring = true;
    FOperationOwnIPs = own;
    FListenPort = ConfigPort;
    FModuleSpinner = 0;
    char request[ConfigSize];
    try {
        FUDP->BindLocalPort(ConfigPort);
        FUDP->SetRemotePort(ConfigPort);
        std::memcpy(ConfigBuffer, in, ConfigSize);
        SealConfigRequest(ConfigBuffer);
        ModuleReplied = false;
        Listening = true;
        // The request travels in a copy: an answer may overwrite ConfigBuffer
        // while the sends still run.
        std::memcpy(request, ConfigBuffer, ConfigSize);
        FUDP->SetRemoteHost(QLatin1String(BroadcastHost));
        FUDP->EnableBroadcast();
        FUDP->SendDatagram(request, ConfigSize);
        WaitEvents(FTiming.ConfigSendPauseMs);
    } catch (const EUDPSockError& e) {
        FModuleError = e.Text();
        FLastErrorText = FModuleError;
        Configuring = false;
        Listening = false;
        return 1;
    }
    // The direct send is a second chance only: the broadcast may well have
    // reached the module, so its answer decides, not this send.
    if (FDeviceIP != QLatin1String("0.0.0.0")) {
        try {
            FUDP->SetRemoteHost(FDeviceIP);
            FUDP->SetDontLinger();
            FUDP->SendDatagram(request, ConfigSize);
        } catch (const EUDPSockError& e) {
            SendNotify(ntCommandLog, 0, 0, e.Text());
        }
    }
    for (int pass = 0; pass < FTiming.ConfigPasses; ++pass) {
        if (!FFlags->Abort)
            ModuleSteps(QStringLiteral("Setting TCP control configuration ..."), 1, Configuring);
        if (FFlags->Abort || !Configuring) break;
        if (WaitModuleReply(FTiming.ModuleReplyCycles)) break;
    }
    if (FFlags->Abort || !Configuring) return 1;
    Listening = false;
    Configuring = false;
    if (!ModuleReplied) return 1;
    return ConfigStatusResult(ConfigBuffer[74]);
}

void TQMCOMControl::OnModuleDatagram(int count, const QString& fromIP, quint16 port)
{
    // Looked up when the operation began: a name lookup per datagram would
    // let a flood of stray datagrams hold the window.
    const QString& local = FOperationLocalIP;
    if (!fromIP.isEmpty())
        SendNotify(ntCommandLog, 0, 0,
                   QStringLiteral("Remote: [") + fromIP + QStringLiteral("] : Port[") +
                       QString::number(port) + QStringLiteral("]\r\nLocal: [") + local +
                       QStringLiteral("]\r\nNumber of bytes: ") + QString::number(count));
    if (!Listening) return;
    const QByteArray data = FUDP->ReadDatagram();
    if (fromIP == local || FOperationOwnIPs.contains(fromIP)) return;
    const auto* b = reinterpret_cast<const uint8_t*>(data.constData());
    const int size = int(data.size());
    // Only the records of the running operation count: a configuration
    // answer ends no search, a search answer no configuration.
    if (port != FListenPort) return;
    if (port == SearchPort && size > 0 && size % SearchSize == 0) {
        for (int at = 0; at < size; at += SearchSize) {
            const QStringList fields = SearchRecordFields(b + at);
            bool known = false;
            for (int i = 0; i < FoundModules.size() && !known; i += 8)
                known = FoundModules.at(i) == fields.at(0);
            if (!known) FoundModules << fields;
        }
        ModuleReplied = true;
    } else if (port == ConfigPort && size > 0 && size % ConfigSize == 0) {
        for (int at = 0; at < size; at += ConfigSize) {
            const uint8_t* r = b + at;
            // An echo of a request, or the answer of another module to its own
            // configuration, is not ours.
            if (r[74] == ConfigRequestMark || AnswerNamesOtherModule(r, ConfigBuffer)) continue;
            std::memcpy(ConfigBuffer, r, ConfigSize);
            ModuleReplied = true;
            break;
        }
    }
}

void TQMCOMControl::LDCDTransaction(const QByteArray& request, QByteArray& answer)
{
    answer = QByteArray(LDCD::Size + 1, '\0');
    auto* a = reinterpret_cast<uint8_t*>(answer.data());
    a[30] = LDCD::NotReceived;
    if (FFlags->Abort) return;
    uint8_t packet[LDCD::Size] = {};
    std::memcpy(packet, request.constData(), size_t(qMin<qsizetype>(request.size(), LDCD::Size)));
    LDCD::Seal(packet);
    try {
        for (int attempt = 1; attempt <= FTiming.Tries; ++attempt) {
            ClearReceiveState(6);
            SendFrame(packet, LDCD::Size);
            SendNotify(ntCommandLog, 0, 0, LDCD::Dump(QStringLiteral("send LDCD:   "), packet));
            if (!WaitForFrame()) {
                a[LDCD::Size] = 0;
                return;
            }
            // A link gone away is no time-out: say so at once.
            if (!FFrameComplete && FLinkLost)
                throw std::runtime_error(FControlMode == cmCOM ? "The serial line went away"
                                                               : "The connection was closed");
            if (!FFrameComplete) {
                if (attempt < FTiming.Tries) continue;
                a[LDCD::Size] = 0;
                SendNotify(ntTimeOut);
                return;
            }
            std::memcpy(a, FRxBuffer, LDCD::Size);
            SendNotify(ntCommandLog, 0, 0, LDCD::Dump(QStringLiteral("rcv LDCD:   "), a));
            if (LDCD::AnswerGood(a, packet)) {
                a[LDCD::Size] = 1;
                return;
            }
            a[LDCD::Size] = 0;
            Pause(FTiming.RejectPauseMs);
        }
        if (!LDCD::ChecksumGood(a)) SendNotify(ntSendFailed);
    } catch (const std::exception& e) {
        a[LDCD::Size] = 0;
        FLastErrorText = QString::fromStdString(e.what());
        SendNotify(ntPortError);
    }
}
