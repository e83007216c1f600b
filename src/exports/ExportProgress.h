#pragma once

// How a long export shows how far it has come and hears that the person
// stopped it, through the front end's RunFeedback (the desktop shows a
// progress dialog with Cancel once an export takes more than a moment).
// Without a feedback (the console, tests) it does nothing. Lives on the
// stack of one export.

#include "platform/RunFeedback.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string_view>
#include <system_error>

namespace vellrun::exports {

class ExportProgress {
public:
    ExportProgress(platform::RunFeedback* feedback, std::string_view status) : feedback_(feedback) {
        if (feedback_ == nullptr) return;
        feedback_->Cancel().Clear();
        feedback_->SetStatus(0, status);
        feedback_->PushBusyCursor();
    }
    ~ExportProgress() {
        if (feedback_ != nullptr) feedback_->PopBusyCursor();
    }
    ExportProgress(const ExportProgress&) = delete;
    ExportProgress& operator=(const ExportProgress&) = delete;

    // Shows done of total (0: not known) and lets pending events through;
    // false once the person has asked to stop.
    bool Step(uint64_t done, uint64_t total) {
        if (feedback_ == nullptr) return true;
        feedback_->ShowProgress(done, total);
        feedback_->ProcessPendingEvents();
        return !feedback_->Cancel().IsSet();
    }

    // The last part of the work, which cannot be stopped: its text, the bar
    // full, the front end's cancel off until it is over. `work` runs on a
    // thread of its own while the window goes on answering (and repainting)
    // here; it must not touch what the window's events may change. Returns
    // what `work` returns.
    template <typename Work>
    auto Finishing(std::string_view status, Work&& work) {
        if (feedback_ == nullptr) return work();
        const struct Uncancellable {
            platform::RunFeedback& feedback;
            explicit Uncancellable(platform::RunFeedback& f) : feedback(f) {
                feedback.SetCancellable(false);
            }
            ~Uncancellable() { feedback.SetCancellable(true); }
            Uncancellable(const Uncancellable&) = delete;
            Uncancellable& operator=(const Uncancellable&) = delete;
        } uncancellable(*feedback_);
        feedback_->SetStatus(0, status);
        feedback_->ShowProgress(1, 1);
        std::future<decltype(work())> finished;
        try {
            finished = std::async(std::launch::async, std::ref(work));
        } catch (const std::system_error&) {
            // No thread to be had (a limit on processes): the work is done
            // here, the window still until it is.
            return work();
        }
        while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            feedback_->ProcessPendingEvents();
        return finished.get();
    }

private:
    platform::RunFeedback* feedback_;
};

}  // namespace vellrun::exports
