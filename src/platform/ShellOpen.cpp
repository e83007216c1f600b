#include "platform/ShellOpen.h"

#include "platform/ShellCommand.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::platform {
namespace {

std::vector<std::string> SplitAtBlanks(std::string_view text) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        const size_t blank = text.find(' ', start);
        const size_t end = blank == std::string_view::npos ? text.size() : blank;
        if (end > start) words.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// Starts argv in folder (when not empty) as a grandchild, so that it is
// adopted by init and never left as a zombie of ours.
int StartDetached(const std::vector<std::string>& argv, const std::string& folder) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return error;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
                const int error = errno;
                (void)!::write(pipeFds[1], &error, sizeof error);
                ::_exit(127);
            }
            ::execvp(args[0], args.data());
            // Only reached when the program could not be started.
            const int error = errno;
            (void)!::write(pipeFds[1], &error, sizeof error);
            ::_exit(127);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    // The write end closes on a successful exec; an error number comes through otherwise.
    int error = 0;
    const ssize_t got = ::read(pipeFds[0], &error, sizeof error);
    ::close(pipeFds[0]);
    if (got == static_cast<ssize_t>(sizeof error)) return error;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
    return 0;
}

// An executable file, or a name without "/" that the search path holds as one.
bool IsProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
    while (true) {
        const size_t colon = folders.find(':');
        const std::string folder(folders.substr(0, colon));
        const std::filesystem::path candidate =
            std::filesystem::path(folder.empty() ? "." : folder) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos) return false;
        folders.remove_prefix(colon + 1);
    }
}

}  // namespace

int ShellOpen(std::string_view commandLine) {
    const char* shellVariable = std::getenv("SHELL");
    const std::string shell = shellVariable && *shellVariable ? shellVariable : "/bin/sh";
    const ShellOpenPlan plan = PlanShellOpen(
        commandLine,
        [](const std::string& path) {
            std::error_code ec;
            return std::filesystem::is_regular_file(path, ec);
        },
        shell, IsProgram);
    std::vector<std::string> argv;
    switch (plan.kind) {
        case ShellOpenPlan::Kind::Program:
            argv.push_back(plan.target);
            for (auto& word : SplitAtBlanks(plan.parameters))
                argv.push_back(std::move(word));
            return StartDetached(argv, plan.folder);
        case ShellOpenPlan::Kind::Interpreter:
            return StartDetached({plan.target, "-c", plan.parameters}, {});
        case ShellOpenPlan::Kind::Document:
            // xdg-open takes the one document or address; its program gets
            // no parameters of ours.
            if (plan.target.empty()) return EINVAL;
            return StartDetached({"xdg-open", plan.target}, {});
    }
    return EINVAL;
}

}  // namespace vellrun::platform
