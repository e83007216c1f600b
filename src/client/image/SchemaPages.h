#pragma once

// What a reply buffer costs, and the schema reply pages, shared by both
// backends: the LDAP client costs its pages as the embedded directory does,
// and serves the same schema definitions through the same pages, paged and
// taken by the same calls.

#include "client/BackendState.h"
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

// Where an interrupted schema read goes on.
struct SchemaIteration {
    std::vector<std::string> names;  // what is left to send, in order
    size_t position = 0;
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

// Pages through the schema names a read covers: the first call takes them from
// firstNames, later calls go on behind the continuation. describe gives the
// page item of one definition and its cost, or nothing for a definition that
// has gone since the read began.
template <typename Item, typename State, typename FirstNames, typename Describe>
Result PageSchema(State& state, ContextHandle handle, int32_t& continuation, size_t capacity,
                  FirstNames firstNames, Describe describe, std::vector<Item>& items) {
    SchemaIteration* resumed = nullptr;
    if (Result r = ResumeIteration(state, handle, continuation, resumed); r != 0) return r;
    SchemaIteration where;
    if (resumed) {
        where = *resumed;
    } else if (Result r = firstNames(where.names); r != 0) {
        return r;
    }
    if constexpr (requires { state.statistics.schemaPages; }) ++state.statistics.schemaPages;
    size_t used = kPageHeader;
    while (where.position < where.names.size()) {
        size_t cost = 0;
        std::optional<Item> item = describe(where.names[where.position], cost);
        if (!item) {
            ++where.position;
            continue;
        }
        if (used + cost > capacity) {
            if (items.empty()) return Err::InsufficientBuffer;
            break;
        }
        used += cost;
        items.push_back(std::move(*item));
        ++where.position;
    }
    const bool more = where.position < where.names.size();
    FinishPage(state, handle, continuation, more ? &where : nullptr);
    return 0;
}

// The reply calls that take the next item of a schema page.
Result TakeClassDef(ClassPage& page, std::string& name, ClassDefRecord& record);
Result TakeClassItemCount(ClassPage& page, uint32_t& count);
Result TakeClassItem(ClassPage& page, std::string& name);
Result TakeAttrDef(AttrDefPage& page, std::string& name, AttrDefRecord& record);

// The same as calls of a backend, after checking the context and the buffer.
template <typename State>
Result ClassDefCountIn(State& state, ContextHandle context, BufferHandle reply, uint32_t& count) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    count = static_cast<uint32_t>(page->classes.size());
    return 0;
}
template <typename State>
Result ClassDefIn(State& state, ContextHandle context, BufferHandle reply, std::string& name,
                  ClassDefRecord& record) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    return TakeClassDef(*page, name, record);
}
template <typename State>
Result ClassItemCountIn(State& state, ContextHandle context, BufferHandle reply, uint32_t& count) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    return TakeClassItemCount(*page, count);
}
template <typename State>
Result ClassItemIn(State& state, ContextHandle context, BufferHandle reply, std::string& name) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    return TakeClassItem(*page, name);
}
// The count of attributes of a read page (ReadPage, the backend's), or of
// definitions of a page of attribute definitions.
template <typename ReadPage, typename State>
Result AttrCountIn(State& state, ContextHandle context, BufferHandle reply, uint32_t& count) {
    if (!state.FindContext(context)) return Err::BadContext;
    auto* b = state.FindBuffer(reply);
    if (!b) return Err::InvalidHandle;
    if (auto* page = b->template Reply<ReadPage>()) {
        count = static_cast<uint32_t>(page->AttributeCount());
        return 0;
    }
    if (auto* page = b->template Reply<AttrDefPage>()) {
        count = static_cast<uint32_t>(page->definitions.size());
        return 0;
    }
    return Err::BadVerb;
}
template <typename State>
Result AttrDefIn(State& state, ContextHandle context, BufferHandle reply, std::string& name,
                 AttrDefRecord& record) {
    AttrDefPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    return TakeAttrDef(*page, name, record);
}

}  // namespace vellrun::client::image
