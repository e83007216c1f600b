// The embedded directory's reply calls: listing, reading attributes and
// reading the schema. Each call checks its context and buffer and takes the
// next item of a reply page that ImageClientReads.cpp built.

#include "client/image/ImageClient.h"
#include "client/image/ImageClientState.h"

namespace vellrun::client::image {

// --- Listing ----------------------------------------------------------------

Result ImageClient::ListSubordinates(ContextHandle context, std::string_view container,
                                     int32_t& continuation, BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* b = state_->FindBuffer(reply);
    if (!b) return Err::InvalidHandle;
    return ListPageOf(*state_, context, *c, container, continuation, *b);
}

Result ImageClient::GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    ListPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    count = static_cast<uint32_t>(page->entries.size());
    return 0;
}

Result ImageClient::GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                                 uint32_t& attributeCount, EntryRecord& record) {
    ListPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->next >= page->entries.size()) return Err::BufferEmpty;
    const ListedEntry& entry = page->entries[page->next++];
    name = entry.name;
    attributeCount = entry.attributeCount;
    record = entry.record;
    return 0;
}

// --- Reading ----------------------------------------------------------------

Result ImageClient::Read(ContextHandle context, std::string_view object, ReadKind kind,
                         bool allAttributes, BufferHandle request, int32_t& continuation,
                         BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* out = state_->FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    const BufferState* in = nullptr;
    if (!allAttributes) {
        in = state_->FindBuffer(request);
        if (!in) return Err::InvalidHandle;
        if (!in->prepared || in->request.operation != Operation::Read) return Err::BadVerb;
    }
    return ReadPageOf(*state_, context, *c, object, kind, allAttributes, in, continuation, *out);
}

namespace {

// The attribute taken last, whose values are being taken, or null.
PageAttribute* CurrentAttribute(ReadPage& page) {
    if (!page.haveCurrent || page.nextAttribute == 0) return nullptr;
    return &page.attributeRoom[page.nextAttribute - 1];
}

}  // namespace

Result ImageClient::GetAttrCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    if (!state_->FindContext(context)) return Err::BadContext;
    BufferState* b = state_->FindBuffer(reply);
    if (!b) return Err::InvalidHandle;
    if (auto* page = b->Reply<ReadPage>()) {
        count = static_cast<uint32_t>(page->attributeCount);
        return 0;
    }
    if (auto* page = b->Reply<AttrDefPage>()) {
        count = static_cast<uint32_t>(page->definitions.size());
        return 0;
    }
    return Err::BadVerb;
}

Result ImageClient::GetAttrName(ContextHandle context, BufferHandle reply, std::string& name,
                                uint32_t& valueCount, SyntaxId& syntax) {
    ReadPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->nextAttribute >= page->attributeCount) return Err::BufferEmpty;
    // Values of the previous attribute that were not taken are passed over.
    const PageAttribute& attribute = page->attributeRoom[page->nextAttribute++];
    page->haveCurrent = true;
    page->nextValue = 0;
    // From the stored text itself: a copy of one string into another is
    // cheaper than one from a view.
    name = attribute.stored ? attribute.stored->name.str() : attribute.name;
    syntax = attribute.Syntax();
    valueCount = page->kind == ReadKind::Names ? 0 : static_cast<uint32_t>(attribute.count);
    return 0;
}

namespace {

// Taken twice for every value (its size, then the value): kept inline.
[[gnu::always_inline]] inline Result NextValue(ImageClient::State& state, ContextHandle context,
                                               BufferHandle reply, ReadPage*& page,
                                               PageValue*& value, bool* shownAsStored = nullptr) {
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    PageAttribute* attribute = CurrentAttribute(*page);
    if (!attribute || page->nextValue >= attribute->count) return Err::BufferEmpty;
    value = &page->Value(*attribute, page->nextValue);
    // A detached value is already shown as the reader sees it; a value still
    // in the directory is when it holds no names, or names need no types.
    if (shownAsStored) {
        *shownAsStored = !attribute->stored || page->typeless ||
                         !HoldsNames(value->head.syntax, value->head.layout);
    }
    return 0;
}

// A value still in the directory as a typed reader sees it, made once for
// its size and its taking.
const AttrValue& ShownValue(ImageClient::State& state, ReadPage& page, PageValue& value) {
    if (page.shownFrom != &value) {
        state.PresentTyped(page.tree, value.Unpacked(), page.shown);
        page.shownFrom = &value;
    }
    return page.shown;
}

}  // namespace

Result ImageClient::ComputeAttrValSize(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                                       size_t& size) {
    ReadPage* page = nullptr;
    PageValue* value = nullptr;
    bool asStored = true;
    if (Result r = NextValue(*state_, context, reply, page, value, &asStored); r != 0) return r;
    if (value->head.syntax != syntax) return Err::BadSyntax;
    size = asStored ? value->Size() : RecordSize(ShownValue(*state_, *page, *value));
    return 0;
}

Result ImageClient::GetAttrVal(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                               AttrValue& value) {
    ReadPage* page = nullptr;
    PageValue* taken = nullptr;
    bool asStored = true;
    if (Result r = NextValue(*state_, context, reply, page, taken, &asStored); r != 0) return r;
    if (taken->head.syntax != syntax) return Err::BadSyntax;
    if (!asStored) {
        value = ShownValue(*state_, *page, *taken);
    } else if (taken->head.record != nullptr) {
        // Unpacked straight into the caller's record, which keeps its room.
        value.syntax = taken->head.syntax;
        PackedValues::UnpackRecord(taken->head, value.record);
    } else {
        value = taken->unpacked;
    }
    ++page->nextValue;
    return 0;
}

namespace {

// The value about to be taken, in a reply that carries value information.
Result NextValueWithInfo(ImageClient::State& state, ContextHandle context, BufferHandle reply,
                         PageValue*& value) {
    ReadPage* page = nullptr;
    if (Result r = NextValue(state, context, reply, page, value); r != 0) return r;
    return page->kind == ReadKind::ValuesWithInfo ? 0 : Err::BadVerb;
}

}  // namespace

Result ImageClient::GetAttrValFlags(ContextHandle context, BufferHandle reply, uint32_t& flags) {
    PageValue* value = nullptr;
    if (Result r = NextValueWithInfo(*state_, context, reply, value); r != 0) return r;
    PackedValues::ReadInfo(value->head);
    flags = value->head.flags;
    return 0;
}

Result ImageClient::GetAttrValModTime(ContextHandle context, BufferHandle reply, TimeStamp& stamp) {
    PageValue* value = nullptr;
    if (Result r = NextValueWithInfo(*state_, context, reply, value); r != 0) return r;
    PackedValues::ReadInfo(value->head);
    stamp = value->head.modified;
    return 0;
}

// --- Schema -----------------------------------------------------------------

namespace {

Result SchemaRequest(ImageClient::State& state, bool all, BufferHandle request, Operation expected,
                     const BufferState*& in) {
    in = nullptr;
    if (all) return 0;
    in = state.FindBuffer(request);
    if (!in) return Err::InvalidHandle;
    if (!in->prepared || in->request.operation != expected) return Err::BadVerb;
    return 0;
}

}  // namespace

Result ImageClient::ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                         BufferHandle request, int32_t& continuation,
                                         BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* out = state_->FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    const BufferState* in = nullptr;
    if (Result r = SchemaRequest(*state_, allClasses, request, Operation::ReadClassDefinitions, in);
        r != 0) {
        return r;
    }
    return ClassPageOf(*state_, context, *c, kind, allClasses, in, continuation, *out);
}

Result ImageClient::GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    count = static_cast<uint32_t>(page->classes.size());
    return 0;
}

Result ImageClient::GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                                ClassDefRecord& record) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    return TakeClassDef(*page, name, record);
}

Result ImageClient::GetClassItemCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    return TakeClassItemCount(*page, count);
}

Result ImageClient::GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    return TakeClassItem(*page, name);
}

Result ImageClient::ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind,
                                        bool allAttributes, BufferHandle request,
                                        int32_t& continuation, BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* out = state_->FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    const BufferState* in = nullptr;
    if (Result r =
            SchemaRequest(*state_, allAttributes, request, Operation::ReadAttrDefinitions, in);
        r != 0) {
        return r;
    }
    return AttrDefPageOf(*state_, context, *c, kind, allAttributes, in, continuation, *out);
}

Result ImageClient::GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                               AttrDefRecord& record) {
    AttrDefPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    return TakeAttrDef(*page, name, record);
}

Result ImageClient::GetSyntaxId(ContextHandle context, std::string_view attribute,
                                SyntaxId& syntax) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    if (!c->tree) return Err::NoSuchTree;
    const AttributeDefinition* definition = c->tree->schema.FindAttribute(attribute);
    if (!definition) return Err::NoSuchAttribute;
    syntax = definition->syntax;
    return 0;
}

}  // namespace vellrun::client::image
