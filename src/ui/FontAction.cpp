#include "ui/FontAction.h"

#include "ui/DialogScript.h"

#include <QFontDialog>
#include <QFontMetrics>
#include <QHeaderView>

namespace vellrun::ui {

namespace {

std::optional<QFont> ChooseFont(QWidget& window) {
    const QString title = QStringLiteral("Font");
    if (DialogScript::Running()) {
        const auto answer = DialogScript::TakeFont(title.toStdString());
        if (!answer || !answer->description) return std::nullopt;
        QFont font;
        if (!font.fromString(QString::fromStdString(*answer->description))) return std::nullopt;
        return font;
    }
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, window.font(), &window, title);
    if (!ok) return std::nullopt;
    return font;
}

}  // namespace

int GridRowHeight(const QFont& font) {
    return QFontMetrics(font).height() + kGridRowPadding;
}

std::optional<QFont> ActionFontClick(QWidget& window, QWidget* settingsDialog, QTableView* grid) {
    const std::optional<QFont> font = ChooseFont(window);
    if (!font) return std::nullopt;
    window.setFont(*font);
    if (settingsDialog != nullptr) settingsDialog->setFont(*font);
    if (grid != nullptr) {
        grid->setFont(*font);
        // The header's minimum follows its own font; the rows follow the chosen one.
        grid->verticalHeader()->setMinimumSectionSize(GridRowHeight(*font));
        grid->verticalHeader()->setDefaultSectionSize(GridRowHeight(*font));
    }
    return font;
}

}  // namespace vellrun::ui
