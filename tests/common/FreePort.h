#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A loopback TCP port nothing listens on at the moment of asking.
inline quint16 FreePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}
