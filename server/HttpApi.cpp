#include "HttpApi.h"

#include "ServerCore.h"
#include "link/EdidData.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

namespace
{
QByteArray Compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

// The page is built into the static library; its resources need a call.
static void InitPage()
{
    Q_INIT_RESOURCE(web);
}

THttpApi::THttpApi(TServerCore* core, const QByteArray& token, QObject* parent)
    : QObject(parent), FCore(core), FToken(token)
{
    InitPage();
    connect(core, &TServerCore::RoutingChanged, this, [this](int output, int input) {
        Broadcast({{QStringLiteral("event"), QStringLiteral("routing")},
                   {QStringLiteral("output"), output},
                   {QStringLiteral("input"), input}});
    });
    connect(core, &TServerCore::PowerChanged, this, [this](bool on) {
        Broadcast({{QStringLiteral("event"), QStringLiteral("power")}, {QStringLiteral("on"), on}});
    });
    connect(core, &TServerCore::AudioChanged, this, [this](int input, int source) {
        Broadcast({{QStringLiteral("event"), QStringLiteral("audio")},
                   {QStringLiteral("input"), input},
                   {QStringLiteral("source"), source}});
    });
    connect(core, &TServerCore::SwitchChanged, this, [this](const QString& name, bool on) {
        Broadcast({{QStringLiteral("event"), QStringLiteral("switch")},
                   {QStringLiteral("name"), name},
                   {QStringLiteral("on"), on}});
    });
    connect(core, &TServerCore::LinkChanged, this, [this](bool connected) {
        Broadcast({{QStringLiteral("event"), QStringLiteral("link")},
                   {QStringLiteral("state"),
                    connected ? QStringLiteral("connected") : QStringLiteral("lost")}});
    });
    auto tags = [this] {
        Broadcast({{QStringLiteral("event"), QStringLiteral("tags")},
                   {QStringLiteral("tags"), FCore->TagsJson()}});
    };
    connect(core, &TServerCore::TagsChanged, this, tags);
    connect(core, &TServerCore::PreSettingsChanged, this, [this] {
        Broadcast({{QStringLiteral("event"), QStringLiteral("presets")}});
    });
}

qint64 THttpApi::BodyLimit(const QByteArray& method, const QString& path)
{
    static const QRegularExpression edid(QStringLiteral("^/api/v1/inputs/[^/]+/edid$"));
    if (method == "PUT" && edid.match(path).hasMatch()) return EdidData::Size;
    return JsonLimit;
}

QByteArray THttpApi::AllowedMethods(const QString& path)
{
    static const struct {
        QRegularExpression Path;
        const char* Methods;
    } table[] = {
        {QRegularExpression(
             QStringLiteral("^/api/v1/(status|presets|tags|audio|switches|backup)$")),
         "GET, HEAD"},
        {QRegularExpression(QStringLiteral("^/api/v1/(routing|power)$")), "GET, HEAD, PUT"},
        {QRegularExpression(QStringLiteral("^/api/v1/(routing|audio|switches)/[^/]+$")), "PUT"},
        {QRegularExpression(QStringLiteral("^/api/v1/presets/[^/]+/apply$")), "POST"},
        {QRegularExpression(QStringLiteral("^/api/v1/outputs/[^/]+/edid$")), "GET, HEAD"},
        {QRegularExpression(QStringLiteral("^/api/v1/inputs/[^/]+/edid$")), "PUT"},
        {QRegularExpression(QStringLiteral("^/api/v1/restore$")), "POST"},
        {QRegularExpression(QStringLiteral("^/api/v1/events$")), "GET"},
        {QRegularExpression(QStringLiteral("^/(?!api/)")), "GET, HEAD"},
    };
    for (const auto& row : table)
        if (row.Path.match(path).hasMatch()) return row.Methods;
    return {};
}

bool THttpApi::Authorized(const QByteArray& authorization) const
{
    const QByteArray value = authorization.trimmed();
    const int space = int(value.indexOf(' '));
    if (space < 0 || value.left(space).toLower() != "bearer") return false;
    return SameToken(value.mid(space + 1).trimmed(), FToken);
}

bool THttpApi::Admit(const THttpRequest& request, THttpResponse* refusal) const
{
    if (!request.Path.startsWith(QLatin1String("/api/"))) return true;
    // A page of another origin may send "simple" requests without asking
    // first; curl and scripts send no Origin at all.
    if (!THttpFront::SameOrigin(request)) {
        *refusal = THttpResponse::Error(403, QStringLiteral("Origin not allowed"));
        return false;
    }
    const bool hasBody = request.Length > 0 || request.Chunked;
    if (hasBody && request.Method != "GET" && request.Method != "HEAD") {
        static const QRegularExpression edid(QStringLiteral("^/api/v1/inputs/[^/]+/edid$"));
        const QByteArray want =
            edid.match(request.Path).hasMatch() ? "application/octet-stream" : "application/json";
        const QByteArray type =
            request.Header("content-type").split(';').value(0).trimmed().toLower();
        if (type != want) {
            *refusal = THttpResponse::Error(
                415, QStringLiteral("Send the body as Content-Type: %1").arg(QLatin1String(want)));
            return false;
        }
    }
    if (!FToken.isEmpty() && !Authorized(request.Header("authorization"))) {
        *refusal = THttpResponse::Error(401, QStringLiteral("Missing or wrong token"));
        refusal->AddHeader("WWW-Authenticate", "Bearer");
        return false;
    }
    return true;
}

bool THttpApi::SameToken(const QByteArray& a, const QByteArray& b)
{
    // Constant time: every byte of the longer one is looked at.
    const int n = int(qMax(a.size(), b.size()));
    unsigned diff = unsigned(a.size() ^ b.size());
    for (int i = 0; i < n; ++i)
        diff |= unsigned(uint8_t(i < a.size() ? a[i] : 0) ^ uint8_t(i < b.size() ? b[i] : 0));
    return diff == 0;
}

QByteArray THttpApi::EventText(const QJsonObject& event)
{
    return Compact(event);
}

void THttpApi::Broadcast(const QJsonObject& event)
{
    const QString text = QString::fromUtf8(EventText(event));
    for (QWebSocket* ws : std::as_const(FClients))
        ws->sendTextMessage(text);
}

void THttpApi::Welcome(QWebSocket* socket)
{
    FClients.insert(socket);
    socket->setMaxAllowedIncomingFrameSize(THttpFront::MaxWsMessage);
    socket->setMaxAllowedIncomingMessageSize(THttpFront::MaxWsMessage);
    socket->sendTextMessage(
        QString::fromUtf8(EventText({{QStringLiteral("event"), QStringLiteral("hello")},
                                     {QStringLiteral("state"), FCore->StateJson()}})));
}

void THttpApi::AddEventClient(QWebSocket* socket, const THttpRequest& request)
{
    socket->setParent(this);
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        FClients.remove(socket);
        socket->deleteLater();
    });
    const QByteArray auth = request.Header("authorization");
    if (FToken.isEmpty() || Authorized(auth)) {
        Welcome(socket);
        return;
    }
    // A browser cannot set the header: its first message carries the token.
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, socket, [socket] {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("No token"));
    });
    timer->start(TokenWaitMs);
    auto conn = std::make_shared<QMetaObject::Connection>();
    *conn = connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket, timer, conn](const QString& message) {
                        disconnect(*conn);
                        timer->stop();
                        const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
                        if (SameToken(o.value(QStringLiteral("token")).toString().toUtf8(), FToken))
                            Welcome(socket);
                        else
                            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                                          QStringLiteral("Wrong token"));
                    });
}

void THttpApi::Queue(const THttpFront::TRespond& respond, std::function<THttpResponse()> job)
{
    TRequestQueue* queue = FCore->Queue();
    auto watch = std::make_shared<QMetaObject::Connection>();
    const TRequestQueue::TTicket ticket = queue->Post([respond, job, watch] {
        QObject::disconnect(*watch);
        respond(job());
    });
    if (!ticket) {
        THttpResponse busy = THttpResponse::Error(503, QStringLiteral("Too many requests waiting"));
        busy.AddHeader("Retry-After", "1");
        return respond(busy);
    }
    // A client gone before its turn: nothing of its request reaches the matrix.
    if (auto* socket = qobject_cast<QAbstractSocket*>(FAsking.data()))
        *watch = connect(socket, &QAbstractSocket::disconnected, queue, [queue, ticket, watch] {
            QObject::disconnect(*watch);
            queue->Cancel(ticket);
        });
}

static THttpResponse Page(const QString& name, const QByteArray& type)
{
    QFile f(QStringLiteral(":/web/") + name);
    if (!f.open(QIODevice::ReadOnly)) return THttpResponse::Error(404, QStringLiteral("Not found"));
    THttpResponse r;
    r.ContentType = type;
    r.Body = f.readAll();
    // The page's own scripts and styles only, nothing inline.
    r.AddHeader("Content-Security-Policy",
                "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    return r;
}

void THttpApi::Handle(const THttpRequest& asked, const THttpFront::TRespond& reply)
{
    // HEAD is GET whose body the front leaves out.
    THttpRequest request = asked;
    if (request.Method == "HEAD") request.Method = "GET";
    const QString path = request.Path;
    const THttpFront::TRespond respond = [reply, path](const THttpResponse& r) {
        if (r.Status != 405) return reply(r);
        THttpResponse allow = r;
        allow.AddHeader("Allow", AllowedMethods(path));
        reply(allow);
    };
    FAsking = request.Connection;
    Route(request, respond);
    FAsking = nullptr;
}

void THttpApi::Route(const THttpRequest& request, const THttpFront::TRespond& respond)
{
    const QString path = request.Path;
    if (!path.startsWith(QLatin1String("/api/"))) {
        if (request.Method != "GET")
            return respond(THttpResponse::Error(405, QStringLiteral("Method not allowed")));
        if (path == QLatin1String("/") || path == QLatin1String("/index.html"))
            return respond(Page(QStringLiteral("index.html"), "text/html; charset=utf-8"));
        if (path == QLatin1String("/app.js"))
            return respond(Page(QStringLiteral("app.js"), "text/javascript; charset=utf-8"));
        if (path == QLatin1String("/style.css"))
            return respond(Page(QStringLiteral("style.css"), "text/css; charset=utf-8"));
        return respond(THttpResponse::Error(404, QStringLiteral("Not found")));
    }
    if (!path.startsWith(QLatin1String("/api/v1/")))
        return respond(THttpResponse::Error(404, QStringLiteral("Not found")));
    HandleApi(request, path.mid(8).split(QLatin1Char('/')), respond);
}
