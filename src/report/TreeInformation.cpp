#include "report/TreeInformation.h"

#include "platform/BusyCursorScope.h"
#include "values/CellTextReader.h"
#include "values/SchemaDefinitions.h"

namespace vellrun::report {

namespace {

constexpr int kWhichSuperClasses = 0;
constexpr int kWhichAttributeLists = 5;

}  // namespace

std::string AuxSeparatorLine() {
    const std::string dashes(30, '-');
    return dashes + " Potential Auxiliary Attributes " + dashes;
}

TreeInformationResult GetTreeInformation(directory::DirectoryAccess& access,
                                         directory::TTreeInfo& tree) {
    if (!tree.classes.Empty()) return TreeInformationResult::AlreadyLoaded;
    platform::BusyCursorScope busy(access.Feedback());
    tree.classes.SetSorted(true);
    const client::Result result =
        values::ListClassNamesWithFlags(access, tree.objectContext, tree.classes);
    if (result != 0) {
        tree.classes.Clear();
        access.DSShowError(result, kClassesErrorLabel);
        return TreeInformationResult::Failed;
    }
    tree.auxAttributes.Clear();
    tree.auxAttributes.SetSorted(true);
    for (const platform::StringList::Item& item : tree.classes) {
        if ((item.number & kAuxiliaryClassFlag) == 0) continue;
        // A class whose definition cannot be read adds nothing.
        values::ListClassDefinition(access, tree.objectContext, item.text, kWhichAttributeLists,
                                    tree.auxAttributes, false);
    }
    return TreeInformationResult::Loaded;
}

client::Result ReadPropertiesInclDSI(directory::DirectoryAccess& access,
                                     const directory::TTreeInfo& tree, std::string_view className,
                                     platform::StringList& entries) {
    entries.Clear();
    entries.SetSorted(true);
    for (std::string_view name : values::CellTextReader::kDsiNames)
        entries.Add(std::string(name), kItemDsi);
    const client::ContextHandle context = tree.objectContext;
    client::Result result =
        values::ListClassAttributes(access, context, className, kWhichAttributeLists, entries);
    if (result != 0) access.DSShowError(result, kAttributesErrorLabel);
    if (result == 0 && className != kAllClasses) {
        // The class's own definition lists only what it adds; an object of
        // the class also has every attribute of its super classes (a User's
        // Surname comes from Organizational Person), so they are listed too.
        platform::StringList classes;
        classes.Add(std::string(className));
        for (size_t k = 0; k < classes.Count(); ++k) {
            platform::StringList supers;
            values::ListClassDefinition(access, context, classes.Text(k), kWhichSuperClasses,
                                        supers, false);
            for (const platform::StringList::Item& super : supers) {
                if (classes.Contains(super.text)) continue;
                classes.Add(super.text);
                values::ListClassAttributes(access, context, super.text, kWhichAttributeLists,
                                            entries);
            }
        }
        // A naming attribute that is also mandatory is listed once, as naming;
        // "Check Mandatory" must still tick it.
        for (const platform::StringList::Item& item : classes) {
            platform::StringList mandatory;
            values::ListClassAttributes(access, context, item.text,
                                        static_cast<int>(kItemMandatory), mandatory);
            for (const platform::StringList::Item& name : mandatory) {
                if (auto index = entries.IndexOf(name.text))
                    entries.SetNumber(*index, kItemMandatory);
            }
        }
    }
    entries.SetSorted(false);
    if (className != kAllClasses && !tree.auxAttributes.Empty()) {
        entries.Add(AuxSeparatorLine(), kItemSeparator);
        for (const platform::StringList::Item& aux : tree.auxAttributes) {
            if (!entries.Contains(aux.text)) entries.Add(aux.text, kItemOptional);
        }
    }
    return result;
}

std::vector<size_t> MarkAttributesAsSelected(const platform::StringList& entries,
                                             std::vector<std::string>& selected) {
    std::vector<size_t> ticks;
    for (size_t k = selected.size(); k-- > 0;) {
        const auto index = entries.IndexOf(selected[k]);
        if (index && entries.Number(*index) != kItemSeparator) {
            ticks.push_back(*index);
        } else {
            selected.erase(selected.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
    return ticks;
}

std::vector<std::string> TickedAttributes(const platform::StringList& entries,
                                          const std::vector<bool>& ticks) {
    std::vector<std::string> names;
    for (size_t k = 0; k < entries.Count() && k < ticks.size(); ++k) {
        if (ticks[k] && entries.Number(k) != kItemSeparator) names.push_back(entries.Text(k));
    }
    return names;
}

std::vector<bool> ChecklistTicks(const platform::StringList& entries, ChecklistCommand command) {
    std::vector<bool> ticks(entries.Count(), false);
    for (size_t k = 0; k < entries.Count(); ++k) {
        switch (command) {
            case ChecklistCommand::CheckAll: ticks[k] = entries.Number(k) != kItemSeparator; break;
            case ChecklistCommand::UncheckAll: ticks[k] = false; break;
            case ChecklistCommand::CheckMandatory:
                ticks[k] = entries.Number(k) == kItemMandatory;
                break;
        }
    }
    return ticks;
}

int ObjectTypeToSelect(const platform::StringList& types, std::string_view remembered) {
    if (auto index = types.IndexOf(remembered)) return static_cast<int>(*index);
    if (auto index = types.IndexOf("User")) return static_cast<int>(*index);
    return -1;
}

int ObjectTypeRow(const platform::StringList& types, std::string_view remembered) {
    if (remembered == kAllClasses) return 0;
    const int index = ObjectTypeToSelect(types, remembered);
    return index < 0 ? -1 : index + 1;
}

}  // namespace vellrun::report
