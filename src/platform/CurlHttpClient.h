#pragma once

// The HTTP client over libcurl. Made by whoever runs requests (the desktop's
// update check) and used on one thread; it keeps no state between requests.
// While a request runs it waits for the network at most 50 ms at a time and
// calls the progress function in between, so the caller's window stays alive
// and a cancel takes effect at once.

#include "platform/HttpClient.h"

#include <string>

namespace vellrun::platform {

class CurlHttpClient final : public HttpClient {
public:
    CurlHttpClient();

    HttpResult Get(const HttpRequest& request, const HttpBodySink& sink,
                   const HttpProgress& progress) override;

    // Certificates are checked against this bundle instead of the system's.
    void SetCaFile(std::string caFile) { caFile_ = std::move(caFile); }

private:
    std::string caFile_;
};

}  // namespace vellrun::platform
