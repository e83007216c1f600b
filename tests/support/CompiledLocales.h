#pragma once

// Locales the machine may not have installed, compiled with localedef into
// the build folder when a test first asks for one, and $LOCPATH pointed
// there for the life of one test. A machine without localedef or the
// locale's sources gets nothing, and the test skips.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include <unistd.h>

namespace vellrun::testing {

class CompiledLocales {
public:
    CompiledLocales() {
        if (const char* old = std::getenv("LOCPATH")) previous_ = old;
        setenv("LOCPATH", Folder().c_str(), 1);
    }
    ~CompiledLocales() {
        if (previous_) {
            setenv("LOCPATH", previous_->c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
    }
    CompiledLocales(const CompiledLocales&) = delete;
    CompiledLocales& operator=(const CompiledLocales&) = delete;

    // Compiles source ("ja_JP") in charmap ("EUC-JP") as "ja_JP.EUC-JP";
    // false when that cannot be done here.
    bool Compile(const std::string& source, const std::string& charmap) const {
        const std::filesystem::path target = Folder() / (source + "." + charmap);
        std::error_code ignored;
        if (std::filesystem::exists(target / "LC_TIME", ignored)) return true;
        // Compiled aside and renamed into place, as tests running side by
        // side may ask for the same locale.
        const std::filesystem::path aside =
            Folder() / (source + "." + charmap + ".part-" + std::to_string(::getpid()));
        std::filesystem::remove_all(aside, ignored);
        const std::string command = "localedef -i '" + source + "' -f '" + charmap + "' '" +
                                    aside.string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0 || !std::filesystem::exists(aside / "LC_TIME")) {
            std::filesystem::remove_all(aside, ignored);
            return false;
        }
        std::filesystem::rename(aside, target, ignored);
        std::filesystem::remove_all(aside, ignored);
        return std::filesystem::exists(target / "LC_TIME", ignored);
    }

private:
    static std::filesystem::path Folder() {
        const std::filesystem::path folder =
            std::filesystem::path(VELLRUN_TEST_BUILD_DIR) / "compiled-locales";
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        return folder;
    }

    std::optional<std::string> previous_;
};

}  // namespace vellrun::testing
