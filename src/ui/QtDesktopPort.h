#pragma once

#include "platform/DesktopPort.h"

#include <QUrl>

namespace vellrun::ui {

// The desktop's clipboard and its "open with the preferred program": files,
// web addresses and workbooks go to QDesktopServices, which hands them to the
// desktop's opener without waiting for the program it starts. Owned by the
// desktop start-up; keeps only whether the program ends after its run.
class QtDesktopPort final : public platform::DesktopPort {
public:
    // The program ends once the command line's report has run: what it puts
    // on its own clipboard would go with it, so the text goes to the
    // session's clipboard tool instead, as the console's does.
    void SetEndsAfterRun(bool ends) { endsAfterRun_ = ends; }

    std::string SetClipboardText(std::string_view text) override;
    bool OpenDocument(std::string_view target) override;
    bool OpenWorkbook(const std::filesystem::path& workbook) override;

    // What a target names: an address with a scheme stays as it is, a bare
    // "www." address becomes an http address, anything else is a file
    // (relative paths are taken from the current folder).
    static QUrl DocumentUrl(std::string_view target);

private:
    bool endsAfterRun_ = false;
};

}  // namespace vellrun::ui
