#pragma once

// Where the program finds its own files and the user's: the folder of the
// running executable and the per-user configuration folder.

#include <filesystem>
#include <vector>

namespace vellrun::platform {

// The folder that holds the running executable.
std::filesystem::path ExecutableDir();

// Where the bundled data (sample images and reports, the info text) of the
// executables in executableDir may lie, nearest first: their "data" folder,
// where the build copies it, then ../share/vellrun, where it is installed.
// Only places found from the running program: a path of the machine that
// built it would be a folder the user never chose, and one anybody may be
// able to create.
std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir);

// $XDG_CONFIG_HOME/vellrun, else ~/.config/vellrun. Not created here.
std::filesystem::path ConfigDir();

}  // namespace vellrun::platform
