#pragma once

#include <QTest>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A loopback port whose accept queue is full: connects to it hang, as they do
// towards a module that does not answer.
class TDeadPort
{
public:
    TDeadPort()
    {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(FListen, 0);
        socklen_t len = sizeof a;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
        for (int i = 0; i < 3; ++i) {
            int c = ::socket(AF_INET, SOCK_STREAM, 0);
            ::fcntl(c, F_SETFL, O_NONBLOCK);
            ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
            FFillers.push_back(c);
        }
        QTest::qWait(100);
    }
    ~TDeadPort()
    {
        for (int c : FFillers)
            ::close(c);
        ::close(FListen);
    }
    quint16 Port = 0;

private:
    int FListen = -1;
    std::vector<int> FFillers;
};
