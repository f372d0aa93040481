#pragma once

#include <QByteArray>
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

struct THttpRequest {
    QByteArray Method;
    QString Path; // decoded, without the query
    QMap<QString, QString> Query;
    QMap<QByteArray, QByteArray> Headers; // names in lower case
    QByteArray Body;
    QByteArray Header(const char* name) const { return Headers.value(QByteArray(name)); }
};

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
    // Host names besides the loopback ones and "localhost".
    QStringList Hosts;
    bool AnyLocalHost = false; // listening on every address: any of ours
};

// HTTP/1.1 where the bytes arrive: a request's head is checked (Host, body
// size, WebSocket upgrade) before its body is read, one request at a time per
// connection, keep-alive. WebSocket upgrades of /api/v1/events go to
// the WebSocket server with the socket unread.
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
    static bool HostAllowed(const THttpPolicy& policy, const QByteArray& hostHeader);

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
    friend class THttpConnection;
};
