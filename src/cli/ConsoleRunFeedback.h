#pragma once

#include "platform/RunFeedback.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace vellrun::cli {

// Run feedback of the console: a console has no event loop and no mouse
// cursor, so events and cursors are only counted; the status texts are kept
// for whoever wants to print them. Once a progress stream is given (a
// terminal), every chance to handle events redraws one progress line there
// (objects found, the current name, the elapsed time; or how far a write
// has come), at most ten times a second. Owned by the console program's run; it writes nothing
// else.
class ConsoleRunFeedback final : public platform::RunFeedback {
public:
    void SetStatus(int panel, std::string_view text) override;
    void ProcessPendingEvents() override;
    void PushBusyCursor() override { ++busyDepth_; }
    void PopBusyCursor() override {
        if (busyDepth_ > 0) --busyDepth_;
    }
    platform::CancelFlag& Cancel() override { return cancel_; }

    const std::string& Status(int panel) const;
    int BusyDepth() const { return busyDepth_; }

    // The console's Cancel button (Ctrl-C): sets the cancel flag and remembers
    // the request, since the run clears the flag when it ends. Safe to call
    // from a signal handler: it only stores two lock-free atomics.
    void Interrupt() {
        interrupted_.store(true);
        cancel_.Set();
    }
    bool Interrupted() const { return interrupted_.load(); }

    // Draws the progress line on progress from now on; foundCount tells the
    // objects found so far.
    void StartProgress(std::ostream& progress, std::function<size_t()> foundCount);
    // Draws the progress line of a write on progress from now on: the first
    // status text, how far the write has come (ShowProgress) and the time.
    void StartWriteProgress(std::ostream& progress);
    // Removes the progress line; nothing more is drawn.
    void EndProgress();
    void ShowProgress(uint64_t done, uint64_t total) override {
        done_ = done;
        total_ = total;
    }

    // The load of an image: draws "Loading: N of M objects" on progress, at
    // most ten times a second ("Loading the image" while total is 0).
    // False once Ctrl-C asked to stop.
    bool LoadProgress(std::ostream& progress, uint64_t done, uint64_t total);
    // Takes the progress line off the screen, so that a message written now
    // stands on a line of its own; the line comes back with the next drawing.
    void ClearLine();

private:
    std::string status_[3];
    int busyDepth_ = 0;
    platform::CancelFlag cancel_;
    std::atomic<bool> interrupted_{false};
    static_assert(std::atomic<bool>::is_always_lock_free);

    std::ostream* progress_ = nullptr;
    std::ostream* drawnOn_ = nullptr;  // where a progress line stands now
    std::function<size_t()> foundCount_;
    bool writing_ = false;  // the line is a write's
    uint64_t done_ = 0;
    uint64_t total_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace vellrun::cli
