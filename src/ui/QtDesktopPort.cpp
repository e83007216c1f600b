#include "ui/QtDesktopPort.h"

#include "platform/SessionClipboard.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

namespace vellrun::ui {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QUrl FileUrl(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

}  // namespace

std::string QtDesktopPort::SetClipboardText(std::string_view text) {
    if (endsAfterRun_) return platform::PutOnSessionClipboard(text);
    QGuiApplication::clipboard()->setText(Text(text));
    return {};
}

bool QtDesktopPort::OpenDocument(std::string_view target) {
    if (target.empty()) return false;
    return QDesktopServices::openUrl(DocumentUrl(target));
}

bool QtDesktopPort::OpenWorkbook(const std::filesystem::path& workbook) {
    if (workbook.empty()) return false;
    return QDesktopServices::openUrl(FileUrl(QFile::decodeName(workbook.c_str())));
}

QUrl QtDesktopPort::DocumentUrl(std::string_view target) {
    const QString text = Text(target).trimmed();
    // A scheme is a letter followed by letters, digits, "+", "-" or "."; one
    // letter alone would be a drive, which this platform does not have, so
    // two are required.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(text).hasMatch()) return QUrl(text);
    if (text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) {
        return QUrl(QStringLiteral("http://") + text);
    }
    return FileUrl(text);
}

}  // namespace vellrun::ui
