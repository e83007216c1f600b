#pragma once

#include <functional>
#include <string>

namespace vellrun::client::ldap {

// How a wait for a connection in progress ended.
enum class SocketWait { Ready, TimedOut, GivenUp };

// Opens a TCP connection to host:port without blocking in the connect
// itself: each address the name resolves to in turn, until one takes it.
// await waits until the socket can be written (the connection is made or
// has failed); an address whose wait timed out is left for the next one, a
// wait given up ends the whole attempt. Gives the connected socket, blocking
// again as libldap expects it, or -1 with the reason in error.
int ConnectTcp(const std::string& host, int port, const std::function<SocketWait(int)>& await,
               std::string& error);

}  // namespace vellrun::client::ldap
