#include "HttpFront.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

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
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 421:
        return "Misdirected Request";
    case 431:
        return "Request Header Fields Too Large";
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

bool THttpFront::HostAllowed(const THttpPolicy& policy, const QByteArray& hostHeader)
{
    QString host = QString::fromLatin1(hostHeader).trimmed().toLower();
    if (host.startsWith(QLatin1Char('['))) {
        host = host.mid(1, host.indexOf(QLatin1Char(']')) - 1);
    } else if (host.count(QLatin1Char(':')) == 1) {
        host = host.left(host.indexOf(QLatin1Char(':')));
    }
    if (host.isEmpty()) return false;
    if (host == QLatin1String("localhost")) return true;
    const QHostAddress address(host);
    if (!address.isNull() && address.isLoopback()) return true;
    for (const QString& h : policy.Hosts)
        if (host == h.toLower()) return true;
    if (policy.AnyLocalHost && !address.isNull())
        return QNetworkInterface::allAddresses().contains(address);
    return false;
}

// One client connection: reads a request's head, checks it, then its body,
// and waits for the answer before it reads the next request.
class THttpConnection : public QObject
{
public:
    THttpConnection(THttpFront* front, QTcpSocket* socket)
        : QObject(socket), FFront(front), FSocket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &THttpConnection::OnReadable);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // A client that holds a connection without finishing a request, or
        // idles on it, lets it go after a while; one that waits for the
        // matrix keeps it.
        FIdle.setSingleShot(true);
        FIdle.setInterval(IdleMs);
        connect(&FIdle, &QTimer::timeout, this, [this] {
            if (!FWaiting) FSocket->abort();
        });
        connect(socket, &QTcpSocket::readyRead, &FIdle, qOverload<>(&QTimer::start));
        FIdle.start();
    }
    static constexpr int IdleMs = 60000;

private:
    void OnReadable();
    bool ParseHead(const QByteArray& head);
    void Send(const THttpResponse& response, bool close);
    void Refuse(int status, const QString& text) { Send(THttpResponse::Error(status, text), true); }
    void HandOver();

    THttpFront* FFront;
    QTcpSocket* FSocket;
    THttpRequest FRequest;
    qint64 FBodyLeft = -1; // -1: reading a head
    bool FWaiting = false; // the answer is not written yet
    bool FClosing = false;
    bool FKeepAlive = true;
    QTimer FIdle;
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
        FSocket->disconnectFromHost();
    }
}

bool THttpConnection::ParseHead(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    if (first.size() != 3 || !first[2].startsWith("HTTP/1.")) return false;
    FRequest = THttpRequest();
    FRequest.Method = first[0];
    const QUrl url(QString::fromLatin1(first[1]), QUrl::StrictMode);
    if (!url.isValid() || !first[1].startsWith('/')) return false;
    FRequest.Path = url.path(QUrl::FullyDecoded);
    for (const auto& item : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        FRequest.Query.insert(item.first, item.second);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty()) continue;
        const int colon = int(line.indexOf(':'));
        if (colon <= 0) return false;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (FRequest.Headers.contains(name) && name == "content-length") return false;
        FRequest.Headers.insert(name, value);
    }
    FKeepAlive = first[2] == "HTTP/1.1" && FRequest.Header("connection").toLower() != "close";
    return true;
}

void THttpConnection::OnReadable()
{
    while (!FWaiting && !FClosing && FSocket->isOpen()) {
        if (FBodyLeft < 0) {
            // Peek only: a WebSocket upgrade leaves the socket unread.
            const QByteArray seen = FSocket->peek(THttpFront::MaxHeadBytes + 4);
            const int end = int(seen.indexOf("\r\n\r\n"));
            if (end < 0) {
                if (seen.size() > THttpFront::MaxHeadBytes)
                    Refuse(431, QStringLiteral("Request head too large"));
                return;
            }
            if (!ParseHead(seen.left(end))) {
                FKeepAlive = false;
                return Refuse(400, QStringLiteral("Bad request"));
            }
            if (!THttpFront::HostAllowed(FFront->FPolicy, FRequest.Header("host")))
                return Refuse(421, QStringLiteral("Host not served here"));
            if (FRequest.Header("upgrade").toLower() == "websocket") return HandOver();
            FSocket->read(end + 4);
            if (!FRequest.Header("transfer-encoding").isEmpty())
                return Refuse(411, QStringLiteral("Send the body with a Content-Length"));
            bool ok = true;
            const QByteArray lengthText = FRequest.Header("content-length");
            const qint64 length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&ok);
            if (!ok || length < 0) return Refuse(400, QStringLiteral("Bad Content-Length"));
            const qint64 limit = FFront->FPolicy.BodyLimit(FRequest.Method, FRequest.Path);
            if (length > limit)
                return Refuse(413, QStringLiteral("Body too large (at most %1 bytes)").arg(limit));
            FBodyLeft = length;
        }
        if (FSocket->bytesAvailable() < FBodyLeft) return;
        FRequest.Body = FSocket->read(FBodyLeft);
        FBodyLeft = -1;
        FWaiting = true;
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
}

void THttpConnection::HandOver()
{
    const QString path = FRequest.Path;
    if (path != QLatin1String("/api/v1/events")) return Refuse(404, QStringLiteral("Not found"));
    // A page elsewhere must not open our events: the Origin, when a browser
    // sends one, is our own scheme, host and port.
    const QByteArray origin = FRequest.Header("origin");
    if (!origin.isEmpty()) {
        const QByteArray own =
            QByteArray(FFront->Tls() ? "https://" : "http://") + FRequest.Header("host").toLower();
        if (origin.toLower() != own) return Refuse(403, QStringLiteral("Origin not allowed"));
    }
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
            const THttpRequest request = FUpgrades.take(PeerKey(ws->peerAddress(), ws->peerPort()));
            if (OnWebSocket)
                OnWebSocket(ws, request);
            else
                ws->deleteLater();
        }
    });
}

void THttpFront::SetTls(const QSslConfiguration& tls)
{
    FTlsConfig = tls;
    FTls = true;
}

void THttpFront::incomingConnection(qintptr handle)
{
    QTcpSocket* socket;
    if (FTls) {
        auto* ssl = new QSslSocket(this);
        if (!ssl->setSocketDescriptor(handle)) {
            delete ssl;
            return;
        }
        ssl->setSslConfiguration(FTlsConfig);
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl] { ssl->abort(); });
        ssl->startServerEncryption();
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    new THttpConnection(this, socket);
}
