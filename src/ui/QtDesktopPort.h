#pragma once

#include "platform/DesktopPort.h"

#include <QUrl>

namespace vellrun::ui {

// The desktop's clipboard and its "open with the preferred program": files,
// web addresses and workbooks go to QDesktopServices, which hands them to the
// desktop's opener without waiting for the program it starts. Owned by the
// desktop start-up; keeps no state.
class QtDesktopPort final : public platform::DesktopPort {
public:
    void SetClipboardText(std::string_view text) override;
    bool OpenDocument(std::string_view target) override;
    bool OpenWorkbook(const std::filesystem::path& workbook) override;

    // What a target names: an address with a scheme stays as it is, a bare
    // "www." address becomes an http address, anything else is a file
    // (relative paths are taken from the current folder).
    static QUrl DocumentUrl(std::string_view target);
};

}  // namespace vellrun::ui
