#pragma once

#include "platform/MessagePort.h"
#include "ui/DialogScript.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace vellrun::ui {

// The desktop's message boxes and file dialogs, titled with the application
// title and centred on the parent widget once one is attached (start-up
// speaks before any window exists). Every text is shown as plain text, never
// as markup: some come from outside (a server's notice), and a link in one
// must not become something to click. Made by the desktop start-up, which owns
// it; it does not own the parent. While a DialogScript runs it opens nothing
// and answers from the script instead.
class QtMessagePort final : public platform::MessagePort {
public:
    explicit QtMessagePort(QWidget* parent = nullptr);

    void SetParentWidget(QWidget* parent) { parent_ = parent; }
    // A run that ends by itself ("quit") has nobody to close a box: its
    // notices and errors go to standard error instead, a question takes its
    // default (said there too), and a file chooser is as if cancelled.
    void SetUnattended(bool unattended) { unattended_ = unattended; }

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
    std::optional<std::string> AskSecret(std::string_view text) override;

private:
    void ShowBox(QMessageBox::Icon icon, DialogScript::Kind kind, std::string_view text);

    QPointer<QWidget> parent_;
    bool unattended_ = false;
};

}  // namespace vellrun::ui
