#include "ui/DialogScript.h"

#include <stdexcept>

namespace vellrun::ui {

namespace {

struct ScriptState {
    bool running = false;
    std::deque<DialogScript::Answer> answers;
    std::vector<DialogScript::Shown> shown;
};

ScriptState& State() {
    static ScriptState state;
    return state;
}

}  // namespace

void DialogScript::Begin() {
    ScriptState& state = State();
    state.running = true;
    state.answers.clear();
    state.shown.clear();
}

void DialogScript::End() {
    ScriptState& state = State();
    state.running = false;
    state.answers.clear();
}

bool DialogScript::Running() {
    return State().running;
}

void DialogScript::PushYesNo(bool yes) {
    State().answers.emplace_back(yes);
}

void DialogScript::PushFile(std::optional<std::filesystem::path> file) {
    State().answers.emplace_back(std::move(file));
}

void DialogScript::PushFont(std::optional<std::string> description) {
    State().answers.emplace_back(FontChoice{std::move(description)});
}

size_t DialogScript::PendingAnswers() {
    return State().answers.size();
}

const std::vector<DialogScript::Shown>& DialogScript::ShownBoxes() {
    return State().shown;
}

std::vector<std::string> DialogScript::Texts(Kind kind) {
    std::vector<std::string> texts;
    for (const Shown& box : State().shown) {
        if (box.kind == kind) texts.push_back(box.text);
    }
    return texts;
}

void DialogScript::Record(Kind kind, std::string_view text) {
    State().shown.push_back({kind, std::string(text)});
}

std::optional<bool> DialogScript::TakeYesNo(std::string_view text) {
    ScriptState& state = State();
    Record(Kind::Question, text);
    if (state.answers.empty()) return std::nullopt;
    const bool* yes = std::get_if<bool>(&state.answers.front());
    if (yes == nullptr) {
        throw std::logic_error("scripted a file choice, but a question was asked: " +
                               std::string(text));
    }
    const bool answer = *yes;
    state.answers.pop_front();
    return answer;
}

std::optional<std::optional<std::filesystem::path>> DialogScript::TakeFile(Kind kind,
                                                                           std::string_view title) {
    ScriptState& state = State();
    Record(kind, title);
    if (state.answers.empty()) return std::nullopt;
    auto* file = std::get_if<std::optional<std::filesystem::path>>(&state.answers.front());
    if (file == nullptr) {
        throw std::logic_error("scripted a yes/no answer, but a file was asked for: " +
                               std::string(title));
    }
    std::optional<std::filesystem::path> answer = std::move(*file);
    state.answers.pop_front();
    return answer;
}

}  // namespace vellrun::ui

namespace vellrun::ui {

std::optional<DialogScript::FontChoice> DialogScript::TakeFont(std::string_view title) {
    ScriptState& state = State();
    Record(Kind::Font, title);
    if (state.answers.empty()) return std::nullopt;
    auto* font = std::get_if<FontChoice>(&state.answers.front());
    if (font == nullptr) {
        throw std::logic_error("scripted another answer, but a font was asked for: " +
                               std::string(title));
    }
    FontChoice answer = std::move(*font);
    state.answers.pop_front();
    return answer;
}

}  // namespace vellrun::ui
