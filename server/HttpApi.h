#pragma once

#include "HttpFront.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>

class TServerCore;
class QWebSocket;

// The routes under /api/v1, the page, and the live events.
class THttpApi : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 JsonLimit = 64 * 1024;
    static constexpr int TokenWaitMs = 5000;

    // `token` empty: no token needed.
    THttpApi(TServerCore* core, const QByteArray& token, QObject* parent = nullptr);
    void Handle(const THttpRequest& request, const THttpFront::TRespond& respond);
    void AddEventClient(QWebSocket* socket, const THttpRequest& request);
    static qint64 BodyLimit(const QByteArray& method, const QString& path);
    static bool SameToken(const QByteArray& a, const QByteArray& b);
    int EventClients() const { return int(FClients.size()); }

    // One event as its text message.
    static QByteArray EventText(const QJsonObject& event);

private:
    void HandleApi(const THttpRequest& request, const QStringList& parts,
                   const THttpFront::TRespond& respond);
    void Queue(const THttpFront::TRespond& respond, std::function<THttpResponse()> job);
    void Broadcast(const QJsonObject& event);
    void Welcome(QWebSocket* socket);

    TServerCore* FCore;
    QByteArray FToken;
    QSet<QWebSocket*> FClients; // receive events
};
