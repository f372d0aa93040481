#include "BoundedFile.h"

#include <QFile>

BoundedFile::TResult BoundedFile::Read(const QString& path, qint64 limit, QByteArray* bytes,
                                       QString* error)
{
    bytes->clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = f.errorString();
        return brUnreadable;
    }
    auto tooLarge = [&] {
        bytes->clear();
        if (error) *error = QStringLiteral("larger than %1 bytes").arg(limit);
        return brTooLarge;
    };
    if (!f.isSequential() && f.size() > limit) return tooLarge();
    QByteArray data;
    char chunk[65536];
    while (data.size() <= limit) {
        const qint64 want = qMin<qint64>(sizeof chunk, limit + 1 - data.size());
        const qint64 got = f.read(chunk, want);
        if (got < 0) {
            if (error) *error = f.errorString();
            return brUnreadable;
        }
        if (got == 0) break;
        data.append(chunk, int(got));
    }
    if (data.size() > limit) return tooLarge();
    *bytes = data;
    return brOk;
}
