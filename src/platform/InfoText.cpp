#include "platform/InfoText.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/TextEncoding.h"
#include "platform/TextLines.h"

#include <string_view>
#include <system_error>

namespace vellrun::platform {

namespace {

constexpr std::string_view kInfoFileName = "vellrun.txt";

bool IsFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::filesystem::path InfoTextFile(const std::filesystem::path& executableDir) {
    const std::vector<std::filesystem::path> folders = DataFolders(executableDir);
    for (const auto& folder : folders) {
        if (IsFile(folder / kInfoFileName)) return folder / kInfoFileName;
    }
    return folders.front() / kInfoFileName;
}

void LoadInfoText(std::vector<std::string>& memo, const std::filesystem::path& executableDir) {
    const std::filesystem::path file = InfoTextFile(executableDir);
    memo.push_back("Could not find " + file.string());
    std::string bytes;
    // A file that cannot be read leaves the line that says so.
    if (!ReadRegularFile(file, bytes).ok()) return;
    memo = SplitLines(BytesToUtf8(bytes));
}

}  // namespace vellrun::platform
