#pragma once

// Where the program finds its own files and the user's: the folder of the
// running executable and the per-user configuration folder.

#include <filesystem>

namespace vellrun::platform {

// The folder that holds the running executable.
std::filesystem::path ExecutableDir();

// $XDG_CONFIG_HOME/vellrun, else ~/.config/vellrun. Not created here.
std::filesystem::path ConfigDir();

}  // namespace vellrun::platform
