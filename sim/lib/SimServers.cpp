#include "SimServers.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

TMatrixSim::TMatrixSim(QObject* parent)
    : QObject(parent), FTcpLine(new TSimLine(&FDevice, &FFaults, this)),
      FPtyLine(new TSimLine(&FDevice, &FFaults, this))
{
    connect(FTcpLine, &TSimLine::FrameHandled, this, &TMatrixSim::FrameHandled);
    connect(FPtyLine, &TSimLine::FrameHandled, this, &TMatrixSim::FrameHandled);
    FTcpLine->SetWriter([this](const QByteArray& b) {
        if (FPeer) FPeer->write(b);
    });
    FTcpLine->SetCloser([this] { DropTcpPeer(); });
    FPtyLine->SetWriter([this](const QByteArray& b) { WritePty(b); });
}

TMatrixSim::~TMatrixSim()
{
    ClosePty();
}

void TMatrixSim::ClosePty()
{
    delete FPtyNotifier;
    FPtyNotifier = nullptr;
    if (FMaster >= 0) ::close(FMaster);
    if (FSlaveKeep >= 0) ::close(FSlaveKeep);
    FMaster = FSlaveKeep = -1;
    if (!FLink.isEmpty()) QFile::remove(FLink);
    FSlavePath.clear();
    FPtyLine->Restart();
}

bool TMatrixSim::ListenTcp(const QHostAddress& address, quint16 port, QString* error)
{
    if (!FServer) {
        FServer = new QTcpServer(this);
        connect(FServer, &QTcpServer::newConnection, this, &TMatrixSim::OnNewConnection);
    }
    if (!FServer->listen(address, port)) {
        if (error) *error = FServer->errorString();
        return false;
    }
    return true;
}

quint16 TMatrixSim::TcpPort() const
{
    return FServer ? FServer->serverPort() : 0;
}

void TMatrixSim::OnNewConnection()
{
    while (QTcpSocket* s = FServer->nextPendingConnection()) {
        // The module serves one controller at a time; a new one replaces the old.
        if (FPeer) FPeer->abort();
        FPeer = s;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        FTcpLine->Restart();
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            if (s == FPeer) FTcpLine->Receive(s->readAll());
        });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }
}

void TMatrixSim::DropTcpPeer()
{
    if (FPeer) {
        FPeer->flush();
        FPeer->disconnectFromHost();
    }
}

void TMatrixSim::ResetTcpPeer()
{
    if (!FPeer) return;
    // No lingering: the close sends a reset instead of an orderly end.
    const linger hard{1, 0};
    ::setsockopt(int(FPeer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    FPeer->abort();
}

bool TMatrixSim::OpenPty(const QString& link, QString* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(strerror(errno)));
        return false;
    };
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (FMaster < 0) return fail("posix_openpt");
    if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) return fail("grantpt/unlockpt");
    const char* name = ::ptsname(FMaster);
    if (!name) return fail("ptsname");
    FSlavePath = QString::fromLocal8Bit(name);
    // Keep one slave descriptor open so the master never sees a hang-up while
    // the controller has the port closed, and make the line raw from the start.
    FSlaveKeep = ::open(name, O_RDWR | O_NOCTTY);
    if (FSlaveKeep < 0) return fail("open slave");
    termios t{};
    if (::tcgetattr(FSlaveKeep, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(FSlaveKeep, TCSANOW, &t);
    }
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    FPtyNotifier = new QSocketNotifier(FMaster, QSocketNotifier::Read, this);
    connect(FPtyNotifier, &QSocketNotifier::activated, this, &TMatrixSim::OnPtyReadable);
    if (!link.isEmpty()) {
        QFile::remove(link);
        if (::symlink(name, QFile::encodeName(link).constData()) != 0) return fail("symlink");
        FLink = link;
    }
    return true;
}

void TMatrixSim::OnPtyReadable()
{
    char buf[4096];
    QByteArray in;
    for (;;) {
        ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n > 0) {
            in.append(buf, int(n));
            continue;
        }
        break;
    }
    if (!in.isEmpty()) FPtyLine->Receive(in);
}

void TMatrixSim::WritePty(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(FMaster, p, size_t(left));
        if (n > 0) {
            p += n;
            left -= n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd pfd{FMaster, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

void TMatrixSim::SetBaud(int baud)
{
    FTcpLine->SetBaud(baud);
    FPtyLine->SetBaud(baud);
}

bool TMatrixSim::SetLogFile(const QString& path)
{
    FLog.setFileName(path);
    if (!FLog.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
    FTcpLine->SetLog(&FLog);
    FPtyLine->SetLog(&FLog);
    return true;
}
