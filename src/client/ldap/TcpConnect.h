#pragma once

#include <functional>
#include <memory>
#include <string>

#include <netdb.h>

namespace vellrun::client::ldap {

// How a wait for a socket (or the end of a host name's lookup) ended.
enum class SocketWait { Ready, TimedOut, GivenUp };

// Waits until the descriptor is ready for events (POLLIN, POLLOUT), or the
// wait times out or is given up.
using AwaitSocket = std::function<SocketWait(int fd, short events)>;

// What looks a host name up: getaddrinfo, or a stand-in of the same form.
using Resolver = std::function<int(const char*, const char*, const addrinfo*, addrinfo**)>;

struct FreeAddresses {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using Addresses = std::unique_ptr<addrinfo, FreeAddresses>;

// The addresses of host:port for a TCP connection. An address written out
// (IPv4 or IPv6) is taken as it is; a name is looked up on a thread of its
// own while await waits for the end of the lookup, so that a name service
// that does not answer holds the caller only as long as the wait goes on. A
// lookup whose wait timed out or was given up finishes by itself later and
// frees what it found. Empty, with the reason in error, when the name is not
// found or the wait ended first.
Addresses LookUpHost(const std::string& host, int port, const AwaitSocket& await,
                     std::string& error, const Resolver& resolve = ::getaddrinfo);

// Opens a TCP connection without blocking in the connect itself: each of the
// addresses in turn, until one takes it. await waits until the socket can be
// written (the connection is made or has failed); an address whose wait
// timed out is left for the next one, a wait given up ends the whole
// attempt. Gives the connected socket, blocking again as libldap expects
// it, or -1 with the reason in error.
int ConnectTcp(const addrinfo* addresses, const AwaitSocket& await, std::string& error);

}  // namespace vellrun::client::ldap
