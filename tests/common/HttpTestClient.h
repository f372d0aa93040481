#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QTcpSocket>
#include <QTest>

// HTTP/1.1 over a raw socket, waiting in the event loop so that an
// in-process server keeps running: every header is the test's to choose.
struct THttpReply {
    int Status = 0;                       // 0: no complete answer
    QMap<QByteArray, QByteArray> Headers; // names in lower case
    QByteArray Body;
    QJsonObject Json() const { return QJsonDocument::fromJson(Body).object(); }
};

class THttpTestClient
{
public:
    explicit THttpTestClient(quint16 port, QByteArray host = {}) : FPort(port), FHost(host)
    {
        if (FHost.isEmpty()) FHost = "127.0.0.1:" + QByteArray::number(port);
    }

    // Starts one request on its own connection; Finish() waits for it.
    QTcpSocket* Start(const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                      const QList<QByteArray>& headers = {})
    {
        auto* s = new QTcpSocket;
        s->connectToHost(QStringLiteral("127.0.0.1"), FPort);
        QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: " + FHost + "\r\n";
        bool length = false, type = false;
        for (const QByteArray& h : headers) {
            request += h + "\r\n";
            length |= h.toLower().startsWith("content-length:") ||
                      h.toLower().startsWith("transfer-encoding:");
            type |= h.toLower().startsWith("content-type:");
        }
        // The server wants every body's type said: JSON, or an EDID's bytes.
        if (!type && !body.isEmpty())
            request += body.startsWith('{') ? "Content-Type: application/json\r\n"
                                            : "Content-Type: application/octet-stream\r\n";
        if (!length && (!body.isEmpty() || method == "PUT" || method == "POST"))
            request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        request += "\r\n" + body;
        s->write(request);
        return s;
    }

    // Exactly these bytes, on a connection of their own.
    static QTcpSocket* StartRaw(quint16 port, const QByteArray& bytes)
    {
        auto* s = new QTcpSocket;
        s->connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!bytes.isEmpty()) s->write(bytes);
        return s;
    }

    static bool Complete(const QByteArray& data, THttpReply* reply)
    {
        const int end = int(data.indexOf("\r\n\r\n"));
        if (end < 0) return false;
        THttpReply r;
        const QList<QByteArray> lines = data.left(end).split('\n');
        r.Status = lines.value(0).split(' ').value(1).toInt();
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = int(lines[i].indexOf(':'));
            r.Headers.insert(lines[i].left(colon).trimmed().toLower(),
                             lines[i].mid(colon + 1).trimmed());
        }
        const int length = r.Headers.value("content-length", "0").toInt();
        if (data.size() < end + 4 + length) return false;
        r.Body = data.mid(end + 4, length);
        *reply = r;
        return true;
    }

    static THttpReply Finish(QTcpSocket* s, int timeoutMs = 10000)
    {
        THttpReply r;
        QByteArray data;
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            data += s->readAll();
            if (Complete(data, &r)) break;
            if (s->state() == QAbstractSocket::UnconnectedState && !s->bytesAvailable()) break;
            QTest::qWait(1);
        }
        delete s;
        return r;
    }

    THttpReply Request(const QByteArray& method, const QByteArray& path,
                       const QByteArray& body = {}, const QList<QByteArray>& headers = {})
    {
        return Finish(Start(method, path, body, headers));
    }

private:
    quint16 FPort;
    QByteArray FHost;
};
