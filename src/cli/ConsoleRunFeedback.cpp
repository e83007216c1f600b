#include "cli/ConsoleRunFeedback.h"

namespace vellrun::cli {

void ConsoleRunFeedback::SetStatus(int panel, std::string_view text) {
    if (panel >= 0 && panel < 3) status_[panel] = std::string(text);
}

const std::string& ConsoleRunFeedback::Status(int panel) const {
    static const std::string kNone;
    return (panel >= 0 && panel < 3) ? status_[panel] : kNone;
}

}  // namespace vellrun::cli
