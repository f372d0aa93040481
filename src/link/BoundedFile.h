#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads with a ceiling. A size check alone is not enough: a
// character device or a FIFO reports size 0 and may never end, so at most
// `limit` + 1 bytes are read and a file that holds more is refused.
namespace BoundedFile
{
enum TResult { brOk, brUnreadable, brTooLarge };

// On brOk `bytes` holds the file; otherwise `error` says why, for a message
// ("cannot be opened: ...", "is larger than N bytes").
TResult Read(const QString& path, qint64 limit, QByteArray* bytes, QString* error = nullptr);
} // namespace BoundedFile
