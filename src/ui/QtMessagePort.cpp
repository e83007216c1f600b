#include "ui/QtMessagePort.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <cstdio>

namespace vellrun::ui {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString PathText(const std::filesystem::path& path) {
    return QFile::decodeName(path.c_str());
}

std::optional<std::filesystem::path> ChosenPath(const QString& chosen) {
    if (chosen.isEmpty()) return std::nullopt;
    return std::filesystem::path(QFile::encodeName(chosen).toStdString());
}

}  // namespace

QtMessagePort::QtMessagePort(QWidget* parent) : parent_(parent) {}

void QtMessagePort::ErrorBox(std::string_view text) {
    ShowBox(QMessageBox::Critical, DialogScript::Kind::Error, text);
}

void QtMessagePort::InfoBox(std::string_view text) {
    ShowBox(QMessageBox::Information, DialogScript::Kind::Information, text);
}

void QtMessagePort::PlainBox(std::string_view text) {
    ShowBox(QMessageBox::NoIcon, DialogScript::Kind::Plain, text);
}

void QtMessagePort::ShowBox(QMessageBox::Icon icon, DialogScript::Kind kind,
                            std::string_view text) {
    if (DialogScript::Running()) {
        DialogScript::Record(kind, text);
        return;
    }
    if (unattended_) {
        std::fprintf(stderr, "vellrun: %.*s\n", static_cast<int>(text.size()), text.data());
        return;
    }
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), Text(text), QMessageBox::Ok,
                    parent_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtMessagePort::AskYesNo(std::string_view text, bool defaultNo) {
    if (DialogScript::Running()) return DialogScript::TakeYesNo(text).value_or(!defaultNo);
    if (unattended_) {
        // Nobody answers: the question's default, said on standard error.
        std::fprintf(stderr, "vellrun: %.*s %s\n", static_cast<int>(text.size()), text.data(),
                     defaultNo ? "No" : "Yes");
        return !defaultNo;
    }
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), Text(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtMessagePort::AskSecret(std::string_view text) {
    // A script, or a run nobody watches, has no secrets to give: the
    // question is declined.
    if (DialogScript::Running() || unattended_) return std::nullopt;
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(QGuiApplication::applicationDisplayName());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setLabelText(Text(text));
    if (auto* label = dialog.findChild<QLabel*>()) label->setTextFormat(Qt::PlainText);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

std::optional<std::filesystem::path> QtMessagePort::ChooseSaveFile(
    std::string_view title, const std::filesystem::path& suggested, std::string_view filter) {
    if (DialogScript::Running()) {
        return DialogScript::TakeFile(DialogScript::Kind::SaveFile, title).value_or(std::nullopt);
    }
    if (unattended_) return std::nullopt;  // nobody chooses: as if cancelled
    QFileDialog dialog(parent_, Text(title), PathText(suggested), Text(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension takes the suggested one, and the
    // dialog's question about replacing a file asks about that name; the
    // filter of that extension shows the files a person may mean to replace.
    const QString extension = QFileInfo(PathText(suggested)).suffix();
    if (!extension.isEmpty()) {
        dialog.setDefaultSuffix(extension);
        const QString pattern = QStringLiteral("*.") + extension;
        for (const QString& nameFilter : dialog.nameFilters()) {
            if (nameFilter.contains(pattern, Qt::CaseInsensitive)) {
                dialog.selectNameFilter(nameFilter);
                break;
            }
        }
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::nullopt : ChosenPath(chosen.first());
}

std::optional<std::filesystem::path> QtMessagePort::ChooseOpenFile(
    std::string_view title, const std::filesystem::path& suggested, std::string_view filter) {
    if (DialogScript::Running()) {
        return DialogScript::TakeFile(DialogScript::Kind::OpenFile, title).value_or(std::nullopt);
    }
    if (unattended_) return std::nullopt;
    return ChosenPath(
        QFileDialog::getOpenFileName(parent_, Text(title), PathText(suggested), Text(filter)));
}

}  // namespace vellrun::ui
