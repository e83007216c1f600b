#pragma once

// A small HTTP/1.1 server for tests: listens on 127.0.0.1 at a free port,
// answers each request target with a scripted response (404 for others),
// records what it was asked, and can misbehave on purpose: answer late, never
// answer, stop in the middle of a body, fall silent in the middle of a body,
// or trickle a body slowly. One
// connection at a time on its own thread; stopped and joined by the destructor.

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellrun::testing {

class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        // Extra header lines, each "Name: value" (a Location for a redirection).
        std::vector<std::string> headers;
        // Close the connection after this many body bytes, although the
        // announced length is the whole body.
        size_t closeAfter = static_cast<size_t>(-1);
        // Never answer; the connection stays open until the server stops.
        bool silent = false;
        // Send no more than this many body bytes, then nothing, keeping the
        // connection open until the client closes it or the server stops.
        size_t stallAfter = static_cast<size_t>(-1);
        // Send the body in pieces of this many bytes with a pause between them.
        size_t trickleBytes = 0;
        int trickleMilliseconds = 0;

        static Response Text(std::string body) {
            Response response;
            response.body = std::move(body);
            return response;
        }
        static Response Redirect(std::string location) {
            Response response;
            response.status = 302;
            response.headers.push_back("Location: " + location);
            return response;
        }
        static Response Silent() {
            Response response;
            response.silent = true;
            return response;
        }
        Response Trickle(size_t bytes, int milliseconds) const {
            Response response = *this;
            response.trickleBytes = bytes;
            response.trickleMilliseconds = milliseconds;
            return response;
        }
        Response CloseAfter(size_t bytes) const {
            Response response = *this;
            response.closeAfter = bytes;
            return response;
        }
        Response StallAfter(size_t bytes) const {
            Response response = *this;
            response.stallAfter = bytes;
            return response;
        }
    };

    struct Request {
        std::string target;                // path and query, as asked
        std::vector<std::string> headers;  // "Name: value" lines
        // The value of the header name (exact case), or empty.
        std::string Header(const std::string& name) const;
    };

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string Address() const;

    void Answer(const std::string& target, Response response);
    std::vector<Request> Requests() const;

private:
    void Serve();
    void Handle(int connection);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace vellrun::testing
