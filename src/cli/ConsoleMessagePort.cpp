#include "cli/ConsoleMessagePort.h"

namespace vellrun::cli {

void ConsoleMessagePort::Line(std::string_view text) {
    if (feedback_ != nullptr) feedback_->ClearLine();
    err_ << text;
    if (text.empty() || text.back() != '\n') err_ << '\n';
    err_.flush();
}

void ConsoleMessagePort::ErrorBox(std::string_view text) {
    Line(text);
}

void ConsoleMessagePort::InfoBox(std::string_view text) {
    Line(text);
}

void ConsoleMessagePort::PlainBox(std::string_view text) {
    Line(text);
}

bool ConsoleMessagePort::AskYesNo(std::string_view text, bool defaultNo) {
    Line(std::string(text) + (defaultNo ? " [No]" : " [Yes]"));
    return !defaultNo;
}

std::optional<std::filesystem::path> ConsoleMessagePort::ChooseSaveFile(
    std::string_view title, const std::filesystem::path& /*suggested*/,
    std::string_view /*filter*/) {
    Line(std::string(title) + ": no file can be chosen on the console");
    return std::nullopt;
}

std::optional<std::filesystem::path> ConsoleMessagePort::ChooseOpenFile(
    std::string_view title, const std::filesystem::path& /*suggested*/,
    std::string_view /*filter*/) {
    Line(std::string(title) + ": no file can be chosen on the console");
    return std::nullopt;
}

}  // namespace vellrun::cli
