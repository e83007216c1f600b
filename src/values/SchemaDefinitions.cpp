// Reads of the schema for the windows and reports, over the directory
// access layer's schema requests.

#include "values/SchemaDefinitions.h"

#include "directory/ClassDefinitionInfo.h"
#include "directory/ScopedBuffer.h"
#include "values/SyntaxCatalogue.h"

#include <array>
#include <functional>
#include <optional>

namespace vellrun::values {
namespace {

using client::ClassInfoKind;
using client::ContextHandle;
using client::Result;
using directory::ClassDefinitionInfo;
using directory::DirectoryAccess;
using directory::ScopedBuffer;

// Prefixes of the lists that are shown with one; "[Naming]" is padded to the
// width of "[Mandatory] " so that names line up in a fixed-pitch font.
constexpr std::array<const char*, 4> kListPrefixes = {"[Super Class] ", "[Containment Class] ",
                                                      "[Naming]    ", "[Mandatory] "};
constexpr int kWhichAttributeLists = 5;
constexpr int kWhichIdentifier = 6;

// Drops what a failed listing added, so that a failure leaves no partial list behind.
void TrimTo(platform::StringList& target, size_t count) {
    while (target.Count() > count)
        target.Delete(target.Count() - 1);
}

}  // namespace

Result ReadAttrDefinition(DirectoryAccess& access, ContextHandle context,
                          std::string_view attribute, client::AttrDefRecord& definition) {
    definition = client::AttrDefRecord{};
    const Result result = access.DSReadAttrDef(context, attribute, definition);
    if (result != 0) definition = client::AttrDefRecord{};
    return result;
}

Result ReadAttrDefinitionText(DirectoryAccess& access, ContextHandle context,
                              std::string_view attribute, std::string& text) {
    text.clear();
    client::AttrDefRecord definition;
    const Result result = ReadAttrDefinition(access, context, attribute, definition);
    if (result == 0) text = AttrDefinitionText(definition, 3);
    return result;
}

Result ReadClassFlags(DirectoryAccess& access, ContextHandle context, std::string_view className,
                      uint32_t& flags) {
    client::ClassDefRecord record;
    // Every definition returned overwrites the record: the last one counts.
    const Result result = access.DSReadClassDefs(
        context, ClassInfoKind::NamesAndRecord, className, client::kReadReplySize,
        [&](const ClassDefinitionInfo& info) { record = info.record; });
    flags = result == 0 ? record.flags : 0;
    return result;
}

Result ReadClassFlagsText(DirectoryAccess& access, ContextHandle context,
                          std::string_view className, std::string& text) {
    text.clear();
    uint32_t flags = 0;
    const Result result = ReadClassFlags(access, context, className, flags);
    if (result == 0) text = ClassFlagsText(flags);
    return result;
}

Result ListClassDefinition(DirectoryAccess& access, ContextHandle context,
                           std::string_view className, int which, platform::StringList& target,
                           bool withPrefixes) {
    std::optional<std::string_view> wanted;
    if (className != "*" && !className.empty()) wanted = className;
    const size_t countBefore = target.Count();

    const Result result = access.DSReadClassDefs(
        context, ClassInfoKind::Definitions, wanted, client::kReadReplySize,
        [&](const ClassDefinitionInfo& info) {
            // Keeps the window responsive while a long schema is listed.
            access.Feedback().ProcessPendingEvents();
            if (which == kWhichIdentifier) {
                std::string oid = OidText(info.record.identifier);
                if (!oid.empty()) target.Add(std::move(oid), kWhichIdentifier);
            }
            for (size_t k = 0; k < info.lists.size(); ++k) {
                const int list = static_cast<int>(k);
                if (which != list && !(which == kWhichAttributeLists && k >= 2)) continue;
                const bool prefixed = withPrefixes && k < kListPrefixes.size();
                for (const auto& name : info.lists[k]) {
                    std::string text = prefixed ? kListPrefixes[k] + name : name;
                    if (target.Contains(text)) continue;
                    target.Add(std::move(text), prefixed ? 0 : list);
                }
            }
        });
    if (result != 0) TrimTo(target, countBefore);
    return result;
}

Result ListClassAttributes(DirectoryAccess& access, ContextHandle context,
                           std::string_view className, int which, platform::StringList& target) {
    if (className == "*") {
        const size_t countBefore = target.Count();
        const Result result = access.DSReadAttrNames(context, target);
        if (result != 0) TrimTo(target, countBefore);
        return result;
    }
    return ListClassDefinition(access, context, className, which, target, false);
}

Result ListClassNamesWithFlags(DirectoryAccess& access, ContextHandle context,
                               platform::StringList& target) {
    const size_t countBefore = target.Count();
    const Result result = access.DSReadClassDefs(
        context, ClassInfoKind::NamesAndRecord, std::nullopt, client::kListReplySize,
        [&](const ClassDefinitionInfo& info) { target.Add(info.name, info.record.flags); });
    if (result != 0) TrimTo(target, countBefore);
    return result;
}

}  // namespace vellrun::values
