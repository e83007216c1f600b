#include "platform/Paths.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace vellrun::platform {

std::filesystem::path ExecutableDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir) {
    return {executableDir / "data", executableDir.parent_path() / "share" / "vellrun"};
}

std::filesystem::path ConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && xdg[0] == '/') {
        return std::filesystem::path(xdg) / "vellrun";
    }
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
    }
    return std::filesystem::path(home ? home : "/") / ".config" / "vellrun";
}

}  // namespace vellrun::platform
