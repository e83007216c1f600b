#include "client/ldap/TcpConnect.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vellrun::client::ldap {

namespace {

// One lookup, shared by the thread that makes it and the caller that waits
// for it: whichever lets go of it last frees it, with what was found unless
// the caller took that. A lookup given up may so end at any time later.
struct Lookup {
    Lookup(Resolver resolver, std::string name, std::string port)
        : resolve(std::move(resolver)), host(std::move(name)), service(std::move(port)) {}
    ~Lookup() {
        if (found) ::freeaddrinfo(found);
        if (finished >= 0) ::close(finished);
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    const Resolver resolve;
    const std::string host;
    const std::string service;
    int finished = -1;  // an eventfd, readable once the lookup has ended
    std::atomic<bool> done{false};
    int rc = 0;
    int error = 0;  // errno, for EAI_SYSTEM
    addrinfo* found = nullptr;
};

}  // namespace

Addresses LookUpHost(const std::string& host, int port, const AwaitSocket& await,
                     std::string& error, const Resolver& resolve) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    const std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    // An address needs no lookup, nor a thread.
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) return Addresses(found);

    const auto lookup = std::make_shared<Lookup>(resolve, host, service);
    lookup->finished = ::eventfd(0, EFD_CLOEXEC);
    if (lookup->finished < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    hints.ai_flags = 0;
    try {
        std::thread([lookup, hints] {
            lookup->rc = lookup->resolve(lookup->host.c_str(), lookup->service.c_str(), &hints,
                                         &lookup->found);
            lookup->error = errno;
            lookup->done.store(true, std::memory_order_release);
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(lookup->finished, &one, sizeof one);
        }).detach();
    } catch (const std::system_error& failure) {
        error = failure.code().message();
        return nullptr;
    }
    // Ready also when the wait itself failed: only a lookup that is done counts.
    if (await(lookup->finished, POLLIN) != SocketWait::Ready ||
        !lookup->done.load(std::memory_order_acquire)) {
        error = std::strerror(ETIMEDOUT);
        return nullptr;
    }
    if (lookup->rc != 0) {
        error =
            lookup->rc == EAI_SYSTEM ? std::strerror(lookup->error) : ::gai_strerror(lookup->rc);
        return nullptr;
    }
    return Addresses(std::exchange(lookup->found, nullptr));
}

int ConnectTcp(const addrinfo* addresses, const AwaitSocket& await, std::string& error) {
    for (const addrinfo* at = addresses; at != nullptr; at = at->ai_next) {
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
            const SocketWait waited = await(fd, POLLOUT);
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
