// TMainForm: the Multi-Object tab — the tree's object types, the attribute
// checklist with the ticks remembered per class, the filter panel with the
// filter remembered per class, and the lists' pop-up menu.

#include "exports/WorkbookExport.h"
#include "platform/BusyCursorScope.h"
#include "report/TreeInformation.h"
#include "settings/IniKeyValueSource.h"
#include "settings/MainWindowKeys.h"
#include "ui/TMainForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <algorithm>
#include <cstdint>
#include <ctime>

namespace vellrun::ui {

namespace {

// Fills a widget's items while its change handlers stay quiet.
class FillingScope {
public:
    explicit FillingScope(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~FillingScope() { flag_ = previous_; }
    FillingScope(const FillingScope&) = delete;
    FillingScope& operator=(const FillingScope&) = delete;

private:
    bool& flag_;
    bool previous_;
};

}  // namespace

void TMainForm::GetTreeInformation(directory::TTreeInfo& tree) {
    const report::TreeInformationResult result = report::GetTreeInformation(access_, tree);
    // The list may show another tree's types: show this tree's whenever it
    // is not the one shown, though its classes are read only once.
    if (result == report::TreeInformationResult::AlreadyLoaded && typesShownFor_ == &tree) return;
    platform::BusyCursorScope busy(access_.Feedback());
    ShowObjectTypes(tree);
}

void TMainForm::LeaveUnreachableTree(const std::string& fault) {
    // The tree's contexts are still on another tree: nothing of it is shown
    // and no report may run on it, so no tree is current.
    if (selectionDirty_) INISaveProperties();
    currentTree_ = nullptr;
    currentContainer_.clear();
    {
        FillingScope filling(fillingControls_);
        listObjType_->clear();
        checkListAllProps_->clear();
    }
    checklistEntries_.Clear();
    typesShownFor_ = nullptr;
    checklistFor_ = nullptr;
    run_.ShowStatus(fault, report::kStatusClear, report::kStatusClear);
}

void TMainForm::ShowObjectTypes(directory::TTreeInfo& tree) {
    {
        FillingScope filling(fillingControls_);
        listObjType_->clear();
        typesShownFor_ = &tree;
        if (tree.classes.Empty()) return;
        QStringList names;
        for (const platform::StringList::Item& item : tree.classes)
            names.append(QString::fromStdString(item.text));
        listObjType_->addItems(names);
        const settings::TreeMemory memory = settings::ReadTreeMemory(ini_, cache_, tree.treeName);
        // The class whose checklist shows stays chosen when this tree's types
        // are shown again (a saved report's class among them).
        const std::string& wanted = checklistFor_ == &tree && !currentObjectType_.empty()
                                        ? currentObjectType_
                                        : memory.objectType;
        // "*" stands for every class and sits at the top.
        listObjType_->insertItem(0, QString::fromUtf8(report::kAllClasses));
        const int row = report::ObjectTypeRow(tree.classes, wanted);
        if (row >= 0) listObjType_->setCurrentRow(row);
    }
    INIReadProperties();
}

void TMainForm::INIReadProperties() {
    platform::BusyCursorScope busy(access_.Feedback());
    QListWidgetItem* item = listObjType_->currentItem();
    if (listObjType_->count() == 0 || item == nullptr) return;
    const std::string className = item->text().toStdString();
    if (className == currentObjectType_ && !checklistEntries_.Empty() &&
        checklistFor_ == currentTree_)
        return;
    if (selectionDirty_) INISaveProperties();
    currentObjectType_ = className;
    ReadPropertiesInclDSI(className);
    const auto unsaved = unsavedTicks_.find(className);
    selectedAttributes_ = unsaved != unsavedTicks_.end()
                              ? unsaved->second
                              : settings::ReadClassAttributes(ini_, className);
    MarkAttributesAsSelected();
    INIReadFilter();
    TellSettingsReadFault(ini_);
}

void TMainForm::ReadPropertiesInclDSI(const std::string& className) {
    FillingScope filling(fillingControls_);
    checkListAllProps_->clear();
    checklistFor_ = currentTree_;
    if (currentTree_ == nullptr) return;
    report::ReadPropertiesInclDSI(access_, *currentTree_, className, checklistEntries_);
    checkListAllProps_->setUpdatesEnabled(false);
    for (const platform::StringList::Item& entry : checklistEntries_) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry.text));
        item->setData(Qt::UserRole, static_cast<qlonglong>(entry.number));
        if (entry.number == report::kItemSeparator) {
            item->setFlags(Qt::ItemIsEnabled);
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
        checkListAllProps_->addItem(item);
    }
    checkListAllProps_->setUpdatesEnabled(true);
    FillFilterAttributeLists();
}

void TMainForm::MarkAttributesAsSelected() {
    FillingScope filling(fillingControls_);
    for (size_t index : report::MarkAttributesAsSelected(checklistEntries_, selectedAttributes_)) {
        if (QListWidgetItem* item = checkListAllProps_->item(static_cast<int>(index)))
            item->setCheckState(Qt::Checked);
    }
}

std::vector<std::string> TMainForm::TickedInOrder() const {
    std::vector<bool> ticks;
    for (int k = 0; k < checkListAllProps_->count(); ++k)
        ticks.push_back(checkListAllProps_->item(k)->checkState() == Qt::Checked);
    return report::TickedAttributes(checklistEntries_, ticks);
}

void TMainForm::ListAllPropsClick() {
    selectedAttributes_ = TickedInOrder();
    selectionDirty_ = true;
}

void TMainForm::ListAllPropsExit() {
    if (selectionDirty_) INISaveProperties();
}

void TMainForm::INISaveProperties() {
    platform::BusyCursorScope busy(access_.Feedback());
    selectionDirty_ = false;
    if (currentObjectType_.empty()) return;
    const uint64_t writes = ini_.WriteCount();
    const platform::FileStatus status =
        settings::WriteClassAttributes(ini_, cache_, currentObjectType_, selectedAttributes_);
    // Ticks the file would not take stay for this session; once it takes a
    // write again, it takes what it refused before too.
    settingsWrites_.Tell(status);
    if (status.ok()) {
        unsavedTicks_.erase(currentObjectType_);
        if (ini_.WriteCount() != writes) settingsWrites_.Tell(WriteUnsavedSettings());
    } else {
        unsavedTicks_[currentObjectType_] = selectedAttributes_;
    }
}

platform::FileStatus TMainForm::WriteUnsavedSettings() {
    platform::FileStatus failed;
    for (auto entry = unsavedTicks_.begin(); entry != unsavedTicks_.end();) {
        platform::FileStatus status =
            settings::WriteClassAttributes(ini_, cache_, entry->first, entry->second);
        if (status.ok()) {
            entry = unsavedTicks_.erase(entry);
        } else {
            if (failed.ok()) failed = std::move(status);
            ++entry;
        }
    }
    settings::IniKeyValueSource source(ini_, cache_);
    for (auto entry = unsavedFilters_.begin(); entry != unsavedFilters_.end();) {
        if (report::WriteFilterPanel(source, entry->first, entry->second)) {
            entry = unsavedFilters_.erase(entry);
        } else {
            ++entry;
        }
    }
    if (failed.ok()) failed = source.FirstFailure();
    return failed;
}

void TMainForm::SetTicks(const std::vector<bool>& ticks) {
    {
        FillingScope filling(fillingControls_);
        for (int k = 0; k < checkListAllProps_->count(); ++k) {
            QListWidgetItem* item = checkListAllProps_->item(k);
            if ((item->flags() & Qt::ItemIsUserCheckable) == 0) continue;
            item->setCheckState(ticks.at(static_cast<size_t>(k)) ? Qt::Checked : Qt::Unchecked);
        }
    }
    ListAllPropsClick();
}

void TMainForm::FillFilterAttributeLists() {
    QStringList names{QString()};
    for (const platform::StringList::Item& entry : checklistEntries_)
        names.append(QString::fromStdString(entry.text));
    FillingScope filling(fillingControls_);
    for (QComboBox* combo : comboBoxFilter_) {
        combo->clear();
        combo->addItems(names);
    }
}

void TMainForm::INIReadFilter() {
    report::FilterPanelState state;
    if (const auto unsaved = unsavedFilters_.find(currentObjectType_);
        unsaved != unsavedFilters_.end()) {
        state = unsaved->second;
    } else {
        settings::IniKeyValueSource source(ini_, cache_);
        report::ReadFilterPanel(source, currentObjectType_, state);
    }
    FillingScope filling(fillingControls_);
    checkBoxFilter_->setChecked(state.Filtered);
    panelMultiFilter_->setVisible(state.Filtered);
    for (size_t k = 0; k < report::kFilterRowCount; ++k) {
        const report::FilterRow& row = state.Rows[k];
        const int index = comboBoxFilter_[k]->findText(QString::fromStdString(row.Attribute),
                                                       Qt::MatchFixedString);
        comboBoxFilter_[k]->setCurrentIndex(index);
        editFilter_[k]->setEditText(QString::fromStdString(row.Value));
        radioFilterA_[k]->setChecked(row.MustContain);
        radioFilterB_[k]->setChecked(!row.MustContain);
    }
}

std::vector<std::string> TMainForm::AttributesInColumnOrder() const {
    // The window's list of selected attributes holds the ticks in list order
    // once the person has ticked, a saved report's columns before that.
    std::vector<std::string> ticked = TickedInOrder();
    std::vector<std::string> ordered;
    ordered.reserve(ticked.size());
    for (const std::string& name : selectedAttributes_) {
        const auto found = std::find_if(ticked.begin(), ticked.end(), [&name](const auto& t) {
            return platform::StringList::CompareText(t, name) == 0;
        });
        if (found == ticked.end()) continue;
        ordered.push_back(std::move(*found));
        ticked.erase(found);
    }
    ordered.insert(ordered.end(), ticked.begin(), ticked.end());
    return ordered;
}

void TMainForm::ShowReportChoices(const report::ReportSpec& spec) {
    if (spec.Kind != report::ReportKind::ByType) return;
    // Shown, not remembered: the class's own filter stays in the INI file.
    FillingScope filling(fillingControls_);
    checkBoxRecurse_->setChecked(spec.Recursive);
    checkBoxFilter_->setChecked(spec.Filtered);
    panelMultiFilter_->setVisible(spec.Filtered);
    for (size_t k = 0; k < report::kFilterRowCount; ++k) {
        const report::FilterRow& row = spec.Filters[k];
        comboBoxFilter_[k]->setCurrentIndex(comboBoxFilter_[k]->findText(
            QString::fromStdString(row.Attribute), Qt::MatchFixedString));
        editFilter_[k]->setEditText(QString::fromStdString(row.Value));
        radioFilterA_[k]->setChecked(row.MustContain);
        radioFilterB_[k]->setChecked(!row.MustContain);
    }
}

void TMainForm::CheckBoxFilterClick() {
    panelMultiFilter_->setVisible(checkBoxFilter_->isChecked());
    FilterChange(checkBoxFilter_);
}

report::FilterRows TMainForm::FilterRowsFromControls() const {
    report::FilterRows rows{};
    for (size_t k = 0; k < report::kFilterRowCount; ++k) {
        rows[k].Attribute = comboBoxFilter_[k]->currentText().toStdString();
        rows[k].Value = editFilter_[k]->currentText().toStdString();
        rows[k].MustContain = radioFilterA_[k]->isChecked();
    }
    return rows;
}

void TMainForm::FilterChange(QObject* sender) {
    if (!shown_ || fillingControls_ || currentObjectType_.empty()) return;
    const uint64_t writes = ini_.WriteCount();
    // A failed write is told, once for a run of failures.
    settings::IniKeyValueSource source(ini_, cache_, &settingsWrites_);
    bool written = true;
    if (sender == checkBoxFilter_) {
        written =
            report::WriteFilterEnabled(source, currentObjectType_, checkBoxFilter_->isChecked());
    }
    for (size_t k = 0; k < report::kFilterRowCount; ++k) {
        if (sender == radioFilterA_[k]) {
            written =
                report::WriteFilterModes(source, currentObjectType_, FilterRowsFromControls());
        } else if (sender == comboBoxFilter_[k]) {
            written = report::WriteFilterAttribute(source, currentObjectType_, k,
                                                   comboBoxFilter_[k]->currentText().toStdString());
        } else if (sender == editFilter_[k]) {
            written = report::WriteFilterValue(source, currentObjectType_, k,
                                               editFilter_[k]->currentText().toStdString());
        }
    }
    // A panel the file would not take stays for this session, whole; once
    // the file takes writes again, the whole panel goes to it.
    const report::FilterPanelState panel{checkBoxFilter_->isChecked(), FilterRowsFromControls()};
    if (written && unsavedFilters_.contains(currentObjectType_))
        written = report::WriteFilterPanel(source, currentObjectType_, panel);
    if (written) {
        unsavedFilters_.erase(currentObjectType_);
        if (ini_.WriteCount() != writes) settingsWrites_.Tell(WriteUnsavedSettings());
    } else {
        unsavedFilters_[currentObjectType_] = panel;
    }
}

void TMainForm::PopupAttrChecklistPopup(QListWidget* list, const QPoint& position) {
    popupList_ = list;
    const bool onChecklist = list == checkListAllProps_;
    popupCheckAll_->setEnabled(onChecklist);
    popupUncheckAll_->setEnabled(onChecklist);
    popupCheckMandatory_->setEnabled(onChecklist);
    for (QAction* action : popupAttrChecklist_->actions()) {
        if (action->objectName() == QStringLiteral("PopupClassGetInformation"))
            action->setEnabled(list == listObjType_);
    }
    popupAttrChecklist_->popup(list->viewport()->mapToGlobal(position));
}

void TMainForm::ActionListAttrClick(QListWidget* list, const QString& command) {
    std::vector<std::string> lines;
    if (list == checkListAllProps_) {
        run_.SetReportName(GetCurrentTree() + "-attributes");
    } else if (list == listObjType_) {
        run_.SetReportName(GetCurrentTree() + "-classes");
    } else {
        return;
    }
    for (int k = 0; k < list->count(); ++k)
        lines.push_back(list->item(k)->text().toStdString());
    if (lines.empty()) return;

    const std::string kind = command.toStdString();
    if (kind == "txt" || kind == "html" || kind == "xml" || kind == "xls") {
        std::filesystem::path reportPath = run_.ReportPath();
        exports::ExportServices services{
            access_.Messages(), desktop_, collator_,
            platform::LocalTimeOf(static_cast<uint32_t>(std::time(nullptr))),
            exports::DefaultWorkbookFolder()};
        services.progress = &exportProgress_;
        exports::SaveList(lines, kind, run_.ReportName(), reportPath, services);
        run_.SetReportPath(reportPath.string());
        return;
    }
    if (list != checkListAllProps_) return;
    report::ChecklistCommand checklistCommand = report::ChecklistCommand::CheckAll;
    if (command == QStringLiteral("Uncheck All")) {
        checklistCommand = report::ChecklistCommand::UncheckAll;
    } else if (command == QStringLiteral("Check Mandatory")) {
        checklistCommand = report::ChecklistCommand::CheckMandatory;
    }
    SetTicks(report::ChecklistTicks(checklistEntries_, checklistCommand));
}

}  // namespace vellrun::ui
