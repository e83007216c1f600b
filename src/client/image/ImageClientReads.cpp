// Reply pages of the embedded directory: listings, attribute reads and schema
// reads. Each page takes as many entries as fit into the caller's reply
// buffer; what does not fit waits behind a continuation.

#include "client/image/ImageClientState.h"

#include <algorithm>
#include <optional>

namespace vellrun::client::image {
Result ListPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                  std::string_view container, int32_t& continuation, BufferState& reply) {
    ListIteration* resumed = nullptr;
    if (Result r = ResumeIteration(state, handle, continuation, resumed); r != 0) return r;
    Entry* parent = nullptr;
    if (resumed) {
        parent = resumed->container == "[Root]" ? context.tree->root.get()
                                                : context.tree->Find(resumed->container);
        if (!parent) return Err::NoSuchEntry;
    } else if (Result r = state.Resolve(context, container, true, parent); r != 0) {
        return r;
    }
    ++state.statistics.listPages;
    ListPage& page = reply.NewReply<ListPage>();
    size_t position = resumed ? resumed->position : 0;
    size_t used = kPageHeader;
    const bool typeless = context.Typeless();
    while (position < parent->children.size()) {
        const Entry& child = *parent->children[position];
        ListedEntry listed;
        listed.name = typeless || child.namingType.empty()
                          ? child.name
                          : child.namingType.str() + "=" + child.name;
        listed.attributeCount = static_cast<uint32_t>(child.attributes.size());
        listed.record = state.RecordOf(*context.tree, child);
        const size_t cost = kEntryFixed + TextCost(listed.name) + TextCost(listed.record.baseClass);
        if (used + cost > reply.capacity) {
            if (page.entries.empty()) {
                reply.hasReply = false;
                return Err::InsufficientBuffer;
            }
            break;
        }
        used += cost;
        page.entries.push_back(std::move(listed));
        ++position;
    }
    ListIteration after{};
    const bool more = position < parent->children.size();
    if (more) after = ListIteration{Tree::FullName(*parent, true), position};
    FinishPage(state, handle, continuation, more ? &after : nullptr);
    return 0;
}

namespace {

// Fills a read page with the attributes from `attribute` on, the first of
// them from its value `value` on; attributeAt(i) is the i-th attribute of
// the read, null once it is gone. On return the two say where the next page
// starts.
template <typename AttributeAt>
Result FillReadPage(const ContextState& context, ReadKind kind, size_t attributeCount,
                    const AttributeAt& attributeAt, size_t& attribute, size_t& value,
                    BufferState& reply) {
    ReadPage& page = reply.NewReply<ReadPage>();
    page.kind = kind;
    page.tree = context.tree;
    page.typeless = context.Typeless();
    size_t used = kPageHeader;
    const size_t perValue = kValueFixed + (kind == ReadKind::ValuesWithInfo ? kValueInfo : 0);
    bool full = false;
    while (attribute < attributeCount && !full) {
        const StoredAttribute* stored = attributeAt(attribute);
        if (!stored || stored->values.empty()) {  // gone since the last page
            ++attribute;
            value = 0;
            continue;
        }
        const size_t headerCost = kAttributeFixed + TextCost(stored->name);
        if (used + headerCost > reply.capacity) break;
        PageAttribute& taken = page.NewAttribute(stored);
        size_t cost = headerCost;
        if (kind != ReadKind::Names) {
            PackedValues::Reader values(stored->values);
            for (size_t i = 0; i < value && !values.AtEnd(); ++i)
                values.Skip();
            while (!values.AtEnd()) {
                PageValue& next = page.NewValue();
                values.NextHead(next.head);
                const size_t valueCost = perValue + next.head.recordSize;
                if (used + cost + valueCost > reply.capacity) {
                    --page.valueCount;
                    full = true;
                    break;
                }
                cost += valueCost;
                ++taken.count;
                ++value;
            }
            if (full && taken.count == 0) {
                --page.attributeCount;
                if (page.attributeCount == 0) {
                    reply.hasReply = false;
                    return Err::InsufficientBuffer;
                }
                break;
            }
        }
        used += cost;
        if (!full) {
            ++attribute;
            value = 0;
        }
    }
    if (page.attributeCount == 0 && attribute < attributeCount) {
        reply.hasReply = false;
        return Err::InsufficientBuffer;
    }
    return 0;
}

// A page after the first: the object and its attributes are found again by
// name, since the directory may have changed in between. Out of line: later
// pages are rare, and the first page's path stays short without them.
[[gnu::noinline]] Result ReadNextPageOf(ImageClient::State& state, ContextHandle handle,
                                        ContextState& context, int32_t& continuation,
                                        BufferState& reply) {
    ReadIteration* resumed = nullptr;
    if (Result r = ResumeIteration(state, handle, continuation, resumed); r != 0) return r;
    ReadIteration where = *resumed;
    Entry* entry =
        where.object == "[Root]" ? context.tree->root.get() : context.tree->Find(where.object);
    if (!entry) return Err::NoSuchEntry;
    ++state.statistics.readPages;
    const auto attributeAt = [&](size_t i) { return entry->FindAttribute(where.attributes[i]); };
    if (Result r = FillReadPage(context, where.kind, where.attributes.size(), attributeAt,
                                where.attribute, where.value, reply);
        r != 0) {
        return r;
    }
    const bool more = where.attribute < where.attributes.size();
    FinishPage(state, handle, continuation, more ? &where : nullptr);
    return 0;
}

}  // namespace

Result ReadPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                  std::string_view object, ReadKind kind, bool allAttributes,
                  const BufferState* request, int32_t& continuation, BufferState& reply) {
    if (continuation != kNoContinuation)
        return ReadNextPageOf(state, handle, context, continuation, reply);
    Entry* entry = nullptr;
    if (Result r = state.Resolve(context, object, true, entry); r != 0) return r;
    // The attributes the read covers. Attributes without values (added but
    // not yet given one) are not there for a read.
    std::vector<const StoredAttribute*>& found = state.readFound;
    found.clear();
    const auto take = [&](const StoredAttribute* attribute) {
        if (attribute && !attribute->values.empty()) found.push_back(attribute);
    };
    if (allAttributes) {
        for (const auto& attribute : entry->attributes)
            take(&attribute);
    } else {
        for (const auto& name : request->request.Names())
            take(entry->FindAttribute(name, state.AttributeHint(name)));
        if (found.empty()) return Err::NoSuchAttribute;
    }
    ++state.statistics.readPages;
    size_t attribute = 0;
    size_t value = 0;
    const auto attributeAt = [&](size_t i) { return found[i]; };
    if (Result r = FillReadPage(context, kind, found.size(), attributeAt, attribute, value, reply);
        r != 0) {
        return r;
    }
    // The names are written into an iteration only when a next page needs them.
    if (attribute < found.size()) {
        ReadIteration where{Tree::FullName(*entry, true), kind, {}, attribute, value};
        for (const StoredAttribute* stored : found)
            where.attributes.push_back(stored->name);
        continuation = state.NewIteration(handle, std::move(where));
    }
    return 0;
}

Result ClassPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                   ClassInfoKind kind, bool allClasses, const BufferState* request,
                   int32_t& continuation, BufferState& reply) {
    if (!context.tree) return Err::NoSuchTree;
    const Schema& schema = context.tree->schema;
    const auto find = [&](const std::string& name) { return schema.FindClass(name); };
    ClassPage page;
    page.kind = kind;
    const Result result = PageSchema(
        state, handle, continuation, reply.capacity,
        [&](std::vector<std::string>& names) {
            return SchemaNames(schema.classes, allClasses, RequestedNames(request), find,
                               Err::NoSuchClass, names);
        },
        [&](const std::string& name, size_t& cost) {
            return DescribeClass(find(name), kind, cost);
        },
        page.classes);
    if (result != 0) return result;
    reply.NewReply<decltype(page)>() = std::move(page);
    return 0;
}

Result AttrDefPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                     AttrInfoKind kind, bool allAttributes, const BufferState* request,
                     int32_t& continuation, BufferState& reply) {
    if (!context.tree) return Err::NoSuchTree;
    const Schema& schema = context.tree->schema;
    const auto find = [&](const std::string& name) { return schema.FindAttribute(name); };
    AttrDefPage page;
    page.kind = kind;
    const Result result = PageSchema(
        state, handle, continuation, reply.capacity,
        [&](std::vector<std::string>& names) {
            return SchemaNames(schema.attributes, allAttributes, RequestedNames(request), find,
                               Err::NoSuchAttribute, names);
        },
        [&](const std::string& name, size_t& cost) {
            return DescribeAttribute(find(name), kind, cost);
        },
        page.definitions);
    if (result != 0) return result;
    reply.NewReply<decltype(page)>() = std::move(page);
    return 0;
}

}  // namespace vellrun::client::image
