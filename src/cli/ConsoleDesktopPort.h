#pragma once

#include "platform/DesktopPort.h"

#include <string>

namespace vellrun::cli {

// The console's desktop services: the clipboard through the session's
// clipboard tool (wl-copy under Wayland, xclip under X11), since a console
// program has no clipboard of its own; documents and workbooks are not
// opened (an unattended run must not start programs). Owned by one console
// run; it remembers whether the clipboard was reached.
class ConsoleDesktopPort final : public platform::DesktopPort {
public:
    void SetClipboardText(std::string_view text) override;
    bool OpenDocument(std::string_view /*target*/) override { return false; }
    bool OpenWorkbook(const std::filesystem::path& /*workbook*/) override { return false; }

    // Why the last SetClipboardText did not reach the clipboard; empty when it did.
    const std::string& ClipboardProblem() const { return clipboardProblem_; }

private:
    std::string clipboardProblem_;
};

}  // namespace vellrun::cli
