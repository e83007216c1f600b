#pragma once

// The temporary files that writes in progress have made: a small fixed table
// of paths that a signal handler may empty (UnlinkAll is async-signal-safe),
// so that a program ended by Ctrl-C, SIGTERM or SIGHUP in the middle of a
// write leaves no half-written temporary file behind. The one process-wide
// table of the program (a signal handler can reach nothing else); writers
// add their file before writing and remove it when it is renamed or deleted.
// It owns no file and never opens one.
//
// A step that must not be cut short (a file rewritten in place, which a
// signal would leave part new, part old) holds the signals' end off with a
// SignalEndHold: a signal that comes meanwhile ends the program as soon as
// the last hold is let go.

#include <cstddef>
#include <filesystem>
#include <optional>

namespace vellrun::platform {

class PendingTemporaries {
public:
    // The slot that holds path, or nothing when the table is full or the path
    // is too long (the file then simply is not cleaned up by a signal).
    static std::optional<size_t> Add(const std::filesystem::path& path);
    static void Remove(std::optional<size_t> slot);
    // Deletes every file in the table, and every folder of temporary files
    // that is empty by then. Safe to call from a signal handler.
    static void UnlinkAll();
    // Deletes every file in the table and ends the program by signal, as
    // the signal's default action does; while a SignalEndHold is held, only
    // once it is let go. Safe to call from a signal handler (the one for
    // signal: the end then comes as the handler returns).
    static void EndBySignal(int signal);
    // For main(): SIGTERM, SIGHUP and SIGINT delete the table's files before
    // they end the program as they always do, and SIGXFSZ (a file grown past
    // the size limit) becomes a failed write that cleans up after itself.
    static void InstallSignalCleanup();

    // While one lives, EndBySignal waits for it. Holds nest and may be made
    // on any thread; the signal is taken by whichever thread it reaches.
    // Once a signal is ending the program (on this thread or another), a
    // hold is refused: the step it was for must not start, as the program
    // may end before it is done.
    class SignalEndHold {
    public:
        SignalEndHold();
        ~SignalEndHold();
        SignalEndHold(const SignalEndHold&) = delete;
        SignalEndHold& operator=(const SignalEndHold&) = delete;

        bool Granted() const { return granted_; }

    private:
        void LetGo();

        bool granted_ = false;
    };
};

}  // namespace vellrun::platform
