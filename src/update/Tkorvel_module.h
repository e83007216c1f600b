#pragma once

// The online update check: asks the maker's web site for the date of the
// newest version of the archive, compares it with the running version's date,
// tells the person and, on request, downloads the new archive to a file the
// person chooses.
//
// One instance lives as long as the desktop program (made after the main
// window and the dialogs); it holds references to the HTTP client and the two
// ports and owns none. It keeps the last reply. Requests run on the program's
// one thread; between network waits the run feedback pumps events, shows how
// far a download has come, and its cancel flag stops the request. It never
// reaches the network but through the HTTP client, and never writes a file
// but the one the person chose.

#include "platform/HttpClient.h"
#include "platform/MessagePort.h"
#include "platform/RunFeedback.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::update {

class Tkorvel_module {
public:
    // The most a version-information reply may hold; a larger one is refused.
    static constexpr size_t kMaxReplyBytes = 1 << 20;

    Tkorvel_module(platform::HttpClient& http, platform::MessagePort& messages,
                   platform::RunFeedback& feedback, std::string webSite);

    // Stores each argument that is not empty, then checkUpdates.
    void checkUpdatesWithPar(std::string_view archive, std::string_view versionDate);
    // The whole check with its boxes; a second check asked for while one runs
    // (from a pumped event) is ignored.
    void checkUpdates();

    // Fetches the reply and keeps its lines; false when the first request
    // failed (its message has been shown in the error box) or was cancelled.
    bool getVersion_online(std::string_view archive);
    // The reply text, or empty; failed is set when the first request failed.
    std::string getVersion_online_withRedirection(std::string_view archive, bool& failed);
    // The value of key in the kept reply.
    std::string getVersion_detail(std::string_view key) const;
    // Downloads address into file: 0 on success, -1 on failure (its message
    // shown in a plain box) or cancel. The body is written through
    // platform::AtomicFileWriter: it replaces the target only once it has
    // arrived whole (otherwise no partial file remains and an existing file
    // is left as it was), a link keeps pointing at the file it names, a
    // replaced file keeps its permissions and a read-only one is refused
    // before anything is fetched. When the web site is an https address, an
    // address that is not https is refused and nothing is written.
    int getCurrentFile(const std::filesystem::path& file, std::string_view address);

    // The limits of every request; the total one does not apply to a
    // download, which may take as long as it keeps arriving.
    void SetTimeouts(long connectSeconds, long totalSeconds);
    // How long a download may receive nothing before it fails.
    void SetStallTimeout(long seconds) { stallTimeout_ = seconds; }
    const std::vector<std::string>& ReplyLines() const { return replyLines_; }

private:
    // A version page has the total limit, a download the stall limit instead.
    enum class FetchKind { Page, Download };

    // GET with the update headers, the body into sink; progress through the feedback.
    platform::HttpResult Fetch(const std::string& address, FetchKind kind,
                               const platform::HttpBodySink& sink);
    // A whole reply as text; empty with failed set when the request failed.
    std::string FetchText(const std::string& address, platform::HttpResult& result);

    platform::HttpClient& http_;
    platform::MessagePort& messages_;
    platform::RunFeedback& feedback_;
    std::string webSite_;
    long connectTimeout_ = 15;
    long totalTimeout_ = 120;
    long stallTimeout_ = 60;
    bool running_ = false;

    std::string archive_;
    std::string versionDate_;
    std::string onlineDate_;
    std::string downloadUrl_;
    std::string info_;
    std::vector<std::string> replyLines_;
};

}  // namespace vellrun::update
