#include "cli/ConsoleDesktopPort.h"

#include <cstdio>
#include <cstdlib>

namespace vellrun::cli {

void ConsoleDesktopPort::SetClipboardText(std::string_view text) {
    // The tool is chosen by the session the console runs in; the command
    // line is fixed, so nothing of the text reaches the shell.
    const char* command = nullptr;
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        command = "wl-copy 2>/dev/null";
    } else if (std::getenv("DISPLAY") != nullptr) {
        command = "xclip -selection clipboard 2>/dev/null";
    }
    if (command == nullptr) {
        clipboardProblem_ = "no graphical session holds a clipboard";
        return;
    }
    FILE* pipe = popen(command, "w");
    if (pipe == nullptr) {
        clipboardProblem_ = "the clipboard tool could not be started";
        return;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), pipe) == text.size();
    const int status = pclose(pipe);
    clipboardProblem_.clear();
    if (!written || status != 0)
        clipboardProblem_ = std::string("the clipboard tool (") + command + ") failed";
}

}  // namespace vellrun::cli
