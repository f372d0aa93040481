#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

struct THttpRequest {
    QByteArray Method;
    QString Path; // segments decoded; an encoded '/' stays "%2F", so it never splits one
    QMap<QString, QString> Query;
    QMap<QByteArray, QByteArray> Headers; // names in lower case, repeats joined by ", "
    QByteArray Body;
    QByteArray Authority; // host[:port] the client asked for: an absolute target's, else Host
    qint64 Length = 0;    // Content-Length
    bool Chunked = false;
    bool KeepAlive = true;
    bool Tls = false;
    QPointer<QObject> Connection; // the client's socket; gone or disconnected: the client left
    QByteArray Header(const char* name) const { return Headers.value(QByteArray(name)); }
};

// A request head as clients send it (RFC 9112): leading empty lines skipped,
// CRLF or bare LF line ends, origin- or absolute-form targets.
namespace HttpHead
{
// Looks at the start of `data`. 0: the head is not complete yet; 200: parsed
// into `request`, `used` bytes long; else the status to refuse it with (400,
// 431, 501), with the reason in `why`. Never reads past `maxBytes`.
int Parse(const QByteArray& data, int maxBytes, THttpRequest* request, int* used, QString* why);
} // namespace HttpHead

// A chunked body, decoded as its bytes arrive and counted against a limit.
class THttpChunks
{
public:
    explicit THttpChunks(qint64 limit = 0) : FLimit(limit) {}
    enum TState { csMore, csDone, csBad, csTooLarge };
    // Takes what it can of `data` (reporting how much in `used`), appends the
    // payload to `body`.
    TState Feed(const QByteArray& data, QByteArray* body, int* used);

private:
    enum TPart { cpSize, cpData, cpDataEnd, cpTrailer, cpDone };
    static constexpr int MaxLine = 1024;
    static constexpr int MaxTrailer = 8 * 1024;
    qint64 FLimit;
    TPart FPart = cpSize;
    qint64 FLeft = 0; // of the current chunk
    int FTrailer = 0; // trailer bytes so far
};
