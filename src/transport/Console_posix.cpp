#include "Console.h"

#include <QtGlobal>

#ifndef Q_OS_WIN

#include <unistd.h>

bool Console::IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

#endif // Q_OS_WIN
