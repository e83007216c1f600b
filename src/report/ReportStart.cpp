#include "report/ReportStart.h"

namespace vellrun::report {

std::vector<ExportMenuEntry> ExportMenuEntries() {
    std::vector<ExportMenuEntry> entries;
    for (size_t k = 0; k < kOutputTypeCaptions.size(); ++k) {
        entries.push_back({".. as " + std::string(kOutputTypeCaptions[k]),
                           std::string(kOutputTypeHint), static_cast<int>(k)});
    }
    return entries;
}

std::string StoreReportFilter(std::string_view objectType) {
    const std::string type(objectType);
    const std::string extension(kReportExtension);
    return "\"" + type + "\" Reports (" + type + "*." + extension + ");;All Files (*)";
}

std::string OpenReportFilter() {
    return "Saved Reports (*." + std::string(kReportExtension) + ");;All Files (*)";
}

std::string StoreReportFileName(std::string_view reportName) {
    return std::string(reportName) + "." + std::string(kReportExtension);
}

std::string RunErrorLabel(const ReportSpec& spec, bool listed) {
    switch (spec.Kind) {
        case ReportKind::SchemaClasses:
        case ReportKind::SchemaAttributes: return "Schema of tree \"" + spec.TreeName + "\"";
        case ReportKind::ByObject:
            // Only the read of "Object Class" fails a one-object run that listed.
            if (listed) return "Read \"Object Class\" of \"" + spec.ObjectName + "\"";
            return "Report on \"" + spec.ObjectName + "\"";
        default: return "Report on \"" + spec.Container + "\"";
    }
}

std::optional<std::string_view> ByTypeStartRefusal(const ByTypeChoices& choices) {
    if (choices.objectClass.empty()) return kNoObjectTypeSelected;
    if (choices.attributes.empty()) return kNoAttributesSelected;
    return std::nullopt;
}

void PrepareByType(ReportSpec& spec, const ByTypeChoices& choices) {
    spec.Kind = ReportKind::ByType;
    spec.Recursive = choices.recursive;
    spec.TreeName = choices.treeName;
    spec.Container = choices.container;
    spec.ObjectName.clear();
    spec.ObjectClass = choices.objectClass;
    spec.Attributes = choices.attributes;
    spec.OrderBy = -1;
    spec.Output = choices.output;
    spec.OutputFile.clear();
    spec.Filtered = choices.filtered;
    spec.Filters = choices.filters;
}

void PrepareByObject(ReportSpec& spec, std::string_view treeName, std::string_view container,
                     std::string_view objectName, std::string_view objectClass) {
    spec.Kind = ReportKind::ByObject;
    spec.TreeName = std::string(treeName);
    spec.Container = std::string(container);
    spec.ObjectName = std::string(objectName);
    spec.ObjectClass = std::string(objectClass);
    spec.OutputFile.clear();
    spec.Attributes.clear();
}

bool PrepareSchema(ReportSpec& spec, ReportKind kind, bool running) {
    if (running) return false;
    spec.Kind = kind;
    spec.OutputFile.clear();
    return true;
}

}  // namespace vellrun::report
