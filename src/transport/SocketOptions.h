#pragma once

#include <QtGlobal>

// Socket options that Qt does not offer, set on a socket Qt made
// (QAbstractSocket::socketDescriptor()). One file per system:
// SocketOptions_posix.cpp, SocketOptions_win.cpp.
namespace SocketOptions
{
// Allows or forbids sending to a broadcast address; false when the system
// refuses or the descriptor is not a socket.
bool SetBroadcast(qintptr socket, bool on);
} // namespace SocketOptions
