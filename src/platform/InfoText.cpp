#include "platform/InfoText.h"

#include "platform/TextEncoding.h"

#include <fstream>
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
    const std::filesystem::path beside = executableDir / kInfoFileName;
    for (const auto& candidate :
         {beside, executableDir / "data" / kInfoFileName,
          executableDir.parent_path() / "share" / "vellrun" / kInfoFileName}) {
        if (IsFile(candidate)) return candidate;
    }
    return beside;
}

void LoadInfoText(std::vector<std::string>& memo, const std::filesystem::path& executableDir) {
    const std::filesystem::path file = InfoTextFile(executableDir);
    memo.push_back("Could not find " + file.string());
    if (!IsFile(file)) return;

    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::string bytes;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
    if (in.bad()) return;  // a read failure leaves the line that says so

    const std::string text = platform::BytesToUtf8(bytes);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    memo = std::move(lines);
}

}  // namespace vellrun::platform
