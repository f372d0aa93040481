#pragma once

#include "HttpFront.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
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
    // A head before its body: Origin (403), Content-Type (415), token (401).
    bool Admit(const THttpRequest& request, THttpResponse* refusal) const;
    // The methods a path answers, for Allow; empty for an unknown path.
    static QByteArray AllowedMethods(const QString& path);
    void AddEventClient(QWebSocket* socket, const THttpRequest& request);
    static qint64 BodyLimit(const QByteArray& method, const QString& path);
    static bool SameToken(const QByteArray& a, const QByteArray& b);
    // "Bearer TOKEN", the scheme in any case; false for anything else.
    bool Authorized(const QByteArray& authorization) const;
    int EventClients() const { return int(FClients.size()); }

    // One event as its text message.
    static QByteArray EventText(const QJsonObject& event);

private:
    void Route(const THttpRequest& request, const THttpFront::TRespond& respond);
    void HandleApi(const THttpRequest& request, const QStringList& parts,
                   const THttpFront::TRespond& respond);
    void Queue(const THttpFront::TRespond& respond, std::function<THttpResponse()> job);
    void Broadcast(const QJsonObject& event);
    void Welcome(QWebSocket* socket);

    TServerCore* FCore;
    QByteArray FToken;
    QSet<QWebSocket*> FClients; // receive events
    // The connection of the request Handle() is looking at: Queue() drops
    // the job when it goes before the job's turn.
    QPointer<QObject> FAsking;
};
