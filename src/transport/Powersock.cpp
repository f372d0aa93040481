#include "Powersock.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>

namespace
{
struct TSocketError {
    int Number;
    const char* Text;
};
// The socket error numbers the client reports, with their descriptions.
const TSocketError SocketErrors[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No Route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc Quota Exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network SubSystem is unavailable"},
    {10092, "WINSOCK DLL Version out of range"},
    {10093, "Successful WSASTARTUP not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

int SocketErrorNumber(QAbstractSocket::SocketError e)
{
    switch (e) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    default:
        return 0;
    }
}
} // namespace

QString TPowersock::SocketErrorText(int number)
{
    for (const auto& e : SocketErrors)
        if (e.Number == number)
            return QStringLiteral("%1:%2").arg(number).arg(QLatin1String(e.Text));
    return QStringLiteral("Unknown Error No. %1").arg(number);
}

TPowersock::TPowersock(QObject* owner) : QObject(owner), FSocket(new QTcpSocket(this))
{
    connect(FSocket, &QTcpSocket::readyRead, this, &TPowersock::DataArrived);
    connect(FSocket, &QTcpSocket::disconnected, this, &TPowersock::OnDisconnected);
}

TPowersock::~TPowersock()
{
    *FAlive = false;
    emit CancelRequested();
    FSocket->abort();
}

void TPowersock::OnDisconnected()
{
    if (!FConnected) return;
    FConnected = false;
    emit ConnectionClosed();
}

void TPowersock::Connect()
{
    FCancelled = false;
    if (FConnected) throw ESockError(QStringLiteral("Already connected"));
    FSocket->abort();
    const std::shared_ptr<bool> alive = FAlive;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    connect(this, &TPowersock::CancelRequested, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (FAbortCheck && FAbortCheck()) {
            FCancelled = true;
            loop.quit();
        }
    });
    poll.start(FPollMs);
    // Runs the loop until `finished`; throws without touching anything of a
    // socket that was deleted meanwhile.
    auto waitUntil = [&](const std::function<bool()>& finished) {
        for (;;) {
            if (!*alive) throw ESockError(QStringLiteral("Connection Canceled"));
            if (finished() || timedOut || FCancelled) return;
            loop.exec();
        }
    };
    auto startTimer = [&] {
        if (FTimeOut > 0) timer.start(FTimeOut);
    };

    QHostAddress address;
    if (!address.setAddress(FHost)) {
        // A name: look it up without blocking the window.
        bool done = false;
        QHostInfo info;
        int id = QHostInfo::lookupHost(FHost, &loop, [&](const QHostInfo& i) {
            info = i;
            done = true;
            loop.quit();
        });
        startTimer();
        waitUntil([&] { return done; });
        timer.stop();
        if (!done) {
            QHostInfo::abortHostLookup(id);
            throw ESockError(FCancelled ? QStringLiteral("Host Lookup Canceled")
                                        : QStringLiteral("Host Lookup Timed Out"));
        }
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            throw ESockError(QStringLiteral("Host Lookup Failed"));
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                address = a;
                break;
            }
        if (address.isNull()) address = info.addresses().first();
    }
    if (address.isNull() ||
        (address.protocol() == QAbstractSocket::IPv4Protocol && address.toIPv4Address() == 0))
        throw ESockError(QStringLiteral("Null Remote Address"));

    bool failed = false;
    auto c1 = connect(FSocket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    auto c2 = connect(FSocket, &QTcpSocket::errorOccurred, &loop, [&] {
        failed = true;
        loop.quit();
    });
    FSocket->connectToHost(address, FPort);
    startTimer();
    waitUntil([&] { return FSocket->state() == QAbstractSocket::ConnectedState || failed; });
    timer.stop();
    disconnect(c1);
    disconnect(c2);
    if (FSocket->state() == QAbstractSocket::ConnectedState && !failed) {
        FSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        FConnected = true;
        return;
    }
    FSocket->abort();
    if (timedOut) throw ESockError(QStringLiteral("Connection Timed out"));
    if (FCancelled) throw ESockError(QStringLiteral("Connection Canceled"));
    throw ESockError(QStringLiteral("Connection Failed"));
}

void TPowersock::Disconnect()
{
    if (!FConnected) return;
    FConnected = false;
    FSocket->abort();
}

void TPowersock::Cancel()
{
    FCancelled = true;
    emit CancelRequested();
}

int TPowersock::SendBuffer(const QByteArray& bytes)
{
    if (!FConnected || FSocket->state() != QAbstractSocket::ConnectedState)
        throw ESockError(SocketErrorText(10057));
    if (FSocket->write(bytes) != bytes.size())
        throw ESockError(SocketErrorText(SocketErrorNumber(FSocket->error())));
    while (FSocket->bytesToWrite() > 0) {
        if (FCancelled) throw ESockError(QStringLiteral("Socket send aborted"));
        if (!FSocket->flush() && FSocket->bytesToWrite() > 0 && !FSocket->waitForBytesWritten(1000))
            throw ESockError(SocketErrorText(SocketErrorNumber(FSocket->error())));
    }
    return int(bytes.size());
}

QByteArray TPowersock::ReadAvailable()
{
    // A socket closed by Disconnect has nothing to give; asking it only
    // makes Qt complain at every poll.
    return FSocket->isOpen() ? FSocket->readAll() : QByteArray();
}

void TPowersock::DiscardInput()
{
    // Stale bytes of an earlier, abandoned reply must not be taken for the
    // answer to the next frame, so everything pending goes: what the socket has
    // queued and what is still waiting in the system.
    if (!FSocket->isOpen()) return;
    FSocket->readAll();
    if (FConnected && FSocket->waitForReadyRead(0)) FSocket->readAll();
}
