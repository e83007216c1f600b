#pragma once

// Opens what a command line names, without waiting for it: a program (whose
// path may hold blanks, or that the search path holds) with its parameters, a
// built-in command of the shell through $SHELL -c (else /bin/sh -c), or a
// document (an existing file that is no program, its path blanks and all) or
// web address through xdg-open. The started process is not the caller's child, so nothing needs
// to wait for it.

#include <string_view>

namespace vellrun::platform {

// 0 when the process was started, else the system's error number.
int ShellOpen(std::string_view commandLine);

}  // namespace vellrun::platform
