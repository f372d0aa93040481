#include "SocketOptions.h"

#ifndef Q_OS_WIN

#include <sys/socket.h>

bool SocketOptions::SetBroadcast(qintptr socket, bool on)
{
    const int value = on ? 1 : 0;
    return socket >= 0 &&
           ::setsockopt(int(socket), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0;
}

#endif // Q_OS_WIN
