#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vellrun::ui {

// Lets tests answer the program's dialogs without a person. While a script
// runs, QtMessagePort opens nothing modal: it records each box it would have
// shown and takes the next scripted answer, or the box's default when none is
// queued (OK, the default button of a question, Cancel for a file choice).
// State of the user-interface thread, shared program-wide like the dialogs it
// stands in for; only tests start a script.
class DialogScript {
public:
    enum class Kind { Error, Information, Plain, Question, SaveFile, OpenFile, Font };

    struct Shown {
        Kind kind;
        std::string text;  // the message, or the title of a file choice
    };

    // A font choice: the font's description (QFont::toString), nothing = cancelled.
    struct FontChoice {
        std::optional<std::string> description;
    };
    // A yes/no answer, a file choice (nothing = cancelled) or a font choice.
    using Answer = std::variant<bool, std::optional<std::filesystem::path>, FontChoice>;

    // Starts a script with no answers queued and nothing recorded.
    static void Begin();
    // Ends it: dialogs are shown to a person again.
    static void End();
    static bool Running();

    static void PushYesNo(bool yes);
    static void PushFile(std::optional<std::filesystem::path> file);
    static void PushFont(std::optional<std::string> description);
    static size_t PendingAnswers();

    static const std::vector<Shown>& ShownBoxes();
    // The texts of the recorded boxes of one kind, in order.
    static std::vector<std::string> Texts(Kind kind);

    // For QtMessagePort: records the box and hands out the next queued answer.
    // Throws std::logic_error when that answer does not fit the box, so that
    // a test that scripted the wrong thing fails instead of passing by chance.
    static std::optional<bool> TakeYesNo(std::string_view text);
    static std::optional<std::optional<std::filesystem::path>> TakeFile(Kind kind,
                                                                        std::string_view title);
    static std::optional<FontChoice> TakeFont(std::string_view title);
    static void Record(Kind kind, std::string_view text);
};

}  // namespace vellrun::ui
