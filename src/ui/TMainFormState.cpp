// TMainForm: what the window remembers in the INI file — its bounds, pane
// sizes, font, the bottom panel's controls, the last tree, container and
// object type — and the walk that turns widgets into control-state records.

#include "settings/MainWindowKeys.h"
#include "settings/SettingsStore.h"
#include "ui/ScreenPlacement.h"
#include "ui/TMainForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <initializer_list>
#include <utility>

namespace vellrun::ui {

namespace {

using settings::ControlKind;
using settings::ControlState;

QList<QWidget*> ChildWidgets(QWidget* widget) {
    return widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

bool IsCheckList(const QListWidget* list) {
    for (int k = 0; k < list->count(); ++k) {
        if ((list->item(k)->flags() & Qt::ItemIsUserCheckable) != 0) return true;
    }
    return list->property("checkList").toBool();
}

settings::FontRecord FontRecordOf(const QFont& font) {
    settings::FontRecord record;
    record.name = font.family().toStdString();
    record.size = font.pointSize() > 0 ? font.pointSize() : record.size;
    record.style = (font.bold() ? settings::FontRecord::kBold : 0) |
                   (font.italic() ? settings::FontRecord::kItalic : 0) |
                   (font.underline() ? settings::FontRecord::kUnderline : 0) |
                   (font.strikeOut() ? settings::FontRecord::kStrikeOut : 0);
    return record;
}

QFont FontOf(const settings::FontRecord& record, QFont font) {
    if (!record.name.empty()) font.setFamily(QString::fromStdString(record.name));
    if (record.size > 0) font.setPointSize(record.size);
    font.setBold((record.style & settings::FontRecord::kBold) != 0);
    font.setItalic((record.style & settings::FontRecord::kItalic) != 0);
    font.setUnderline((record.style & settings::FontRecord::kUnderline) != 0);
    font.setStrikeOut((record.style & settings::FontRecord::kStrikeOut) != 0);
    return font;
}

}  // namespace

ControlState TMainForm::ControlStateOf(QWidget* widget) const {
    ControlState state;
    state.name = widget->objectName().toStdString();
    state.width = widget->width();
    state.height = widget->height();
    bool walkChildren = true;
    if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        state.kind = ControlKind::CheckBox;
        state.checked = check->isChecked();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        state.kind = ControlKind::Edit;
        state.text = edit->text().toStdString();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        walkChildren = false;
        if (combo->isEditable()) {
            state.kind = ControlKind::EditableCombo;
            for (int k = 0; k < combo->count(); ++k)
                state.history.entries.push_back(combo->itemText(k).toStdString());
            state.history.text = combo->currentText().toStdString();
        } else {
            state.kind = ControlKind::DropDownCombo;
            for (int k = 0; k < combo->count(); ++k)
                state.dropDownItems.push_back(combo->itemText(k).toStdString());
            state.text = combo->currentText().toStdString();
        }
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        state.kind = ControlKind::SpinEdit;
        state.value = spin->value();
        walkChildren = false;
    } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
        state.kind = ControlKind::TrackBar;
        state.value = slider->value();
    } else if (auto* group = qobject_cast<QGroupBox*>(widget);
               group != nullptr && group->findChild<QButtonGroup*>() != nullptr) {
        state.kind = ControlKind::RadioGroup;
        state.value = group->findChild<QButtonGroup*>()->checkedId();
        walkChildren = false;
    } else if (auto* list = qobject_cast<QListWidget*>(widget);
               list != nullptr && IsCheckList(list)) {
        state.kind = ControlKind::CheckList;
        for (int k = 0; k < list->count(); ++k)
            state.items.emplace_back(list->item(k)->text().toStdString(),
                                     list->item(k)->checkState() == Qt::Checked);
        walkChildren = false;
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
        state.kind = ControlKind::Memo;
        state.readOnly = memo->isReadOnly();
        for (const QString& line : memo->toPlainText().split(QLatin1Char('\n')))
            state.lines.push_back(line.toStdString());
        walkChildren = false;
    } else if (auto* grid = qobject_cast<QTableWidget*>(widget)) {
        state.kind = ControlKind::StringGrid;
        state.grid.rowCount = grid->rowCount();
        state.grid.colCount = grid->columnCount();
        state.grid.cells.resize(static_cast<size_t>(grid->columnCount()));
        for (int c = 0; c < grid->columnCount(); ++c) {
            for (int r = 0; r < grid->rowCount(); ++r) {
                const QTableWidgetItem* item = grid->item(r, c);
                state.grid.cells[static_cast<size_t>(c)].push_back(
                    item != nullptr ? item->text().toStdString() : std::string());
            }
        }
        walkChildren = false;
    }
    if (walkChildren) {
        for (QWidget* child : ChildWidgets(widget))
            state.children.push_back(ControlStateOf(child));
    }
    return state;
}

void TMainForm::ApplyControlState(QWidget* widget, const ControlState& state) {
    switch (state.kind) {
        case ControlKind::CheckBox:
            qobject_cast<QCheckBox*>(widget)->setChecked(state.checked);
            break;
        case ControlKind::Edit:
            qobject_cast<QLineEdit*>(widget)->setText(QString::fromStdString(state.text));
            break;
        case ControlKind::DropDownCombo: {
            auto* combo = qobject_cast<QComboBox*>(widget);
            combo->setCurrentIndex(combo->findText(QString::fromStdString(state.text)));
            break;
        }
        case ControlKind::EditableCombo: {
            auto* combo = qobject_cast<QComboBox*>(widget);
            combo->clear();
            for (const std::string& entry : state.history.entries)
                combo->addItem(QString::fromStdString(entry));
            combo->setEditText(QString::fromStdString(state.history.text));
            break;
        }
        case ControlKind::SpinEdit: qobject_cast<QSpinBox*>(widget)->setValue(state.value); break;
        case ControlKind::TrackBar: qobject_cast<QSlider*>(widget)->setValue(state.value); break;
        case ControlKind::RadioGroup:
            if (QAbstractButton* button = widget->findChild<QButtonGroup*>()->button(state.value))
                button->setChecked(true);
            break;
        case ControlKind::CheckList: {
            auto* list = qobject_cast<QListWidget*>(widget);
            list->clear();
            for (const auto& [text, ticked] : state.items) {
                auto* item = new QListWidgetItem(QString::fromStdString(text), list);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            }
            break;
        }
        case ControlKind::Memo: {
            auto* memo = qobject_cast<QPlainTextEdit*>(widget);
            if (memo->isReadOnly()) break;
            QStringList lines;
            for (const std::string& line : state.lines)
                lines.append(QString::fromStdString(line));
            memo->setPlainText(lines.join(QLatin1Char('\n')));
            break;
        }
        case ControlKind::StringGrid: {
            auto* grid = qobject_cast<QTableWidget*>(widget);
            grid->setRowCount(state.grid.rowCount);
            grid->setColumnCount(state.grid.colCount);
            for (int c = 0; c < state.grid.colCount; ++c) {
                for (int r = 0; r < state.grid.rowCount; ++r) {
                    grid->setItem(
                        r, c,
                        new QTableWidgetItem(QString::fromStdString(
                            state.grid.cells[static_cast<size_t>(c)][static_cast<size_t>(r)])));
                }
            }
            break;
        }
        case ControlKind::NameValueList:
        case ControlKind::Form:
        case ControlKind::Other: break;
    }
    const QList<QWidget*> children = ChildWidgets(widget);
    for (size_t k = 0; k < state.children.size() && k < static_cast<size_t>(children.size()); ++k)
        ApplyControlState(children[static_cast<qsizetype>(k)], state.children[k]);
}

void TMainForm::RestoreWindowState() {
    settings::WindowBounds bounds{y(), x(), width(), height()};
    settings::RestoreBounds(ini_, cache_, "", settings::inikeys::kMainForm, bounds);
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    setGeometry(ReachableGeometry({bounds.left, bounds.top, bounds.width, bounds.height}, screens));
    // Maximised over the normal bounds just set, which it returns to.
    if (settings::CachedReadBool(ini_, cache_, settings::inikeys::kMainForm,
                                 settings::inikeys::kMainFormMaximized, false))
        setWindowState(windowState() | Qt::WindowMaximized);

    std::array<settings::PaneSize, 2> panes{settings::PaneSize{"PanelObjects", false, 0},
                                            settings::PaneSize{"PanelLeft", false, 0}};
    settings::RestoreSplitterSizes(ini_, cache_, settings::inikeys::kSettings, panes);
    // The Multi-Object tab is not the one shown at start, nor is the Select
    // Container tab after a report run from the command line: a hidden tab's
    // splitter has no width yet, and sizes given now would be rescaled when
    // it gets one. Without a saved width the designed one waits in its
    // place, so that a run that never shows the tab saves that and not an
    // unlaid splitter's.
    pendingObjectsWidth_ = panes[0].size > 0 ? panes[0].size : kObjectTypesWidth;
    pendingTreeWidth_ = panes[1].size > 0 ? panes[1].size : kTreePaneWidth;
    for (const auto& [splitter, pending] :
         {std::pair{splitter2_, &pendingObjectsWidth_}, {splitter3_, &pendingTreeWidth_}}) {
        if (!splitter->isVisible()) continue;
        ApplyPaneWidth(splitter, *pending, splitter->width());
        *pending = 0;
    }

    settings::FontRecord font = FontRecordOf(this->font());
    settings::RestoreFont(ini_, cache_, settings::inikeys::kSettings, font);
    // The grid fits its rows to a new font (ResultsGrid), which makes every
    // row one line high, also the tall rows of a report run before the
    // window showed (a saved report's from the command line).
    setFont(FontOf(font, this->font()));
    FitRowHeights();

    ControlState bottom = ControlStateOf(panelMultiBottom_);
    settings::RestoreControlState(ini_, cache_, settings::inikeys::kSettings, bottom);
    ApplyControlState(panelMultiBottom_, bottom);
}

void TMainForm::ApplyPaneWidth(QSplitter* splitter, int paneWidth, int splitterWidth) {
    if (paneWidth <= 0 || splitter->count() < 2) return;
    splitter->setSizes(
        {paneWidth, std::max(splitterWidth - paneWidth - splitter->handleWidth(), 1)});
}

void TMainForm::SaveWindowState() {
    // Every key of the window in one replacement of the file, with the ticks
    // and filter panels it refused earlier. A failure is told (once for a
    // run of failures); closing goes on either way.
    platform::IniFile::Batch batch(ini_);
    platform::FileStatus failed;
    const auto keep = [&failed](platform::FileStatus status) {
        if (failed.ok()) failed = std::move(status);
    };
    settings::MainWindowState state;
    state.tree = GetCurrentTree();
    state.outputType = std::max(outputTypeButtons_->checkedId(), 0);
    state.reportPath = run_.ReportPath();
    state.recurse = checkBoxRecurse_->isChecked();
    state.filter = checkBoxFilter_->isChecked();
    keep(settings::WriteMainWindowState(ini_, cache_, state));
    if (currentTree_ != nullptr) {
        settings::TreeMemory memory;
        memory.context = currentContainer_;
        memory.objectType = currentObjectType_.empty()
                                ? std::string(settings::inikeys::kDefaultObjectType)
                                : currentObjectType_;
        memory.recurse = checkBoxRecurse_->isChecked();
        keep(settings::WriteTreeMemory(ini_, cache_, currentTree_->treeName, memory));
    }
    keep(settings::SaveControlState(ini_, cache_, settings::inikeys::kSettings,
                                    ControlStateOf(panelMultiBottom_)));
    keep(settings::SaveFont(ini_, cache_, settings::inikeys::kSettings, FontRecordOf(font())));
    const std::array<settings::PaneSize, 2> panes{
        settings::PaneSize{
            "PanelObjects", false,
            pendingObjectsWidth_ > 0 ? pendingObjectsWidth_ : splitter2_->sizes().value(0)},
        settings::PaneSize{
            "PanelLeft", false,
            pendingTreeWidth_ > 0 ? pendingTreeWidth_ : splitter3_->sizes().value(0)}};
    keep(settings::SaveSplitterSizes(ini_, cache_, settings::inikeys::kSettings, panes));
    const QRect frame = normalGeometry();
    keep(settings::SaveBounds(ini_, cache_, "", settings::inikeys::kMainForm,
                              {frame.top(), frame.left(), frame.width(), frame.height()}));
    keep(settings::IniWriteBool(ini_, cache_, settings::inikeys::kMainForm,
                                settings::inikeys::kMainFormMaximized, isMaximized()));
    keep(WriteUnsavedSettings());
    settingsWrites_.Tell(batch.CommitAfter(std::move(failed)));
}

void TMainForm::RestoreLastPlace() {
    const settings::MainWindowState state = settings::ReadMainWindowState(ini_, cache_);
    bool placed = false;
    if (!state.tree.empty()) {
        const settings::TreeMemory memory = settings::ReadTreeMemory(ini_, cache_, state.tree);
        placed = dsTree_->SelectPath(state.tree, memory.context);
    }
    if (!placed) DSTreeTreeViewClick();
}

}  // namespace vellrun::ui
