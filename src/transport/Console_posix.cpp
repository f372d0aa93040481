#include "Console.h"

#include <QtGlobal>

#ifndef Q_OS_WIN

#include <unistd.h>

bool Console::IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

bool Console::EraseLineWorks(std::FILE* stream)
{
    return IsTerminal(stream);
}

void Console::Write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

#endif // Q_OS_WIN
