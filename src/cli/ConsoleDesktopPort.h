#pragma once

#include "platform/DesktopPort.h"

#include <string>

namespace vellrun::cli {

// The console's desktop services: the clipboard through the session's
// clipboard tool (platform::PutOnSessionClipboard), since a console program
// has no clipboard of its own; documents and workbooks are not opened (an
// unattended run must not start programs). Owned by one console run; keeps
// no state.
class ConsoleDesktopPort final : public platform::DesktopPort {
public:
    std::string SetClipboardText(std::string_view text) override;
    bool OpenDocument(std::string_view /*target*/) override { return false; }
    bool OpenWorkbook(const std::filesystem::path& /*workbook*/) override { return false; }
};

}  // namespace vellrun::cli
