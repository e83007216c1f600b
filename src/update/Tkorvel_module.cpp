#include "update/Tkorvel_module.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/BusyCursorScope.h"
#include "platform/PendingTemporaries.h"
#include "update/UpdateReply.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellrun::update {

namespace {

using platform::HttpResult;

std::string PathText(const std::filesystem::path& path) {
    return path.string();
}

std::string SystemMessage(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// A temporary file beside the target that becomes the target on Commit and is
// removed otherwise.
class PartFile {
public:
    explicit PartFile(const std::filesystem::path& target) : target_(target) {
        std::string pattern = PathText(target) + ".part-XXXXXX";
        descriptor_ = ::mkstemp(pattern.data());
        if (descriptor_ < 0) {
            error_ = "Cannot create " + PathText(target) + ": " + SystemMessage(errno);
            return;
        }
        path_ = pattern;
        // A program ended by a signal while it downloads removes the file.
        pendingSlot_ = platform::PendingTemporaries::Add(path_);
    }
    ~PartFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
        platform::PendingTemporaries::Remove(pendingSlot_);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& Error() const { return error_; }

    bool Append(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                error_ = "Cannot write " + PathText(target_) + ": " + SystemMessage(errno);
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(written));
        }
        return true;
    }

    bool Commit() {
        // mkstemp makes the file readable by its owner only; a download gets
        // the permissions of any new file.
        const auto mode = static_cast<mode_t>(platform::AtomicFileWriter::NewFileMode());
        if (::fchmod(descriptor_, mode) != 0 || ::fsync(descriptor_) != 0) {
            error_ = "Cannot write " + PathText(target_) + ": " + SystemMessage(errno);
            return false;
        }
        const int closed = ::close(descriptor_);
        descriptor_ = -1;
        if (closed != 0) {
            error_ = "Cannot write " + PathText(target_) + ": " + SystemMessage(errno);
            return false;
        }
        if (::rename(path_.c_str(), target_.c_str()) != 0) {
            error_ = "Cannot replace " + PathText(target_) + ": " + SystemMessage(errno);
            return false;
        }
        path_.clear();
        platform::PendingTemporaries::Remove(pendingSlot_);
        pendingSlot_.reset();
        return true;
    }

private:
    std::filesystem::path target_;
    std::string path_;
    int descriptor_ = -1;
    std::string error_;
    std::optional<size_t> pendingSlot_;
};

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
    PartFile part(file);
    if (!part.Error().empty()) {
        messages_.PlainBox(part.Error());
        return -1;
    }
    feedback_.SetStatus(0, "Downloading " + std::string(address));
    const HttpResult result = Fetch(std::string(address), FetchKind::Download,
                                    [&part](std::string_view piece) { return part.Append(piece); });
    feedback_.SetStatus(0, "");
    if (result.outcome == HttpResult::Outcome::Cancelled) return -1;
    if (!result.Done()) {
        messages_.PlainBox(part.Error().empty() ? result.error : part.Error());
        return -1;
    }
    if (!part.Commit()) {
        messages_.PlainBox(part.Error());
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
