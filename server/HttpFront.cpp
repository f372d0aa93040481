#include "HttpFront.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QSysInfo>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <cstdio>
#include <memory>

THttpResponse THttpResponse::Json(int status, const QByteArray& json)
{
    THttpResponse r;
    r.Status = status;
    r.Body = json;
    return r;
}

THttpResponse THttpResponse::Error(int status, const QString& text)
{
    return Json(
        status,
        QJsonDocument(QJsonObject{{QStringLiteral("error"), text}}).toJson(QJsonDocument::Compact));
}

static QByteArray Reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 415:
        return "Unsupported Media Type";
    case 417:
        return "Expectation Failed";
    case 421:
        return "Misdirected Request";
    case 422:
        return "Unprocessable Content";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Error";
    }
}

static QString HostOnly(const QByteArray& authority)
{
    QString host = QString::fromLatin1(authority).trimmed().toLower();
    if (host.startsWith(QLatin1Char('['))) {
        const int close = int(host.indexOf(QLatin1Char(']')));
        return close < 0 ? QString() : host.mid(1, close - 1);
    }
    if (host.count(QLatin1Char(':')) == 1) host = host.left(host.indexOf(QLatin1Char(':')));
    if (host.endsWith(QLatin1Char('.'))) host.chop(1); // a fully qualified name
    return host;
}

bool THttpFront::HostAllowed(const THttpPolicy& policy, const QByteArray& authority,
                             const QHostAddress& local)
{
    const QString host = HostOnly(authority);
    if (host.isEmpty()) return false;
    if (host == QLatin1String("localhost")) return true;
    const QHostAddress address(host);
    if (!address.isNull()) {
        if (address.isLoopback()) return true;
        // The address the client reached us on is ours, whatever the
        // machine's interface list says (it may not be readable at all).
        if (address.isEqual(local, QHostAddress::TolerantConversion)) return true;
    }
    for (const QString& entry : policy.Hosts) {
        const QString name = entry.toLower();
        if (name.startsWith(QLatin1String("*."))) {
            if (host.endsWith(name.mid(1))) return true;
        } else if (host == name) {
            return true;
        } else if (!address.isNull() &&
                   address.isEqual(QHostAddress(name), QHostAddress::TolerantConversion)) {
            return true;
        }
    }
    return false;
}

// scheme://host[:port] with the scheme's own port left out, as browsers send it.
static QByteArray OriginText(bool tls, const QByteArray& authority)
{
    QByteArray text = authority.toLower();
    const QByteArray port = tls ? ":443" : ":80";
    if (text.endsWith(port)) text.chop(port.size());
    return (tls ? "https://" : "http://") + text;
}

bool THttpFront::SameOrigin(const THttpRequest& request)
{
    const QByteArray origin = request.Header("origin");
    if (origin.isEmpty()) return true;
    const bool tls = origin.toLower().startsWith("https://");
    return tls == request.Tls &&
           OriginText(tls, origin.mid(tls ? 8 : 7)) == OriginText(request.Tls, request.Authority);
}

// One client connection: reads a request's head, checks it, then its body,
// and waits for the answer before it reads the next request.
class THttpConnection : public QObject
{
public:
    THttpConnection(THttpFront* front, QTcpSocket* socket)
        : QObject(socket), FFront(front), FSocket(socket)
    {
        // Bytes sent while a request waits stay in the kernel, not with us.
        socket->setReadBufferSize(THttpFront::MaxHeadBytes);
        connect(socket, &QTcpSocket::readyRead, this, &THttpConnection::OnReadable);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // A client idle between requests, or slow with a body, lets the
        // connection go after a while; one that waits for the matrix keeps it.
        FIdle.setSingleShot(true);
        FIdle.setInterval(THttpFront::IdleMs);
        connect(&FIdle, &QTimer::timeout, this, [this] {
            if (!FWaiting && FSocket) FSocket->abort();
        });
        FIdle.start();
        // The head's time counts from its first byte: trickling bytes do not extend it.
        FHeadTimer.setSingleShot(true);
        FHeadTimer.setInterval(front->FPolicy.HeadMs);
        connect(&FHeadTimer, &QTimer::timeout, this, [this] {
            FKeepAlive = false;
            Refuse(408, QStringLiteral("The request head took too long"));
        });
    }

private:
    void OnReadable();
    bool ReadHead();
    bool ReadBody();
    void Dispatch();
    void Send(const THttpResponse& response, bool close);
    void Refuse(int status, const QString& text) { Refuse(THttpResponse::Error(status, text)); }
    void Refuse(const THttpResponse& response)
    {
        FKeepAlive = false;
        Send(response, true);
    }
    void HandOver();

    THttpFront* FFront;
    QPointer<QTcpSocket> FSocket;
    THttpRequest FRequest;
    bool FInBody = false;
    qint64 FBodyLeft = 0; // of a Content-Length body
    THttpChunks FChunks;
    bool FWaiting = false; // the answer is not written yet
    bool FClosing = false;
    bool FKeepAlive = true;
    QTimer FIdle;
    QTimer FHeadTimer;
};

void THttpConnection::Send(const THttpResponse& response, bool close)
{
    if (FClosing || FSocket->state() != QAbstractSocket::ConnectedState) return;
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(response.Status) + ' ' + Reason(response.Status) + "\r\n";
    if (response.Status != 204) {
        out += "Content-Type: " + response.ContentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(response.Body.size()) + "\r\n";
    }
    for (const auto& h : response.Headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    if (close || !FKeepAlive) out += "Connection: close\r\n";
    out += "\r\n";
    if (response.Status != 204 && FRequest.Method != "HEAD") out += response.Body;
    FSocket->write(out);
    if (close || !FKeepAlive) {
        // What the client still sends is never read.
        FClosing = true;
        FHeadTimer.stop();
        FSocket->disconnectFromHost();
    }
}

// False: nothing more to do until more bytes come (or the connection ends).
bool THttpConnection::ReadHead()
{
    const QByteArray seen = FSocket->peek(THttpFront::MaxHeadBytes);
    if (seen.isEmpty()) return false;
    if (!FHeadTimer.isActive()) FHeadTimer.start();
    int used = 0;
    QString why;
    const int status = HttpHead::Parse(seen, THttpFront::MaxHeadBytes, &FRequest, &used, &why);
    if (status == 0) return false;
    FHeadTimer.stop();
    FRequest.Tls = FFront->Tls();
    if (status != 200) {
        Refuse(status, why);
        return false;
    }
    FKeepAlive = FRequest.KeepAlive;
    if (!THttpFront::HostAllowed(FFront->FPolicy, FRequest.Authority, FSocket->localAddress())) {
        Refuse(421, QStringLiteral("Host not served here: start matrix-server with "
                                   "--allow-host NAME to serve a name"));
        return false;
    }
    // Peeked only so far: a WebSocket upgrade leaves the socket unread.
    if (FRequest.Header("upgrade").toLower() == "websocket") {
        HandOver();
        return false;
    }
    FSocket->read(used);
    const qint64 limit = FFront->FPolicy.BodyLimit(FRequest.Method, FRequest.Path);
    if (FRequest.Length > limit) {
        Refuse(413, QStringLiteral("Body too large (at most %1 bytes)").arg(limit));
        return false;
    }
    THttpResponse refusal;
    if (FFront->FPolicy.Admit && !FFront->FPolicy.Admit(FRequest, &refusal)) {
        Refuse(refusal);
        return false;
    }
    const QByteArray expect = FRequest.Header("expect").toLower();
    if (!expect.isEmpty()) {
        if (expect != "100-continue") {
            Refuse(417, QStringLiteral("Only Expect: 100-continue is understood"));
            return false;
        }
        if (FRequest.Length > 0 || FRequest.Chunked)
            FSocket->write("HTTP/1.1 100 Continue\r\n\r\n");
    }
    FChunks = THttpChunks(limit);
    FBodyLeft = FRequest.Length;
    FInBody = true;
    // The body has as long as an idle connection, however it trickles.
    FIdle.start();
    return true;
}

bool THttpConnection::ReadBody()
{
    if (!FRequest.Chunked) {
        if (FBodyLeft > 0) {
            const QByteArray part = FSocket->read(FBodyLeft);
            FRequest.Body += part;
            FBodyLeft -= part.size();
        }
        return FBodyLeft == 0;
    }
    const QByteArray seen = FSocket->peek(THttpFront::MaxHeadBytes);
    int used = 0;
    const THttpChunks::TState state = FChunks.Feed(seen, &FRequest.Body, &used);
    FSocket->read(used);
    if (state == THttpChunks::csBad) Refuse(400, QStringLiteral("Bad chunked body"));
    if (state == THttpChunks::csTooLarge)
        Refuse(413, QStringLiteral("Body too large (at most %1 bytes)")
                        .arg(FFront->FPolicy.BodyLimit(FRequest.Method, FRequest.Path)));
    return state == THttpChunks::csDone;
}

void THttpConnection::OnReadable()
{
    while (!FWaiting && !FClosing && FSocket->isOpen()) {
        if (!FInBody && !ReadHead()) return;
        if (FClosing || !ReadBody()) return;
        FInBody = false;
        Dispatch();
    }
}

void THttpConnection::Dispatch()
{
    FWaiting = true;
    FRequest.Connection = FSocket;
    QPointer<THttpConnection> self(this);
    FFront->FHandler(FRequest, [self](const THttpResponse& response) {
        if (!self || !self->FWaiting) return;
        self->FWaiting = false;
        self->Send(response, false);
        self->FIdle.start();
        if (!self->FClosing)
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self) self->OnReadable();
                },
                Qt::QueuedConnection);
    });
}

void THttpConnection::HandOver()
{
    if (FRequest.Path != QLatin1String("/api/v1/events"))
        return Refuse(404, QStringLiteral("Not found"));
    // A page elsewhere must not open our events: the Origin, when a browser
    // sends one, is our own scheme, host and port.
    if (!THttpFront::SameOrigin(FRequest)) return Refuse(403, QStringLiteral("Origin not allowed"));
    QTcpSocket* socket = FSocket;
    disconnect(socket, nullptr, this, nullptr);
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    setParent(nullptr);
    // Heads of handshakes that never finished must not pile up.
    if (FFront->FUpgrades.size() > 1024) FFront->FUpgrades.clear();
    FFront->FUpgrades.insert(THttpFront::PeerKey(socket->peerAddress(), socket->peerPort()),
                             FRequest);
    FFront->FWebSockets->handleConnection(socket);
    deleteLater();
}

THttpFront::THttpFront(const THttpPolicy& policy, THandler handler, QObject* parent)
    : QTcpServer(parent), FPolicy(policy), FHandler(std::move(handler)),
      FWebSockets(new QWebSocketServer(QStringLiteral("matrix-server"),
                                       QWebSocketServer::NonSecureMode, this))
{
    FWebSockets->setHandshakeTimeout(5000);
    connect(FWebSockets, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* ws = FWebSockets->nextPendingConnection()) {
            // Clients send a token and nothing else: nothing large is read,
            // token or not; the routes widen it a little for a signed-in client.
            ws->setMaxAllowedIncomingFrameSize(MaxWsMessageBeforeToken);
            ws->setMaxAllowedIncomingMessageSize(MaxWsMessageBeforeToken);
            ws->setReadBufferSize(MaxHeadBytes);
            const THttpRequest request = FUpgrades.take(PeerKey(ws->peerAddress(), ws->peerPort()));
            if (OnWebSocket)
                OnWebSocket(ws, request);
            else
                ws->deleteLater();
        }
    });
    connect(this, &QTcpServer::acceptError, this, &THttpFront::OnAcceptError);
}

void THttpFront::OnAcceptError(QAbstractSocket::SocketError error)
{
    // Qt stops accepting after any failed accept. Out of descriptors, take it
    // up again in a moment, when some connection may have gone, rather than
    // spin or stay deaf; any other failure (a client that gave up before it
    // was accepted) must not leave the server deaf either.
    const bool outOfFiles = error == QAbstractSocket::SocketResourceError;
    if (outOfFiles && !FToldOutOfFiles) {
        std::fprintf(stderr,
                     "matrix-server: cannot accept connections (%s); pausing for a moment\n",
                     qPrintable(errorString()));
        FToldOutOfFiles = true;
    }
    pauseAccepting();
    QTimer::singleShot(outOfFiles ? AcceptPauseMs : 0, this, [this] { resumeAccepting(); });
}

void THttpFront::SetTls(const QSslConfiguration& tls)
{
    FTlsConfig = tls;
    FTls = true;
}

void THttpFront::incomingConnection(qintptr handle)
{
    QSslSocket* ssl = FTls ? new QSslSocket(this) : nullptr;
    QTcpSocket* socket = ssl ? ssl : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    if (FConnections >= FPolicy.MaxConnections ||
        FPerAddress.value(peer) >= FPolicy.MaxPerAddress) {
        socket->abort();
        delete socket;
        return;
    }
    ++FConnections;
    ++FPerAddress[peer];
    auto counted = std::make_shared<bool>(true);
    const auto release = [this, peer, counted] {
        if (!*counted) return;
        *counted = false;
        --FConnections;
        if (--FPerAddress[peer] <= 0) FPerAddress.remove(peer);
    };
    connect(socket, &QAbstractSocket::disconnected, this, release);
    connect(socket, &QObject::destroyed, this, release);
    if (ssl) {
        ssl->setSslConfiguration(FTlsConfig);
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl] { ssl->abort(); });
        ssl->startServerEncryption();
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    new THttpConnection(this, socket);
}
