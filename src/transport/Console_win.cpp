// The console on Windows. _isatty is true for any character device (NUL, a
// COM port), so a console is told by GetConsoleMode, which only a console
// handle accepts. A console is written in UTF-16, whatever its code page.
#include "Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include <io.h>
#include <windows.h>

namespace
{
HANDLE ConsoleOf(std::FILE* stream)
{
    const int fd = ::_fileno(stream);
    if (fd < 0) return nullptr;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
    return handle;
}
} // namespace

bool Console::IsTerminal(std::FILE* stream)
{
    return ConsoleOf(stream) != nullptr;
}

bool Console::EraseLineWorks(std::FILE* stream)
{
    const HANDLE console = ConsoleOf(stream);
    if (!console) return false;
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    // Refused by consoles before Windows 10 and by some hosts.
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void Console::Write(std::FILE* stream, const QString& text)
{
    const HANDLE console = ConsoleOf(stream);
    if (!console) {
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
        return;
    }
    // What the C library still holds must come out first.
    std::fflush(stream);
    const auto* chars = reinterpret_cast<const wchar_t*>(text.utf16());
    qsizetype left = text.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(qMin<qsizetype>(left, 8192));
        if (!WriteConsoleW(console, chars, chunk, &written, nullptr) || written == 0) return;
        chars += written;
        left -= written;
    }
}

#endif // Q_OS_WIN
