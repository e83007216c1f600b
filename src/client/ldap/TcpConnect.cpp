#include "client/ldap/TcpConnect.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vellrun::client::ldap {

int ConnectTcp(const std::string& host, int port, const std::function<SocketWait(int)>& await,
               std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        error = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
        return -1;
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                at->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        // As libldap sets its own connections: requests go out at once, and
        // a peer that vanished is noticed in time.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        int failure = ::connect(fd, at->ai_addr, at->ai_addrlen) == 0 ? 0 : errno;
        if (failure == EINPROGRESS || failure == EINTR) {
            const SocketWait waited = await(fd);
            if (waited != SocketWait::Ready) {
                ::close(fd);
                error = std::strerror(ETIMEDOUT);
                if (waited == SocketWait::GivenUp) return -1;
                continue;
            }
            socklen_t size = sizeof failure;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) != 0) failure = errno;
        }
        if (failure == 0) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) return fd;
            failure = errno;
        }
        error = std::strerror(failure);
        ::close(fd);
    }
    return -1;
}

}  // namespace vellrun::client::ldap
