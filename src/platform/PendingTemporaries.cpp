#include "platform/PendingTemporaries.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace vellrun::platform {

namespace {

constexpr size_t kSlots = 16;
constexpr size_t kPathLength = 4096;

// A slot is claimed (busy) before its path is copied and published (ready)
// after, so a signal handler never reads a path that is being written.
struct Slot {
    std::atomic<bool> busy{false};
    std::atomic<bool> ready{false};
    char path[kPathLength] = {};
};

std::array<Slot, kSlots> slots;

static_assert(std::atomic<bool>::is_always_lock_free);

// The holds taken, and the signal that came while one was held. A signal
// is stored before the holds are looked at, and a hold is let go before the
// signal is looked at, so between the handler and the last hold one of them
// always sees the other: whichever takes the signal out ends the program.
std::atomic<int> holds{0};
std::atomic<int> heldSignal{0};
// Set for good once a signal is to end the program, before the holds are
// looked at; a hold looks at it after it is counted. A handler on one thread
// that saw no hold may be ending the program while another thread takes
// one: that hold sees the flag and is refused, so its rewrite never starts
// to be cut short.
std::atomic<bool> ending{false};

static_assert(std::atomic<int>::is_always_lock_free);

void EndNow(int signal) {
    PendingTemporaries::UnlinkAll();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    // Where the signal is blocked (in its own handler, or on a thread that
    // blocks it), it is let through at once.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
}

extern "C" void CleanUpAndEnd(int signal) {
    PendingTemporaries::EndBySignal(signal);
}

}  // namespace

std::optional<size_t> PendingTemporaries::Add(const std::filesystem::path& path) {
    const std::string& text = path.native();
    if (text.size() >= kPathLength) return std::nullopt;
    for (size_t i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (!slots[i].busy.compare_exchange_strong(expected, true)) continue;
        std::memcpy(slots[i].path, text.c_str(), text.size() + 1);
        slots[i].ready.store(true);
        return i;
    }
    return std::nullopt;
}

void PendingTemporaries::Remove(std::optional<size_t> slot) {
    if (!slot || *slot >= kSlots) return;
    slots[*slot].ready.store(false);
    slots[*slot].busy.store(false);
}

void PendingTemporaries::UnlinkAll() {
    const int saved = errno;
    for (Slot& slot : slots) {
        if (!slot.ready.exchange(false)) continue;
        // A folder of temporary files goes once its files have.
        if (::unlink(slot.path) != 0 && errno == EISDIR) ::rmdir(slot.path);
    }
    errno = saved;
}

void PendingTemporaries::EndBySignal(int signal) {
    heldSignal.store(signal);
    ending.store(true);
    if (holds.load() > 0) return;  // the last hold ends the program
    if (const int taken = heldSignal.exchange(0); taken != 0) EndNow(taken);
}

PendingTemporaries::SignalEndHold::SignalEndHold() {
    holds.fetch_add(1);
    if (!ending.load()) {
        granted_ = true;
        return;
    }
    // The program is ending: let go at once (and, as the last hold, end it
    // here, before anything was started).
    LetGo();
}

PendingTemporaries::SignalEndHold::~SignalEndHold() {
    if (granted_) LetGo();
}

void PendingTemporaries::SignalEndHold::LetGo() {
    if (holds.fetch_sub(1) != 1) return;
    if (const int taken = heldSignal.exchange(0); taken != 0) EndNow(taken);
}

void PendingTemporaries::InstallSignalCleanup() {
    struct sigaction action {};
    action.sa_handler = CleanUpAndEnd;
    // A signal held off returns to the work it came into, which goes on.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction previous {};
        // A signal the parent told us to ignore stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace vellrun::platform
