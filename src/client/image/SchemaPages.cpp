#include "client/image/SchemaPages.h"

namespace vellrun::client::image {
namespace {

constexpr size_t kDefinitionFixed = 4 + 36;
constexpr size_t kAttrDefFixed = 16 + 36;

}  // namespace

std::optional<PageClass> DescribeClass(const ClassDefinition* definition, ClassInfoKind kind,
                                       size_t& cost) {
    if (!definition) return std::nullopt;
    PageClass shown{definition->name, {definition->flags, definition->identifier}, {}};
    cost = TextCost(definition->name) + (kind == ClassInfoKind::Names ? 0 : kDefinitionFixed);
    if (kind == ClassInfoKind::Definitions) {
        shown.lists = {definition->superClasses, definition->containment, definition->naming,
                       definition->mandatory, definition->optional};
        for (const auto& list : shown.lists) {
            cost += 4;
            for (const auto& item : list)
                cost += TextCost(item);
        }
    }
    return shown;
}

std::optional<PageAttrDef> DescribeAttribute(const AttributeDefinition* definition,
                                             AttrInfoKind kind, size_t& cost) {
    if (!definition) return std::nullopt;
    cost = TextCost(definition->name) + (kind == AttrInfoKind::Definitions ? kAttrDefFixed : 0);
    return PageAttrDef{definition->name,
                       {definition->flags, definition->syntax, definition->lowerBound,
                        definition->upperBound, definition->identifier}};
}

Result TakeClassDef(ClassPage& page, std::string& name, ClassDefRecord& record) {
    if (page.nextClass >= page.classes.size()) return Err::BufferEmpty;
    const PageClass& definition = page.classes[page.nextClass++];
    page.haveCurrent = true;
    page.nextList = 0;
    page.haveList = false;
    name = definition.name;
    if (page.kind != ClassInfoKind::Names) record = definition.record;
    return 0;
}

Result TakeClassItemCount(ClassPage& page, uint32_t& count) {
    if (page.kind != ClassInfoKind::Definitions || !page.haveCurrent) return Err::BadVerb;
    const PageClass& definition = page.classes[page.nextClass - 1];
    if (page.nextList >= definition.lists.size()) return Err::BufferEmpty;
    count = static_cast<uint32_t>(definition.lists[page.nextList++].size());
    page.haveList = true;
    page.nextItem = 0;
    return 0;
}

Result TakeClassItem(ClassPage& page, std::string& name) {
    if (!page.haveCurrent || !page.haveList) return Err::BadVerb;
    const auto& list = page.classes[page.nextClass - 1].lists[page.nextList - 1];
    if (page.nextItem >= list.size()) return Err::BufferEmpty;
    name = list[page.nextItem++];
    return 0;
}

Result TakeAttrDef(AttrDefPage& page, std::string& name, AttrDefRecord& record) {
    if (page.next >= page.definitions.size()) return Err::BufferEmpty;
    const PageAttrDef& definition = page.definitions[page.next++];
    name = definition.name;
    if (page.kind == AttrInfoKind::Definitions) record = definition.record;
    return 0;
}

}  // namespace vellrun::client::image
