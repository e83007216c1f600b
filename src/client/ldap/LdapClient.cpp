#include "client/ldap/LdapClient.h"

#include "client/ldap/LdapClientState.h"

#include <algorithm>

#include <ldap.h>

namespace vellrun::client::ldap {

namespace {

// The most aliases one name may pass through, as in the embedded directory.
constexpr int kMaxAliasHops = 16;
// Entries kept from listings for the reads after them: a report walk reads
// the entries of each listing page right after it, so some thousands suffice,
// and some megabytes: entries with large values (photographs) are fewer.
constexpr size_t kPrefetchLimit = 4096;
constexpr size_t kPrefetchBytes = size_t{16} << 20;
// The most entries noted as without subordinates: listings the walk does not
// step into (the tree browser's) leave theirs behind.
constexpr size_t kKnownLeavesLimit = 65536;
// Freed contexts and buffers kept to be handed out again.
constexpr size_t kSpareNodes = 16;
// The most attributes, and values of each, a freed read page keeps for the next.
constexpr size_t kSpareAttributes = 16;
constexpr size_t kSpareValues = 64;

std::string_view StripLeadingDot(std::string_view name) {
    if (!name.empty() && name.front() == '.') name.remove_prefix(1);
    return name;
}

// The absolute dotted text of a name seen from the context.
std::string AbsoluteName(const LdapContext& context, std::string_view name) {
    if (IsRootName(name)) return "[Root]";
    if (!name.empty() && name.front() == '.') return std::string(name.substr(1));
    std::string_view base = StripLeadingDot(context.nameContext);
    if (base.empty() || IsRootName(base)) return std::string(name);
    return std::string(name) + "." + std::string(base);
}

// The attribute types that name entries: those the schema's classes name
// with, and the usual ones of LDAP directories, each once, as LDAP names.
std::vector<std::string> NamingTypes(const LdapSchema* schema) {
    std::vector<std::string> types;
    const auto add = [&types, schema](std::string_view type) {
        std::string ldapName(type);
        if (schema) {
            ldapName = schema->LdapAttribute(type);
            if (ldapName.empty()) return;
        }
        if (std::none_of(types.begin(), types.end(), [&ldapName](const std::string& have) {
                return image::EqualsNoCase(have, ldapName);
            })) {
            types.push_back(std::move(ldapName));
        }
    };
    for (const std::string_view usual : {"cn", "ou", "o", "uid", "dc", "c", "l"})
        add(usual);
    if (schema) {
        for (const image::ClassDefinition& definition : schema->Definitions().classes) {
            for (const std::string& naming : definition.naming)
                add(naming);
        }
    }
    return types;
}

// "(|(cn=V)(ou=V)...)" with V escaped for a filter (RFC 4515).
std::string NamingFilter(const std::vector<std::string>& types, std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
            static constexpr char kHex[] = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            escaped += '\\';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0f];
        } else {
            escaped += c;
        }
    }
    std::string filter = "(|";
    for (const std::string& type : types)
        filter += "(" + type + "=" + escaped + ")";
    return filter + ")";
}

}  // namespace

// --- State helpers ----------------------------------------------------------

int32_t LdapClient::State::NewIteration(ContextHandle owner, decltype(Iteration::where) where) {
    return AddIteration(iterations, nextIteration, Iteration{owner, std::move(where)});
}

LdapContext* LdapClient::State::FindContext(ContextHandle context) {
    if (lastContext.second && lastContext.first == context) return lastContext.second;
    auto it = contexts.find(context);
    if (it == contexts.end()) return nullptr;
    lastContext = {context, &it->second};
    return &it->second;
}

BufferState* LdapClient::State::FindBuffer(BufferHandle buffer) {
    for (const auto& [handle, state] : lastBuffers) {
        if (state && handle == buffer) return state;
    }
    auto it = buffers.find(buffer);
    if (it == buffers.end()) return nullptr;
    lastBuffers[1] = lastBuffers[0];
    lastBuffers[0] = {buffer, &it->second};
    return &it->second;
}

std::function<std::string(std::string_view)> LdapClient::State::TypeNames(
    const LdapContext& context) {
    const LdapSchema* schema = nullptr;
    if (SchemaOf(context, schema) != 0 || !schema) return {};
    // A naming attribute the directory names itself ("vrCN" is "CN") shows that name.
    return [schema](std::string_view type) {
        const std::string program = schema->ProgramAttribute(type);
        return image::EqualsNoCase(program, type) ? std::string() : program;
    };
}

std::string LdapClient::State::RelativeNameOf(const LdapContext& context, const Name& dn) {
    return RelativeNameOf(context, dn, TypeNames(context));
}

std::string LdapClient::State::RelativeNameOf(
    const LdapContext& context, const Name& dn,
    const std::function<std::string(std::string_view)>& typeNames) {
    if (dn.empty()) return "[Root]";
    return DottedText(Name{dn.front()}, context.Typeless() && !NamesOf(context).Clashing(dn),
                      typeNames);
}

void LdapClient::State::Remember(const LdapContext& context, const std::string& dn) {
    Name full;
    if (ParseDn(dn, full)) Remember(context, dn, full);
}

void LdapClient::State::Remember(const LdapContext& context, const std::string& dn,
                                 const Name& full) {
    Name& relative = rememberRoom;
    if (!RelativeTo(full, SessionOf(context).Base(), relative) || relative.empty()) return;
    std::string key = DottedText(relative, true);
    for (char& c : key)
        c = platform::AsciiLower(c);
    if (NamesOf(context).SetKnownDn(std::move(key), dn)) lastResolved = {};
}

const std::string* LdapClient::State::SessionNames::KnownDn(std::string_view key) const {
    const auto found = knownDns.find(key);
    if (found == knownDns.end() || found->second->ambiguous) return nullptr;
    return &found->second->dn;
}

bool LdapClient::State::SessionNames::SetKnownDn(std::string key, const std::string& dn) {
    const auto folded = [](const std::string& text) {
        Name parsed;
        return image::FoldCase(ParseDn(text, parsed) ? DnText(parsed) : text);
    };
    // Filed under its own key, looked up once.
    KnownName& known = knownNames.emplace_back(KnownName{std::move(key), dn});
    const auto [slot, added] = knownDns.try_emplace(known.key, &known);
    if (added) {
        // A name whose entry clashes stays ambiguous when it comes again
        // after its note went with the oldest.
        if (!clashingDns.empty() && clashingDns.count(folded(dn)) != 0) {
            known.dn.clear();
            known.ambiguous = true;
        }
        while (knownNames.size() > kLimit) {
            const KnownName& oldest = knownNames.front();
            if (!oldest.key.empty()) knownDns.erase(oldest.key);
            knownNames.pop_front();
        }
        return false;
    }
    knownNames.pop_back();
    KnownName& earlier = *slot->second;
    // The same entry again (a listing read twice) is the common case.
    if (!earlier.ambiguous && image::EqualsNoCase(earlier.dn, dn)) {
        earlier.dn = dn;
        return false;
    }
    bool becameAmbiguous = false;
    if (!earlier.ambiguous) {
        // The same entry written otherwise takes the new text.
        const std::string earlierDn = folded(earlier.dn);
        if (earlierDn == folded(dn)) {
            earlier.dn = dn;
            return false;
        }
        // Another entry of the same name: the name stands for neither, and
        // a name resolved before may have been either.
        clashingDns.insert(earlierDn);
        earlier.dn.clear();
        earlier.ambiguous = true;
        becameAmbiguous = true;
    }
    clashingDns.insert(folded(dn));
    return becameAmbiguous;
}

bool LdapClient::State::SessionNames::Clashing(const Name& dn) const {
    return !clashingDns.empty() && clashingDns.count(image::FoldCase(DnText(dn))) != 0;
}

void LdapClient::State::ForgetNamesOf(const LdapContext& context, const std::string& dn) {
    Forget(dn);
    // A name of entries that clashed with the one removed may stand for one
    // entry now: what clashes is learnt again from the next listing or walk.
    SessionNames& names = NamesOf(context);
    Name parsed;
    const bool clashed = ParseDn(dn, parsed) && names.Clashing(parsed);
    if (clashed) names.clashingDns.clear();
    for (KnownName& known : names.knownNames) {
        const bool removed = !known.dn.empty() && image::EqualsNoCase(known.dn, dn);
        if (!removed && !(clashed && known.ambiguous)) continue;
        names.knownDns.erase(known.key);
        known.key.clear();
        known.dn.clear();
        known.ambiguous = false;
    }
}

void LdapClient::State::ForgetKept() {
    for (SessionNames& names : sessionNames)
        names = SessionNames{};
    prefetched.clear();
    prefetchOrder.clear();
    prefetchBytes = 0;
    lastPrefetch = nullptr;
    learntAttributes.clear();
    lastResolved = {};
}

const Name& LdapClient::State::ParsedDn(const std::string& dn) {
    if (dn != lastParsed.first) {
        lastParsed.second.clear();
        ParseDn(dn, lastParsed.second);
        lastParsed.first = dn;
    }
    return lastParsed.second;
}

std::string LdapClient::State::FromDn(const LdapContext& context, std::string_view dn) {
    Name full, relative;
    if (!ParseDn(dn, full)) return std::string(dn);
    if (!RelativeTo(full, SessionOf(context).Base(), relative)) relative = full;
    if (relative.empty()) return "[Root]";
    const auto typeNames = TypeNames(context);
    const SessionNames& names = NamesOf(context);
    if (!context.Typeless() || names.clashingDns.empty()) {
        return DottedText(relative, context.Typeless(), typeNames);
    }
    // Typeless, but typed where an entry shares its typeless name with a sibling.
    std::string text;
    for (size_t i = 0; i < relative.size(); ++i) {
        if (i) text += '.';
        const Name here(full.begin() + static_cast<std::ptrdiff_t>(i), full.end());
        text += DottedText(Name{relative[i]}, !names.Clashing(here), typeNames);
    }
    return text;
}

Result LdapClient::State::ToDn(const LdapContext& context, std::string_view name, std::string& dn,
                               Aliases aliases) {
    if (name.empty()) return Err::IllegalDsName;
    LdapSession& session = SessionOf(context);
    if (Result r = session.Open(); r != 0) return r;
    if (!context.Dereference()) aliases = Aliases::Kept;
    // A report reads the attributes of one object one after another.
    if (lastResolved.name == name && lastResolved.session == context.session &&
        lastResolved.flags == context.flags && lastResolved.aliases == aliases &&
        lastResolved.nameContext == context.nameContext && !lastResolved.dn.empty()) {
        dn = lastResolved.dn;
        return 0;
    }
    int hops = 0;
    if (Result r = ResolveDn(context, name, dn, aliases != Aliases::Kept, hops); r != 0) return r;
    if (aliases != Aliases::Kept) {
        if (Result r = FollowAliases(session, dn, aliases == Aliases::All, hops); r != 0) return r;
    }
    // Into the texts' room the last one had.
    lastResolved.session = context.session;
    lastResolved.flags = context.flags;
    lastResolved.aliases = aliases;
    lastResolved.nameContext = context.nameContext;
    lastResolved.name = name;
    lastResolved.dn = dn;
    return 0;
}

Result LdapClient::State::FollowAliases(LdapSession& session, std::string& dn, bool followFinal,
                                        int& hops) {
    static const std::vector<std::string> kAliasAttributes = {"objectClass", "aliasedObjectName"};
    const auto isAlias = [](const FoundEntry& entry) {
        const auto* classes = entry.Find("objectClass");
        return classes && std::any_of(classes->begin(), classes->end(), [](std::string_view c) {
                   return image::EqualsNoCase(c, "alias");
               });
    };
    const auto targetOf = [](const FoundEntry& entry, Name& target) {
        const auto* aliased = entry.Find("aliasedObjectName");
        return aliased && !aliased->empty() && ParseDn(aliased->front(), target);
    };
    std::string current = dn;
    for (;;) {
        // What a listing fetched tells whether the entry is an alias; else it is read.
        FoundEntry read;
        const FoundEntry* entry = nullptr;
        if (const Prefetch* kept = FindPrefetched(current);
            kept && kept->entry.Find("objectClass")) {
            entry = &kept->entry;
        }
        if (!entry || (followFinal && isAlias(*entry) && !entry->Find("aliasedObjectName"))) {
            const Result r = session.ReadEntry(current, kAliasAttributes, read);
            if (r == Err::NoSuchEntry) {
                // Not found: an alias on the way stops the server where it stands.
                const std::string matched = session.MatchedDn();
                const FailureNote notFound = lastFailure;
                Name full, alias, rest, target;
                FoundEntry found;
                if (matched.empty() || !ParseDn(current, full) || !ParseDn(matched, alias) ||
                    !RelativeTo(full, alias, rest) || rest.empty() ||
                    session.ReadEntry(matched, kAliasAttributes, found) != 0 || !isAlias(found) ||
                    !targetOf(found, target)) {
                    // Why the entry is not there, not how its nearest entry read.
                    lastFailure = notFound;
                    return Err::NoSuchEntry;
                }
                if (++hops > kMaxAliasHops) return Err::AliasOfAlias;
                current = DnText(Under(rest, target));
                continue;
            }
            if (r != 0) return r;
            entry = &read;
        }
        if (!followFinal || !isAlias(*entry)) break;
        Name target;
        if (!targetOf(*entry, target)) return Err::NoSuchEntry;
        if (++hops > kMaxAliasHops) return Err::AliasOfAlias;
        current = DnText(target);
    }
    dn = std::move(current);
    return 0;
}

Result LdapClient::State::ResolveDn(const LdapContext& context, std::string_view name,
                                    std::string& dn, bool followPath, int& hops) {
    LdapSession& session = SessionOf(context);
    SessionNames& names = NamesOf(context);
    const std::string absolute = AbsoluteName(context, name);
    if (IsRootName(absolute)) {
        dn = DnText(session.Base());
        return 0;
    }
    // A typeless name without escapes or joined parts is its own dotted text:
    // a name seen is found without parsing it.
    if (!absolute.empty() && absolute.find_first_of("\\=+") == std::string::npos &&
        absolute.front() != '.' && absolute.back() != '.' &&
        absolute.find("..") == std::string::npos) {
        if (const std::string* known = names.KnownDn(image::FoldCase(absolute))) {
            dn = *known;
            return 0;
        }
    }
    Name dotted;
    if (!ParseDotted(absolute, dotted)) return Err::IllegalDsName;
    const LdapSchema* schema = nullptr;
    if (SchemaOf(context, schema) != 0) schema = nullptr;
    for (RelativeName& relative : dotted) {
        for (NamePart& part : relative) {
            const std::string ldapName =
                schema && !part.type.empty() ? schema->LdapAttribute(part.type) : std::string();
            if (!ldapName.empty()) part.type = ldapName;
        }
    }
    // A relative name with all its types names its entry itself.
    const auto typed = [](const RelativeName& relative) {
        return std::all_of(relative.begin(), relative.end(),
                           [](const NamePart& p) { return !p.type.empty(); });
    };
    if (std::all_of(dotted.begin(), dotted.end(), typed)) {
        dn = DnText(Under(dotted, session.Base()));
        return 0;
    }
    // The names seen are filed typeless, and the names typed in part that
    // were walked as they were given.
    const auto keyOf = [](const Name& below) { return image::FoldCase(DottedText(below, false)); };
    if (const std::string* known = names.KnownDn(keyOf(dotted))) {
        dn = *known;
        return 0;
    }
    // Walk down from the top until the name is known. Each level is asked
    // for the entries whose naming values match the name's, not listed
    // whole: a server's size limit would end the listing of a large
    // container before a name far down it.
    const std::vector<std::string> namingTypes = NamingTypes(schema);
    std::string current = DnText(session.Base());
    for (size_t level = dotted.size(); level-- > 0;) {
        const Name below(dotted.begin() + static_cast<std::ptrdiff_t>(level), dotted.end());
        if (const std::string* known = names.KnownDn(keyOf(below))) {
            current = *known;
            continue;
        }
        // An entry of the level is the name's when its relative name is the
        // part's, with the part's types where it has them. The search finds
        // the siblings of the same value too: whether the name's typeless
        // form fits two entries is learnt on the way.
        const bool typedLevel = typed(dotted[level]);
        const std::string partKey = image::FoldCase(DottedText(Name{dotted[level]}, !typedLevel));
        std::vector<std::string> types = namingTypes;
        const std::string& partType = dotted[level].front().type;
        if (typedLevel && std::none_of(types.begin(), types.end(), [&partType](const auto& t) {
                return image::EqualsNoCase(t, partType);
            })) {
            types.push_back(partType);
        }
        std::string match;
        Result limit = 0;  // the server stopped the search before the name came
        const auto search = [&](const std::string& filter) -> Result {
            std::string cookie;
            for (int pages = 0; pages < 100000; ++pages) {
                std::vector<FoundEntry> entries;
                PageEnd end;
                if (Result r = session.SearchPage(current, LDAP_SCOPE_ONELEVEL, filter, {"1.1"},
                                                  1000, cookie, entries, end);
                    r != 0) {
                    return r;
                }
                for (const FoundEntry& entry : entries) {
                    Name found;
                    if (!ParseDn(entry.dn, found) || found.empty()) continue;
                    Remember(context, entry.dn, found);
                    if (image::FoldCase(DottedText(Name{found.front()}, !typedLevel)) == partKey) {
                        match = entry.dn;
                    }
                }
                limit = end.limit;
                if (!match.empty() || end.cookie.empty()) break;
                cookie = end.cookie;
            }
            return 0;
        };
        for (;;) {
            if (Result r = search(NamingFilter(types, dotted[level].front().value)); r != 0) {
                return r;
            }
            // Named by a type the filter did not ask for, or matched otherwise
            // than by the program's comparison: the level is listed as before.
            if (match.empty()) {
                limit = 0;
                if (Result r = search("(objectClass=*)"); r != 0) return r;
            }
            if (!match.empty() || limit != 0 || !followPath) break;
            // An alias holds nothing: the name may lie under what it names.
            std::string target = current;
            if (Result r = FollowAliases(session, target, true, hops); r != 0) return r;
            if (target == current) break;
            current = std::move(target);
        }
        if (match.empty()) return limit != 0 ? limit : Err::NoSuchEntry;
        // A typeless part that fits two entries names neither.
        if (!typedLevel && names.Clashing(ParsedDn(match))) return Err::IllegalDsName;
        current = std::move(match);
    }
    dn = current;
    if (std::any_of(dotted.begin(), dotted.end(), typed) && names.SetKnownDn(keyOf(dotted), dn))
        lastResolved = {};
    return 0;
}

ValueNames LdapClient::State::NamesFor(const LdapContext& context, const LdapSchema& schema,
                                       Result* unresolved) {
    ValueNames names;
    names.fromDn = [this, &context](std::string_view dn) { return FromDn(context, dn); };
    names.toDn = [this, &context, unresolved](std::string_view name) {
        // A value given as an LDAP DN (parts between commas, each with a
        // type, which a name of this program never has) goes as it is, and
        // the server judges it: an entry outside the tree's base, say.
        Name parsed;
        const bool ldapDn =
            name.find(',') != std::string_view::npos && ParseDn(name, parsed) && parsed.size() >= 2;
        if (ldapDn) return std::string(name);
        std::string dn;
        const Result r = ToDn(context, "." + std::string(StripLeadingDot(name)), dn);
        if (r == 0) {
            // A new value must name an entry; a name typed in full becomes
            // its DN without the server, so the server is asked here.
            if (unresolved && *unresolved == 0) {
                FoundEntry found;
                if (Result e = SessionOf(context).ReadEntry(dn, {"1.1"}, found); e != 0)
                    *unresolved = e;
            }
            return dn;
        }
        // A name that does not resolve is written as it was given; a new
        // value's failure is the caller's.
        if (unresolved && *unresolved == 0 && !(ParseDn(name, parsed) && !parsed.empty()))
            *unresolved = r;
        return std::string(name);
    };
    names.classFromLdap = [&schema](std::string_view n) { return schema.ProgramClass(n); };
    names.classToLdap = [&schema](std::string_view n) { return schema.LdapClass(n); };
    names.attributeFromLdap = [&schema](std::string_view n) { return schema.ProgramAttribute(n); };
    names.attributeToLdap = [&schema](std::string_view n) { return schema.LdapAttribute(n); };
    return names;
}

Result LdapClient::State::SchemaOf(const LdapContext& context, const LdapSchema*& schema) {
    return SessionOf(context).Schema(schema);
}

LdapClient::State::Prefetch& LdapClient::State::Prefetched(
    FoundEntry entry, std::shared_ptr<const std::vector<std::string>> fetched) {
    lastPrefetch = nullptr;
    // The oldest go before the new one comes, so the entry handed back stays.
    const size_t bytes = entry.Bytes();
    while (!prefetchOrder.empty() &&
           (prefetchOrder.size() >= kPrefetchLimit || prefetchBytes + bytes > kPrefetchBytes)) {
        const Prefetch& oldest = prefetchOrder.front();
        if (oldest.current) prefetched.erase(oldest.key);
        prefetchBytes -= oldest.entry.Bytes();
        prefetchOrder.pop_front();
    }
    prefetchBytes += bytes;
    std::string key = image::FoldCase(entry.dn);
    Prefetch& kept = prefetchOrder.emplace_back(
        Prefetch{std::move(entry), std::move(fetched), std::move(key), true, prefetchPlaces++});
    // The entry came again: the new one replaces the old, under its own key.
    if (const auto [slot, added] = prefetched.try_emplace(kept.key, &kept); !added) {
        slot->second->current = false;
        prefetched.erase(slot);
        prefetched.emplace(kept.key, &kept);
    }
    return kept;
}

LdapClient::State::Prefetch* LdapClient::State::FindPrefetched(const std::string& dn) {
    if (lastPrefetch && lastPrefetchDn == dn) return lastPrefetch;
    image::FoldCase(dn, foldedDn);
    Prefetch* found = nullptr;
    const size_t next = prefetchFoundAt + 1;
    if (!prefetchOrder.empty() && next >= prefetchOrder.front().at &&
        next - prefetchOrder.front().at < prefetchOrder.size()) {
        Prefetch& candidate = prefetchOrder[next - prefetchOrder.front().at];
        if (candidate.current && candidate.key == foldedDn) found = &candidate;
    }
    if (!found) {
        const auto indexed = prefetched.find(foldedDn);
        if (indexed == prefetched.end()) return nullptr;
        found = indexed->second;
    }
    prefetchFoundAt = found->at;
    lastPrefetch = found;
    lastPrefetchDn = dn;
    return lastPrefetch;
}

void LdapClient::State::Forget(const std::string& dn) {
    lastPrefetch = nullptr;
    image::FoldCase(dn, foldedDn);
    if (const auto found = prefetched.find(foldedDn); found != prefetched.end()) {
        found->second->current = false;
        prefetched.erase(found);
    }
    lastResolved = {};
}

void LdapClient::State::NoteLeaf(size_t session, std::string_view dn) {
    if (knownLeaves.size() >= kKnownLeavesLimit || leafOrder.size() >= kKnownLeavesLimit) {
        knownLeaves.clear();
        leafOrder.clear();
    }
    std::string key = std::to_string(session) + ':';
    key += image::FoldCase(dn);
    const uint64_t place = leafPlaces++;
    const auto [noted, added] = knownLeaves.try_emplace(std::move(key), place);
    if (!added) {
        if (NotedLeaf* before = LeafAt(noted->second)) before->current = false;
        noted->second = place;
    }
    leafOrder.push_back(NotedLeaf{session, std::string(dn), place});
}

LdapClient::State::NotedLeaf* LdapClient::State::LeafAt(uint64_t place) {
    // Each note adds one place at the end, and places leave from the front only.
    if (leafOrder.empty() || place < leafOrder.front().place) return nullptr;
    const uint64_t at = place - leafOrder.front().place;
    return at < leafOrder.size() ? &leafOrder[static_cast<size_t>(at)] : nullptr;
}

std::optional<size_t> LdapClient::State::TakeLeaf(size_t session, std::string_view dn) {
    if (knownLeaves.empty()) return std::nullopt;
    leafKey = std::to_string(session) + ':';
    leafKey += image::FoldCase(dn);
    const auto noted = knownLeaves.find(leafKey);
    if (noted == knownLeaves.end()) return std::nullopt;
    const uint64_t place = noted->second;
    knownLeaves.erase(noted);
    if (NotedLeaf* leaf = LeafAt(place)) leaf->current = false;
    while (!leafOrder.empty() && !leafOrder.front().current)
        leafOrder.pop_front();
    const uint64_t first = leafOrder.empty() ? place + 1 : leafOrder.front().place;
    return place < first ? 0 : static_cast<size_t>(place + 1 - first);
}

void LdapClient::State::KeepSpare(std::vector<PageAttribute>& attributes) {
    // The room of a small read only: a large one gives its memory back.
    if (attributes.size() > kSpareAttributes) return;
    for (PageAttribute& attribute : attributes) {
        if (attribute.values.size() > kSpareValues) return;
    }
    for (PageAttribute& attribute : attributes)
        attribute.values.clear();
    spareAttributes = std::move(attributes);
}

// --- Construction -----------------------------------------------------------

LdapClient::LdapClient(std::vector<LdapConnectionConfig> connections, int primary)
    : state_(std::make_unique<State>()) {
    state_->configured = std::move(connections);
    state_->primary = primary;
}

LdapClient::~LdapClient() = default;

LdapClientStatistics LdapClient::Statistics() const {
    LdapClientStatistics statistics = state_->statistics;
    for (const auto& session : state_->sessions)
        statistics.serverRequests += session->requests;
    statistics.fetchedAhead = state_->learntAttributes.size();
    statistics.keptBytes = state_->prefetchBytes;
    return statistics;
}

// --- Connections ------------------------------------------------------------

namespace {

// One server's tree: the same address and base, however often it is connected.
bool SameTree(const LdapSession& a, const LdapSession& b) {
    return image::EqualsNoCase(a.Config().uri, b.Config().uri) &&
           a.Config().base.value_or("") == b.Config().base.value_or("");
}

bool SettleTreeNames(const std::vector<std::unique_ptr<LdapSession>>& sessions,
                     std::string& diagnostic) {
    // A tree is found by its name alone. The same tree connected again takes
    // the name it has (the one the configuration gives it, if any); two
    // different trees with one name stop the start, naming both servers: a
    // tree renamed here would leave saved reports reaching another tree.
    std::vector<const LdapSession*> named;
    const auto settle = [&named, &diagnostic](LdapSession& session) {
        for (const LdapSession* other : named) {
            if (SameTree(*other, session)) {
                if (!session.TreeNameGiven()) session.RenameTree(other->TreeName());
                continue;
            }
            if (!image::EqualsNoCase(other->TreeName(), session.TreeName())) continue;
            diagnostic = "the servers " + other->Config().uri + " and " + session.Config().uri +
                         " are both named \"" + session.TreeName() + "\"";
            if (!other->TreeNameGiven() || !session.TreeNameGiven())
                diagnostic +=
                    " (a server's tree is named after its directoryTreeName or its "
                    "host unless \"name\" names it)";
            return false;
        }
        named.push_back(&session);
        return true;
    };
    // The names the configuration gives first, so that an unnamed
    // connection of the same tree takes its given name.
    for (const auto& session : sessions) {
        if (session->TreeNameGiven() && !settle(*session)) return false;
    }
    for (const auto& session : sessions) {
        if (!session->TreeNameGiven() && !settle(*session)) return false;
    }
    return true;
}

}  // namespace

Result LdapClient::InitClient(uint32_t, uint32_t) {
    State& s = *state_;
    if (s.started) return 0;
    std::vector<std::unique_ptr<LdapSession>> sessions;
    for (const LdapConnectionConfig& config : s.configured) {
        auto session = std::make_unique<LdapSession>(config);
        session->ShareFailureNote(s.lastFailure);
        if (Result r = session->Open(); r != 0) {
            s.diagnostic = session->Diagnostic();
            s.startupCancelled = session->Cancelled();
            return Err::InitFailed;
        }
        sessions.push_back(std::move(session));
    }
    if (!SettleTreeNames(sessions, s.diagnostic)) return Err::InitFailed;
    s.sessions = std::move(sessions);
    s.sessionNames.assign(s.sessions.size(), {});
    s.started = true;
    s.startupCancelled = false;
    s.diagnostic.clear();
    // A base that is not there leaves its tree empty: said now, with the
    // server's nearest entry, while the other trees start as they are.
    for (const auto& session : s.sessions) {
        if (!session->BaseMissing()) continue;
        if (!s.diagnostic.empty()) s.diagnostic += '\n';
        s.diagnostic +=
            "The tree " + session->TreeName() + " is empty: " + session->LastFailure().text;
    }
    return 0;
}

Result LdapClient::ScanConnections(uint32_t& iterator, ConnRef& ref) {
    return ScanConnection(state_->started, state_->sessions.size(), iterator, ref);
}

Result LdapClient::GetPrimaryConnection(ConnRef& ref) {
    if (!state_->started) return Err::ClientNotStarted;
    const int primary = state_->primary;
    if (primary < 0 || static_cast<size_t>(primary) >= state_->sessions.size()) {
        return Err::NoConnection;
    }
    ref = static_cast<ConnRef>(primary + 1);
    return 0;
}

Result LdapClient::OpenConnection(ConnRef ref, uint32_t, uint32_t, ConnHandle& handle) {
    if (Result r = CheckConnection(state_->started, state_->sessions.size(), ref); r != 0) return r;
    handle = static_cast<ConnHandle>(ref);
    return 0;
}

Result LdapClient::GetConnectionInfo(ConnRef ref, uint32_t item, size_t room, std::string& text) {
    if (Result r = CheckConnection(state_->started, state_->sessions.size(), ref); r != 0) return r;
    return ConnectionTreeName(item, state_->sessions[ref - 1]->TreeName(), room, text);
}

// --- Contexts ---------------------------------------------------------------

Result LdapClient::CreateContext(ContextHandle& context) {
    State& s = *state_;
    if (!s.started) return Err::ClientNotStarted;
    if (s.sessions.empty()) return Err::NoConnection;
    LdapContext fresh;
    ConnRef primary{};
    fresh.session = GetPrimaryConnection(primary) == 0 ? static_cast<size_t>(primary) - 1 : 0;
    fresh.entryItems = kDefaultEntryItems;
    context = static_cast<ContextHandle>(s.NewHandle());
    s.contexts[context] = std::move(fresh);
    return 0;
}

Result LdapClient::DuplicateContext(ContextHandle source, ContextHandle& copy) {
    State& s = *state_;
    LdapContext* original = s.FindContext(source);
    if (!original) return Err::BadContext;
    copy = static_cast<ContextHandle>(s.NewHandle());
    if (s.spareContexts.empty()) {
        LdapContext duplicate = *original;
        s.contexts[copy] = std::move(duplicate);
        return 0;
    }
    auto node = std::move(s.spareContexts.back());
    s.spareContexts.pop_back();
    node.key() = copy;
    node.mapped() = *original;  // into the texts' room the node already has
    // The copy is what the calls after this one name; handles only grow, so
    // it goes last.
    s.lastContext = {copy, &s.contexts.insert(s.contexts.end(), std::move(node))->second};
    return 0;
}

Result LdapClient::FreeContext(ContextHandle context) {
    State& s = *state_;
    auto it = s.contexts.find(context);
    if (it == s.contexts.end()) return Err::BadContext;
    if (s.lastContext.first == context) s.lastContext = {};
    auto node = s.contexts.extract(it);
    if (s.spareContexts.size() < kSpareNodes) s.spareContexts.push_back(std::move(node));
    std::erase_if(s.iterations, [context](const auto& i) { return i.second.owner == context; });
    return 0;
}

Result LdapClient::GetContextNumber(ContextHandle context, ContextKey key, uint32_t& value) {
    LdapContext* c = state_->FindContext(context);
    return c ? GetContextNumberOf(*c, key, value) : Err::BadContext;
}

Result LdapClient::GetContextText(ContextHandle context, ContextKey key, std::string& value) {
    LdapContext* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::NameContext: value = c->nameContext; return 0;
        case ContextKey::TreeName: value = state_->SessionOf(*c).TreeName(); return 0;
        default: return Err::BadKey;
    }
}

Result LdapClient::SetContextNumber(ContextHandle context, ContextKey key, uint32_t value) {
    LdapContext* c = state_->FindContext(context);
    return c ? SetContextNumberOf(*c, key, value) : Err::BadContext;
}

Result LdapClient::SetContextText(ContextHandle context, ContextKey key, std::string_view value) {
    State& s = *state_;
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::NameContext: c->nameContext = std::string(value); return 0;
        case ContextKey::TreeName: {
            const std::string_view name = WithoutTreePadding(value);
            for (size_t i = 0; i < s.sessions.size(); ++i) {
                if (image::EqualsNoCase(s.sessions[i]->TreeName(), name)) {
                    c->session = i;
                    return 0;
                }
            }
            return Err::NoSuchTree;
        }
        default: return Err::BadKey;
    }
}

// --- Buffers and requests ---------------------------------------------------

Result LdapClient::AllocBuffer(size_t size, BufferHandle& buffer) {
    if (size == 0 || size > kLargestBuffer) return Err::InvalidRequest;
    State& s = *state_;
    buffer = static_cast<BufferHandle>(s.NewHandle());
    if (s.spareBuffers.empty()) {
        s.buffers[buffer].capacity = size;
        return 0;
    }
    // A freed buffer again, as new, with the room its request lists had.
    auto node = std::move(s.spareBuffers.back());
    s.spareBuffers.pop_back();
    node.key() = buffer;
    BufferState& fresh = node.mapped();
    fresh.Renew(size);
    fresh.DropReply();
    // The new buffer is what the calls after this one name; handles only
    // grow, so it goes last.
    s.lastBuffers[1] = s.lastBuffers[0];
    s.lastBuffers[0] = {buffer, &s.buffers.insert(s.buffers.end(), std::move(node))->second};
    return 0;
}

Result LdapClient::FreeBuffer(BufferHandle buffer) {
    State& s = *state_;
    auto it = s.buffers.find(buffer);
    if (it == s.buffers.end()) return Err::InvalidHandle;
    for (auto& last : s.lastBuffers) {
        if (last.first == buffer) last = {};
    }
    auto node = s.buffers.extract(it);
    if (auto* page = std::get_if<ReadPage>(&node.mapped().reply)) s.KeepSpare(page->attributes);
    node.mapped().DropReply();
    if (s.spareBuffers.size() < kSpareNodes) s.spareBuffers.push_back(std::move(node));
    return 0;
}

Result LdapClient::PrepareRequest(ContextHandle context, Operation operation, BufferHandle buffer) {
    return PrepareRequestIn(*state_, context, operation, buffer);
}

Result LdapClient::PutName(ContextHandle context, BufferHandle request, std::string_view name) {
    return PutNameIn(*state_, context, request, name);
}

Result LdapClient::PutChange(ContextHandle context, BufferHandle request, ChangeType change,
                             std::string_view attribute) {
    return PutChangeIn(*state_, context, request, change, attribute, 0, nullptr);
}

Result LdapClient::PutChangeAndValue(ContextHandle context, BufferHandle request, ChangeType change,
                                     std::string_view attribute, SyntaxId syntax,
                                     const AttrValue& value) {
    return PutChangeIn(*state_, context, request, change, attribute, syntax, &value);
}

// --- Listing ----------------------------------------------------------------

Result LdapClient::ListSubordinates(ContextHandle context, std::string_view container,
                                    int32_t& continuation, BufferHandle reply) {
    LdapContext* c = nullptr;
    BufferState* out = nullptr;
    if (Result r = CallBuffers(state_->NewCall(), context, reply, c, out); r != 0) return r;
    return ListPageOf(*state_, context, *c, container, continuation, *out);
}

Result LdapClient::GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return EntryCountIn(*state_, context, reply, count);
}

Result LdapClient::GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                                uint32_t& attributeCount, EntryRecord& record) {
    return NextEntryIn(*state_, context, reply, name, attributeCount, record);
}

// --- Reading ----------------------------------------------------------------

Result LdapClient::Read(ContextHandle context, std::string_view object, ReadKind kind,
                        bool allAttributes, BufferHandle request, int32_t& continuation,
                        BufferHandle reply) {
    LdapContext* c = nullptr;
    BufferState* out = nullptr;
    const BufferState* in = nullptr;
    if (Result r = CallBuffers(state_->NewCall(), context, reply, allAttributes, request,
                               Operation::Read, c, out, in);
        r != 0) {
        return r;
    }
    return ReadPageOf(*state_, context, *c, object, kind, allAttributes, in, continuation, *out);
}

namespace {

PageAttribute* CurrentAttribute(ReadPage& page) {
    if (!page.haveCurrent || page.nextAttribute == 0) return nullptr;
    return &page.attributes[page.nextAttribute - 1];
}

Result NextValue(LdapClient::State& state, ContextHandle context, BufferHandle reply,
                 ReadPage*& page, PageValue*& value) {
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    PageAttribute* attribute = CurrentAttribute(*page);
    if (!attribute || page->nextValue >= attribute->values.size()) return Err::BufferEmpty;
    value = &attribute->values[page->nextValue];
    return 0;
}

}  // namespace

Result LdapClient::GetAttrCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return image::AttrCountIn<ReadPage>(*state_, context, reply, count);
}

Result LdapClient::GetAttrName(ContextHandle context, BufferHandle reply, std::string& name,
                               uint32_t& valueCount, SyntaxId& syntax) {
    ReadPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->nextAttribute >= page->attributes.size()) return Err::BufferEmpty;
    const PageAttribute& attribute = page->attributes[page->nextAttribute++];
    page->haveCurrent = true;
    page->nextValue = 0;
    name = attribute.name;
    syntax = attribute.syntax;
    valueCount = page->kind == ReadKind::Names ? 0 : static_cast<uint32_t>(attribute.values.size());
    return 0;
}

Result LdapClient::ComputeAttrValSize(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                                      size_t& size) {
    ReadPage* page = nullptr;
    PageValue* value = nullptr;
    if (Result r = NextValue(*state_, context, reply, page, value); r != 0) return r;
    if (value->value.syntax != syntax) return Err::BadSyntax;
    size = RecordSize(value->value);
    return 0;
}

Result LdapClient::GetAttrVal(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                              AttrValue& value) {
    ReadPage* page = nullptr;
    PageValue* stored = nullptr;
    if (Result r = NextValue(*state_, context, reply, page, stored); r != 0) return r;
    if (stored->value.syntax != syntax) return Err::BadSyntax;
    // Taken once: the page moves on past it.
    value = std::move(stored->value);
    ++page->nextValue;
    return 0;
}

Result LdapClient::GetAttrValFlags(ContextHandle context, BufferHandle reply, uint32_t& flags) {
    ReadPage* page = nullptr;
    PageValue* stored = nullptr;
    if (Result r = NextValue(*state_, context, reply, page, stored); r != 0) return r;
    if (page->kind != ReadKind::ValuesWithInfo) return Err::BadVerb;
    flags = stored->flags;
    return 0;
}

Result LdapClient::GetAttrValModTime(ContextHandle context, BufferHandle reply, TimeStamp& stamp) {
    ReadPage* page = nullptr;
    PageValue* stored = nullptr;
    if (Result r = NextValue(*state_, context, reply, page, stored); r != 0) return r;
    if (page->kind != ReadKind::ValuesWithInfo) return Err::BadVerb;
    stamp = TimeStamp{};  // LDAP keeps no time stamp per value
    return 0;
}

// --- Schema -----------------------------------------------------------------

Result LdapClient::ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                        BufferHandle request, int32_t& continuation,
                                        BufferHandle reply) {
    LdapContext* c = nullptr;
    BufferState* out = nullptr;
    const BufferState* in = nullptr;
    if (Result r = CallBuffers(state_->NewCall(), context, reply, allClasses, request,
                               Operation::ReadClassDefinitions, c, out, in);
        r != 0) {
        return r;
    }
    return ClassPageOf(*state_, context, *c, kind, allClasses, in, continuation, *out);
}

Result LdapClient::GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return image::ClassDefCountIn(*state_, context, reply, count);
}

Result LdapClient::GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                               ClassDefRecord& record) {
    return image::ClassDefIn(*state_, context, reply, name, record);
}

Result LdapClient::GetClassItemCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    return image::ClassItemCountIn(*state_, context, reply, count);
}

Result LdapClient::GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) {
    return image::ClassItemIn(*state_, context, reply, name);
}

Result LdapClient::ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind, bool allAttributes,
                                       BufferHandle request, int32_t& continuation,
                                       BufferHandle reply) {
    LdapContext* c = nullptr;
    BufferState* out = nullptr;
    const BufferState* in = nullptr;
    if (Result r = CallBuffers(state_->NewCall(), context, reply, allAttributes, request,
                               Operation::ReadAttrDefinitions, c, out, in);
        r != 0) {
        return r;
    }
    return AttrDefPageOf(*state_, context, *c, kind, allAttributes, in, continuation, *out);
}

Result LdapClient::GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                              AttrDefRecord& record) {
    return image::AttrDefIn(*state_, context, reply, name, record);
}

Result LdapClient::GetSyntaxId(ContextHandle context, std::string_view attribute,
                               SyntaxId& syntax) {
    LdapContext* c = state_->NewCall().FindContext(context);
    if (!c) return Err::BadContext;
    const LdapSchema* schema = nullptr;
    if (Result r = state_->SchemaOf(*c, schema); r != 0) return r;
    const image::AttributeDefinition* definition = schema->Definitions().FindAttribute(attribute);
    if (!definition) {
        const std::string program = schema->ProgramAttribute(attribute);
        definition = program.empty() ? nullptr : schema->Definitions().FindAttribute(program);
    }
    if (!definition) return Err::NoSuchAttribute;
    syntax = definition->syntax;
    return 0;
}

// --- Names and entry information --------------------------------------------

Result LdapClient::ReadEntryInfo(ContextHandle context, std::string_view object, size_t room,
                                 EntryInfo& info) {
    State& s = state_->NewCall();
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    std::string dn;
    if (Result r = s.ToDn(*c, object, dn, Aliases::All); r != 0) return r;
    const LdapSchema* schema = nullptr;
    if (Result r = s.SchemaOf(*c, schema); r != 0) return r;
    LdapSession& session = s.SessionOf(*c);
    FoundEntry entry;
    if (Result r = session.ReadEntry(dn, RecordAttributes(), entry); r != 0) return r;
    const EntryRecord record = s.RecordOf(*c, *schema, entry);
    const uint32_t wanted = c->entryItems;
    auto want = [wanted](uint32_t bit) { return (wanted & bit) != 0; };
    info.items.clear();
    if (want(EntryItemBit::SubordinateCount)) {
        uint32_t count = record.subordinateCount;
        if (!entry.Find("subordinateCount") && !entry.Find("numSubordinates") &&
            (record.flags & EntryFlag::Container) != 0 && count != 0) {
            // The server tells only whether there are subordinates: count them.
            count = 0;
            std::string cookie;
            for (int pages = 0; pages < 100000; ++pages) {
                std::vector<FoundEntry> children;
                PageEnd end;
                if (Result r = session.SearchPage(dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                                  {"1.1"}, 1000, cookie, children, end);
                    r != 0) {
                    return r;
                }
                count += static_cast<uint32_t>(children.size());
                if (end.cookie.empty()) break;
                cookie = end.cookie;
            }
        }
        info.items[EntryItemBit::SubordinateCount] = count;
    }
    auto time = [&](const char* attribute) -> uint32_t {
        const auto* values = entry.Find(attribute);
        uint32_t seconds = 0;
        if (values && !values->empty()) ParseGeneralizedTime(values->front(), seconds);
        return seconds;
    };
    if (want(EntryItemBit::ModificationTime)) {
        info.items[EntryItemBit::ModificationTime] = time("modifyTimestamp");
    }
    if (want(EntryItemBit::CreationTime)) {
        info.items[EntryItemBit::CreationTime] = time("createTimestamp");
    }
    if (want(EntryItemBit::BaseClass)) info.items[EntryItemBit::BaseClass] = record.baseClass;
    if (want(EntryItemBit::FullName)) info.items[EntryItemBit::FullName] = s.FromDn(*c, dn);
    Name full;
    ParseDn(dn, full);
    if (want(EntryItemBit::PartitionRoot)) {
        // The naming context that holds the entry; the top when it lies above.
        std::string root = "[Root]";
        size_t best = 0;
        for (const Name& naming : session.NamingContexts()) {
            Name below;
            if (naming.size() > best && RelativeTo(full, naming, below)) {
                best = naming.size();
                root = s.FromDn(*c, DnText(naming));
            }
        }
        info.items[EntryItemBit::PartitionRoot] = root;
    }
    if (want(EntryItemBit::Parent) && !full.empty()) {
        Name relative;
        if (RelativeTo(full, session.Base(), relative) && !relative.empty()) {
            info.items[EntryItemBit::Parent] =
                s.FromDn(*c, DnText(Name(full.begin() + 1, full.end())));
        }
    }
    return FitEntryInfo(info, room);
}

Result LdapClient::TakeEntryItem(const EntryInfo& info, size_t room, uint32_t selector,
                                 EntryItem& item) {
    return TakeEntryItemOf(info, room, selector, item);
}

Result LdapClient::CanonicalizeName(ContextHandle context, std::string_view name,
                                    std::string& full) {
    State& s = state_->NewCall();
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    if (name.empty()) return Err::IllegalDsName;
    std::string dn;
    if (s.ToDn(*c, name, dn) == 0) {
        full = s.FromDn(*c, dn);
        return 0;
    }
    // A name the server does not hold is still given its full form, as written.
    const std::string absolute = AbsoluteName(*c, name);
    Name dotted;
    if (!ParseDotted(absolute, dotted)) return Err::IllegalDsName;
    full = DottedText(dotted, c->Typeless());
    return 0;
}

Result LdapClient::WhoAmI(ContextHandle context, std::string& identity) {
    State& s = *state_;
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    const std::string& dn = s.SessionOf(*c).Identity();
    identity = dn.empty() ? std::string() : s.FromDn(*c, dn);
    return 0;
}

Result LdapClient::ReadObjectInfo(ContextHandle context, std::string_view object,
                                  std::string& fullName, EntryRecord& info) {
    State& s = state_->NewCall();
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    std::string dn;
    if (Result r = s.ToDn(*c, object, dn, Aliases::All); r != 0) return r;
    const LdapSchema* schema = nullptr;
    if (Result r = s.SchemaOf(*c, schema); r != 0) return r;
    FoundEntry entry;
    if (Result r = s.SessionOf(*c).ReadEntry(dn, RecordAttributes(), entry); r != 0) return r;
    info = s.RecordOf(*c, *schema, entry);
    fullName = s.FromDn(*c, dn);
    return 0;
}

// --- Streams ------------------------------------------------------------------

Result LdapClient::OpenStream(ContextHandle context, std::string_view object,
                              std::string_view attribute, uint32_t access, StreamHandle& stream) {
    State& s = state_->NewCall();
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    if (access != 1) return Err::NoAccess;
    const LdapSchema* schema = nullptr;
    if (Result r = s.SchemaOf(*c, schema); r != 0) return r;
    // The object before its attribute, as the embedded directory checks them.
    std::string dn;
    if (Result r = s.ToDn(*c, object, dn, Aliases::All); r != 0) return r;
    std::string ldapName = schema->LdapAttribute(attribute);
    if (ldapName.empty()) return Err::NoSuchAttribute;
    FoundEntry entry;
    if (Result r = s.SessionOf(*c).ReadEntry(dn, {ldapName}, entry); r != 0) return r;
    const auto* values = entry.Find(ldapName);
    if (!values || values->empty()) return Err::NoSuchAttribute;
    stream = static_cast<StreamHandle>(s.NewHandle());
    s.streams[stream] = {std::string(values->front()), 0};
    return 0;
}

Result LdapClient::ReadStream(StreamHandle stream, std::span<uint8_t> into, size_t& bytesRead) {
    return ReadStreamOf(state_->streams, stream, into, bytesRead);
}

Result LdapClient::CloseStream(StreamHandle stream) {
    return state_->streams.erase(stream) ? 0 : Err::InvalidHandle;
}

// --- Updates ------------------------------------------------------------------

Result LdapClient::RemoveObject(ContextHandle context, std::string_view object) {
    State& s = state_->NewCall();
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    std::string dn;
    if (Result r = s.ToDn(*c, object, dn, Aliases::Path); r != 0) return r;
    const Result result = s.SessionOf(*c).Delete(dn);
    // A removal the server did not answer may have been made all the same.
    if (result == 0 || result == Err::OutcomeUnknown) s.ForgetNamesOf(*c, dn);
    return result;
}

Result LdapClient::ModifyObject(ContextHandle context, std::string_view object,
                                int32_t& continuation, bool, BufferHandle request) {
    State& s = state_->NewCall();
    LdapContext* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* in = s.FindBuffer(request);
    if (!in) return Err::InvalidHandle;
    if (!in->prepared || in->request.operation != Operation::Modify) return Err::BadVerb;
    // A change is one call: no continuation, also when it fails.
    continuation = kNoContinuation;
    const LdapSchema* schema = nullptr;
    if (Result r = s.SchemaOf(*c, schema); r != 0) return r;
    std::string dn;
    if (Result r = s.ToDn(*c, object, dn, Aliases::All); r != 0) return r;
    Result unresolved = 0;
    const ValueNames names = s.NamesFor(*c, *schema, &unresolved);
    // A value to remove may name an entry that is gone: its name goes as it is.
    const ValueNames heldNames = s.NamesFor(*c, *schema);
    std::vector<LdapSession::Change> changes;
    bool tolerant = true;             // only changes that must not fail on what is or is not there
    std::vector<bool> tolerantKinds;  // per change: clear a value, or add one to a list
    for (const RequestedChange& change : in->request.changes) {
        const std::string attribute = schema->LdapAttribute(change.attribute);
        if (attribute.empty()) return Err::NoSuchAttribute;
        std::vector<std::string> values;
        if (change.value) {
            // A new value naming nobody is refused as the embedded directory
            // refuses it, not sent as the empty DN (the server's root DSE).
            const bool removes =
                change.type == ChangeType::RemoveValue || change.type == ChangeType::ClearValue;
            if (!removes && HoldsEmptyName(*change.value)) return Err::IllegalDsName;
            unresolved = 0;
            values.push_back(LdapValueText(*change.value, removes ? heldNames : names));
            // A new value naming no entry is refused with the name's failure
            // (no such entry), not sent as text the server cannot read as a
            // DN. A removal goes as before: the value held may name nobody.
            if (!removes && unresolved != 0) return unresolved;
        }
        LdapSession::Change out;
        out.attribute = schema->BinaryTransfer(attribute) ? attribute + ";binary" : attribute;
        out.values = values;
        switch (change.type) {
            case ChangeType::AddAttribute:
                // An attribute exists through its values; with none there is nothing to send.
                if (values.empty()) continue;
                out.operation = LDAP_MOD_ADD;
                tolerant = false;
                break;
            case ChangeType::RemoveAttribute:
                out.operation = LDAP_MOD_DELETE;
                out.values.clear();
                tolerant = false;
                break;
            case ChangeType::AddValue:
            case ChangeType::AddAdditionalValue:
                if (values.empty()) return Err::InvalidRequest;
                out.operation = LDAP_MOD_ADD;
                tolerant = false;
                break;
            case ChangeType::RemoveValue:
                if (values.empty()) return Err::InvalidRequest;
                out.operation = LDAP_MOD_DELETE;
                tolerant = false;
                break;
            case ChangeType::OverwriteValue: {
                if (values.empty()) return Err::InvalidRequest;
                const auto* definition =
                    schema->Definitions().FindAttribute(schema->ProgramAttribute(attribute));
                // A single value is replaced; a list gains the value.
                out.operation =
                    definition && (definition->flags & 0x1) != 0 ? LDAP_MOD_REPLACE : LDAP_MOD_ADD;
                break;
            }
            case ChangeType::ClearAttribute:
                out.operation = LDAP_MOD_REPLACE;
                out.values.clear();
                break;
            case ChangeType::ClearValue:
                if (values.empty()) continue;  // names no value: nothing is cleared
                out.operation = LDAP_MOD_DELETE;
                break;
        }
        tolerantKinds.push_back(
            change.type == ChangeType::ClearValue ||
            (change.type == ChangeType::OverwriteValue && out.operation == LDAP_MOD_ADD));
        changes.push_back(std::move(out));
    }
    // Clearing a value that is not there, or overwriting a list's value with
    // itself, is no error for the directory. Servers without the permissive-
    // modify control would refuse those, so they are checked against the
    // values the object holds now and left out when there is nothing to do.
    std::vector<std::string> checked;
    for (size_t i = 0; i < changes.size(); ++i) {
        if (tolerantKinds[i]) checked.push_back(changes[i].attribute);
    }
    if (!checked.empty()) {
        FoundEntry current;
        if (Result r = s.SessionOf(*c).ReadEntry(dn, checked, current); r != 0) return r;
        std::vector<LdapSession::Change> kept;
        for (size_t i = 0; i < changes.size(); ++i) {
            if (tolerantKinds[i] && !changes[i].values.empty()) {
                const auto* held = current.Find(changes[i].attribute);
                const bool present =
                    held && std::any_of(held->begin(), held->end(), [&](std::string_view v) {
                        return image::EqualsNoCase(v, changes[i].values.front());
                    });
                const bool deleting = changes[i].operation == LDAP_MOD_DELETE;
                if (deleting != present) continue;  // nothing to clear, or already there
            }
            kept.push_back(std::move(changes[i]));
        }
        changes = std::move(kept);
    }
    if (changes.empty()) return 0;
    const Result result = s.SessionOf(*c).Modify(dn, changes, tolerant);
    s.Forget(dn);
    return result;
}

const ErrorTextTable* LdapClient::ErrorTexts() const {
    return &state_->errorTexts;
}

std::string LdapClient::StartupDiagnostic() const {
    return state_->diagnostic;
}

std::string LdapClient::FailureReason(Result code) const {
    // Only the last failure is told of, and only for its own code: a reason
    // must never explain another call's failure.
    const FailureNote& note = state_->lastFailure;
    if (code == 0 || note.code != code) return {};
    // The code's own words first ("Transport failure", not what it goes on
    // to guess), so that the texts people know stay recognisable.
    std::string words(state_->errorTexts.Lookup(code).value_or(""));
    words = words.substr(0, words.find(": "));
    switch (note.kind) {
        case FailureNote::Kind::None: return {};
        case FailureNote::Kind::ServerSaid:
            return words.empty() ? "the server said: " + note.text
                                 : words + " (the server said: " + note.text + ")";
        case FailureNote::Kind::MissingBase:
            return words.empty() ? note.text : words + ": " + note.text;
        case FailureNote::Kind::SearchRefused: return "The server refused the search: " + note.text;
        case FailureNote::Kind::Unanswered:
            // A server that hangs, told apart from one that is gone.
            return "Transport failure: " + note.text;
    }
    return {};
}

void LdapClient::ForgetKept() {
    state_->ForgetKept();
}

bool LdapClient::StartupCancelled() const {
    return state_->startupCancelled;
}

}  // namespace vellrun::client::ldap
