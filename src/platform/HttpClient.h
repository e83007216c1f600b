#pragma once

// The program's HTTP client: plain GET requests that follow redirections,
// with a connect timeout, an overall limit and a limit on how long nothing
// may arrive, the body handed over piece by
// piece, and a progress call between pieces through which the caller keeps
// its window alive and may cancel. An interface so that the update check can
// be given the real client (CurlHttpClient) or a test's own. Implementations
// keep no state between requests and never show anything to a person.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::platform {

struct HttpRequest {
    std::string url;
    // Extra request headers, each "Name: value".
    std::vector<std::string> headers;
    // A silent server must not hold the caller for ever.
    long connectTimeoutSeconds = 15;
    // The whole request, 0 for no limit.
    long totalTimeoutSeconds = 120;
    // A transfer during which not one byte arrives for this long fails, 0
    // for no such limit: what a long download has instead of a total limit.
    long stallTimeoutSeconds = 0;
};

struct HttpResult {
    enum class Outcome { Done, Failed, Cancelled };

    Outcome outcome = Outcome::Failed;
    // The failure's message (naming the address), empty when done or cancelled.
    std::string error;
    long status = 0;  // the last reply's HTTP status, 0 when none arrived

    bool Done() const { return outcome == Outcome::Done; }
};

// Takes the next piece of the body; false stops the transfer as a failure.
using HttpBodySink = std::function<bool(std::string_view piece)>;
// Bytes received so far and the announced total (0 when unknown); called often,
// also while nothing arrives. False cancels the transfer.
using HttpProgress = std::function<bool(uint64_t received, uint64_t total)>;

class HttpClient {
public:
    virtual ~HttpClient() = default;

    // GET of request.url. Only http and https are spoken, also after a
    // redirection, and a request made over https is redirected to https
    // addresses only; https certificates and host names are verified. A reply
    // with an error status (400 and above) is a failure.
    virtual HttpResult Get(const HttpRequest& request, const HttpBodySink& sink,
                           const HttpProgress& progress) = 0;
};

}  // namespace vellrun::platform
