#include "support/ScriptedMessagePort.h"

namespace vellrun::testing {

void ScriptedMessagePort::ErrorBox(std::string_view text) {
    boxes.push_back({Kind::Error, std::string(text)});
}

void ScriptedMessagePort::InfoBox(std::string_view text) {
    boxes.push_back({Kind::Info, std::string(text)});
}

void ScriptedMessagePort::PlainBox(std::string_view text) {
    boxes.push_back({Kind::Plain, std::string(text)});
}

bool ScriptedMessagePort::AskYesNo(std::string_view text, bool defaultNo) {
    boxes.push_back({Kind::Question, std::string(text)});
    if (answers.empty()) return !defaultNo;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::filesystem::path> ScriptedMessagePort::NextFile() {
    if (files.empty()) return std::nullopt;
    auto file = files.front();
    files.pop_front();
    return file;
}

std::optional<std::filesystem::path> ScriptedMessagePort::ChooseSaveFile(
    std::string_view title, const std::filesystem::path&, std::string_view) {
    boxes.push_back({Kind::SaveFile, std::string(title)});
    return NextFile();
}

std::optional<std::filesystem::path> ScriptedMessagePort::ChooseOpenFile(
    std::string_view title, const std::filesystem::path&, std::string_view) {
    boxes.push_back({Kind::OpenFile, std::string(title)});
    return NextFile();
}

std::vector<std::string> ScriptedMessagePort::Texts(Kind kind) const {
    std::vector<std::string> texts;
    for (const Box& box : boxes) {
        if (box.kind == kind) texts.push_back(box.text);
    }
    return texts;
}

}  // namespace vellrun::testing
