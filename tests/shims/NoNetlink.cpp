// Preloaded into matrix-server by tst_server: no netlink sockets, as under a
// systemd unit with RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX.
#include <cerrno>
#include <dlfcn.h>
#include <sys/socket.h>

extern "C" int socket(int domain, int type, int protocol)
{
    if (domain == AF_NETLINK) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    using TSocket = int (*)(int, int, int);
    static const auto real = reinterpret_cast<TSocket>(dlsym(RTLD_NEXT, "socket"));
    return real(domain, type, protocol);
}
