// Listings of one container, page by page, and the walks built on them.

#include "directory/DirectoryAccess.h"
#include "directory/DirectoryNames.h"
#include "platform/BusyCursorScope.h"

namespace vellrun::directory {

namespace {

// Frees what a listing cursor still holds when the scope ends, also when a
// callback or the event pump throws, so that no context or buffer is left behind.
class CursorCloser {
public:
    CursorCloser(DirectoryAccess& access, TNDSObj& cursor) : access_(access), cursor_(cursor) {}
    ~CursorCloser() { access_.DSListClose(cursor_); }
    CursorCloser(const CursorCloser&) = delete;
    CursorCloser& operator=(const CursorCloser&) = delete;

private:
    DirectoryAccess& access_;
    TNDSObj& cursor_;
};

}  // namespace

using client::ContextHandle;
using client::Result;

namespace {

bool ClassMatches(std::string_view filter, std::string_view baseClass) {
    return filter.empty() || filter == "*" || filter == baseClass;
}

Result EndToSuccess(Result result) {
    return result == client::Err::EndOfListing ? 0 : result;
}

}  // namespace

Result DirectoryAccess::DSListOpen(ContextHandle context, std::string_view container,
                                   TNDSObj& cursor) {
    // A cursor that still holds a listing gives it back before it is blanked.
    DSListClose(cursor);
    cursor = TNDSObj{};
    const std::string full = DSFullName(container);

    client::ContextHandle copy{};
    Result result = client_.DuplicateContext(context, copy);
    if (result != 0) return result;
    cursor.context = copy;
    result =
        DSSetContextFlag(copy, "+", client::ContextFlag::Canonical | client::ContextFlag::Typeless);
    if (result == 0) result = client_.SetContextNumber(copy, client::ContextKey::Confidence, 0);
    if (result == 0) {
        result = client_.SetContextText(copy, client::ContextKey::NameContext, DSStripDot(full));
    }
    if (result == 0) {
        client::BufferHandle reply{};
        result = client_.AllocBuffer(client::kListReplySize, reply);
        if (result == 0) cursor.reply = reply;
    }
    if (result == 0) {
        cursor.continuation = client::kNoContinuation;
        cursor.container = full;
        result = FetchListPage(cursor);
    }
    if (result != 0) {
        DSListClose(cursor);
        return result;
    }
    if (cursor.entriesInPage > 0) return TakeListEntry(cursor);
    return 0;
}

Result DirectoryAccess::DSListNext(TNDSObj& cursor) {
    if (cursor.context == client::ContextHandle{} && cursor.reply == client::BufferHandle{}) {
        cursor.entryName.clear();
        return client::Err::EndOfListing;
    }
    if (cursor.entriesTaken >= cursor.entriesInPage) {
        feedback_.ProcessPendingEvents();
        if (cursor.continuation == client::kNoContinuation) {
            DSListClose(cursor);
            cursor.entryName.clear();
            return client::Err::EndOfListing;
        }
        const Result result = FetchListPage(cursor);
        if (result != 0) return result;
        if (cursor.entriesInPage == 0) return 0;
    }
    feedback_.ProcessPendingEvents();
    return TakeListEntry(cursor);
}

void DirectoryAccess::DSListClose(TNDSObj& cursor) {
    if (cursor.reply != client::BufferHandle{}) client_.FreeBuffer(cursor.reply);
    if (cursor.context != client::ContextHandle{}) client_.FreeContext(cursor.context);
    cursor.reply = client::BufferHandle{};
    cursor.context = client::ContextHandle{};
}

Result DirectoryAccess::FetchListPage(TNDSObj& cursor) {
    // Until an entry of the new page is taken, the cursor stands on none, so
    // an empty page never repeats the previous entry.
    cursor.entryName.clear();
    cursor.entry = client::EntryRecord{};
    cursor.attributeCount = 0;
    cursor.entriesInPage = 0;
    cursor.entriesTaken = 0;
    Result result = client_.ListSubordinates(cursor.context, cursor.container, cursor.continuation,
                                             cursor.reply);
    if (result != 0) return result;
    uint32_t count = 0;
    result = client_.GetEntryCount(cursor.context, cursor.reply, count);
    if (result != 0) return result;
    cursor.entriesInPage = count;
    return 0;
}

Result DirectoryAccess::TakeListEntry(TNDSObj& cursor) {
    std::string name;
    uint32_t attributeCount = 0;
    client::EntryRecord record;
    const Result result =
        client_.GetNextEntry(cursor.context, cursor.reply, name, attributeCount, record);
    ++cursor.entriesTaken;
    if (result != 0) {
        cursor.entryName.clear();
        cursor.entry = client::EntryRecord{};
        return result;
    }
    cursor.entryName = std::move(name);
    cursor.attributeCount = attributeCount;
    cursor.entry = std::move(record);
    return 0;
}

Result DirectoryAccess::DSListContainer(ContextHandle context, std::string_view container,
                                        platform::StringList* containerNames,
                                        platform::CancelFlag& cancel,
                                        platform::StringList& entryLines) {
    platform::BusyCursorScope busy(feedback_);
    cancel.Clear();
    TNDSObj cursor;
    CursorCloser closer(*this, cursor);
    Result result = DSListOpen(context, container, cursor);
    while (result == 0) {
        feedback_.ProcessPendingEvents();
        if (cursor.HasEntry()) {
            if (containerNames != nullptr &&
                (cursor.entry.flags & client::EntryFlag::Container) != 0) {
                containerNames->Add(cursor.entryName);
            }
            const std::string prefix = cursor.entry.baseClass + ": ";
            entryLines.Add(prefix + cursor.entryName, static_cast<int64_t>(prefix.size()));
        }
        result = DSListNext(cursor);
        if (cancel.IsSet()) break;
    }
    return EndToSuccess(result);
}

Result DirectoryAccess::DSWalkContainer(ContextHandle context, std::string_view container,
                                        bool recurse, platform::CancelFlag& cancel,
                                        const WalkCallback& callback,
                                        std::string_view classFilter) {
    platform::BusyCursorScope busy(feedback_);
    return WalkLevel(context, container, recurse, cancel, callback, classFilter);
}

Result DirectoryAccess::WalkLevel(ContextHandle context, std::string_view container, bool recurse,
                                  platform::CancelFlag& cancel, const WalkCallback& callback,
                                  std::string_view classFilter) {
    TNDSObj cursor;
    CursorCloser closer(*this, cursor);
    Result result = DSListOpen(context, container, cursor);
    // A subcontainer that cannot be listed whole does not stop the walk
    // (unless the server is lost): it goes on with the next entry, and the
    // first such failure is the walk's result, so that a report missing a
    // part of the tree does not pass for a whole one.
    Result below = 0;
    while (result == 0 && !cancel.IsSet()) {
        if (cursor.HasEntry()) {
            if (recurse && (cursor.entry.flags & client::EntryFlag::Container) != 0) {
                const std::string inner = DSComposeName(container, cursor.entryName);
                // An entry whose name composes back to its container's (one
                // a client gave as a special name, "[Root]" at the top) would
                // be walked into for ever: it is reported, not stepped into,
                // and the walk says it is not whole.
                const Result level = inner == container ? client::Err::IllegalDsName
                                                        : WalkLevel(context, inner, recurse, cancel,
                                                                    callback, classFilter);
                // A server gone (or one that let the wait run out) would fail
                // every listing after this one as slowly: the walk ends here.
                if (level == client::Err::TransportFailure) return level;
                if (below == 0) below = level;
                // Cancelled below: the container itself is not reported either.
                if (cancel.IsSet()) break;
            }
            if (ClassMatches(classFilter, cursor.entry.baseClass)) {
                callback(cursor.container, cursor);
            }
        }
        feedback_.ProcessPendingEvents();
        result = DSListNext(cursor);
    }
    result = EndToSuccess(result);
    return result != 0 ? result : below;
}

}  // namespace vellrun::directory
