#include "cli/ConsoleRunFeedback.h"

#include <cstdio>

namespace vellrun::cli {

namespace {

// Longest current name shown, so that the line fits a common terminal.
constexpr size_t kNameWidth = 48;

}  // namespace

void ConsoleRunFeedback::SetStatus(int panel, std::string_view text) {
    if (panel >= 0 && panel < 3) status_[panel] = std::string(text);
}

const std::string& ConsoleRunFeedback::Status(int panel) const {
    static const std::string kNone;
    return (panel >= 0 && panel < 3) ? status_[panel] : kNone;
}

void ConsoleRunFeedback::StartProgress(std::ostream& progress, std::function<size_t()> foundCount) {
    progress_ = &progress;
    foundCount_ = std::move(foundCount);
    writing_ = false;
    started_ = std::chrono::steady_clock::now();
    lastDrawn_ = {};
}

void ConsoleRunFeedback::StartWriteProgress(std::ostream& progress) {
    StartProgress(progress, nullptr);
    writing_ = true;
    done_ = 0;
    total_ = 0;
}

void ConsoleRunFeedback::EndProgress() {
    ClearLine();
    progress_ = nullptr;
    writing_ = false;
}

void ConsoleRunFeedback::ClearLine() {
    if (drawnOn_ == nullptr) return;
    // Carriage return and "erase to the end of the line".
    *drawnOn_ << "\r\x1b[K" << std::flush;
    drawnOn_ = nullptr;
}

bool ConsoleRunFeedback::LoadProgress(std::ostream& progress, uint64_t done, uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDrawn_ >= std::chrono::milliseconds(100)) {
        lastDrawn_ = now;
        progress << "\r\x1b[K";
        if (total == 0) {
            progress << "Loading the image";
        } else {
            progress << "Loading: " << done << " of " << total << " objects";
        }
        progress << std::flush;
        drawnOn_ = &progress;
    }
    return !Interrupted();
}

void ConsoleRunFeedback::ProcessPendingEvents() {
    if (progress_ == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - started_).count();
    std::string name = status_[1];
    if (name.size() > kNameWidth) name = "..." + name.substr(name.size() - kNameWidth + 3);
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    *progress_ << "\r\x1b[K";
    if (writing_) {
        // "Writing the workbook: 1024 of 5000  0:03"; the last step
        // ("Saving the workbook") has no count.
        std::string_view what = status_[0];
        if (what.ends_with(" ...")) what.remove_suffix(4);
        *progress_ << what;
        if (done_ > 0 && done_ != total_) {
            *progress_ << ": " << done_;
            if (total_ > 0) *progress_ << " of " << total_;
        }
        *progress_ << "  " << elapsed << std::flush;
        drawnOn_ = progress_;
        return;
    }
    const size_t found = foundCount_ ? foundCount_() : 0;
    *progress_ << found << " found  " << elapsed << "  " << name << std::flush;
    drawnOn_ = progress_;
}

}  // namespace vellrun::cli
