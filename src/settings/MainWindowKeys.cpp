// The main window's own keys of the INI file: "Settings" keys outside the
// dialog, the per-tree memory and the per-class attribute lists.

#include "settings/MainWindowKeys.h"

#include "platform/TextEncoding.h"

#include <string>

namespace vellrun::settings {

using platform::IniFile;

namespace {

// The output radio group has five items: CSV, Excel, clipboard, HTML, XML.
constexpr int kOutputTypeCount = 5;

bool IsOutputTypeIndex(int index) {
    return index >= 0 && index < kOutputTypeCount;
}

}  // namespace

std::string TreeSectionName(std::string_view treeName) {
    return CleanIniName(std::string(inikeys::kTree) + ": " + std::string(treeName));
}

std::string ClassSectionName(std::string_view className) {
    return CleanIniName("Object Class: " + std::string(className));
}

MainWindowState ReadMainWindowState(const IniFile& file, SectionCache& cache) {
    using namespace inikeys;
    MainWindowState state;
    state.tree = CachedReadString(file, cache, kSettings, kTree, "");
    const int output = CachedReadInteger(file, cache, kSettings, kOutput, 0);
    state.outputType = IsOutputTypeIndex(output) ? output : 0;
    state.reportPath = CachedReadString(file, cache, kSettings, kReportPath, "");
    state.recurse = CachedReadBool(file, cache, kSettings, kCheckBoxRecurse, false);
    state.filter = CachedReadBool(file, cache, kSettings, kCheckBoxFilter, false);
    return state;
}

IniStatus WriteMainWindowState(IniFile& file, SectionCache& cache, const MainWindowState& state) {
    using namespace inikeys;
    IniStatus status = IniWriteString(file, cache, kSettings, kTree, state.tree);
    if (status.ok()) status = IniWriteInteger(file, cache, kSettings, kOutput, state.outputType);
    if (status.ok()) status = IniWriteString(file, cache, kSettings, kReportPath, state.reportPath);
    if (status.ok()) status = IniWriteBool(file, cache, kSettings, kCheckBoxRecurse, state.recurse);
    if (status.ok()) status = IniWriteBool(file, cache, kSettings, kCheckBoxFilter, state.filter);
    return status;
}

TreeMemory ReadTreeMemory(const IniFile& file, SectionCache& cache, std::string_view treeName) {
    using namespace inikeys;
    // The cached readers match the section as given: it must be clean already.
    const std::string section = TreeSectionName(treeName);
    TreeMemory memory;
    memory.context = CachedReadString(file, cache, section, kContext, "");
    memory.objectType = CachedReadString(file, cache, section, kObjectType, kDefaultObjectType);
    memory.recurse = CachedReadBool(file, cache, section, kRecurse, false);
    return memory;
}

IniStatus WriteTreeMemory(IniFile& file, SectionCache& cache, std::string_view treeName,
                          const TreeMemory& memory) {
    using namespace inikeys;
    const std::string section = TreeSectionName(treeName);
    IniStatus status = IniWriteString(file, cache, section, kContext, memory.context);
    if (status.ok()) status = IniWriteString(file, cache, section, kObjectType, memory.objectType);
    if (status.ok()) status = IniWriteBool(file, cache, section, kRecurse, memory.recurse);
    return status;
}

IniStatus WriteClassAttributes(IniFile& file, SectionCache& cache, std::string_view className,
                               const std::vector<std::string>& attributes) {
    const std::string section = ClassSectionName(className);
    IniFile::Batch batch(file);
    IniStatus status = file.EraseSection(section);
    cache.AfterErase(file, section);
    for (size_t i = 0; status.ok() && i < attributes.size(); ++i) {
        // Straight to the file: the section was just erased, so nothing can be
        // stored already, and the keys must follow the list's positions.
        status = file.WriteString(section, std::to_string(i), attributes[i]);
    }
    return batch.CommitAfter(std::move(status));
}

std::vector<std::string> ReadClassAttributes(const IniFile& file, std::string_view className) {
    std::vector<std::string> attributes;
    for (auto& [key, value] : file.ReadSection(ClassSectionName(className))) {
        if (value.empty()) continue;
        attributes.push_back(
            value.substr(0, platform::Utf8PrefixBytes(value, inikeys::kMaxClassAttributeLength)));
    }
    return attributes;
}

}  // namespace vellrun::settings
