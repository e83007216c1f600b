#pragma once

#include "platform/MessagePort.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vellrun::testing {

// A MessagePort for tests: records every box and question in order and
// answers questions and file choices from queues (the default answer, or no
// file, once a queue is empty).
class ScriptedMessagePort final : public platform::MessagePort {
public:
    enum class Kind { Error, Info, Plain, Question, SaveFile, OpenFile };
    struct Box {
        Kind kind;
        std::string text;
    };

    std::vector<Box> boxes;
    std::deque<bool> answers;
    std::deque<std::optional<std::filesystem::path>> files;

    void ErrorBox(std::string_view text) override;
    void InfoBox(std::string_view text) override;
    void PlainBox(std::string_view text) override;
    bool AskYesNo(std::string_view text, bool defaultNo) override;
    std::optional<std::filesystem::path> ChooseSaveFile(std::string_view title,
                                                        const std::filesystem::path& suggested,
                                                        std::string_view filter) override;
    std::optional<std::filesystem::path> ChooseOpenFile(std::string_view title,
                                                        const std::filesystem::path& suggested,
                                                        std::string_view filter) override;

    // The texts of the boxes of one kind, in order.
    std::vector<std::string> Texts(Kind kind) const;
    std::vector<std::string> Errors() const { return Texts(Kind::Error); }

private:
    std::optional<std::filesystem::path> NextFile();
};

}  // namespace vellrun::testing
