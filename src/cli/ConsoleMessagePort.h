#pragma once

#include "cli/ConsoleRunFeedback.h"
#include "platform/MessagePort.h"

#include <ostream>

namespace vellrun::cli {

// The console's messages: every box becomes a line on the error stream;
// questions take their default answer and no file can be chosen, since a
// console run is unattended. Owned by the console program's run; writes to a
// stream it does not own and never reads input.
class ConsoleMessagePort final : public platform::MessagePort {
public:
    // feedback, when given, has its progress line taken off before each message.
    explicit ConsoleMessagePort(std::ostream& err, ConsoleRunFeedback* feedback = nullptr)
        : err_(err), feedback_(feedback) {}

    void ErrorBox(std::string_view text) override;
    void InfoBox(std::string_view text) override;
    void PlainBox(std::string_view text) override;
    bool AskYesNo(std::string_view text, bool defaultNo) override;
    std::optional<std::filesystem::path> ChooseSaveFile(std::string_view title,
                                                        const std::filesystem::path& suggested,
                                                        std::string_view filter) override;
    std::optional<std::filesystem::path> ChooseOpenFile(std::string_view title,
                                                        const std::filesystem::path& suggested,
                                                        std::string_view filter) override;

private:
    void Line(std::string_view text);

    std::ostream& err_;
    ConsoleRunFeedback* feedback_;
};

}  // namespace vellrun::cli
