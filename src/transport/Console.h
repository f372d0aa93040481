#pragma once

#include <QString>
#include <cstdio>

// The console the program runs in. One file per system: Console_posix.cpp,
// Console_win.cpp.
namespace Console
{
// True when `stream` (stdin, stdout, stderr) is a terminal or console, not a
// pipe, file or other device.
bool IsTerminal(std::FILE* stream);

// True when the terminal of `stream` understands "\033[K" (erase to the end
// of the line). On Windows this turns on the console's virtual-terminal
// processing where the console allows it.
bool EraseLineWorks(std::FILE* stream);

// Writes `text` as it is: UTF-16 to a Windows console, UTF-8 bytes anywhere
// else (a terminal, a pipe, a file).
void Write(std::FILE* stream, const QString& text);
} // namespace Console
