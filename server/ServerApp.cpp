#include "ServerApp.h"

#include "OpsTypes.h"
#include "HttpApi.h"
#include "HttpFront.h"
#include "MqttBridge.h"

#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslKey>
#include <QSysInfo>
#include <cstdio>

TServerApp::TServerApp(const TServerOptions& options, const TTiming& timing, QObject* parent)
    : QObject(parent), FOptions(options), FCore(new TServerCore(options, timing, this)),
      FTiming(timing)
{
}

TServerApp::~TServerApp() = default;

// The token, refused as ssh refuses a private key that others may read.
static QByteArray ReadToken(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile()) throw EUsage(QStringLiteral("token file %1 not found").arg(path));
    if (info.permissions() &
        (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther))
        throw EUsage(QStringLiteral("token file %1 is accessible by other users; "
                                    "chmod 600 it")
                         .arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 4096)
        throw EUsage(QStringLiteral("cannot read token file %1").arg(path));
    const QByteArray token = f.readAll().trimmed();
    if (token.size() < 8 || token.contains('\n'))
        throw EUsage(
            QStringLiteral("token file %1 must hold one token of 8 or more characters").arg(path));
    return token;
}

int TServerApp::Start()
{
    // Every refusal of the options comes before the matrix is touched.
    QByteArray token;
    const QHostAddress address(FOptions.ListenAddress);
    if (!FOptions.ListenNone) {
        if (!FOptions.TokenFile.isEmpty())
            token = ReadToken(FOptions.TokenFile);
        else if (!address.isLoopback())
            throw EUsage(QStringLiteral("listening on %1, which is not a loopback address, needs "
                                        "--token-file: anyone on the network could switch the "
                                        "matrix")
                             .arg(FOptions.ListenAddress));
    }
    QSslConfiguration tls;
    if (!FOptions.TlsCert.isEmpty()) {
        QFile certFile(FOptions.TlsCert), keyFile(FOptions.TlsKey);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "matrix-server: cannot read %s\n",
                         qPrintable(certFile.isOpen() ? FOptions.TlsKey : FOptions.TlsCert));
            return 1;
        }
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll());
        const QByteArray keyBytes = keyFile.readAll();
        QSslKey key(keyBytes, QSsl::Rsa);
        if (key.isNull()) key = QSslKey(keyBytes, QSsl::Ec);
        if (chain.isEmpty() || key.isNull()) {
            std::fprintf(stderr, "matrix-server: %s or %s holds no PEM certificate or key\n",
                         qPrintable(FOptions.TlsCert), qPrintable(FOptions.TlsKey));
            return 1;
        }
        tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    }

    TMqttBridgeOptions mqtt;
    const bool withMqtt = TMqttBridgeOptions::From(FOptions, &mqtt);

    QString error;
    if (withMqtt) {
        // A second server for the same MQTT id stops before it opens the link.
        FMqtt = new TMqttBridge(FCore, mqtt, FTiming, this);
        connect(FMqtt, &TMqttBridge::Fatal, this, &TServerApp::Fatal);
        if (!FMqtt->Start(&error)) {
            std::fprintf(stderr, "matrix-server: %s\n", qPrintable(error));
            return 1;
        }
    }
    if (!FCore->Start(&error)) {
        std::fprintf(stderr, "matrix-server: %s\n", qPrintable(error));
        return 1;
    }
    if (FMqtt) FMqtt->Connect();
    if (FOptions.ListenNone) return 0;

    FApi = new THttpApi(FCore, token, this);
    THttpPolicy policy;
    policy.BodyLimit = &THttpApi::BodyLimit;
    policy.Admit = [this](const THttpRequest& r, THttpResponse* refusal) {
        return FApi->Admit(r, refusal);
    };
    // The names people type: the machine's own, and that name over mDNS.
    const QString name = QSysInfo::machineHostName().toLower();
    if (!name.isEmpty() && name != QLatin1String("localhost"))
        policy.Hosts << name << name + QLatin1String(".local");
    // "0.0.0.0" is no name of ours: some browsers take it for this machine.
    if (address != QHostAddress::AnyIPv4 && address != QHostAddress::AnyIPv6)
        policy.Hosts << FOptions.ListenAddress;
    policy.Hosts << FOptions.AllowHosts;
    policy.MaxPerAddress = FOptions.MaxPerAddress;
    policy.HeadMs = FTiming.HttpHeadMs;
    FHttp = new THttpFront(
        policy,
        [this](const THttpRequest& r, THttpFront::TRespond respond) { FApi->Handle(r, respond); },
        this);
    FHttp->OnWebSocket = [this](QWebSocket* ws, const THttpRequest& r) {
        FApi->AddEventClient(ws, r);
    };
    if (!FOptions.TlsCert.isEmpty()) FHttp->SetTls(tls);
    if (!FHttp->listen(address, FOptions.ListenPort)) {
        std::fprintf(stderr, "matrix-server: cannot listen on %s:%u: %s\n",
                     qPrintable(FOptions.ListenAddress), unsigned(FOptions.ListenPort),
                     qPrintable(FHttp->errorString()));
        return 1;
    }
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + FOptions.ListenAddress + QLatin1Char(']')
                             : FOptions.ListenAddress;
    std::printf("ready %s://%s:%u\n", FHttp->Tls() ? "https" : "http", qPrintable(host),
                unsigned(FHttp->serverPort()));
    std::fflush(stdout);
    return 0;
}

void TServerApp::Stop()
{
    FCore->Abort();
    if (FMqtt) FMqtt->Stop();
}
