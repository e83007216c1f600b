#include "support/LocalHttpServer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vellrun::testing {

namespace {

bool SendAll(int connection, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

std::string Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

std::string LocalHttpServer::Request::Header(const std::string& name) const {
    const std::string prefix = name + ": ";
    for (const std::string& header : headers) {
        if (header.starts_with(prefix)) return header.substr(prefix.size());
    }
    return {};
}

LocalHttpServer::LocalHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // a free port
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
        ::close(listener_);
        throw std::runtime_error("bind or listen failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

std::string LocalHttpServer::Address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void LocalHttpServer::Answer(const std::string& target, Response response) {
    const std::lock_guard lock(mutex_);
    responses_[target] = std::move(response);
}

std::vector<LocalHttpServer::Request> LocalHttpServer::Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

void LocalHttpServer::Serve() {
    while (!stop_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) continue;
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        Handle(connection);
        ::close(connection);
    }
}

void LocalHttpServer::Handle(int connection) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && !stop_) {
        pollfd waiting{connection, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) continue;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        head.append(buffer, static_cast<size_t>(got));
    }
    Request request;
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t firstBlank = requestLine.find(' ');
    const size_t secondBlank = requestLine.find(' ', firstBlank + 1);
    request.target = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    size_t start = lineEnd + 2;
    while ((lineEnd = head.find("\r\n", start)) != std::string::npos && lineEnd > start) {
        request.headers.push_back(head.substr(start, lineEnd - start));
        start = lineEnd + 2;
    }
    Response response;
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
        const auto found = responses_.find(request.target);
        if (found != responses_.end()) {
            response = found->second;
        } else {
            response.status = 404;
            response.body = "not found";
        }
    }
    if (response.silent) {
        while (!stop_)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return;
    }
    std::string reply =
        "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
        "\r\nContent-Length: " + std::to_string(response.body.size()) + "\r\nConnection: close\r\n";
    for (const std::string& header : response.headers)
        reply += header + "\r\n";
    reply += "\r\n";
    if (!SendAll(connection, reply)) return;
    std::string_view body = response.body;
    if (response.closeAfter < body.size()) body = body.substr(0, response.closeAfter);
    const bool stall = response.stallAfter < body.size();
    if (stall) body = body.substr(0, response.stallAfter);
    const size_t piece = response.trickleBytes > 0 ? response.trickleBytes : body.size();
    while (!body.empty() && !stop_) {
        const size_t now = std::min(piece, body.size());
        if (!SendAll(connection, body.substr(0, now))) return;
        body.remove_prefix(now);
        if (response.trickleMilliseconds > 0 && !body.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(response.trickleMilliseconds));
        }
    }
    while (stall && !stop_) {
        pollfd waiting{connection, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) continue;
        if (::recv(connection, buffer, sizeof buffer, 0) <= 0) return;
    }
}

}  // namespace vellrun::testing
