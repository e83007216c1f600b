#include "platform/CurlHttpClient.h"

#include "platform/AsciiText.h"

#include <memory>
#include <mutex>

#include <curl/curl.h>

namespace vellrun::platform {

namespace {

// How long one wait for the network may last before the caller gets a turn.
constexpr int kPollMilliseconds = 50;
constexpr long kMaxRedirections = 10;

struct Transfer {
    const HttpBodySink* sink = nullptr;
    bool sinkRefused = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (!(*transfer->sink)(std::string_view(data, bytes))) {
        transfer->sinkRefused = true;
        return 0;  // libcurl ends the transfer with a write error
    }
    return bytes;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

HttpResult Failure(std::string message) {
    HttpResult result;
    result.outcome = HttpResult::Outcome::Failed;
    result.error = std::move(message);
    return result;
}

}  // namespace

CurlHttpClient::CurlHttpClient() {
    // libcurl's global set-up is not thread-safe; do it once for the process.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResult CurlHttpClient::Get(const HttpRequest& request, const HttpBodySink& sink,
                               const HttpProgress& progress) {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) return Failure("The HTTP client could not be started");

    curl_slist* list = nullptr;
    for (const std::string& header : request.headers) {
        curl_slist* grown = curl_slist_append(list, header.c_str());
        if (grown == nullptr) {
            curl_slist_free_all(list);
            return Failure("The HTTP client could not be started");
        }
        list = grown;
    }
    const std::unique_ptr<curl_slist, SlistDeleter> headers(list);

    Transfer transfer;
    transfer.sink = &sink;
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirections);
    // A redirection must not lead to a local file or another protocol, and
    // what was asked for over https must not go on over plain http, where
    // anyone on the way could answer in the server's name.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR,
                     StartsWithNoCase(request.url, "https:") ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile_.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, caFile_.c_str());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, request.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, request.totalTimeoutSeconds);
    if (request.stallTimeoutSeconds > 0) {
        // Less than a byte a second over that time is taken as nothing.
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, request.stallTimeoutSeconds);
    }
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    // A name lookup that is stopped or runs out of time is left to end on
    // its own thread instead of being waited for: a silent name server can
    // hold it for many seconds more, with the window still and Cancel dead.
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);

    curl_multi_add_handle(multi.get(), handle);
    bool cancelled = false;
    int running = 1;
    while (running != 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        if (running == 0) break;
        curl_off_t received = 0;
        curl_off_t total = 0;
        curl_easy_getinfo(handle, CURLINFO_SIZE_DOWNLOAD_T, &received);
        curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        if (progress && !progress(static_cast<uint64_t>(received),
                                  total > 0 ? static_cast<uint64_t>(total) : 0)) {
            cancelled = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
    }

    CURLcode code = CURLE_OK;
    bool finished = false;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
            code = message->data.result;
            finished = true;
        }
    }
    HttpResult result;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
    curl_multi_remove_handle(multi.get(), handle);

    if (cancelled) {
        result.outcome = HttpResult::Outcome::Cancelled;
        return result;
    }
    if (!finished) {
        result.error = "The request to " + request.url + " ended unexpectedly";
        return result;
    }
    if (code == CURLE_OK) {
        result.outcome = HttpResult::Outcome::Done;
        return result;
    }
    std::string message = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    if (transfer.sinkRefused) message = "The received data could not be stored";
    result.error = message + " (" + request.url + ")";
    return result;
}

}  // namespace vellrun::platform
