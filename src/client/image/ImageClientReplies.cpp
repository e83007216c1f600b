// The embedded directory's reply calls: listing, reading attributes and
// reading the schema. Each call checks its context and buffer and takes the
// next item of a reply page that ImageClientReads.cpp built.

#include "client/image/ImageClient.h"
#include "client/image/ImageClientState.h"

namespace vellrun::client::image {

// --- Listing ----------------------------------------------------------------

Result ImageClient::ListSubordinates(ContextHandle context, std::string_view container,
                                     int32_t& continuation, BufferHandle reply) {
    ContextState* c = nullptr;
    BufferState* out = nullptr;
    if (Result r = CallBuffers(*state_, context, reply, c, out); r != 0) return r;
    return ListPageOf(*state_, context, *c, container, continuation, *out);
}

Result ImageClient::GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return EntryCountIn(*state_, context, reply, count);
}

Result ImageClient::GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                                 uint32_t& attributeCount, EntryRecord& record) {
    return NextEntryIn(*state_, context, reply, name, attributeCount, record);
}

// --- Reading ----------------------------------------------------------------

Result ImageClient::Read(ContextHandle context, std::string_view object, ReadKind kind,
                         bool allAttributes, BufferHandle request, int32_t& continuation,
                         BufferHandle reply) {
    ContextState* c = nullptr;
    BufferState* out = nullptr;
    const BufferState* in = nullptr;
    if (Result r = CallBuffers(*state_, context, reply, allAttributes, request, Operation::Read, c,
                               out, in);
        r != 0) {
        return r;
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
    return AttrCountIn<ReadPage>(*state_, context, reply, count);
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

Result ImageClient::ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                         BufferHandle request, int32_t& continuation,
                                         BufferHandle reply) {
    ContextState* c = nullptr;
    BufferState* out = nullptr;
    const BufferState* in = nullptr;
    if (Result r = CallBuffers(*state_, context, reply, allClasses, request,
                               Operation::ReadClassDefinitions, c, out, in);
        r != 0) {
        return r;
    }
    return ClassPageOf(*state_, context, *c, kind, allClasses, in, continuation, *out);
}

Result ImageClient::GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return ClassDefCountIn(*state_, context, reply, count);
}

Result ImageClient::GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                                ClassDefRecord& record) {
    return ClassDefIn(*state_, context, reply, name, record);
}

Result ImageClient::GetClassItemCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return ClassItemCountIn(*state_, context, reply, count);
}

Result ImageClient::GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) {
    return ClassItemIn(*state_, context, reply, name);
}

Result ImageClient::ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind,
                                        bool allAttributes, BufferHandle request,
                                        int32_t& continuation, BufferHandle reply) {
    ContextState* c = nullptr;
    BufferState* out = nullptr;
    const BufferState* in = nullptr;
    if (Result r = CallBuffers(*state_, context, reply, allAttributes, request,
                               Operation::ReadAttrDefinitions, c, out, in);
        r != 0) {
        return r;
    }
    return AttrDefPageOf(*state_, context, *c, kind, allAttributes, in, continuation, *out);
}

Result ImageClient::GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                               AttrDefRecord& record) {
    return AttrDefIn(*state_, context, reply, name, record);
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
