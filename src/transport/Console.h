#pragma once

#include <cstdio>

// The console the program runs in. One file per system: Console_posix.cpp,
// Console_win.cpp.
namespace Console
{
// True when `stream` (stdin, stdout, stderr) is a terminal, not a pipe or file.
bool IsTerminal(std::FILE* stream);
} // namespace Console
