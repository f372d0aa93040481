#include "HttpHead.h"

#include <QUrlQuery>
#include <cstring>

namespace
{
bool TokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool Token(const QByteArray& text)
{
    if (text.isEmpty()) return false;
    for (char c : text)
        if (!TokenChar(c)) return false;
    return true;
}

bool Digits(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 15) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int Hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A host[:port] as Host carries it: a reg-name, IPv4 or [IPv6], no user part.
bool AuthorityOk(const QByteArray& a)
{
    for (char c : a)
        if (!(TokenChar(c) || c == ':' || c == '[' || c == ']') || c == '%') return false;
    return true;
}

// Percent-decodes one path segment; false on a broken escape.
bool DecodeSegment(const QByteArray& raw, QByteArray* out)
{
    out->clear();
    for (int i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (uchar(c) <= 0x20 || uchar(c) >= 0x7f) return false;
        if (c != '%') {
            out->append(c);
            continue;
        }
        if (i + 2 >= raw.size()) return false;
        const int hi = Hex(raw[i + 1]), lo = Hex(raw[i + 2]);
        if (hi < 0 || lo < 0) return false;
        const char d = char(hi * 16 + lo);
        // An encoded '/' is data, not a separator.
        if (d == '/')
            out->append("%2F");
        else
            out->append(d);
        i += 2;
    }
    return true;
}

bool ParseTarget(const QByteArray& target, THttpRequest* r)
{
    QByteArray rest = target;
    const QByteArray lower = target.left(8).toLower();
    if (lower.startsWith("http://") || lower.startsWith("https://")) {
        rest = target.mid(target.indexOf("//") + 2);
        int end = int(rest.size());
        for (char stop : {'/', '?', '#'})
            if (rest.indexOf(stop) >= 0) end = qMin(end, int(rest.indexOf(stop)));
        r->Authority = rest.left(end);
        if (r->Authority.isEmpty() || !AuthorityOk(r->Authority)) return false;
        rest = rest.mid(end);
        if (!rest.startsWith('/')) rest.prepend('/');
    } else if (!target.startsWith('/')) {
        return false;
    }
    if (rest.contains('#')) return false;
    const int q = int(rest.indexOf('?'));
    const QByteArray rawPath = q < 0 ? rest : rest.left(q);
    QList<QByteArray> segments;
    for (const QByteArray& raw : rawPath.split('/')) {
        segments << QByteArray();
        if (!DecodeSegment(raw, &segments.last())) return false;
    }
    r->Path = QString::fromUtf8(segments.join('/'));
    if (q >= 0) {
        const QByteArray query = rest.mid(q + 1);
        for (char c : query)
            if (uchar(c) <= 0x20 || uchar(c) >= 0x7f) return false;
        const QUrlQuery items(QString::fromLatin1(query));
        for (const auto& item : items.queryItems(QUrl::FullyDecoded))
            r->Query.insert(item.first, item.second);
    }
    return true;
}
} // namespace

int HttpHead::Parse(const QByteArray& data, int maxBytes, THttpRequest* request, int* used,
                    QString* why)
{
    const int size = int(qMin(qsizetype(maxBytes), data.size()));
    int pos = 0;
    // Empty lines before a request line are skipped (RFC 9112 2.2).
    while (pos < size &&
           (data[pos] == '\n' || (data[pos] == '\r' && pos + 1 < size && data[pos + 1] == '\n')))
        pos += data[pos] == '\r' ? 2 : 1;
    QList<QByteArray> lines;
    for (;;) {
        const int nl = int(data.indexOf('\n', pos));
        if (nl < 0 || nl >= size) {
            if (data.size() >= maxBytes) {
                *why = QStringLiteral("Request head too large");
                return 431;
            }
            return 0;
        }
        QByteArray line = data.mid(pos, nl - pos);
        if (line.endsWith('\r')) line.chop(1);
        pos = nl + 1;
        if (line.isEmpty()) break;
        lines << line;
    }
    *used = pos;
    *why = QStringLiteral("Bad request");
    THttpRequest r;
    if (lines.isEmpty()) return 400;
    const QList<QByteArray> first = lines[0].split(' ');
    if (first.size() != 3 || !Token(first[0])) return 400;
    if (first[2] != "HTTP/1.1" && first[2] != "HTTP/1.0") return 400;
    r.Method = first[0];
    if (!ParseTarget(first[1], &r)) return 400;
    const bool http11 = first[2] == "HTTP/1.1";
    int hosts = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const int colon = int(line.indexOf(':'));
        // No whitespace before the colon, no folded lines (RFC 9112 5.1, 5.2).
        if (colon <= 0) return 400;
        const QByteArray name = line.left(colon).toLower();
        if (!Token(name)) return 400;
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (value.contains('\r') || value.contains('\0')) return 400;
        if (name == "host") {
            if (++hosts > 1 || !AuthorityOk(value)) {
                *why = QStringLiteral("Bad Host");
                return 400;
            }
        }
        if (r.Headers.contains(name)) {
            if (name == "content-length" || name == "transfer-encoding") return 400;
            r.Headers[name] += ", " + value;
        } else {
            r.Headers.insert(name, value);
        }
    }
    if (http11 && hosts == 0) {
        *why = QStringLiteral("No Host");
        return 400;
    }
    if (r.Authority.isEmpty()) r.Authority = r.Header("host");
    const QByteArray length = r.Header("content-length");
    const QByteArray coding = r.Header("transfer-encoding").toLower();
    if (!coding.isEmpty()) {
        if (!length.isEmpty()) return 400;
        if (coding != "chunked") {
            *why = QStringLiteral("Only chunked transfer coding is understood");
            return 501;
        }
        r.Chunked = true;
    } else if (!length.isEmpty()) {
        if (!Digits(length)) {
            *why = QStringLiteral("Bad Content-Length");
            return 400;
        }
        r.Length = length.toLongLong();
    }
    const QByteArray connection = r.Header("connection").toLower();
    r.KeepAlive = http11 ? !connection.split(',').contains("close")
                         : connection.split(',').contains("keep-alive");
    *request = r;
    return 200;
}

THttpChunks::TState THttpChunks::Feed(const QByteArray& data, QByteArray* body, int* used)
{
    int pos = 0;
    auto line = [&](QByteArray* out) {
        const int nl = int(data.indexOf('\n', pos));
        if (nl < 0) return false;
        *out = data.mid(pos, nl - pos);
        if (out->endsWith('\r')) out->chop(1);
        pos = nl + 1;
        return true;
    };
    TState state = csMore;
    while (pos < data.size() && state == csMore) {
        QByteArray text;
        switch (FPart) {
        case cpSize: {
            if (!line(&text)) {
                if (data.size() - pos > MaxLine) state = csBad;
                break;
            }
            // Extensions after ';' mean nothing to us.
            const QByteArray digits = text.split(';').value(0).trimmed();
            if (digits.isEmpty() || digits.size() > 15) {
                state = csBad;
                break;
            }
            qint64 n = 0;
            for (char c : digits) {
                const int h = Hex(c);
                if (h < 0) {
                    state = csBad;
                    break;
                }
                n = n * 16 + h;
            }
            if (state != csMore) break;
            if (body->size() + n > FLimit) {
                state = csTooLarge;
                break;
            }
            FLeft = n;
            FPart = n == 0 ? cpTrailer : cpData;
            break;
        }
        case cpData: {
            const int take = int(qMin(FLeft, qint64(data.size() - pos)));
            body->append(data.constData() + pos, take);
            pos += take;
            FLeft -= take;
            if (FLeft == 0) FPart = cpDataEnd;
            break;
        }
        case cpDataEnd:
            if (!line(&text)) {
                if (data.size() - pos > 2) state = csBad;
                break;
            }
            if (!text.isEmpty()) state = csBad;
            FPart = cpSize;
            break;
        case cpTrailer: {
            const int before = pos;
            if (!line(&text)) {
                if (FTrailer + data.size() - pos > MaxTrailer) state = csBad;
                break;
            }
            FTrailer += pos - before;
            if (FTrailer > MaxTrailer)
                state = csBad;
            else if (text.isEmpty()) {
                FPart = cpDone;
                state = csDone;
            }
            break;
        }
        case cpDone:
            state = csDone;
            break;
        }
        if (state == csMore && pos < data.size() && FPart != cpData) {
            // A line that has not ended yet: wait for the rest of it.
            if (data.indexOf('\n', pos) < 0) break;
        }
    }
    *used = pos;
    return state;
}
