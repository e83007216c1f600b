#include "platform/SessionClipboard.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <pthread.h>
#include <sys/wait.h>

namespace vellrun::platform {

std::string PutOnSessionClipboard(std::string_view text) {
    // The tool is chosen by the session the program runs in; the command
    // line is fixed, so nothing of the text reaches the shell. The tool
    // stays behind to serve the clipboard, so it must not keep this
    // program's output open: a caller reading that output to its end
    // would wait for the tool instead.
    const char* tool = nullptr;
    const char* command = nullptr;
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        tool = "wl-copy";
        command = "wl-copy >/dev/null 2>&1";
    } else if (std::getenv("DISPLAY") != nullptr) {
        tool = "xclip";
        command = "xclip -selection clipboard >/dev/null 2>&1";
    }
    if (command == nullptr) return "no graphical session holds a clipboard";
    FILE* pipe = popen(command, "w");
    if (pipe == nullptr) return "the clipboard tool could not be started";
    // A tool that ends without reading the text (no display it can open, or
    // none installed) must fail the export, not end this program: the broken
    // pipe's signal is held back while the text goes to the tool, and taken
    // off before it is let through again. The tool, already started, keeps
    // its own.
    sigset_t brokenPipe;
    sigset_t previous;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, &previous);
    const bool written =
        std::fwrite(text.data(), 1, text.size(), pipe) == text.size() && std::fflush(pipe) == 0;
    const int status = pclose(pipe);
    if (sigismember(&previous, SIGPIPE) == 0) {
        const timespec now{};
        while (sigtimedwait(&brokenPipe, nullptr, &now) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // The shell's status for a command it cannot find.
    constexpr int kNotFound = 127;
    if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == kNotFound)
        return std::string("the clipboard tool ") + tool + " is not installed";
    if (!written || status != 0) return std::string("the clipboard tool ") + tool + " failed";
    return {};
}

}  // namespace vellrun::platform
