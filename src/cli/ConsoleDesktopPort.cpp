#include "cli/ConsoleDesktopPort.h"

#include "platform/SessionClipboard.h"

namespace vellrun::cli {

std::string ConsoleDesktopPort::SetClipboardText(std::string_view text) {
    return platform::PutOnSessionClipboard(text);
}

}  // namespace vellrun::cli
