#include "SilentServer.h"

#include <chrono>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vellrun::testing {

SilentServer::SilentServer(std::vector<std::string> replies) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, replies = std::move(replies)] {
        std::vector<int> held;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop_ && std::chrono::steady_clock::now() < end) {
            pollfd wait{listener_, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            held.push_back(fd);
            // Each reply answers one request: the client sends the next only
            // once it has the answer to the last.
            for (const std::string& reply : replies) {
                pollfd request{fd, POLLIN, 0};
                char buffer[4096];
                if (::poll(&request, 1, 5000) <= 0 || ::read(fd, buffer, sizeof buffer) <= 0) break;
                if (::write(fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
                    break;
            }
        }
        for (const int fd : held)
            ::close(fd);
        ::close(listener_);
    });
}

SilentServer::~SilentServer() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    } else if (listener_ >= 0) {
        ::close(listener_);
    }
}

std::string Ber(unsigned char tag, const std::string& content) {
    std::string element(1, static_cast<char>(tag));
    const size_t size = content.size();
    if (size < 0x80) {
        element += static_cast<char>(size);
    } else {
        element += '\x82';
        element += static_cast<char>(size >> 8);
        element += static_cast<char>(size & 0xff);
    }
    return element + content;
}

std::string LdapMessage(int id, const std::string& operation) {
    return Ber(0x30, Ber(0x02, std::string(1, static_cast<char>(id))) + operation);
}

std::string SearchEntry(int id, const std::string& dn, const std::string& attributes) {
    return LdapMessage(id, Ber(0x64, Ber(0x04, dn) + Ber(0x30, attributes)));
}

std::string EntryAttribute(const std::string& name, const std::vector<std::string>& values) {
    std::string set;
    for (const std::string& value : values)
        set += Ber(0x04, value);
    return Ber(0x30, Ber(0x04, name) + Ber(0x31, set));
}

std::string SearchDone(int id) {
    return LdapMessage(id,
                       Ber(0x65, Ber(0x0a, std::string(1, '\0')) + Ber(0x04, "") + Ber(0x04, "")));
}

}  // namespace vellrun::testing
