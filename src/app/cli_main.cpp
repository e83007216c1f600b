// The console program: everything it does lives in cli::CliApp. main adds
// what only a real process has: whether standard error is a terminal (the
// progress line) and Ctrl-C, which stops a report run as its Cancel button does.

#include "cli/CliApp.h"
#include "platform/PendingTemporaries.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The feedback of the run going on, for the signal handler; null between runs.
std::atomic<vellrun::cli::ConsoleRunFeedback*> runningFeedback{nullptr};
static_assert(std::atomic<vellrun::cli::ConsoleRunFeedback*>::is_always_lock_free);

extern "C" void OnInterrupt(int /*signal*/) {
    vellrun::cli::ConsoleRunFeedback* feedback = runningFeedback.load();
    if (feedback == nullptr || feedback->Interrupted()) {
        // Nothing to stop, or asked twice: end the program as Ctrl-C usually
        // does, without leaving the temporary file of a write behind (and,
        // in the middle of a file's rewriting in place, once it is done).
        vellrun::platform::PendingTemporaries::EndBySignal(SIGINT);
        return;
    }
    feedback->Interrupt();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    vellrun::cli::CliApp app;
    app.SetShowProgress(isatty(STDERR_FILENO) == 1);
    app.SetKeepDirectoryUntilExit(true);
    app.SetFeedbackObserver(
        [](vellrun::cli::ConsoleRunFeedback* feedback) { runningFeedback.store(feedback); });
    vellrun::platform::PendingTemporaries::InstallSignalCleanup();
    // A Ctrl-C the parent told us to ignore (a background job of a script)
    // stays ignored.
    struct sigaction previous {};
    if (sigaction(SIGINT, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        // A write to a slow reader (a pipe) that the signal interrupts goes
        // on: the run stops between rows, not in the middle of one.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
    }
    return app.Run(args, std::cout, std::cerr);
}
