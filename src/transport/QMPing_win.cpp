// ICMP echo on Windows: the system's ICMP API, which needs no privileges.
// IcmpSendEcho2 signals an event when the echo ends, and the wait for that
// event is a wait of the event loop, as on the other systems: the window
// keeps working and a stop ends the wait at once. The loop looks at the event
// on its 10 ms tick (QWinEventNotifier's thread-pool wait trips an assertion
// of Wine's thread pool, where the Windows build is tested).
#include "QMPing.h"

#ifdef Q_OS_WIN

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtEndian>

#include <vector>

// These in this order: each needs the ones before.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

namespace
{
// One echo under way. The system writes the answer into the reply buffer
// whenever it comes, so an echo left by a stop keeps its buffers until the
// system has finished with them: it deletes itself when its event fires, or
// waits for the system when its owner goes first.
class TEchoRequest : public QObject
{
public:
    TEchoRequest(QObject* owner, int packetSize, DWORD timeOut)
        : QObject(owner), Data(packetSize, '\x23'),
          // Room for one reply with its data, an ICMP error message and the
          // I/O status block the asynchronous call keeps there.
          Reply(sizeof(ICMP_ECHO_REPLY) + size_t(packetSize) + 8 + 64), FTimeOut(timeOut)
    {
        Icmp = IcmpCreateFile();
        Event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~TEchoRequest() override
    {
        if (FPending) WaitForSingleObject(Event, FTimeOut + 1000);
        if (Icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(Icmp);
        if (Event) CloseHandle(Event);
    }
    bool Valid() const { return Icmp != INVALID_HANDLE_VALUE && Event; }

    // 0 when the echo is under way (Event fires at its end), else the
    // outcome the system gave at once.
    DWORD Send(quint32 target)
    {
        IP_OPTION_INFORMATION options{};
        options.Ttl = 255;
        const DWORD count =
            IcmpSendEcho2(Icmp, Event, nullptr, nullptr, qToBigEndian<quint32>(target),
                          Data.data(), WORD(Data.size()), &options, Reply.data(),
                          DWORD(Reply.size()), FTimeOut);
        if (count > 0) return IP_SUCCESS; // answered at once; the buffer holds it
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            FPending = true;
            return 0;
        }
        return error;
    }
    // The status of the ended echo (IP_SUCCESS: Reply holds the answer).
    DWORD Finish()
    {
        FPending = false;
        if (IcmpParseReplies(Reply.data(), DWORD(Reply.size())) > 0)
            return reinterpret_cast<const ICMP_ECHO_REPLY*>(Reply.data())->Status;
        return GetLastError();
    }
    bool Ended() const { return WaitForSingleObject(Event, 0) == WAIT_OBJECT_0; }
    // Left by a stop: gone once the system is done with the buffers.
    void Abandon()
    {
        if (!FPending || Ended()) {
            FPending = false;
            delete this;
            return;
        }
        auto* check = new QTimer(this);
        connect(check, &QTimer::timeout, this, [this] {
            if (!Ended()) return;
            FPending = false;
            deleteLater();
        });
        check->start(100);
    }

    HANDLE Icmp = INVALID_HANDLE_VALUE;
    HANDLE Event = nullptr;
    QByteArray Data;
    std::vector<char> Reply;

private:
    DWORD FTimeOut;
    bool FPending = false;
};

// Outcomes of the system's that mean the module cannot be reached from here:
// no route, no interface, a failure of the local stack, an unreachable answer.
bool Unreachable(DWORD status)
{
    switch (status) {
    case IP_DEST_NET_UNREACHABLE:
    case IP_DEST_HOST_UNREACHABLE:
    case IP_DEST_PROT_UNREACHABLE:
    case IP_DEST_PORT_UNREACHABLE:
    case IP_BAD_ROUTE:
    case IP_BAD_DESTINATION:
    case IP_NO_RESOURCES:
    case IP_HW_ERROR:
    case IP_GENERAL_FAILURE:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
        return true;
    default:
        return false;
    }
}
} // namespace

void TNMPing::RunOne(quint32 target, int sequence)
{
    Q_UNUSED(sequence); // the API matches its own replies
    auto* request = new TEchoRequest(this, PacketSize, DWORD(TimeOut));
    if (!request->Valid()) {
        delete request;
        emit OnNoSocket(QStringLiteral("Error initializing ICMP Handle"));
        return;
    }
    QElapsedTimer clock;
    clock.start();
    DWORD status = request->Send(target);
    if (status == 0) {
        QEventLoop loop;
        bool ended = false;
        // The end of the echo, the stop, and a guard in case the system never
        // signals.
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            ended = request->Ended();
            if (ended || (Cancelled && Cancelled()) || clock.elapsed() > TimeOut + 1000)
                loop.quit();
        });
        tick.start(10);
        loop.exec();
        if (!ended) {
            request->Abandon();
            if (!(Cancelled && Cancelled())) emit OnTimeOut();
            return;
        }
        status = request->Finish();
    }
    if (status == IP_SUCCESS) {
        const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(request->Reply.data());
        emit OnPing(Dotted(qFromBigEndian<quint32>(quint32(echo->Address))), int(echo->DataSize),
                    int(echo->RoundTripTime));
    } else if (status == IP_REQ_TIMED_OUT) {
        emit OnTimeOut();
    } else if (Unreachable(status)) {
        emit OnHostUnreachable(Dotted(target));
    } // other outcomes raise nothing; the attempt runs out
    delete request;
}

#endif // Q_OS_WIN
