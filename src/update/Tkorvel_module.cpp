#include "update/Tkorvel_module.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/BusyCursorScope.h"
#include "update/UpdateReply.h"

#include <optional>
#include <system_error>

namespace vellrun::update {

namespace {

using platform::HttpResult;

std::string PathText(const std::filesystem::path& path) {
    return path.string();
}

}  // namespace

Tkorvel_module::Tkorvel_module(platform::HttpClient& http, platform::MessagePort& messages,
                               platform::RunFeedback& feedback, std::string webSite)
    : http_(http), messages_(messages), feedback_(feedback), webSite_(std::move(webSite)) {}

void Tkorvel_module::SetTimeouts(long connectSeconds, long totalSeconds) {
    connectTimeout_ = connectSeconds;
    totalTimeout_ = totalSeconds;
}

void Tkorvel_module::checkUpdatesWithPar(std::string_view archive, std::string_view versionDate) {
    if (!archive.empty()) archive_ = archive;
    if (!versionDate.empty()) versionDate_ = versionDate;
    checkUpdates();
}

void Tkorvel_module::checkUpdates() {
    if (running_) return;
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    if (!getVersion_online(archive_)) return;
    onlineDate_ = getVersion_detail("date");
    downloadUrl_ = getVersion_detail("url");
    info_ = getVersion_detail("info");

    const std::string online = DateDigits(onlineDate_);
    const std::string running = DateDigits(versionDate_);
    if (online.empty()) {
        messages_.InfoBox(NoAnswerText(webSite_));
    } else if (IsNewerDate(online, running)) {
        if (messages_.AskYesNo(OfferDownloadText(running, webSite_, online), false)) {
            const auto file = messages_.ChooseSaveFile("Save the most recent version",
                                                       archive_.empty() ? running : archive_,
                                                       "Archives (*.zip);;All files (*)");
            if (file) getCurrentFile(*file, downloadUrl_);
        }
    } else {
        messages_.InfoBox(UpToDateText(running));
    }
    if (!info_.empty()) messages_.InfoBox(info_);
}

bool Tkorvel_module::getVersion_online(std::string_view archive) {
    bool failed = false;
    const std::string reply = getVersion_online_withRedirection(archive, failed);
    replyLines_ = update::ReplyLines(reply);
    return !failed;
}

std::string Tkorvel_module::getVersion_online_withRedirection(std::string_view archive,
                                                              bool& failed) {
    failed = false;
    HttpResult result;
    const std::string reply = FetchText(FileInfoAddress(webSite_, archive), result);
    if (!result.Done()) {
        failed = true;
        if (result.outcome == HttpResult::Outcome::Failed) messages_.ErrorBox(result.error);
        return {};
    }
    if (IsVersionAnswer(reply)) return reply;
    const std::optional<std::string> address = QualifyingAddress(reply, archive);
    if (!address) return {};
    // The page named the real address: its reply is the answer as it is.
    return FetchText(*address, result);
}

std::string Tkorvel_module::getVersion_detail(std::string_view key) const {
    return ReplyValue(replyLines_, key);
}

int Tkorvel_module::getCurrentFile(const std::filesystem::path& file, std::string_view address) {
    // The archive is checked by nothing but the connection it comes over: a
    // site that speaks https gives its archive over https too.
    if (platform::StartsWithNoCase(webSite_, "https:") &&
        !platform::StartsWithNoCase(address, "https:")) {
        messages_.PlainBox("The download address " + std::string(address) +
                           " is not an https address; " + webSite_ +
                           " offers its files over https only. Nothing was downloaded.");
        return -1;
    }
    std::error_code error;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        messages_.PlainBox("Cannot create " + PathText(file.parent_path()) + ": " +
                           error.message());
        return -1;
    }
    // The archive is written as every file of the program is: a link
    // keeps pointing at it, a replaced file keeps its permissions, a
    // read-only one is refused before anything is downloaded.
    platform::AtomicFileWriter writer(file);
    if (const platform::FileStatus begun = writer.Begin(); !begun.ok()) {
        messages_.PlainBox(begun.error);
        return -1;
    }
    platform::FileStatus written;
    feedback_.SetStatus(0, "Downloading " + std::string(address));
    const HttpResult result = Fetch(std::string(address), FetchKind::Download,
                                    [&writer, &written](std::string_view piece) {
                                        written = writer.Append(piece);
                                        return written.ok();
                                    });
    feedback_.SetStatus(0, "");
    if (result.outcome == HttpResult::Outcome::Cancelled) return -1;
    if (!result.Done()) {
        messages_.PlainBox(written.ok() ? result.error : written.error);
        return -1;
    }
    if (const platform::FileStatus committed = writer.Commit(); !committed.ok()) {
        messages_.PlainBox(committed.error);
        return -1;
    }
    return 0;
}

platform::HttpResult Tkorvel_module::Fetch(const std::string& address, FetchKind kind,
                                           const platform::HttpBodySink& sink) {
    platform::HttpRequest request;
    request.url = address;
    request.headers = {std::string(kAcceptHeader), std::string(kUserAgentHeader)};
    request.connectTimeoutSeconds = connectTimeout_;
    // A large archive on a slow line takes as long as it takes; only one
    // that stops arriving is given up.
    const bool download = kind == FetchKind::Download;
    request.totalTimeoutSeconds = download ? 0 : totalTimeout_;
    request.stallTimeoutSeconds = download ? stallTimeout_ : 0;
    feedback_.Cancel().Clear();
    const platform::BusyCursorScope busy(feedback_);
    return http_.Get(request, sink, [this](uint64_t received, uint64_t total) {
        feedback_.ShowProgress(received, total);
        feedback_.ProcessPendingEvents();
        return !feedback_.Cancel().IsSet();
    });
}

std::string Tkorvel_module::FetchText(const std::string& address, platform::HttpResult& result) {
    std::string text;
    bool tooLarge = false;
    feedback_.SetStatus(0, "Asking " + webSite_ + " for the newest version");
    result = Fetch(address, FetchKind::Page, [&text, &tooLarge](std::string_view piece) {
        if (text.size() + piece.size() > kMaxReplyBytes) {
            tooLarge = true;
            return false;
        }
        text.append(piece);
        return true;
    });
    feedback_.SetStatus(0, "");
    if (tooLarge) result.error = "The reply of " + address + " is too large";
    if (!result.Done()) return {};
    return text;
}

}  // namespace vellrun::update
