// Reply pages of the LDAP client: listings, attribute reads and schema reads.
// Each page takes as many items as fit into the caller's reply buffer, costed
// as the embedded directory costs them; what the server sent that does not
// fit waits behind the continuation, and the server is asked again only when
// nothing is waiting.

#include "client/ldap/LdapClientState.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include <ldap.h>

namespace vellrun::client::ldap {

using image::kAttributeFixed;
using image::kEntryFixed;
using image::kPageHeader;
using image::kValueFixed;
using image::kValueInfo;
using image::TextCost;

namespace {

// The smallest an entry of a listing costs; the server's page is the number
// of such entries that fit, so a page of the server fills one reply buffer.
constexpr size_t kSmallestListedEntry = kEntryFixed + 2 * 5 + 16;

// The most attributes a listing learns to fetch from the reads after it.
constexpr size_t kMostLearnt = 64;

constexpr uint32_t kValueNaming = 0x01;
constexpr uint32_t kValueBaseClass = 0x02;
constexpr uint32_t kValuePresent = 0x04;

bool IsOperational(const image::AttributeDefinition* definition) {
    return definition && (definition->flags & 0x1000) != 0;
}

std::string FirstValue(const FoundEntry& entry, const char* attribute) {
    const auto* values = entry.Find(attribute);
    return values && !values->empty() ? std::string(values->front()) : std::string();
}

// Whether the server said the entry has no subordinates: a count of 0, or
// without a count, hasSubordinates FALSE. A server that says neither says nothing.
bool SaysNoSubordinates(const FoundEntry& entry) {
    for (const char* attribute : {"subordinateCount", "numSubordinates"}) {
        const std::string text = FirstValue(entry, attribute);
        if (!text.empty()) return std::strtoul(text.c_str(), nullptr, 10) == 0;
    }
    return image::EqualsNoCase(FirstValue(entry, "hasSubordinates"), "FALSE");
}

}  // namespace

const std::vector<std::string>& RecordAttributes() {
    static const std::vector<std::string> kAttributes = {
        "objectClass",      "structuralObjectClass", "hasSubordinates", "numSubordinates",
        "subordinateCount", "modifyTimestamp",       "createTimestamp", "entryFlags"};
    return kAttributes;
}

EntryRecord LdapClient::State::RecordOf(const LdapContext&, const LdapSchema& schema,
                                        const FoundEntry& entry) {
    EntryRecord record;
    // The base class: the structural class the server names, else the most
    // derived structural class of the entry's classes.
    std::string base = FirstValue(entry, "structuralObjectClass");
    const auto* classes = entry.Find("objectClass");
    if (base.empty() && classes) {
        base = schema.BaseClassOf(*classes);
        if (base.empty() && !classes->empty()) base = classes->back();
    }
    const std::string program = schema.ProgramClass(base);
    record.baseClass = program.empty() ? base : program;
    uint32_t count = 0;
    bool counted = false;
    for (const char* attribute : {"subordinateCount", "numSubordinates"}) {
        const std::string text = FirstValue(entry, attribute);
        if (!text.empty()) {
            count = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
            counted = true;
            break;
        }
    }
    const std::string has = FirstValue(entry, "hasSubordinates");
    // Without a count the server says only whether there are any: 1 stands for "some".
    if (!counted && image::EqualsNoCase(has, "TRUE")) count = 1;
    record.subordinateCount = count;
    uint32_t seconds = 0;
    if (ParseGeneralizedTime(FirstValue(entry, "modifyTimestamp"), seconds)) {
        record.modificationTime = seconds;
    }
    const std::string flagsText = FirstValue(entry, "entryFlags");
    const uint32_t entryFlags =
        flagsText.empty() ? 0 : static_cast<uint32_t>(std::strtoul(flagsText.c_str(), nullptr, 10));
    const auto* definition = schema.Definitions().FindClass(record.baseClass);
    if ((entryFlags & EntryFlag::Container) != 0 || count != 0 ||
        (definition && (definition->flags & 0x01) != 0)) {
        record.flags |= EntryFlag::Container;
    }
    bool alias = (entryFlags & EntryFlag::Alias) != 0;
    if (classes) {
        for (const std::string_view c : *classes)
            alias = alias || image::EqualsNoCase(c, "alias");
    }
    if (alias) record.flags |= EntryFlag::Alias;
    if ((entryFlags & EntryFlag::PartitionRoot) != 0) record.flags |= EntryFlag::PartitionRoot;
    return record;
}

std::vector<PageAttribute> LdapClient::State::Attributes(const LdapContext& context,
                                                         const LdapSchema& schema,
                                                         const std::string& entryDn,
                                                         std::span<const EntryAttribute> entry,
                                                         ReadKind kind) {
    // Filled into the room of the page read last, its attributes in place.
    std::vector<PageAttribute> attributes = std::move(spareAttributes);
    size_t filled = 0;
    const auto next = [&]() -> PageAttribute& {
        if (filled == attributes.size()) attributes.emplace_back();
        PageAttribute& attribute = attributes[filled++];
        attribute.values.clear();
        return attribute;
    };
    if (readNamesContext != &context || readNamesSchema != &schema) {
        readNames = NamesFor(context, schema);
        readNamesContext = &context;
        readNamesSchema = &schema;
    }
    const ValueNames& names = readNames;
    // The flags are handed out only with value information: the DN and the
    // structural class that make them are looked at only then.
    const bool withInfo = kind == ReadKind::ValuesWithInfo;
    const Name* dn = withInfo ? &ParsedDn(entryDn) : nullptr;
    std::string_view structural;
    for (const EntryAttribute& a : entry) {
        if (image::EqualsNoCase(a.ldapName, "structuralObjectClass")) {
            if (!a.texts->empty()) structural = a.texts->front();
            break;
        }
    }
    for (const EntryAttribute& sent : entry) {
        // Values under a language tag or another option are left out; those
        // sent ";binary" are the attribute's own.
        const std::string_view ldapName = AttributeOfDescription(sent.ldapName);
        if (ldapName.empty()) continue;
        FoundEntry::Values texts = *sent.texts;
        if (texts.empty()) continue;
        if (image::EqualsNoCase(ldapName, "objectClass")) {
            // A server keeps the classes the entry was given; the directory
            // lists the whole chain of each.
            schema.ClassChain(texts, structural, classChain);
            classChainTexts.assign(classChain.begin(), classChain.end());
            texts = classChainTexts;
        }
        const image::AttributeDefinition* definition = schema.AttributeOf(ldapName);
        PageAttribute& attribute = next();
        attribute.name = definition ? std::string_view(definition->name) : ldapName;
        attribute.syntax = definition ? definition->syntax : Syntax::OctetString;
        if (kind == ReadKind::Names) continue;
        bool parsed = true;
        attribute.values.reserve(texts.size());
        for (const std::string_view text : texts) {
            PageValue& value = attribute.values.emplace_back();
            if (attribute.syntax == Syntax::Stream) {
                // A stream's content is read through a stream handle.
                value.value = AttrValue{Syntax::Stream, StreamValue{}};
                break;
            }
            if (!ParseLdapValue(attribute.syntax, text, names, value.value)) {
                parsed = false;
                break;
            }
        }
        if (!parsed) {
            // A value that does not fit its syntax: the attribute is handed
            // out as the bytes the server sent, every value of it.
            attribute.syntax = Syntax::OctetString;
            attribute.values.clear();
            for (const std::string_view text : texts) {
                attribute.values.push_back(
                    PageValue{AttrValue{Syntax::OctetString,
                                        OctetStringValue{Bytes(text.begin(), text.end())}},
                              0});
            }
        }
        for (size_t i = 0; i < attribute.values.size() && i < texts.size(); ++i) {
            uint32_t flags = kValuePresent;
            if (withInfo) {
                if (!dn->empty()) {
                    for (const NamePart& part : dn->front()) {
                        if (image::EqualsNoCase(part.type, ldapName) &&
                            image::EqualsNoCase(part.value, texts[i])) {
                            flags |= kValueNaming;
                        }
                    }
                }
                if (image::EqualsNoCase(ldapName, "objectClass") &&
                    image::EqualsNoCase(texts[i], structural)) {
                    flags |= kValueBaseClass;
                }
            }
            attribute.values[i].flags = flags;
        }
    }
    attributes.resize(filled);
    return attributes;
}

void LdapClient::State::AskedFor(std::string_view attribute) {
    for (LearntAttribute& learnt : learntAttributes) {
        if (image::EqualsNoCase(learnt.name, attribute)) {
            learnt.unread = 0;
            return;
        }
    }
    // Not yet learnt: the next listing pages fetch it with the entries.
    if (learntAttributes.size() < kMostLearnt)
        learntAttributes.push_back(LearntAttribute{std::string(attribute)});
}

std::vector<std::string> LdapClient::State::LearntNames() const {
    std::vector<std::string> names;
    names.reserve(learntAttributes.size());
    for (const LearntAttribute& learnt : learntAttributes)
        names.push_back(learnt.name);
    return names;
}

void ListIteration::Delivered(std::string_view dn) {
    const auto size = static_cast<uint32_t>(dn.size());
    delivered.append(reinterpret_cast<const char*>(&size), sizeof size);
    delivered.append(dn);
}

void ListIteration::BeginAgain() {
    again.clear();
    for (size_t at = 0; at + sizeof(uint32_t) <= delivered.size();) {
        uint32_t size = 0;
        std::memcpy(&size, delivered.data() + at, sizeof size);
        at += sizeof size;
        again.insert(image::FoldCase(std::string_view(delivered).substr(at, size)));
        at += size;
    }
}

bool ListIteration::WasDelivered(std::string_view dn) {
    if (again.empty()) return false;
    image::FoldCase(dn, folded);
    // One search sends an entry once: a DN found here is not looked for again.
    return again.erase(folded) != 0;
}

namespace {
bool namingContextsOf(const LdapSession& session, const ListIteration& where) {
    return session.Base().empty() && where.containerDn.empty();
}
}  // namespace

Result ListPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                  std::string_view container, int32_t& continuation, BufferState& reply) {
    ListIteration* resumed = nullptr;
    if (Result r = ResumeIteration(state, handle, continuation, resumed); r != 0) return r;
    const LdapSchema* schema = nullptr;
    if (Result r = state.SchemaOf(context, schema); r != 0) return r;
    LdapSession& session = state.SessionOf(context);
    ListIteration where;
    if (resumed) {
        where = std::move(*resumed);
    } else if (Result r = state.ToDn(context, container, where.containerDn, Aliases::All); r != 0) {
        return r;
    }
    // A page refused as too small for its first item leaves the iteration as
    // it was taken, for the caller to ask again with a larger buffer.
    const auto refuse = [&]() -> Result {
        if (resumed) *resumed = std::move(where);
        return Err::InsufficientBuffer;
    };
    ++state.statistics.listPages;
    // The server has just said this entry holds nothing (the walk steps into
    // each entry of a page it listed). It is asked all the same, as that word
    // can be wrong (an entry with another database glued below it says it
    // has no subordinates), but without the paged-results control: the
    // server pages one search per connection, and a paged listing of each
    // leaf would take the paging over from the listing of its parent, which
    // would then begin again for every page.
    std::optional<size_t> nextLeaves;  // where the leaves after it stand in leafOrder
    if (!resumed && !namingContextsOf(session, where)) {
        nextLeaves = state.TakeLeaf(context.session, where.containerDn);
    }
    const bool saidEmpty = nextLeaves.has_value();

    std::vector<std::string> attributes = RecordAttributes();
    // An attribute that no read asked for while more entries were listed with
    // it than are kept for the reads (those listed first have made way
    // unread) is no longer fetched.
    std::erase_if(state.learntAttributes,
                  [kept = state.prefetchOrder.size()](const LdapClient::State::LearntAttribute& l) {
                      return l.unread > kept;
                  });
    std::vector<std::string> fetched = state.LearntNames();
    const auto fetchedBefore = [&where](const std::string& name) {
        return std::any_of(where.fetched.begin(), where.fetched.end(),
                           [&](const std::string& f) { return image::EqualsNoCase(f, name); });
    };
    if (resumed && std::all_of(fetched.begin(), fetched.end(), fetchedBefore)) {
        // Nothing new to fetch: the search goes on as it began (the attributes
        // no longer read come along until it ends).
        fetched = where.fetched;
    } else if (resumed && where.limit == 0 && !namingContextsOf(session, where)) {
        // The reads asked for more: begin the search again with them. A
        // listing the server cut short at its limit is not begun again: it
        // would hand out the same entries and stop at the same place.
        where.cookie.clear();
        where.serverDone = false;
        where.waiting.clear();
        where.BeginAgain();
    }
    where.fetched = fetched;
    attributes.insert(attributes.end(), fetched.begin(), fetched.end());
    const bool prefetch = !fetched.empty();
    const auto shared = std::make_shared<const std::vector<std::string>>(fetched);
    const int pageSize = static_cast<int>(
        std::max<size_t>(1, (reply.capacity - kPageHeader) / kSmallestListedEntry));

    // The top of a tree without a base lists the server's naming contexts.
    const bool namingContexts = session.Base().empty() && where.containerDn.empty();
    if (where.waiting.empty() && !where.serverDone) {
        std::vector<FoundEntry> found;
        PageEnd end;
        if (namingContexts) {
            for (const Name& name : session.NamingContexts()) {
                FoundEntry entry;
                if (session.ReadEntry(DnText(name), attributes, entry) == 0) {
                    found.push_back(std::move(entry));
                }
            }
        } else {
            Result r =
                session.SearchPage(where.containerDn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                   attributes, saidEmpty ? 0 : pageSize, where.cookie, found, end);
            if (r == 0 && saidEmpty && end.limit != 0) {
                // The "leaf" holds more than the server gives a search without
                // paging: it is listed again, paged, as any container.
                r = session.SearchPage(where.containerDn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                       attributes, pageSize, where.cookie, found, end);
            }
            if (r != 0 && end.cookieRefused) {
                // Another paged search on this connection took the server's
                // paging over between two pages: begin again and pass over
                // the entries already handed out.
                where.cookie.clear();
                where.BeginAgain();
                r = session.SearchPage(where.containerDn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                       attributes, pageSize, where.cookie, found, end);
            }
            if (r != 0) {
                if (continuation != kNoContinuation) state.iterations.erase(continuation);
                continuation = kNoContinuation;
                return r;
            }
            if (saidEmpty) {
                // The leaves the walk comes to next are asked now, so that
                // the server answers them while the walk goes on; their
                // listings collect the answers. A walk into a container
                // among them sends its own leaves ahead too, and the ones
                // sent here still wait for the walk to come back.
                constexpr size_t kLeavesAhead = 16;
                const size_t from = std::min(*nextLeaves, state.leafOrder.size());
                const size_t to = std::min(state.leafOrder.size(), from + kLeavesAhead);
                // One sent with fewer attributes than a listing asks for now
                // (the reads taught it more since) is sent again.
                for (size_t i = from; i < to; ++i) {
                    auto& leaf = state.leafOrder[i];
                    if (!leaf.current || leaf.session != context.session ||
                        leaf.sentWith == attributes.size()) {
                        continue;
                    }
                    session.SendAhead(leaf.dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", attributes);
                    leaf.sentWith = attributes.size();
                }
            }
        }
        where.cookie = end.cookie;
        where.serverDone = end.cookie.empty();
        where.limit = end.limit;
        // Each name is filed before any is handed out, so that siblings of
        // one name in this page are both named with their types.
        for (FoundEntry& entry : found) {
            if (!where.WasDelivered(entry.dn)) {
                state.Remember(context, entry.dn);
                if (SaysNoSubordinates(entry)) state.NoteLeaf(context.session, entry.dn);
                where.waiting.push_back(std::move(entry));
            }
        }
    }

    ListPage page;
    page.entries.reserve(std::min<size_t>(where.waiting.size(), static_cast<size_t>(pageSize)));
    size_t used = kPageHeader;
    const auto typeNames = state.TypeNames(context);
    Name dn;
    while (!where.waiting.empty()) {
        FoundEntry& entry = where.waiting.front();
        ParseDn(entry.dn, dn);
        ListedEntry listed;
        listed.name = state.RelativeNameOf(context, dn, typeNames);
        listed.record = state.RecordOf(context, *schema, entry);
        listed.attributeCount = static_cast<uint32_t>(
            std::count_if(entry.Attributes().begin(), entry.Attributes().end(),
                          [](const FoundEntry::Attribute& a) {
                              return !AttributeOfDescription(a.name).empty();
                          }));
        const size_t cost = kEntryFixed + TextCost(listed.name) + TextCost(listed.record.baseClass);
        if (used + cost > reply.capacity) {
            if (page.entries.empty()) return refuse();
            break;
        }
        used += cost;
        page.entries.push_back(std::move(listed));
        where.Delivered(entry.dn);
        if (prefetch) {
            state.Prefetched(std::move(entry), shared);
        } else {
            // Listed without attributes: a read of it may teach the next pages
            // what to fetch. Its classes stay, which tell a name that reaches
            // it whether it is an alias without reading it again.
            FoundEntry kept{entry.dn, {}};
            if (const FoundEntry::Values* classes = entry.Find("objectClass")) {
                const FoundEntry::Counted name{"objectClass", classes->size()};
                kept.SetAttributes({&name, 1}, *classes);
            }
            state.Prefetched(std::move(kept), shared);
        }
        where.waiting.pop_front();
    }
    if (prefetch) {
        for (auto& learnt : state.learntAttributes)
            learnt.unread += page.entries.size();
    }
    const bool more = !where.waiting.empty() || !where.serverDone;
    if (!more && where.limit != 0) {
        // The server stopped early: the entries so far are delivered; this
        // call says why nothing more comes.
        const Result limit = where.limit;
        if (continuation != kNoContinuation) state.iterations.erase(continuation);
        continuation = kNoContinuation;
        if (page.entries.empty()) return limit;
        where.limit = 0;
        where.serverDone = true;
        ListIteration rest;
        rest.containerDn = where.containerDn;
        rest.serverDone = true;
        rest.limit = limit;
        rest.fetched = where.fetched;
        continuation = state.NewIteration(handle, std::move(rest));
        reply.reply = std::move(page);
        return 0;
    }
    FinishPage(state, handle, continuation, more ? &where : nullptr);
    reply.reply = std::move(page);
    return 0;
}

Result ReadPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                  std::string_view object, ReadKind kind, bool allAttributes,
                  const BufferState* request, int32_t& continuation, BufferState& reply) {
    ReadIteration* resumed = nullptr;
    if (Result r = ResumeIteration(state, handle, continuation, resumed); r != 0) return r;
    ReadIteration where;
    if (resumed) {
        where = std::move(*resumed);
    } else {
        const LdapSchema* schema = nullptr;
        if (Result r = state.SchemaOf(context, schema); r != 0) return r;
        std::string& dn = state.readDn;
        if (Result r = state.ToDn(context, object, dn, Aliases::All); r != 0) return r;
        std::vector<std::string>& wanted = state.readWanted;
        wanted.clear();
        if (!allAttributes) {
            for (const std::string& name : request->request.Names()) {
                if (const std::string* ldapName = schema->LdapAttributeOf(name)) {
                    wanted.push_back(*ldapName);
                }
            }
            if (wanted.empty()) return Err::NoSuchAttribute;
        }
        // The value flags name the base class: the object's structural class
        // is fetched with them, and every listing fetches it with its entries.
        const bool addStructural =
            kind == ReadKind::ValuesWithInfo &&
            std::none_of(wanted.begin(), wanted.end(), [](const std::string& w) {
                return image::EqualsNoCase(w, "structuralObjectClass");
            });
        // What the read found, borrowed from the entry that holds it.
        std::vector<EntryAttribute>& view = state.readView;
        view.clear();
        const FoundEntry* source = nullptr;
        FoundEntry entry;
        bool fromListing = false;
        bool listed = false;  // listed without the attributes asked for
        if (!allAttributes) {
            if (LdapClient::State::Prefetch* found = state.FindPrefetched(dn)) {
                // Answered from the listing when it fetched every attribute asked for.
                const auto& fetched = *found->fetched;
                fromListing = std::all_of(wanted.begin(), wanted.end(), [&](const std::string& w) {
                    return std::any_of(fetched.begin(), fetched.end(), [&](const std::string& f) {
                        return image::EqualsNoCase(f, w);
                    });
                });
                if (fromListing) {
                    for (const std::string& w : wanted)
                        state.AskedFor(w);
                    source = &found->entry;
                    if (addStructural) wanted.push_back("structuralObjectClass");
                    for (const std::string& w : wanted) {
                        if (const auto* values = found->entry.Find(w)) view.push_back({w, values});
                    }
                    ++state.statistics.readsFromListing;
                } else {
                    // A report walk reads the same attributes of every listed
                    // object: the next listing pages fetch them with the entries.
                    listed = true;
                    for (const std::string& w : wanted)
                        state.AskedFor(w);
                }
            }
        }
        if (!fromListing && listed) {
            // Until the listing fetches them, one read of a listed object
            // fetches every attribute the walk has read so far, and the reads
            // of its other attributes are answered from that.
            std::vector<std::string> asked = state.LearntNames();
            for (const std::string& w : wanted) {
                if (std::none_of(asked.begin(), asked.end(),
                                 [&](const std::string& a) { return image::EqualsNoCase(a, w); })) {
                    asked.push_back(w);
                }
            }
            // The record's classes name the base class for the value flags.
            asked.push_back("structuralObjectClass");
            if (Result r = state.SessionOf(context).ReadEntry(dn, asked, entry); r != 0) return r;
            if (addStructural) wanted.push_back("structuralObjectClass");
            const LdapClient::State::Prefetch& stored = state.Prefetched(
                std::move(entry),
                std::make_shared<const std::vector<std::string>>(std::move(asked)));
            source = &stored.entry;
            for (const std::string& w : wanted) {
                if (const auto* values = stored.entry.Find(w)) view.push_back({w, values});
            }
            fromListing = true;
        }
        if (!fromListing) {
            if (allAttributes) wanted = {"*"};
            if (addStructural) wanted.push_back("structuralObjectClass");
            if (Result r = state.SessionOf(context).ReadEntry(dn, wanted, entry); r != 0) return r;
            source = &entry;
            for (const auto& [name, values] : entry.Attributes())
                view.push_back({name, &values});
        }
        where.kind = kind;
        where.attributes = state.Attributes(context, *schema, source->dn, view, kind);
        // The structural class fetched for the flags is no attribute asked for.
        std::optional<bool> structuralAsked;
        std::erase_if(where.attributes, [&](const PageAttribute& a) {
            if (allAttributes) return IsOperational(schema->Definitions().FindAttribute(a.name));
            if (!image::EqualsNoCase(a.name, "structuralObjectClass")) return false;
            if (!structuralAsked) {
                const std::span<const std::string> asked = request->request.Names();
                structuralAsked =
                    std::any_of(asked.begin(), asked.end(), [&](const std::string& n) {
                        return image::EqualsNoCase(schema->LdapAttribute(n),
                                                   "structuralObjectClass");
                    });
            }
            return !*structuralAsked;
        });
        if (!allAttributes && where.attributes.empty()) return Err::NoSuchAttribute;
    }
    ++state.statistics.readPages;
    // A page refused as too small for its first item leaves the iteration as
    // it was taken, for the caller to ask again with a larger buffer.
    const auto refuse = [&]() -> Result {
        if (resumed) *resumed = std::move(where);
        return Err::InsufficientBuffer;
    };
    ReadPage page;
    page.kind = where.kind;
    size_t used = kPageHeader;
    const size_t perValue = kValueFixed + (where.kind == ReadKind::ValuesWithInfo ? kValueInfo : 0);
    const auto valueCost = [&](const PageValue& value) {
        return perValue + RecordSize(value.value);
    };
    if (where.attribute == 0 && where.value == 0) {
        // A read that fits whole, as nearly every one does, hands out its
        // attributes as they are.
        size_t cost = used;
        for (const PageAttribute& attribute : where.attributes) {
            cost += kAttributeFixed + TextCost(attribute.name);
            if (where.kind == ReadKind::Names) continue;
            for (const PageValue& value : attribute.values)
                cost += valueCost(value);
        }
        if (cost <= reply.capacity) {
            page.attributes = std::move(where.attributes);
            FinishPage<ReadIteration>(state, handle, continuation, nullptr);
            reply.reply = std::move(page);
            return 0;
        }
    }
    bool full = false;
    while (where.attribute < where.attributes.size() && !full) {
        PageAttribute& stored = where.attributes[where.attribute];
        const size_t headerCost = kAttributeFixed + TextCost(stored.name);
        if (used + headerCost > reply.capacity) break;
        size_t cost = headerCost;
        size_t end = where.value;  // the values that fit: [where.value, end)
        if (where.kind != ReadKind::Names) {
            while (end < stored.values.size()) {
                const size_t next = valueCost(stored.values[end]);
                if (used + cost + next > reply.capacity) {
                    full = true;
                    break;
                }
                cost += next;
                ++end;
            }
            if (full && end == where.value) {
                if (page.attributes.empty()) return refuse();
                break;
            }
        }
        used += cost;
        // Each value goes out once: it moves from the read to the page, the
        // whole attribute when all of it fits.
        if (where.value == 0 && end == stored.values.size()) {
            page.attributes.push_back(std::move(stored));
        } else {
            PageAttribute attribute{stored.name, stored.syntax, {}};
            for (size_t i = where.value; i < end; ++i)
                attribute.values.push_back(std::move(stored.values[i]));
            page.attributes.push_back(std::move(attribute));
        }
        if (full) {
            where.value = end;
        } else {
            ++where.attribute;
            where.value = 0;
        }
    }
    if (page.attributes.empty() && where.attribute < where.attributes.size()) return refuse();
    const bool more = where.attribute < where.attributes.size();
    FinishPage(state, handle, continuation, more ? &where : nullptr);
    reply.reply = std::move(page);
    return 0;
}

namespace {

// A definition by its program name or any LDAP name.
template <typename Definition, typename FindProgram, typename ToProgram>
const Definition* FindAny(std::string_view name, FindProgram findProgram, ToProgram toProgram) {
    if (const Definition* d = findProgram(name)) return d;
    const std::string program = toProgram(name);
    return program.empty() ? nullptr : findProgram(program);
}

}  // namespace

Result ClassPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                   ClassInfoKind kind, bool allClasses, const BufferState* request,
                   int32_t& continuation, BufferState& reply) {
    const LdapSchema* ldapSchema = nullptr;
    if (Result r = state.SchemaOf(context, ldapSchema); r != 0) return r;
    const image::Schema& schema = ldapSchema->Definitions();
    const auto find = [&](const std::string& name) {
        return FindAny<image::ClassDefinition>(
            name, [&](std::string_view n) { return schema.FindClass(n); },
            [&](std::string_view n) { return ldapSchema->ProgramClass(n); });
    };
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
    reply.reply = std::move(page);
    return 0;
}

Result AttrDefPageOf(LdapClient::State& state, ContextHandle handle, LdapContext& context,
                     AttrInfoKind kind, bool allAttributes, const BufferState* request,
                     int32_t& continuation, BufferState& reply) {
    const LdapSchema* ldapSchema = nullptr;
    if (Result r = state.SchemaOf(context, ldapSchema); r != 0) return r;
    const image::Schema& schema = ldapSchema->Definitions();
    const auto find = [&](const std::string& name) {
        return FindAny<image::AttributeDefinition>(
            name, [&](std::string_view n) { return schema.FindAttribute(n); },
            [&](std::string_view n) { return ldapSchema->ProgramAttribute(n); });
    };
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
    reply.reply = std::move(page);
    return 0;
}

}  // namespace vellrun::client::ldap
