#pragma once

// What a reply buffer costs, and the schema reply pages, shared by both
// backends: the LDAP client costs its pages as the embedded directory does,
// and serves the same schema definitions through the same pages.

#include "client/ClientTypes.h"
#include "client/ResultCodes.h"
#include "client/image/DirectoryImage.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::client::image {

// What one item costs in a reply, in the client's encoding.
constexpr size_t kPageHeader = 8;
constexpr size_t kEntryFixed = 20;      // flags, subordinates, time, attribute count, length
constexpr size_t kAttributeFixed = 12;  // name length, syntax, value count
constexpr size_t kValueFixed = 4;       // value length
constexpr size_t kValueInfo = 12;       // flags and time stamp

constexpr size_t TextCost(std::string_view text) {
    return 4 + text.size() + 1;
}

struct PageClass {
    std::string name;
    ClassDefRecord record;
    std::vector<std::vector<std::string>> lists;  // five lists for the definitions kind
};
struct ClassPage {
    ClassInfoKind kind = ClassInfoKind::Names;
    std::vector<PageClass> classes;
    size_t nextClass = 0;
    bool haveCurrent = false;
    size_t nextList = 0;
    bool haveList = false;
    size_t nextItem = 0;
};

struct PageAttrDef {
    std::string name;
    AttrDefRecord record;
};
struct AttrDefPage {
    AttrInfoKind kind = AttrInfoKind::Names;
    std::vector<PageAttrDef> definitions;
    size_t next = 0;
};

// The names a schema read covers: every definition, or the requested ones as
// the schema spells them (find takes a requested name to its definition).
template <typename Definition, typename Find>
Result SchemaNames(const std::vector<Definition>& all, bool everything,
                   std::span<const std::string> requested, Find find, Result missing,
                   std::vector<std::string>& names) {
    if (everything) {
        for (const auto& definition : all)
            names.push_back(definition.name);
        return 0;
    }
    for (const auto& name : requested) {
        const Definition* definition = find(name);
        if (!definition) return missing;
        names.push_back(definition->name);
    }
    return 0;
}

// The page item of one definition and what it costs, or nothing for a
// definition that is not there (gone since the read began).
std::optional<PageClass> DescribeClass(const ClassDefinition* definition, ClassInfoKind kind,
                                       size_t& cost);
std::optional<PageAttrDef> DescribeAttribute(const AttributeDefinition* definition,
                                             AttrInfoKind kind, size_t& cost);

// The reply calls that take the next item of a schema page.
Result TakeClassDef(ClassPage& page, std::string& name, ClassDefRecord& record);
Result TakeClassItemCount(ClassPage& page, uint32_t& count);
Result TakeClassItem(ClassPage& page, std::string& name);
Result TakeAttrDef(AttrDefPage& page, std::string& name, AttrDefRecord& record);

}  // namespace vellrun::client::image
