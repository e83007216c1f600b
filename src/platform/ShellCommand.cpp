#include "platform/ShellCommand.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

namespace vellrun::platform {

namespace {

struct Word {
    size_t start;
    size_t end;
};

std::vector<Word> WordsOf(std::string_view line) {
    std::vector<Word> words;
    size_t at = 0;
    while (true) {
        const size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find(' ', start), line.size());
        words.push_back({start, end});
        at = end;
    }
    return words;
}

// What follows position from on, without its leading blanks.
std::string RestAfter(std::string_view line, size_t from) {
    const size_t start = line.find_first_not_of(' ', from);
    return start == std::string_view::npos ? std::string() : std::string(line.substr(start));
}

}  // namespace

bool IsShellCommand(std::string_view word) {
    static constexpr std::array<std::string_view, 15> kCommands = {
        "CD",  "COPY", "DEL", "DIR", "ECHO",     "MD",   "PATH", "PROMPT",
        "REM", "REN",  "RD",  "SET", "TRUENAME", "TYPE", "VER",
    };
    for (std::string_view command : kCommands) {
        if (EqualsNoCase(word, command)) return true;
    }
    return false;
}

ShellOpenPlan PlanShellOpen(std::string_view commandLine,
                            const std::function<bool(const std::string&)>& isFile,
                            std::string_view shell,
                            const std::function<bool(const std::string&)>& isProgram) {
    const std::vector<Word> words = WordsOf(commandLine);
    ShellOpenPlan plan;
    std::string candidate;
    for (const Word& word : words) {
        if (!candidate.empty()) candidate.push_back(' ');
        candidate.append(commandLine.substr(word.start, word.end - word.start));
        if (isFile(candidate)) {
            // A document is opened with its program, never executed.
            plan.kind = !isProgram || isProgram(candidate) ? ShellOpenPlan::Kind::Program
                                                           : ShellOpenPlan::Kind::Document;
            plan.target = candidate;
            plan.parameters = RestAfter(commandLine, word.end);
            plan.folder = std::filesystem::path(candidate).parent_path().string();
            return plan;
        }
    }
    if (words.empty()) return plan;
    const std::string_view first =
        commandLine.substr(words[0].start, words[0].end - words[0].start);
    if (IsShellCommand(first)) {
        plan.kind = ShellOpenPlan::Kind::Interpreter;
        plan.target = std::string(shell);
        plan.parameters = std::string(commandLine);
        return plan;
    }
    plan.target = std::string(first);
    plan.parameters = RestAfter(commandLine, words[0].end);
    if (isProgram && isProgram(plan.target)) plan.kind = ShellOpenPlan::Kind::Program;
    return plan;
}

}  // namespace vellrun::platform
