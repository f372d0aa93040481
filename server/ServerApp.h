#pragma once

#include "ServerCore.h"

#include <QObject>

class THttpApi;
class THttpFront;
class TMqttBridge;

// The service as the command line starts it: the core, then the fronts.
class TServerApp : public QObject
{
    Q_OBJECT
public:
    explicit TServerApp(const TServerOptions& options, const TTiming& timing = TTiming(),
                        QObject* parent = nullptr);
    ~TServerApp() override;
    // The exit status of a failed start (1 link or listen failure, text on
    // stderr), 0 when serving; throws EUsage for refused options.
    int Start();
    TServerCore* Core() { return FCore; }
    THttpFront* Http() { return FHttp; }
    THttpApi* Api() { return FApi; }
    TMqttBridge* Mqtt() { return FMqtt; }
    // The clean stop (SIGTERM, SIGINT): says goodbye to the MQTT broker.
    void Stop();

signals:
    // The service cannot go on (another server took our MQTT id).
    void Fatal(const QString& text);

private:
    TServerOptions FOptions;
    TServerCore* FCore;
    THttpApi* FApi = nullptr;
    THttpFront* FHttp = nullptr;
    TMqttBridge* FMqtt = nullptr;
    TTiming FTiming;
};
