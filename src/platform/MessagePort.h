#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vellrun::platform {

// How the core speaks to a person: message boxes, a yes/no question and the
// choice of a file. Each front end implements it (dialogs on the desktop,
// stderr and defaults on the console); tests answer with a scripted fake.
// Calls block until the person has answered. Implementations must not call
// back into the core.
class MessagePort {
public:
    virtual ~MessagePort() = default;

    // A box with one OK button: an error, an information, a plain message.
    virtual void ErrorBox(std::string_view text) = 0;
    virtual void InfoBox(std::string_view text) = 0;
    virtual void PlainBox(std::string_view text) = 0;

    // A question answered with yes (true) or no (false); defaultNo makes "No"
    // the button that Enter presses, and the answer of a front end that cannot ask.
    virtual bool AskYesNo(std::string_view text, bool defaultNo) = 0;

    // The file to write or read, or nothing when the person cancels. filter
    // lists the offered kinds as "Name (*.ext);;Other (*)".
    virtual std::optional<std::filesystem::path> ChooseSaveFile(
        std::string_view title, const std::filesystem::path& suggested,
        std::string_view filter) = 0;
    virtual std::optional<std::filesystem::path> ChooseOpenFile(
        std::string_view title, const std::filesystem::path& suggested,
        std::string_view filter) = 0;

    // A secret typed without being shown (a password), or nothing when the
    // person cancels or the front end cannot ask.
    virtual std::optional<std::string> AskSecret(std::string_view text) {
        (void)text;
        return std::nullopt;
    }
};

}  // namespace vellrun::platform
