#include "Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include <io.h>

bool Console::IsTerminal(std::FILE* stream)
{
    return ::_isatty(::_fileno(stream)) != 0;
}

#endif // Q_OS_WIN
