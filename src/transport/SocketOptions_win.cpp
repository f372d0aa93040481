#include "SocketOptions.h"

#ifdef Q_OS_WIN

#include <winsock2.h>

bool SocketOptions::SetBroadcast(qintptr socket, bool on)
{
    const BOOL value = on ? TRUE : FALSE;
    return socket >= 0 && ::setsockopt(SOCKET(socket), SOL_SOCKET, SO_BROADCAST,
                                       reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

#endif // Q_OS_WIN
