#include "platform/SessionClipboard.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <pthread.h>

namespace vellrun::platform {

std::string PutOnSessionClipboard(std::string_view text) {
    // The tool is chosen by the session the program runs in; the command
    // line is fixed, so nothing of the text reaches the shell.
    const char* command = nullptr;
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        command = "wl-copy 2>/dev/null";
    } else if (std::getenv("DISPLAY") != nullptr) {
        command = "xclip -selection clipboard 2>/dev/null";
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
    if (!written || status != 0) return std::string("the clipboard tool (") + command + ") failed";
    return {};
}

}  // namespace vellrun::platform
