#pragma once

#include "HttpHead.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <functional>

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

struct THttpResponse {
    int Status = 200;
    QByteArray ContentType = "application/json; charset=utf-8";
    QByteArray Body;
    QList<QPair<QByteArray, QByteArray>> Headers;
    static THttpResponse Json(int status, const QByteArray& json);
    static THttpResponse Error(int status, const QString& text);
    void AddHeader(const QByteArray& name, const QByteArray& value)
    {
        Headers.append(qMakePair(name, value));
    }
};

// What the front asks of the routes before a request is read any further.
struct THttpPolicy {
    // Body limit of a request line: bytes; the front refuses larger ones
    // with 413 before reading the body.
    std::function<qint64(const QByteArray& method, const QString& path)> BodyLimit;
    // The routes' look at a head before its body is read: false refuses it
    // with `refusal` (token, Origin, Content-Type).
    std::function<bool(const THttpRequest&, THttpResponse* refusal)> Admit;
    // Names served besides loopback, "localhost" and the address a client
    // reached us on; "*.example.org" stands for every name under it.
    QStringList Hosts;
    int HeadMs = 10000; // from a head's first byte to its end
    int MaxConnections = 512;
    int MaxPerAddress = 64; // a reverse proxy on the box speaks for many from one address
};

// HTTP/1.1 where the bytes arrive: a request's head is checked (Host, body
// size, the routes' Admit, WebSocket upgrade) before its body is read, one
// request at a time per connection, keep-alive. Every buffer, wait and count
// is bounded: a connection holds at most one head and its declared body. WebSocket upgrades of
// /api/v1/events go to the WebSocket server with the socket unread.
class THttpFront : public QTcpServer
{
    Q_OBJECT
public:
    using TRespond = std::function<void(const THttpResponse&)>;
    using THandler = std::function<void(const THttpRequest&, TRespond)>;

    explicit THttpFront(const THttpPolicy& policy, THandler handler, QObject* parent = nullptr);
    void SetTls(const QSslConfiguration& tls);
    bool Tls() const { return FTls; }
    // A WebSocket that passed the Host and Origin checks, with its request.
    std::function<void(QWebSocket*, const THttpRequest&)> OnWebSocket;

    static constexpr int MaxHeadBytes = 16 * 1024;
    static constexpr int IdleMs = 60000;
    static constexpr int AcceptPauseMs = 250;
    static constexpr qint64 MaxWsMessage = 4 * 1024;
    static constexpr qint64 MaxWsMessageBeforeToken = 1024;
    // `authority` as a client sent it; `local` the address it reached us on.
    static bool HostAllowed(const THttpPolicy& policy, const QByteArray& authority,
                            const QHostAddress& local);
    // The Origin header, when there is one, names this server as the client reached it.
    static bool SameOrigin(const THttpRequest& request);
    int Connections() const { return FConnections; }

protected:
    void incomingConnection(qintptr handle) override;

private:
    THttpPolicy FPolicy;
    THandler FHandler;
    QSslConfiguration FTlsConfig;
    bool FTls = false;
    QWebSocketServer* FWebSockets;
    static QString PeerKey(const QHostAddress& a, quint16 port)
    {
        return a.toString() + QLatin1Char('/') + QString::number(port);
    }
    QMap<QString, THttpRequest> FUpgrades; // heads of the handshakes under way, by peer
    int FConnections = 0;
    QHash<QHostAddress, int> FPerAddress;
    bool FToldOutOfFiles = false;
    void OnAcceptError(QAbstractSocket::SocketError error);
    friend class THttpConnection;
};
