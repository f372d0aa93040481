// matrix-server against the simulator: the routes, the one queue, the
// refresh, the events, the security rules and the page in a real browser.
#include "FreePort.h"
#include "HttpApi.h"
#include "HttpTestClient.h"
#include "NetnsPair.h"
#include "OpsTypes.h"
#include "ServerApp.h"
#include "SimFrameLog.h"
#include "SimServers.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

namespace
{
// A WebSocket client that keeps every message it gets.
struct TEventClient {
    QWebSocket Socket;
    QStringList Messages;
    explicit TEventClient(const QString& url, const QByteArray& origin = {},
                          const QByteArray& auth = {})
    {
        QObject::connect(&Socket, &QWebSocket::textMessageReceived,
                         [this](const QString& m) { Messages << m; });
        QNetworkRequest request{QUrl(url)};
        if (!origin.isEmpty()) request.setRawHeader("Origin", origin);
        if (!auth.isEmpty()) request.setRawHeader("Authorization", auth);
        Socket.open(request);
    }
    bool Has(const QString& part) const
    {
        for (const QString& m : Messages)
            if (m.contains(part)) return true;
        return false;
    }
};

// A headless chromium driven over the WebDriver protocol.
class TBrowser
{
public:
    explicit TBrowser(const QString& profile) : FPort(FreePort()), FClient(FPort)
    {
        FDriver.start(QStringLiteral("chromedriver"), {QStringLiteral("--port=%1").arg(FPort)});
        if (!FDriver.waitForStarted(5000)) return;
        QDeadlineTimer ready(10000);
        while (!ready.hasExpired() && FClient.Request("GET", "/status").Status != 200)
            QTest::qWait(50);
        const QJsonObject options{
            {"binary", "/usr/bin/chromium"},
            {"args", QJsonArray{"--headless", "--no-sandbox", "--disable-gpu",
                                "--window-size=420,1000", "--user-data-dir=" + profile}}};
        const QJsonObject caps{
            {"capabilities",
             QJsonObject{{"alwaysMatch", QJsonObject{{"browserName", "chrome"},
                                                     {"goog:chromeOptions", options}}}}}};
        FSession = Call("POST", "", caps).toObject().value("sessionId").toString().toUtf8();
    }
    ~TBrowser()
    {
        if (!FSession.isEmpty()) FClient.Request("DELETE", "/session/" + FSession);
        FDriver.terminate();
        FDriver.waitForFinished(5000);
    }
    bool Ok() const { return !FSession.isEmpty(); }
    QJsonValue Call(const QByteArray& method, const QByteArray& path, const QJsonObject& body = {})
    {
        const QByteArray url =
            "/session" + (FSession.isEmpty() ? QByteArray() : "/" + FSession) + path;
        const THttpReply r =
            FClient.Request(method, url, QJsonDocument(body).toJson(QJsonDocument::Compact),
                            {"Content-Type: application/json"});
        return r.Json().value("value");
    }
    QByteArray Element(const QString& css)
    {
        const QJsonObject e =
            Call("POST", "/element", {{"using", "css selector"}, {"value", css}}).toObject();
        return e.value("element-6066-11e4-a52e-4f735466cecf").toString().toUtf8();
    }
    void Click(const QString& css) { Call("POST", "/element/" + Element(css) + "/click"); }
    void Type(const QString& css, const QString& text)
    {
        Call("POST", "/element/" + Element(css) + "/value", {{"text", text}});
    }
    QString Script(const QString& script)
    {
        return Call("POST", "/execute/sync", {{"script", script}, {"args", QJsonArray()}})
            .toVariant()
            .toString();
    }

private:
    quint16 FPort;
    THttpTestClient FClient;
    QProcess FDriver;
    QByteArray FSession;
};

const char* const SettingsText =
    "[TCP control device list]\n"
    "Device1=[Rack] - [Static] - [127.0.0.1] - [0.0.0.0] - [255.0.0.0] - [00-1A-2B-3C-4D-50] - "
    "[Same]\n"
    "[Tag of Input - TCP:00-1A-2B-3C-4D-50]\nIn1=Blu-ray\n"
    "[Tag of Output - TCP:00-1A-2B-3C-4D-50]\nOut2=Projector\n"
    "[Pre-Setting name]\nSetting3=Movie night\n[Pre-Setting value]\nvalue3=2,2,4,1\n";
} // namespace

class TstServer : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    // A server on the in-process simulator; the simulator starts powered on.
    std::unique_ptr<TServerApp> Serve(TMatrixSim& sim, bool pty, TServerOptions o = {})
    {
        sim.Device().State().Power = true;
        if (pty) {
            if (!sim.OpenPty(FDir.filePath(QStringLiteral("tty%1").arg(++FPtys)))) return {};
            o.Serial = sim.PtyLink();
        } else {
            if (!sim.ListenTcp(QHostAddress::LocalHost, 0)) return {};
            o.Tcp = QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort());
        }
        if (o.SettingsPath.isEmpty())
            o.SettingsPath = FDir.filePath(QStringLiteral("Settings.ini"));
        o.ListenPort = FreePort();
        o.RefreshS = 0;
        auto app = std::make_unique<TServerApp>(o, TTiming::Fast());
        if (app->Start() != 0) return {};
        return app;
    }
    int FPtys = 0;
    bool WriteSettings(const QByteArray& text)
    {
        QSaveFile f(FDir.filePath(QStringLiteral("Settings.ini")));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(WriteSettings(SettingsText));
        QFile t(FDir.filePath(QStringLiteral("token")));
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("s3cret-token\n");
        t.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // Every route of the table over TCP, with matrixctl's documents and the
    // error statuses.
    void routes()
    {
        auto owned = std::make_unique<TMatrixSim>();
        TMatrixSim& sim = *owned;
        sim.Device().LoadEdids(QStringLiteral(":/edid"));
        auto app = Serve(sim, false);
        QVERIFY(app);
        THttpTestClient c(app->Core()->Options().ListenPort);
        TEventClient events(QStringLiteral("ws://127.0.0.1:%1/api/v1/events")
                                .arg(app->Core()->Options().ListenPort));

        THttpReply r = c.Request("GET", "/api/v1/status");
        QCOMPARE(r.Status, 200);
        QCOMPARE(r.Json().value("device").toString(), QStringLiteral("4x4"));
        QCOMPARE(r.Json().value("inputs").toObject().value("3").toString(),
                 QStringLiteral("not connected"));
        r = c.Request("PUT", "/api/v1/routing/2", R"({"input": 3})");
        QCOMPARE(r.Body, QByteArray(R"({"routing":{"1":1,"2":3,"3":3,"4":4}})"));
        QCOMPARE(sim.Device().State().Route[1], 3);
        r = c.Request("PUT", "/api/v1/routing", R"({"4": 2, "1": 4})");
        QCOMPARE(r.Json().value("routing").toObject().value("4").toInt(), 2);
        QCOMPARE(c.Request("GET", "/api/v1/routing").Body,
                 QByteArray(R"({"routing":{"1":4,"2":3,"3":3,"4":2}})"));
        // A failure part way: the outputs before it stay routed and are named.
        sim.Faults().Add(QStringLiteral("silence/cmd=2.3/p2=3"));
        r = c.Request("PUT", "/api/v1/routing", R"({"1": 1, "3": 1, "2": 1})");
        QCOMPARE(r.Status, 504);
        QCOMPARE(r.Json().value("error").toString(), QStringLiteral("Time out!"));
        QCOMPARE(r.Json().value("applied").toArray(), QJsonArray({1, 2}));
        sim.Faults().Clear();

        r = c.Request("GET", "/api/v1/tags");
        QCOMPARE(r.Json().value("inputs").toObject().value("1").toString(),
                 QStringLiteral("Blu-ray"));
        QCOMPARE(r.Json().value("outputs").toObject().value("2").toString(),
                 QStringLiteral("Projector"));
        // The window saves a new file over the old one: the tags follow it.
        QVERIFY(WriteSettings(QByteArray(SettingsText).replace("In1=Blu-ray", "In1=Apple TV")));
        QTRY_VERIFY(events.Has(R"("inputs":{"1":"Apple TV")"));
        QCOMPARE(c.Request("GET", "/api/v1/tags")
                     .Json()
                     .value("inputs")
                     .toObject()
                     .value("1")
                     .toString(),
                 QStringLiteral("Apple TV"));
        QVERIFY(WriteSettings(SettingsText));
        r = c.Request("GET", "/api/v1/presets");
        QCOMPARE(r.Json().value("presets").toArray().at(2).toObject().value("name").toString(),
                 QStringLiteral("Movie night"));
        r = c.Request("POST", "/api/v1/presets/3/apply");
        QCOMPARE(r.Status, 200);
        QCOMPARE(sim.Device().State().Route, (std::array<int, 4>{2, 2, 4, 1}));

        r = c.Request("PUT", "/api/v1/audio/2", R"({"source": 3})");
        QCOMPARE(r.Json().value("audio").toObject().value("2").toInt(), 3);
        QCOMPARE(c.Request("GET", "/api/v1/audio").Json().value("audio").toObject().size(), 4);
        r = c.Request("PUT", "/api/v1/switches/apm", R"({"on": true})");
        QCOMPARE(r.Body, QByteArray(R"({"apm":true,"beeper":true,"ir":true,"keys":true})"));
        QVERIFY(sim.Device().State().Apm);
        QCOMPARE(c.Request("GET", "/api/v1/switches").Status, 200);

        r = c.Request("GET", "/api/v1/outputs/1/edid");
        QCOMPARE(r.Status, 200);
        QCOMPARE(r.Headers.value("content-type"), QByteArray("application/octet-stream"));
        QCOMPARE(r.Body.size(), 256);
        const QByteArray edid = r.Body;
        QCOMPARE(c.Request("PUT", "/api/v1/inputs/2/edid", edid).Status, 204);
        QCOMPARE(sim.Device().State().InputEdid[1], edid);
        QByteArray bad = edid;
        bad[10] = char(bad[10] + 1);
        QCOMPARE(c.Request("PUT", "/api/v1/inputs/3/edid", bad).Status, 400);

        r = c.Request("GET", "/api/v1/backup");
        QCOMPARE(r.Json().value("format").toString(), QStringLiteral("hdmi-matrix-backup"));
        const QByteArray backup = r.Body;
        const int frames = sim.Device().FramesReceived();
        r = c.Request("POST", "/api/v1/restore?dry_run=1", backup);
        QCOMPARE(r.Json().value("dryRun").toBool(), true);
        QCOMPARE(r.Json().value("commands").toArray().size(), 12);
        QCOMPARE(sim.Device().FramesReceived(), frames);
        QCOMPARE(c.Request("POST", "/api/v1/restore", backup).Status, 200);

        // Bad input is refused before anything reaches the matrix.
        const int before = sim.Device().FramesReceived();
        r = c.Request("PUT", "/api/v1/routing/5", R"({"input": 1})");
        QCOMPARE(r.Status, 400);
        QVERIFY(r.Json().value("error").toString().contains("1..4"));
        QCOMPARE(c.Request("PUT", "/api/v1/routing/1", R"({"input": "2"})").Status, 400);
        QCOMPARE(c.Request("PUT", "/api/v1/routing/1", R"({"input": 1.5})").Status, 400);
        QCOMPARE(c.Request("PUT", "/api/v1/power", R"({"on": 1})").Status, 400);
        QCOMPARE(c.Request("PUT", "/api/v1/audio/1", "{nope").Status, 400);
        QCOMPARE(c.Request("POST", "/api/v1/restore", R"({"format": "x"})").Status, 400);
        QCOMPARE(c.Request("GET", "/api/v1/firmware").Status, 404);
        QCOMPARE(sim.Device().FramesReceived(), before);

        QCOMPARE(c.Request("PUT", "/api/v1/power", R"({"on": false})").Body,
                 QByteArray(R"({"on":false})"));
        r = c.Request("PUT", "/api/v1/routing/1", R"({"input": 2})");
        QCOMPARE(r.Status, 409);
        QCOMPARE(r.Json().value("error").toString(),
                 QStringLiteral("System is power off, please turn it on first."));
        QCOMPARE(c.Request("GET", "/api/v1/power").Body, QByteArray(R"({"on":false})"));
        // The link gone: 502.
        owned.reset(); // no new connection either
        QCOMPARE(c.Request("GET", "/api/v1/power").Status, 502);
        QTRY_VERIFY(events.Has(R"({"event":"link","state":"lost"})"));
        QVERIFY(events.Has(R"({"event":"power","on":false})"));
    }

    // 50 clients at once over the pseudo-terminal: every request answered,
    // each command on the line exactly once; events reach every client.
    void queueAndEvents()
    {
        TMatrixSim sim;
        TSimFrameLog log(sim);
        auto app = Serve(sim, true);
        QVERIFY(app);
        const quint16 port = app->Core()->Options().ListenPort;
        const QString events = QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(port);
        TEventClient first(events), second(events);
        QTRY_VERIFY(first.Has("hello") && second.Has("hello"));
        QVERIFY(second.Messages.first().contains(R"("link":"connected")"));
        QVERIFY(second.Messages.first().contains(R"("routing":{"1":1,"2":2,"3":3,"4":4})"));

        const int logged = log.Count();
        THttpTestClient c(port);
        QList<QTcpSocket*> pending;
        for (int i = 0; i < 50; ++i)
            pending << c.Start("PUT", "/api/v1/routing/" + QByteArray::number(i % 4 + 1),
                               R"({"input": )" + QByteArray::number(i / 4 % 4 + 1) + "}");
        int ok = 0;
        for (QTcpSocket* s : pending)
            ok += THttpTestClient::Finish(s).Status == 200;
        QCOMPARE(ok, 50);
        const QStringList names = log.Names().mid(logged);
        QCOMPARE(names.count(QStringLiteral("2,3")), 50);
        QCOMPARE(names.count(QStringLiteral("16,1")), 50); // each route's power check
        QCOMPARE(names.size(), 100);
        // Both clients follow every change: their last events are the matrix's routing.
        auto routed = [&sim](const TEventClient& client) {
            std::array<int, 4> seen{1, 2, 3, 4};
            for (const QString& m : client.Messages) {
                const QJsonObject e = QJsonDocument::fromJson(m.toUtf8()).object();
                if (e.value("event").toString() == QLatin1String("routing"))
                    seen[size_t(e.value("output").toInt() - 1)] = e.value("input").toInt();
            }
            return seen == sim.Device().State().Route;
        };
        QTRY_VERIFY(routed(first) && routed(second));
        // A change behind the server's back shows up at the next refresh.
        sim.Device().State().Route[3] = 2;
        sim.Device().State().Beeper = false;
        app->Core()->Refresh();
        QTRY_VERIFY(second.Has(R"({"event":"routing","input":2,"output":4})"));
        QTRY_VERIFY(second.Has(R"({"event":"switch","name":"beeper","on":false})"));

        // Never "busy": only a full queue refuses, with Retry-After.
        TRequestQueue queue;
        for (int i = 0; i < TRequestQueue::MaxWaiting; ++i)
            QVERIFY(queue.Post([] {}));
        QVERIFY(!queue.Post([] {}));
        QTRY_COMPARE(queue.Waiting(), 0);
        QVERIFY(queue.Post([] {}));
        QTRY_COMPARE(queue.Waiting(), 0);
        // A replacing job leaves its key's older job out and goes to the
        // back; a cancelled one never runs; a full queue still takes it.
        QStringList ran;
        const auto job = [&ran](const char* name) { return [&ran, name] { ran << name; }; };
        queue.PostReplacing(QStringLiteral("a"), job("a1"));
        const auto ranB = queue.Post(job("b"));
        queue.PostReplacing(QStringLiteral("a"), job("a2"));
        const auto dropped = queue.Post(job("c"));
        QVERIFY(queue.Cancel(dropped) && !queue.Cancel(dropped));
        for (int i = queue.Waiting(); i < TRequestQueue::MaxWaiting; ++i)
            QVERIFY(queue.Post([] {}));
        QVERIFY(queue.PostReplacing(QStringLiteral("a"), job("a3")) != 0);
        QTRY_COMPARE(queue.Waiting(), 0);
        QCOMPARE(ran, QStringList({"b", "a3"}));
        QVERIFY(!queue.Cancel(ranB));
    }

    // Token, Host and Origin checks, body limits where the bytes arrive,
    // start-up refusals, TLS.
    void security()
    {
        // Start-up: no token off loopback, a token file others can read.
        TServerOptions open;
        open.Tcp = QStringLiteral("127.0.0.1:1");
        open.ListenAddress = QStringLiteral("0.0.0.0");
        QVERIFY_THROWS_EXCEPTION(EUsage, TServerApp(open, TTiming::Fast()).Start());
        const QString tokenFile = FDir.filePath(QStringLiteral("token"));
        QFile t(tokenFile);
        t.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        open.TokenFile = tokenFile;
        QVERIFY_THROWS_EXCEPTION(EUsage, TServerApp(open, TTiming::Fast()).Start());
        t.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

        TMatrixSim sim;
        TServerOptions o;
        o.TokenFile = tokenFile;
        o.AllowHosts << QStringLiteral("matrix.example.org") << QStringLiteral("*.lan");
        auto app = Serve(sim, false, o);
        QVERIFY(app);
        const quint16 port = app->Core()->Options().ListenPort;
        THttpTestClient c(port);
        QCOMPARE(c.Request("GET", "/api/v1/power").Status, 401);
        QCOMPARE(
            c.Request("GET", "/api/v1/power", {}, {"Authorization: Bearer s3cret-tokem"}).Status,
            401);
        const QByteArray auth = "Authorization: Bearer s3cret-token";
        QCOMPARE(c.Request("GET", "/api/v1/power", {}, {auth}).Status, 200);
        QCOMPARE(c.Request("GET", "/").Status, 200); // the page asks for the token itself
        QCOMPARE(
            THttpTestClient(port, "localhost:1").Request("GET", "/api/v1/power", {}, {auth}).Status,
            200);
        const THttpReply misdirected = THttpTestClient(port, "attacker.example:80")
                                           .Request("GET", "/api/v1/power", {}, {auth});
        QCOMPARE(misdirected.Status, 421);
        QVERIFY(misdirected.Body.contains("--allow-host"));
        // The names people type: this machine's, over mDNS too, and those allowed by option.
        const QByteArray me = QSysInfo::machineHostName().toLower().toUtf8();
        for (const QByteArray& host : {me, me + ".local:" + QByteArray::number(port),
                                       QByteArray("Matrix.Example.org"), QByteArray("a.b.lan:1")})
            QVERIFY2(
                THttpTestClient(port, host).Request("GET", "/api/v1/power", {}, {auth}).Status ==
                    200,
                host);
        QCOMPARE(THttpTestClient(port, "lan").Request("GET", "/api/v1/power", {}, {auth}).Status,
                 421);
        QCOMPARE(
            c.Request("GET", "/api/v1/power", {}, {"Authorization: bEARER s3cret-token"}).Status,
            200);
        // A page elsewhere gets nothing done, not even a "simple" request;
        // every body says its type.
        const int frames = sim.Device().FramesReceived();
        const QByteArray own = "http://127.0.0.1:" + QByteArray::number(port);
        QCOMPARE(
            c.Request("POST", "/api/v1/presets/3/apply", {}, {auth, "Origin: http://evil.example"})
                .Status,
            403);
        QCOMPARE(c.Request("PUT", "/api/v1/routing/1", R"({"input": 2})",
                           {auth, "Origin: null", "Content-Type: application/json"})
                     .Status,
                 403);
        QCOMPARE(c.Request("PUT", "/api/v1/routing/1", R"({"input": 2})",
                           {auth, "Content-Type: text/plain"})
                     .Status,
                 415);
        QCOMPARE(c.Request("PUT", "/api/v1/inputs/1/edid", QByteArray(256, 0),
                           {auth, "Content-Type: application/json"})
                     .Status,
                 415);
        QCOMPARE(sim.Device().FramesReceived(), frames);
        QCOMPARE(
            c.Request("PUT", "/api/v1/routing/1", R"({"input": 2})",
                      {auth, "Origin: " + own, "Content-Type: application/json; charset=utf-8"})
                .Status,
            200);
        const THttpReply page = c.Request("GET", "/");
        QVERIFY(page.Headers.value("content-security-policy").contains("script-src 'self'"));
        QCOMPARE(page.Headers.value("x-content-type-options"), QByteArray("nosniff"));

        // Too large a body: 413 before it is sent.
        QTcpSocket* s = c.Start("PUT", "/api/v1/inputs/1/edid", {}, {auth, "Content-Length: 257"});
        THttpReply r = THttpTestClient::Finish(s);
        QCOMPARE(r.Status, 413);
        s = c.Start("PUT", "/api/v1/routing", {}, {auth, "Content-Length: 100000000"});
        QCOMPARE(THttpTestClient::Finish(s).Status, 413);

        // Events: a browser's first message carries the token; nothing before.
        const QString url = QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(port);
        TEventClient browser(url, own), wrong(url, own), foreign(url, "http://evil.example"),
            silent(url, own), huge(url, own);
        QTRY_VERIFY(browser.Socket.state() == QAbstractSocket::ConnectedState);
        QTRY_VERIFY(wrong.Socket.state() == QAbstractSocket::ConnectedState);
        QTest::qWait(50);
        QVERIFY(browser.Messages.isEmpty());
        browser.Socket.sendTextMessage(R"({"token": "s3cret-token"})");
        wrong.Socket.sendTextMessage(R"({"token": "guess"})");
        // Nothing large is read before the token.
        QTRY_VERIFY(huge.Socket.state() == QAbstractSocket::ConnectedState);
        huge.Socket.sendBinaryMessage(QByteArray(1 << 20, 'x'));
        QTRY_VERIFY(browser.Has("hello"));
        QTRY_COMPARE(huge.Socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(huge.Socket.closeCode(), QWebSocketProtocol::CloseCodeTooMuchData);
        QTRY_COMPARE(wrong.Socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(wrong.Messages.isEmpty());
        QTRY_COMPARE(foreign.Socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(foreign.Messages.isEmpty());
        TEventClient header(url, {}, auth.mid(15));
        QTRY_VERIFY(header.Has("hello"));
        // One that never sends its token does not stay.
        QTRY_COMPARE_WITH_TIMEOUT(silent.Socket.state(), QAbstractSocket::UnconnectedState,
                                  THttpApi::TokenWaitMs + 5000);
        QCOMPARE(silent.Socket.closeCode(), QWebSocketProtocol::CloseCodePolicyViolated);
        QVERIFY(silent.Messages.isEmpty());

        QVERIFY(THttpApi::SameToken("abc", "abc"));
        QVERIFY(!THttpApi::SameToken("abc", "abcd"));
        QVERIFY(!THttpApi::SameToken("", "a"));
    }

    // HTTP/1.1 as clients write it: target forms, line ends, Host rules,
    // HEAD, Allow, chunked bodies, Expect, encoded slashes.
    void http11()
    {
        TMatrixSim sim;
        auto app = Serve(sim, false);
        QVERIFY(app);
        const quint16 port = app->Core()->Options().ListenPort;
        const QByteArray host = "127.0.0.1:" + QByteArray::number(port);
        auto status = [&](const QByteArray& bytes) {
            return THttpTestClient::Finish(THttpTestClient::StartRaw(port, bytes)).Status;
        };
        QCOMPARE(status("GET http://" + host + "/api/v1/power HTTP/1.1\r\nHost: x\r\n\r\n"), 200);
        QCOMPARE(
            status("GET http://evil.example/api/v1/power HTTP/1.1\r\nHost: " + host + "\r\n\r\n"),
            421);
        QCOMPARE(status("\r\n\nGET /api/v1/power HTTP/1.1\nHost: " + host + "\n\n"), 200);
        const QList<QByteArray> bad = {
            "GET /api/v1/power HTTP/1.1\r\n\r\n",
            "GET /api/v1/power HTTP/1.1\r\nHost: " + host + "\r\nHost: " + host + "\r\n\r\n",
            "GET /api/v1/power HTTP/1.1\r\nHost : " + host + "\r\n\r\n",
            "PUT /api/v1/power HTTP/1.1\r\nHost: " + host + "\r\nContent-Length: +13\r\n\r\n",
            "GET /api/v1/power HTTP/1.1\r\nHost: " + host + "\r\nX: a\r\n b\r\n\r\n",
        };
        for (const QByteArray& request : bad)
            QVERIFY2(status(request) == 400, request);
        QCOMPARE(status("GET /api/v1/routing%2F1 HTTP/1.1\r\nHost: " + host + "\r\n\r\n"), 404);

        auto* s = THttpTestClient::StartRaw(port, "HEAD /api/v1/power HTTP/1.1\r\nHost: " + host +
                                                      "\r\nConnection: close\r\n\r\n");
        QTRY_COMPARE(s->state(), QAbstractSocket::UnconnectedState);
        const QByteArray head = s->readAll();
        delete s;
        QVERIFY(head.startsWith("HTTP/1.1 200 ") && head.endsWith("\r\n\r\n"));
        QVERIFY(head.contains("Content-Length: 11\r\n"));
        THttpTestClient c(port);
        THttpReply r = c.Request("DELETE", "/api/v1/routing");
        QCOMPARE(r.Status, 405);
        QCOMPARE(r.Headers.value("allow"), QByteArray("GET, HEAD, PUT"));
        QCOMPARE(c.Request("POST", "/").Headers.value("allow"), QByteArray("GET, HEAD"));

        // Chunked: read, limited as it arrives.
        r = c.Request("PUT", "/api/v1/routing/1",
                      "7\r\n{\"input\r\n5;x=1\r\n\": 3}\r\n0\r\nX: y\r\n\r\n",
                      {"Transfer-Encoding: chunked", "Content-Type: application/json"});
        QVERIFY2(r.Status == 200, r.Body);
        QCOMPARE(sim.Device().State().Route[0], 3);
        r = c.Request("PUT", "/api/v1/routing/1",
                      "8000\r\n" + QByteArray(0x8000, ' ') + "\r\n8001\r\n",
                      {"Transfer-Encoding: chunked", "Content-Type: application/json"});
        QCOMPARE(r.Status, 413);
        QCOMPARE(c.Request("PUT", "/api/v1/routing/1", "{}", {"Transfer-Encoding: gzip"}).Status,
                 501);

        // Expect: 100-continue, then the body; a refused head gets its final status.
        s = THttpTestClient::StartRaw(port,
                                      "PUT /api/v1/routing/2 HTTP/1.1\r\nHost: " + host +
                                          "\r\nContent-Type: application/json\r\n"
                                          "Content-Length: 12\r\nExpect: 100-continue\r\n\r\n");
        QByteArray interim;
        QTRY_COMPARE(interim += s->readAll(), QByteArray("HTTP/1.1 100 Continue\r\n\r\n"));
        s->write(R"({"input": 4})");
        QCOMPARE(THttpTestClient::Finish(s).Status, 200);
        QCOMPARE(sim.Device().State().Route[1], 4);
        QCOMPARE(status("PUT /api/v1/routing/2 HTTP/1.1\r\nHost: " + host +
                        "\r\nContent-Type: application/json\r\nContent-Length: 99999999\r\n"
                        "Expect: 100-continue\r\n\r\n"),
                 413);

        // The request heads the fuzz target found trouble with, once more.
        const QDir findings(qEnvironmentVariable("MATRIX_SOURCE_DIR") +
                            QStringLiteral("/fuzz/regressions/httphead"));
        QVERIFY(findings.exists());
        for (const QString& name : findings.entryList(QDir::Files)) {
            QFile f(findings.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const int code = status(f.readAll());
            QVERIFY2(code == 0 || code >= 200, qPrintable(name));
        }
        QCOMPARE(c.Request("GET", "/api/v1/power").Status, 200);
    }

    // Hostile clients: requests of clients that left, slow heads, too many
    // connections, cross-site forms, pre-settings that route nothing.
    void hostile()
    {
        TMatrixSim sim;
        TServerOptions o;
        o.SettingsPath = FDir.filePath(QStringLiteral("none/Settings.ini"));
        auto app = Serve(sim, false, o);
        QVERIFY(app);
        const quint16 port = app->Core()->Options().ListenPort;
        THttpTestClient c(port);
        QCOMPARE(c.Request("GET", "/api/v1/power").Status, 200);
        const int frames = sim.Device().FramesReceived();

        // Requests waiting behind a long one whose clients go never run.
        // The long one is this job: the clients come and go while it runs.
        TRequestQueue* queue = app->Core()->Queue();
        QTcpSocket* stays = nullptr;
        queue->Post([&] {
            QList<QTcpSocket*> gone;
            for (int i = 0; i < 20; ++i)
                gone << c.Start("PUT", "/api/v1/routing/1", R"({"input": 2})");
            QTRY_COMPARE(queue->Waiting(), 20);
            qDeleteAll(gone);
            QTRY_COMPARE(queue->Waiting(), 0);
            stays = c.Start("PUT", "/api/v1/routing/1", R"({"input": 2})");
            QTRY_COMPARE(queue->Waiting(), 1);
        });
        QTRY_VERIFY(stays);
        QCOMPARE(THttpTestClient::Finish(stays).Status, 200);
        QCOMPARE(sim.Device().FramesReceived(), frames + 2); // its power check and route

        // A text/plain form of another page, and one without an Origin.
        const QByteArray backup = R"({"format": "hdmi-matrix-backup"})";
        QCOMPARE(c.Request("POST", "/api/v1/restore", backup,
                           {"Content-Type: text/plain", "Origin: http://evil.example"})
                     .Status,
                 403);
        QCOMPARE(c.Request("POST", "/api/v1/restore", backup, {"Content-Type: text/plain"}).Status,
                 415);
        // No settings file: nothing saved, nothing to apply, nothing sent.
        const QJsonArray presets =
            c.Request("GET", "/api/v1/presets").Json().value("presets").toArray();
        QCOMPARE(presets.size(), 8);
        QCOMPARE(presets.at(0).toObject().value("outputs").toObject(), QJsonObject());
        const THttpReply empty = c.Request("POST", "/api/v1/presets/1/apply");
        QCOMPARE(empty.Status, 422);
        QVERIFY(empty.Json().value("error").toString().contains("empty"));
        QCOMPARE(sim.Device().FramesReceived(), frames + 2);

        // A head that trickles in is cut off however steady the trickle.
        QTcpSocket* slow = THttpTestClient::StartRaw(port, "GET / HTTP/1.1\r\nX: ");
        QTRY_COMPARE(slow->state(), QAbstractSocket::ConnectedState);
        QByteArray answer;
        QDeadlineTimer limit(TTiming::Fast().HttpHeadMs * 5);
        while (slow->state() == QAbstractSocket::ConnectedState && !limit.hasExpired()) {
            slow->write("a");
            QTest::qWait(50);
            answer += slow->readAll();
        }
        answer += slow->readAll();
        delete slow;
        QVERIFY2(answer.startsWith("HTTP/1.1 408 "), answer);

        // 64 connections from one address; the next is closed at once.
        QTRY_COMPARE(app->Http()->Connections(), 0);
        QList<QTcpSocket*> many;
        for (int i = 0; i < THttpPolicy().MaxPerAddress; ++i)
            many << THttpTestClient::StartRaw(port, {});
        QTRY_COMPARE(app->Http()->Connections(), THttpPolicy().MaxPerAddress);
        QTcpSocket* over =
            THttpTestClient::StartRaw(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_COMPARE(over->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(over->readAll().isEmpty());
        delete over;
        for (QTcpSocket* m : many)
            QCOMPARE(m->state(), QAbstractSocket::ConnectedState);
        qDeleteAll(many);
        QTRY_COMPARE(app->Http()->Connections(), 0);
        QCOMPARE(c.Request("GET", "/").Status, 200);
    }

    // Off loopback, inside a network namespace: the address a client reached
    // answers, even when the process may open no netlink socket (a preloaded
    // shim refuses them, as RestrictAddressFamilies of the unit does).
    void offLoopback()
    {
        TNetnsPair ns;
        QString why;
        if (!ns.Setup(&why)) QSKIP(qPrintable(why));
        QVERIFY(ns.Enter(ns.NsB));
        QProcess probe;
        probe.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        auto env = probe.processEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(NONETLINK_PATH));
        // In the sanitizer build the shim comes before the sanitizer's runtime.
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":verify_asan_link_order=0"));
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral("ip"), {QStringLiteral("-o"), QStringLiteral("addr")});
        QVERIFY(probe.waitForFinished(10000));
        QVERIFY(probe.exitCode() != 0); // the shim works: no interface list
        TMatrixSim sim;
        sim.Device().State().Power = true;
        QVERIFY(sim.ListenTcp(QHostAddress::LocalHost, 0));
        const QString bin =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../server/matrix-server");
        for (const bool netlink : {true, false}) {
            const quint16 port = FreePort();
            QProcess server;
            if (!netlink) server.setProcessEnvironment(env);
            server.start(
                bin, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(sim.TcpPort()),
                      QStringLiteral("--listen"), QStringLiteral("0.0.0.0:%1").arg(port),
                      QStringLiteral("--token-file"), FDir.filePath(QStringLiteral("token")),
                      QStringLiteral("--refresh-s"), QStringLiteral("0")});
            QByteArray out;
            QTRY_VERIFY2_WITH_TIMEOUT((out += server.readAllStandardOutput()).contains("ready"),
                                      server.readAllStandardError(), 20000);
            const QByteArray box =
                QByteArray(TNetnsPair::AddressB) + ':' + QByteArray::number(port);
            const QByteArray auth = "Authorization: Bearer s3cret-token";
            auto get = [&](const QByteArray& host) {
                auto* s = new QTcpSocket;
                s->connectToHost(QString::fromLatin1(TNetnsPair::AddressB), port);
                s->write("GET /api/v1/power HTTP/1.1\r\nHost: " + host + "\r\n" + auth +
                         "\r\n\r\n");
                return THttpTestClient::Finish(s).Status;
            };
            QCOMPARE(get(box), 200);
            QCOMPARE(get("10.77.0.9:" + QByteArray::number(port)), 421);
            QCOMPARE(get("0.0.0.0:" + QByteArray::number(port)), 421);
            server.terminate();
            QVERIFY(server.waitForFinished(10000));
        }
    }

    // The program: usage errors exit 2, a link failure 1; HTTPS serves.
    void program()
    {
        const QString bin =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../server/matrix-server");
        QProcess p;
        p.start(bin, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:1")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        p.start(bin, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FreePort()),
                      QStringLiteral("--listen"), QStringLiteral("10.1.2.3:8080")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("--token-file"));
        p.start(bin, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(FreePort())});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("failed"));

        const QString cert = FDir.filePath(QStringLiteral("cert.pem"));
        const QString key = FDir.filePath(QStringLiteral("key.pem"));
        QProcess ssl;
        ssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                   "-days", "2", "-keyout", key, "-out", cert});
        QVERIFY(ssl.waitForFinished(30000) && ssl.exitCode() == 0);
        TMatrixSim sim;
        TServerOptions o;
        o.TlsCert = cert;
        o.TlsKey = key;
        auto app = Serve(sim, false, o);
        QVERIFY(app);
        QSslSocket tls;
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls.connectToHostEncrypted(QStringLiteral("127.0.0.1"), app->Core()->Options().ListenPort);
        QTRY_VERIFY(tls.isEncrypted());
        tls.write("GET /api/v1/power HTTP/1.1\r\nHost: localhost\r\n\r\n");
        QTRY_VERIFY(tls.peek(4096).contains(R"({"on":true})"));
        TEventClient wss(QStringLiteral("wss://127.0.0.1:%1/api/v1/events")
                             .arg(app->Core()->Options().ListenPort));
        QObject::connect(&wss.Socket, &QWebSocket::sslErrors, &wss.Socket,
                         [&wss](const QList<QSslError>&) { wss.Socket.ignoreSslErrors(); });
        QTRY_VERIFY(wss.Has("hello"));

        // Out of descriptors: it says so once, waits, and serves again. (The
        // sanitizers' runtime opens files of its own to check types; starved
        // of descriptors it reports false errors.)
#if !defined(__SANITIZE_ADDRESS__)
        TMatrixSim other;
        other.Device().State().Power = true;
        QVERIFY(other.ListenTcp(QHostAddress::LocalHost, 0));
        const quint16 port = FreePort();
        QProcess few;
        few.start(QStringLiteral("prlimit"),
                  {"--nofile=40", "--", bin, "--tcp",
                   QStringLiteral("127.0.0.1:%1").arg(other.TcpPort()), "--listen",
                   QStringLiteral("127.0.0.1:%1").arg(port), "--refresh-s", "0"});
        QByteArray out;
        QTRY_VERIFY2_WITH_TIMEOUT((out += few.readAllStandardOutput()).contains("ready"),
                                  few.readAllStandardError(), 20000);
        // More connections than descriptors, a batch at a time until the
        // server says it ran out. On a loaded machine it sometimes does not
        // say so within the wait (open question); what must hold either way
        // is that it serves again once descriptors are free, and says it at
        // most once.
        QList<QTcpSocket*> hold;
        QByteArray said;
        QTest::qWaitFor(
            [&] {
                if (hold.size() < 200)
                    for (int i = 0; i < 25; ++i)
                        hold << THttpTestClient::StartRaw(port, {});
                return (said += few.readAllStandardError()).contains("cannot accept connections");
            },
            20000);
        qDeleteAll(hold);
        QTRY_VERIFY2_WITH_TIMEOUT(
            THttpTestClient(port)
                    .Request("GET", "/api/v1/power", {}, {"Connection: close"})
                    .Status == 200,
            said += few.readAllStandardError(), 20000);
        few.terminate();
        QVERIFY(few.waitForFinished(10000));
        said += few.readAllStandardError();
        QVERIFY(said.count("cannot accept connections") <= 1);
#endif
    }

    // The page in a real browser: it asks for the token, a tap routes, and
    // another client's change shows up live.
    void page()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("chromium does not run under the sanitizer build");
#endif
        if (QStandardPaths::findExecutable(QStringLiteral("chromedriver")).isEmpty())
            QSKIP("chromedriver is not installed");
        TMatrixSim sim;
        TServerOptions o;
        o.TokenFile = FDir.filePath(QStringLiteral("token"));
        // Names as long as people give them.
        o.SettingsPath = FDir.filePath(QStringLiteral("page.ini"));
        QSaveFile settings(o.SettingsPath);
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QByteArray(SettingsText)
                           .replace("In1=Blu-ray", "In1=Blu-ray Player\nIn3=Satellite receiver")
                           .replace("Out2=Projector", "Out2=Living room projector"));
        QVERIFY(settings.commit());
        auto app = Serve(sim, false, o);
        QVERIFY(app);
        const quint16 port = app->Core()->Options().ListenPort;
        TBrowser browser(FDir.filePath(QStringLiteral("chromium")));
        QVERIFY(browser.Ok());
        browser.Call("POST", "/url", {{"url", QStringLiteral("http://127.0.0.1:%1/").arg(port)}});
        QTRY_COMPARE_WITH_TIMEOUT(browser.Script("return document.getElementById('login').hidden"),
                                  QStringLiteral("false"), 10000);
        browser.Type("#token", QStringLiteral("s3cret-token"));
        browser.Click("#login-ok");
        QTRY_COMPARE_WITH_TIMEOUT(
            browser.Script("return document.getElementById('link').textContent"),
            QStringLiteral("Matrix connected"), 10000);
        QCOMPARE(browser.Script(
                     "return document.getElementById('route-2-1').getAttribute('aria-label')"),
                 QStringLiteral("Input 1 (Blu-ray Player) to Output 2 (Living room projector)"));
        browser.Click("#route-2-3");
        QTRY_COMPARE(sim.Device().State().Route[1], 3);
        QTRY_COMPARE(
            browser.Script(
                "return document.getElementById('route-2-3').getAttribute('aria-pressed')"),
            QStringLiteral("true"));
        THttpTestClient c(port);
        QCOMPARE(c.Request("PUT", "/api/v1/routing/1", R"({"input": 4})",
                           {"Authorization: Bearer s3cret-token"})
                     .Status,
                 200);
        QTRY_COMPARE(
            browser.Script(
                "return document.getElementById('route-1-4').getAttribute('aria-pressed')"),
            QStringLiteral("true"));
        QCOMPARE(browser.Script(
                     "return document.getElementById('route-1-1').getAttribute('aria-pressed')"),
                 QStringLiteral("false"));
        // scripts/screenshots keeps the pictures for the README.
        const QString shot = qEnvironmentVariable("MATRIX_WEB_SHOT");
        auto keep = [&](const QString& path) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(
                QByteArray::fromBase64(browser.Call("GET", "/screenshot").toString().toLatin1()));
        };
        if (!shot.isEmpty()) keep(shot);
        // A 360 px phone: no sideways scrolling, the whole names still there.
        browser.Call("POST", "/window/rect", {{"width", 360}, {"height", 800}});
        QTRY_COMPARE(browser.Script("return String(window.innerWidth)"), QStringLiteral("360"));
        QCOMPARE(browser.Script("const e = document.documentElement;"
                                "return String(e.scrollWidth <= e.clientWidth)"),
                 QStringLiteral("true"));
        QCOMPARE(browser.Script("return document.querySelector('#grid-head th:nth-child(2)')"
                                ".textContent"),
                 QStringLiteral("Input 1 (Blu-ray Player)"));
        if (!shot.isEmpty())
            keep(QString(shot).replace(QStringLiteral(".png"), QStringLiteral("-phone.png")));
    }
};

QTEST_GUILESS_MAIN(TstServer)
#include "tst_server.moc"
