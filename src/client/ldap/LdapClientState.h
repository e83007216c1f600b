#pragma once

// The inner state of LdapClient: sessions, contexts, buffers with their
// request items or reply pages, open continuations, entries a listing fetched
// for the reads that follow, and open streams. Private to the LDAP client's
// implementation files.

#include "client/image/SchemaPages.h"
#include "client/ldap/LdapClient.h"
#include "client/ldap/LdapValues.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <variant>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

namespace vellrun::client::ldap {

// Which aliases a name follows when its context dereferences them: none
// (names inside values, canonical names), those on the way to the object but
// not the object itself (removal), or all of them.
enum class Aliases { Kept, Path, All };

struct LdapContext : ContextSettings {
    size_t session = 0;
};

struct PageValue {
    AttrValue value;
    uint32_t flags = 0;
};
struct PageAttribute {
    std::string name;
    SyntaxId syntax = 0;
    std::vector<PageValue> values;
};
struct ReadPage {
    ReadKind kind = ReadKind::Values;
    std::vector<PageAttribute> attributes;
    size_t nextAttribute = 0;
    bool haveCurrent = false;
    size_t nextValue = 0;

    size_t AttributeCount() const { return attributes.size(); }
};

// The schema reply pages are the embedded directory's.
using image::AttrDefPage;
using image::ClassPage;
using image::PageAttrDef;
using image::PageClass;
using image::SchemaIteration;

// One attribute of a fetched entry, borrowed from the entry for one read.
struct EntryAttribute {
    std::string_view ldapName;
    const FoundEntry::Values* texts = nullptr;
};

struct BufferState : RequestBuffer {
    std::variant<std::monostate, ListPage, ReadPage, ClassPage, AttrDefPage> reply;

    // A reply's values go at once.
    void DropReply() { reply = std::monostate{}; }
    // The reply page of this kind, or null.
    template <typename Page>
    Page* Reply() {
        return std::get_if<Page>(&reply);
    }
};

// Where an interrupted listing goes on: the server's cookie, and entries the
// server sent that did not fit into the caller's buffer yet.
struct ListIteration {
    std::string containerDn;
    std::string cookie;
    std::deque<FoundEntry> waiting;
    bool serverDone = false;
    Result limit = 0;  // a size or time limit the server reported, told once the rest is out
    // The attributes this search fetches: a paged search goes on with the
    // request it began with, so when the reads teach it more attributes it
    // starts again and passes over the entries already delivered.
    std::vector<std::string> fetched;
    // The DNs handed out so far, each entry once: every DN in one text, each
    // behind its length. Only a search begun again can send one of them a
    // second time, so only then are they looked up: `again` holds the folded
    // DNs handed out before it began, each until the search sends it.
    std::string delivered;
    std::unordered_set<std::string> again;
    std::string folded;  // room for the DN looked up
    void Delivered(std::string_view dn);
    void BeginAgain();
    bool WasDelivered(std::string_view dn);
};
// A read whose attributes did not fit: what is left, already parsed.
struct ReadIteration {
    ReadKind kind = ReadKind::Values;
    std::vector<PageAttribute> attributes;
    size_t attribute = 0;
    size_t value = 0;
};
struct Iteration {
    ContextHandle owner{};
    std::variant<ListIteration, ReadIteration, SchemaIteration> where;
};

struct LdapClient::State {
    std::vector<LdapConnectionConfig> configured;
    int primary = 0;
    // Why the last request to any of the servers failed (its sessions note it).
    FailureNote lastFailure;
    std::vector<std::unique_ptr<LdapSession>> sessions;
    bool started = false;
    bool startupCancelled = false;  // the last start failed because a wait was cancelled
    // Why the start failed; after a start, what the person should know of it
    // (the trees whose base the server does not hold).
    std::string diagnostic;

    std::map<ContextHandle, LdapContext> contexts;
    std::map<BufferHandle, BufferState> buffers;
    // Freed contexts and buffers, kept to be handed out again: a report
    // duplicates a context and takes two buffers for every cell it reads.
    std::vector<decltype(contexts)::node_type> spareContexts;
    std::vector<decltype(buffers)::node_type> spareBuffers;
    // The handles found last, with what they stand for: a cell's read asks
    // for its context copy and its two buffers again and again.
    std::pair<ContextHandle, LdapContext*> lastContext{};
    std::array<std::pair<BufferHandle, BufferState*>, 2> lastBuffers{};
    std::map<int32_t, Iteration> iterations;
    std::map<StreamHandle, OpenStreamState<std::string>> streams;
    uint32_t nextHandle = 1;
    int32_t nextIteration = 1;

    // Learnt from the reads of listed objects: what the next listing pages
    // fetch, each until the reads no longer ask for it (a report on other
    // attributes, or the tree browser's listings, would fetch it for nothing).
    struct LearntAttribute {
        std::string name;   // the LDAP name
        size_t unread = 0;  // entries listed with it since a read last asked for it
    };
    std::vector<LearntAttribute> learntAttributes;
    // A read asked for the attribute of a listed entry.
    void AskedFor(std::string_view attribute);
    // The names of learntAttributes (each once, whatever its case).
    std::vector<std::string> LearntNames() const;
    // Entries a listing fetched with the learnt attributes, by folded DN,
    // oldest first; reads of those attributes are answered from here.
    struct Prefetch {
        FoundEntry entry;
        // LDAP names the listing asked for, shared by the entries of one page.
        std::shared_ptr<const std::vector<std::string>> fetched;
        std::string key;      // the folded DN
        bool current = true;  // false once forgotten or replaced
        size_t at = 0;        // its place, counted from the first entry ever kept
    };
    // The entries in the order they came (a deque keeps them in place as it
    // grows at one end and shrinks at the other), found by their keys: the
    // index holds a view of the key of the entry it finds. An entry forgotten
    // or replaced leaves the index and stays in the order until its turn to go.
    std::deque<Prefetch> prefetchOrder;
    size_t prefetchBytes = 0;  // what the entries in prefetchOrder hold
    absl::flat_hash_map<std::string_view, Prefetch*> prefetched;
    // The place of the next entry kept and of the entry found last: a walk
    // reads the entries in the order the listing kept them, so the entry
    // after that one is tried before the keys are looked up.
    size_t prefetchPlaces = 0;
    size_t prefetchFoundAt = 0;
    std::string foldedDn;  // room for the key looked up
    // The entry the last read found there, by its DN as given: the reads of
    // one object's cells come one after another.
    Prefetch* lastPrefetch = nullptr;
    std::string lastPrefetchDn;
    Prefetch* FindPrefetched(const std::string& dn);
    // Entries a listing found without subordinates (the server said
    // hasSubordinates FALSE, or a count of 0), by session and folded DN. A
    // recursive walk lists every entry whose class may hold others, each soon
    // after its container's page came: the first listing of such an entry is
    // asked without paging (so the listing of its container keeps the
    // server's paging), and the note is used up. Each key holds its leaf's
    // place in leafOrder.
    absl::flat_hash_map<std::string, uint64_t> knownLeaves;
    std::string leafKey;  // room for the key looked up
    void NoteLeaf(size_t session, std::string_view dn);
    // Whether a listing said the entry has no subordinates since it was last
    // listed: if so, where the leaves after it stand in leafOrder (the ones
    // the walk comes to next), else nothing.
    std::optional<size_t> TakeLeaf(size_t session, std::string_view dn);
    // The leaves noted, in the order their listings came: the order a walk
    // steps into them. A leaf noted again moves to the end (its old place
    // stays, no longer current); places that are no longer current leave
    // from the front.
    struct NotedLeaf {
        size_t session = 0;
        std::string dn;
        uint64_t place = 0;  // counted from the first leaf ever noted
        bool current = true;
        // How many attributes its listing was sent ahead with; 0: not sent.
        size_t sentWith = 0;
    };
    std::deque<NotedLeaf> leafOrder;
    uint64_t leafPlaces = 0;  // the place of the next leaf noted
    NotedLeaf* LeafAt(uint64_t place);
    // Typeless dotted names (folded, absolute) to the DNs seen, for names
    // that come without their types, one set for each session: two trees
    // may hold the same names for other entries (or the same DNs, for
    // entries that differ). Each name once, in the order first seen (a name
    // whose entry was removed keeps its place, emptied, until the oldest
    // go), found by its key, a view of the name's own. A name two entries
    // share (cn=x and ou=x under one parent) is ambiguous: it stands for
    // neither.
    struct KnownName {
        std::string key;
        std::string dn;
        bool ambiguous = false;
    };
    struct SessionNames {
        // The most names kept; the oldest go first. A walk resolves the names
        // of each listing page right after it.
        static constexpr size_t kLimit = size_t{1} << 17;
        std::deque<KnownName> knownNames;
        absl::flat_hash_map<std::string_view, KnownName*> knownDns;
        // The entries that share their typeless name with a sibling, by their
        // folded DNs as DnText writes them: a typeless context names them (and
        // the names below them) by their typed relative names.
        std::unordered_set<std::string> clashingDns;
        // The DN of the name, or null when it is not known or ambiguous.
        const std::string* KnownDn(std::string_view key) const;
        // Files the name; true when it became ambiguous with this DN.
        bool SetKnownDn(std::string key, const std::string& dn);
        bool Clashing(const Name& dn) const;
    };
    std::vector<SessionNames> sessionNames;  // one for each session
    SessionNames& NamesOf(const LdapContext& context) { return sessionNames[context.session]; }
    // Forgets the names of an entry removed.
    void ForgetNamesOf(const LdapContext& context, const std::string& dn);
    // Forgets what was learnt of the trees: names, entries fetched ahead and
    // the attributes the listings fetch. The directory may have changed
    // behind the client (another program renamed or removed entries).
    void ForgetKept();
    Name rememberRoom;  // kept between the entries remembered
    // The name ToDn resolved last, as the context saw it.
    struct ResolvedName {
        size_t session = 0;
        uint32_t flags = 0;
        Aliases aliases = Aliases::Kept;
        std::string nameContext;
        std::string name;
        std::string dn;
    };
    ResolvedName lastResolved;
    // Kept between reads so that a cell's read allocates as little as it can:
    // the attributes of the last read page freed (emptied, with their room),
    // and how names inside values map for the context and schema read last.
    std::string readDn;
    std::vector<std::string> readWanted;
    std::vector<EntryAttribute> readView;
    std::vector<PageAttribute> spareAttributes;
    // An entry's objectClass values with their superclasses, for one read.
    std::vector<std::string> classChain;
    std::vector<std::string_view> classChainTexts;
    void KeepSpare(std::vector<PageAttribute>& attributes);
    ValueNames readNames;
    const LdapContext* readNamesContext = nullptr;
    const LdapSchema* readNamesSchema = nullptr;

    ErrorTextTable errorTexts;
    LdapClientStatistics statistics;

    // A call that may go to a server starts without the reason of an earlier
    // one, so that the reason of its failure is its own or none.
    State& NewCall() {
        lastFailure = {};
        return *this;
    }
    uint32_t NewHandle() { return nextHandle++; }
    int32_t NewIteration(ContextHandle owner, decltype(Iteration::where) where);
    LdapContext* FindContext(ContextHandle context);
    BufferState* FindBuffer(BufferHandle buffer);
    LdapSession& SessionOf(const LdapContext& context) { return *sessions[context.session]; }

    // A program name as the context sees it to a DN; typeless names are looked
    // up among the names seen, else found by walking down from the top.
    // Aliases are followed as aliases says, the embedded directory's way: at
    // most kMaxAliasHops of them, else Err::AliasOfAlias.
    Result ToDn(const LdapContext& context, std::string_view name, std::string& dn,
                Aliases aliases = Aliases::Kept);
    Result ResolveDn(const LdapContext& context, std::string_view name, std::string& dn,
                     bool followPath, int& hops);
    // dn, or where its aliases lead: those on the way (an entry the server
    // could not find under an alias), and the entry itself with followFinal.
    Result FollowAliases(LdapSession& session, std::string& dn, bool followFinal, int& hops);
    // A DN to the program's full name as the context shows it ("[Root]" for the base).
    std::string FromDn(const LdapContext& context, std::string_view dn);
    // How the context shows the attribute types of a DN.
    std::function<std::string(std::string_view)> TypeNames(const LdapContext& context);
    // The relative name of a DN's object as the context shows it: an entry
    // that shares its typeless name with a sibling keeps its type.
    std::string RelativeNameOf(const LdapContext& context, const Name& dn);
    std::string RelativeNameOf(const LdapContext& context, const Name& dn,
                               const std::function<std::string(std::string_view)>& typeNames);
    void Remember(const LdapContext& context, const std::string& dn);
    void Remember(const LdapContext& context, const std::string& dn, const Name& parsed);
    // The DN parsed (empty when it does not parse); the last one is kept, as
    // the reads of one object come one after another.
    const Name& ParsedDn(const std::string& dn);
    std::pair<std::string, Name> lastParsed;
    // How names inside values map for this context. With unresolved, the
    // first name that resolves to no entry and is no LDAP DN either leaves
    // the failure there (it is still written as it was given).
    ValueNames NamesFor(const LdapContext& context, const LdapSchema& schema,
                        Result* unresolved = nullptr);

    Result SchemaOf(const LdapContext& context, const LdapSchema*& schema);
    // The attributes of an entry (its DN and the attributes read, as the
    // server sent them) as reply items of the program.
    std::vector<PageAttribute> Attributes(const LdapContext& context, const LdapSchema& schema,
                                          const std::string& entryDn,
                                          std::span<const EntryAttribute> entry, ReadKind kind);
    EntryRecord RecordOf(const LdapContext& context, const LdapSchema& schema,
                         const FoundEntry& entry);
    // Keeps a fetched entry for the reads after it; the entry as kept.
    Prefetch& Prefetched(FoundEntry entry, std::shared_ptr<const std::vector<std::string>> fetched);
    void Forget(const std::string& dn);
};

// The attributes a listing asks for to fill an entry's record.
const std::vector<std::string>& RecordAttributes();

// Reads (LdapClientReads.cpp).
Result ListPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                  std::string_view container, int32_t& continuation, BufferState& reply);
Result ReadPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                  std::string_view object, ReadKind kind, bool allAttributes,
                  const BufferState* request, int32_t& continuation, BufferState& reply);
Result ClassPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                   ClassInfoKind kind, bool allClasses, const BufferState* request,
                   int32_t& continuation, BufferState& reply);
Result AttrDefPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                     AttrInfoKind kind, bool allAttributes, const BufferState* request,
                     int32_t& continuation, BufferState& reply);

}  // namespace vellrun::client::ldap
