#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vellrun::platform {

// The desktop services the core hands work to: the clipboard, opening a
// document or web address with the program the desktop chooses, and opening a
// workbook in a spreadsheet program. Implemented by each front end; tests
// record the calls. Implementations must not block on the opened program.
class DesktopPort {
public:
    virtual ~DesktopPort() = default;

    // Empty when the text is on the clipboard (and stays there once this
    // program has ended, where the port knows it will end); else why not.
    [[nodiscard]] virtual std::string SetClipboardText(std::string_view text) = 0;
    // A file path or a web address; false when nothing could open it.
    virtual bool OpenDocument(std::string_view target) = 0;
    virtual bool OpenWorkbook(const std::filesystem::path& workbook) = 0;
};

}  // namespace vellrun::platform
