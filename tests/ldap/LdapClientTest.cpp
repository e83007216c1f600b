// The live directory client against a real slapd: listings paged through the
// server with a change between pages, values parsed into the program's
// records (a malformed one kept as bytes), the value flags of a read answered
// from a listing's entry and of a direct read, entry information, modifications
// and deletions with each mapped error, bind refusals, a server's size limit
// and a name beyond it, a server with a largest page and one that pages
// nothing, an attribute sent in two parts, a server that dies in the middle
// of a listing and one that stops answering (and a wait for it cut short by
// a signal), aliases, referral entries, siblings that share a typeless name,
// two trees with the same names, a heavy attribute read once, an entry
// renamed by another program, and entries named like the top of the tree.

#include "TestSlapd.h"
#include "client/ldap/LdapClient.h"
#include "client/ldap/LdapSession.h"
#include "directory/DirectoryAccess.h"
#include "support/CountingRunFeedback.h"
#include "support/PortScenarios.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <ldap.h>
#include <pthread.h>
#include <sys/stat.h>

namespace vellrun::client::ldap {
namespace {

using testing::TestSlapd;

// A signal handler like the console's for Ctrl-C: it asks the wait to stop
// (when the signal means that) and lets the poll it comes into fail.
std::atomic<bool> signalMeansStop{false};
std::atomic<bool> stopAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnTestSignal(int) {
    if (signalMeansStop.load()) stopAsked.store(true);
}

class LdapClientTest : public ::testing::Test {
protected:
    std::unique_ptr<LdapClient> Connect(LdapConnectionConfig config) {
        auto client = std::make_unique<LdapClient>(std::vector<LdapConnectionConfig>{config});
        EXPECT_EQ(client->InitClient(0, 0), 0) << client->StartupDiagnostic();
        return client;
    }

    ContextHandle Context(LdapClient& client, bool typeless = false) {
        ContextHandle context{};
        EXPECT_EQ(client.CreateContext(context), 0);
        if (typeless) {
            EXPECT_EQ(client.SetContextNumber(context, ContextKey::Flags,
                                              ContextFlag::Typeless | ContextFlag::Canonical),
                      0);
        }
        return context;
    }

    // A report's recursive walk over a client, as the report runs it: the
    // directory layer on a context with typeless names and the given flags.
    struct Walker {
        Walker(LdapClient& client, uint32_t flags) : access(client, messages, feedback) {
            EXPECT_EQ(access.DSStartClient(), 0);
            EXPECT_EQ(client.CreateContext(context), 0);
            EXPECT_EQ(
                client.SetContextNumber(context, ContextKey::Flags,
                                        ContextFlag::Typeless | ContextFlag::Canonical | flags),
                0);
        }
        // The names of the entries found, in the walk's order; onEntry sees each.
        Result Walk(const std::string& container,
                    const std::function<void(const std::string&)>& onEntry = {}) {
            found.clear();
            platform::CancelFlag cancel;
            return access.DSWalkContainer(
                context, container, true, cancel,
                [&](const std::string&, const directory::TNDSObj& cursor) {
                    found.push_back(cursor.entryName);
                    if (onEntry) onEntry(cursor.entryName);
                },
                "");
        }
        testing::ScriptedMessagePort messages;
        testing::CountingRunFeedback feedback;
        directory::DirectoryAccess access;
        ContextHandle context{};
        std::vector<std::string> found;
    };

    // Every entry of a listing, page by page; between the first and second
    // page the callback may change the directory.
    Result ListAll(LdapClient& client, ContextHandle context, const std::string& container,
                   std::vector<std::string>& names, size_t& pages,
                   const std::function<void()>& betweenPages = {}) {
        BufferHandle reply{};
        EXPECT_EQ(client.AllocBuffer(kListReplySize, reply), 0);
        int32_t continuation = kNoContinuation;
        pages = 0;
        Result result = 0;
        do {
            result = client.ListSubordinates(context, container, continuation, reply);
            if (result != 0) break;
            ++pages;
            uint32_t count = 0;
            client.GetEntryCount(context, reply, count);
            for (uint32_t i = 0; i < count; ++i) {
                std::string name;
                uint32_t attributes = 0;
                EntryRecord record;
                EXPECT_EQ(client.GetNextEntry(context, reply, name, attributes, record), 0);
                names.push_back(name);
            }
            if (pages == 1 && betweenPages) betweenPages();
        } while (continuation != kNoContinuation);
        client.FreeBuffer(reply);
        return result;
    }

    std::string People(const std::string& ou, int count, int from = 0) {
        std::string ldif;
        for (int i = from; i < from + count; ++i) {
            ldif += "dn: cn=user" + std::to_string(i) + ",ou=" + ou +
                    ",dc=test\nobjectClass: inetOrgPerson\ncn: user" + std::to_string(i) +
                    "\nsn: Person " + std::to_string(i) + "\n\n";
        }
        return ldif;
    }

    // A subtree ou=name of a container Team with a person in it, an alias
    // for Team and an alias for an entry that is not there: the names that
    // a recursive walk which follows aliases finds, sorted.
    std::vector<std::string> WalkAliases(const std::string& name) {
        const TestSlapd& slapd = TestSlapd::Shared();
        const std::string ou = slapd.FreshSubtree(name);
        const std::string alias = "objectClass: alias\nobjectClass: extensibleObject\n";
        std::string ldif = "dn: ou=Team," + ou + "\nobjectClass: organizationalUnit\nou: Team\n\n";
        ldif += "dn: cn=user0,ou=Team," + ou + "\nobjectClass: inetOrgPerson\ncn: user0\n";
        ldif += "sn: Person\n\n";
        ldif += "dn: ou=toTeam," + ou + "\n" + alias + "ou: toTeam\n";
        ldif += "aliasedObjectName: ou=Team," + ou + "\n\n";
        ldif += "dn: cn=gone," + ou + "\n" + alias + "cn: gone\n";
        ldif += "aliasedObjectName: cn=ghost," + ou + "\n";
        slapd.Modify(ldif);
        LdapClient client({slapd.ManagerConnection()});
        Walker walker(client, ContextFlag::DereferenceAliases);
        EXPECT_EQ(walker.Walk(name), 0);
        std::sort(walker.found.begin(), walker.found.end());
        return walker.found;
    }

    // The first value of an object's attribute as text.
    Result ReadText(LdapClient& client, ContextHandle context, const std::string& object,
                    const std::string& attribute, std::string& text) {
        BufferHandle request{}, reply{};
        client.AllocBuffer(kRequestBufferSize, request);
        client.AllocBuffer(kReadReplySize, reply);
        client.PrepareRequest(context, Operation::Read, request);
        client.PutName(context, request, attribute);
        int32_t continuation = kNoContinuation;
        Result result =
            client.Read(context, object, ReadKind::Values, false, request, continuation, reply);
        std::string name;
        uint32_t values = 0;
        SyntaxId syntax = 0;
        AttrValue value;
        if (result == 0) result = client.GetAttrName(context, reply, name, values, syntax);
        if (result == 0) result = client.GetAttrVal(context, reply, syntax, value);
        const auto* string = std::get_if<StringValue>(&value.record);
        text = string ? string->text : std::string();
        client.FreeBuffer(request);
        client.FreeBuffer(reply);
        return result;
    }

    // A private server (one a test may stop) holding ou=Held with people in it.
    std::unique_ptr<TestSlapd> StartHeldServer(const testing::TempDir& dir, int people) {
        const std::string ldif = (dir / "data.ldif").string();
        testing::WriteFile(ldif,
                           "dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\no: T\n"
                           "dc: test\n\ndn: ou=Held,dc=test\nobjectClass: organizationalUnit\n"
                           "ou: Held\n\n" +
                               People("Held", people));
        return TestSlapd::Start(dir / "slapd", {}, {ldif});
    }
};

TEST_F(LdapClientTest, ListingPagesThroughTheServerAndSurvivesAChangeBetweenPages) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Paging");
    slapd.Modify(People("Paging", 300));
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client);

    std::vector<std::string> names;
    size_t pages = 0;
    ASSERT_EQ(ListAll(*client, context, "OU=Paging", names, pages,
                      [&] {
                          // One entry added and one removed while the listing is under way.
                          slapd.Modify(People("Paging", 1, 1000));
                          slapd.Modify("dn: cn=user299,ou=Paging,dc=test\nchangetype: delete\n",
                                       false);
                      }),
              0);
    EXPECT_GT(pages, 3u);  // a 4 KiB reply never holds 300 entries
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size()) << "an entry was listed twice";
    for (int i = 0; i < 299; ++i) {
        EXPECT_EQ(unique.count("CN=user" + std::to_string(i)), 1u) << i;
    }

    // Typeless names list and resolve the same objects.
    const ContextHandle plain = Context(*client, true);
    std::vector<std::string> typeless;
    ASSERT_EQ(ListAll(*client, plain, "Paging", typeless, pages), 0);
    EXPECT_EQ(std::count(typeless.begin(), typeless.end(), "user7"), 1);
    std::string full;
    ASSERT_EQ(client->CanonicalizeName(plain, "user7.Paging", full), 0);
    EXPECT_EQ(full, "user7.Paging");
    ASSERT_EQ(client->CanonicalizeName(context, "CN=user7.OU=Paging", full), 0);
    EXPECT_EQ(full, "CN=user7.OU=Paging");

    int32_t continuation = kNoContinuation;
    BufferHandle reply{};
    client->AllocBuffer(kListReplySize, reply);
    EXPECT_EQ(client->ListSubordinates(context, "OU=Nowhere", continuation, reply),
              Err::NoSuchEntry);
    EXPECT_EQ(continuation, kNoContinuation);

    // A report walk: list a page, read one attribute of each listed object.
    // After the first objects the listing fetches that attribute itself, so
    // the reads need no round trip of their own.
    auto fresh = Connect(slapd.ManagerConnection());
    const ContextHandle walk = Context(*fresh, true);
    BufferHandle page{}, request{}, values{};
    fresh->AllocBuffer(kListReplySize, page);
    fresh->AllocBuffer(kRequestBufferSize, request);
    fresh->AllocBuffer(kReadReplySize, values);
    size_t read = 0, withSurname = 0;
    continuation = kNoContinuation;
    do {
        ASSERT_EQ(fresh->ListSubordinates(walk, "Paging", continuation, page), 0);
        uint32_t count = 0;
        fresh->GetEntryCount(walk, page, count);
        std::vector<std::string> listed(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t attributes = 0;
            EntryRecord record;
            fresh->GetNextEntry(walk, page, listed[i], attributes, record);
        }
        for (const std::string& name : listed) {
            fresh->PrepareRequest(walk, Operation::Read, request);
            fresh->PutName(walk, request, "sn");
            int32_t readOn = kNoContinuation;
            ASSERT_EQ(fresh->Read(walk, name + ".Paging", ReadKind::Values, false, request, readOn,
                                  values),
                      0)
                << name << " after " << read << " reads";
            ++read;
            std::string attribute;
            uint32_t valueCount = 0;
            SyntaxId syntax = 0;
            if (fresh->GetAttrName(walk, values, attribute, valueCount, syntax) == 0 &&
                valueCount == 1) {
                ++withSurname;
            }
        }
    } while (continuation != kNoContinuation);
    EXPECT_EQ(withSurname, read);
    const LdapClientStatistics statistics = fresh->Statistics();
    EXPECT_GT(statistics.readsFromListing, read - 100);
    EXPECT_LT(statistics.serverRequests, 120u) << "a round trip per read";
}

TEST_F(LdapClientTest, AWalkWhoseReadsWidenListsEachEntryOnceWithHandlesUsedAgainAsNew) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Widening");
    slapd.Modify(People("Widening", 400));
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle walk = Context(*client, true);
    BufferHandle page{};
    ASSERT_EQ(client->AllocBuffer(kListReplySize, page), 0);

    // One cell as a report reads it: a context copy and two buffers of its
    // own, freed after. Handles freed by the last cell come back as new.
    auto readCell = [&](const std::string& object, const std::string& attribute,
                        std::vector<std::string>& texts) {
        ContextHandle copy{};
        ASSERT_EQ(client->DuplicateContext(walk, copy), 0);
        uint32_t flags = 0;
        EXPECT_EQ(client->GetContextNumber(copy, ContextKey::Flags, flags), 0);
        EXPECT_NE(flags & ContextFlag::Typeless, 0u) << "the copy has the walk's settings";
        BufferHandle request{}, reply{};
        ASSERT_EQ(client->AllocBuffer(kRequestBufferSize, request), 0);
        ASSERT_EQ(client->AllocBuffer(kReadReplySize, reply), 0);
        uint32_t count = 0;
        EXPECT_EQ(client->GetAttrCount(copy, reply, count), Err::BadVerb) << "no reply yet";
        EXPECT_EQ(client->PutName(copy, request, attribute), Err::BadVerb) << "not prepared";
        ASSERT_EQ(client->PrepareRequest(copy, Operation::Read, request), 0);
        ASSERT_EQ(client->PutName(copy, request, attribute), 0);
        int32_t readOn = kNoContinuation;
        ASSERT_EQ(client->Read(copy, object, ReadKind::Values, false, request, readOn, reply), 0)
            << object << " " << attribute;
        ASSERT_EQ(client->GetAttrCount(copy, reply, count), 0);
        ASSERT_EQ(count, 1u) << "only the attribute asked for";
        std::string name;
        uint32_t valueCount = 0;
        SyntaxId syntax = 0;
        ASSERT_EQ(client->GetAttrName(copy, reply, name, valueCount, syntax), 0);
        for (uint32_t i = 0; i < valueCount; ++i) {
            AttrValue value;
            ASSERT_EQ(client->GetAttrVal(copy, reply, syntax, value), 0);
            const auto* text = std::get_if<StringValue>(&value.record);
            texts.push_back(text ? text->text : std::string("?"));
        }
        AttrValue past;
        EXPECT_EQ(client->GetAttrVal(copy, reply, syntax, past), Err::BufferEmpty);
        EXPECT_EQ(client->FreeBuffer(request), 0);
        EXPECT_EQ(client->FreeBuffer(reply), 0);
        EXPECT_EQ(client->FreeContext(copy), 0);
        EXPECT_EQ(client->FreeBuffer(reply), Err::InvalidHandle);
        EXPECT_EQ(client->GetAttrCount(walk, reply, count), Err::InvalidHandle);
        EXPECT_EQ(client->FreeContext(copy), Err::BadContext);
    };

    // The walk reads more attributes page by page, so its listing begins
    // again twice with more attributes and passes over what it handed out.
    std::vector<std::string> listed;
    int32_t continuation = kNoContinuation;
    size_t pages = 0;
    do {
        ASSERT_EQ(client->ListSubordinates(walk, "Widening", continuation, page), 0);
        ++pages;
        uint32_t count = 0;
        ASSERT_EQ(client->GetEntryCount(walk, page, count), 0);
        std::vector<std::string> names(count);
        for (std::string& name : names) {
            uint32_t attributes = 0;
            EntryRecord record;
            ASSERT_EQ(client->GetNextEntry(walk, page, name, attributes, record), 0);
        }
        std::vector<std::string> attributes = {"cn"};
        if (pages >= 2) attributes.push_back("sn");
        if (pages >= 3) attributes.push_back("objectClass");
        for (const std::string& name : names) {
            listed.push_back(name);
            const std::string number = name.substr(std::string("user").size());
            for (const std::string& attribute : attributes) {
                std::vector<std::string> texts;
                readCell(name + ".Widening", attribute, texts);
                if (attribute == "cn") {
                    EXPECT_EQ(texts, std::vector<std::string>{name});
                    // The same cell again reads the same: a value handed out
                    // is not taken from what the listing fetched.
                    std::vector<std::string> again;
                    readCell(name + ".Widening", attribute, again);
                    EXPECT_EQ(again, texts);
                } else if (attribute == "sn") {
                    EXPECT_EQ(texts, std::vector<std::string>{"Person " + number});
                } else {
                    // inetOrgPerson as written, with its superclasses.
                    EXPECT_EQ(texts, (std::vector<std::string>{
                                         "inetOrgPerson", "organizationalPerson", "person", "top"}))
                        << name;
                }
            }
        }
    } while (continuation != kNoContinuation);
    EXPECT_GT(pages, 3u);
    const std::set<std::string> unique(listed.begin(), listed.end());
    EXPECT_EQ(unique.size(), listed.size()) << "an entry was listed twice";
    EXPECT_EQ(listed.size(), 400u);

    // A small buffer handed out again has its own room, not that of its last use.
    BufferHandle small{};
    ASSERT_EQ(client->AllocBuffer(16, small), 0);
    ASSERT_EQ(client->PrepareRequest(walk, Operation::Read, small), 0);
    EXPECT_EQ(client->PutName(walk, small, "givenName"), Err::BufferFull);
    EXPECT_EQ(client->FreeBuffer(small), 0);
}

// A recursive walk steps into every entry whose class may hold others. The
// leaves it steps into cost one short request each, which leaves the paged
// listing of their container alone (the server pages one search per
// connection: a paged listing of each leaf made the container's listing
// begin again on every page); a few of them are asked ahead of the walk.
// And the server's word that an entry has no subordinates is not taken as
// the listing: an entry that has some all the same (another database glued
// below it, or a child added by another connection since its page came)
// still shows them.
TEST_F(LdapClientTest, ARecursiveWalkStepsIntoLeavesCheaplyAndStillFindsTheirChildren) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Leaves");
    constexpr int kLeaves = 1000;
    slapd.Modify(People("Leaves", kLeaves));
    LdapClient client({slapd.ManagerConnection()});
    Walker walker(client, ContextFlag::DereferenceAliases);
    std::string full;
    ASSERT_EQ(client.CanonicalizeName(walker.context, "Leaves", full), 0);

    const uint64_t before = client.Statistics().serverRequests;
    ASSERT_EQ(walker.Walk("Leaves"), 0);
    EXPECT_EQ(walker.found.size(), static_cast<size_t>(kLeaves));
    // Leaves is read (is it an alias?) and listed in pages of dozens of
    // entries; each leaf is asked once.
    EXPECT_LE(client.Statistics().serverRequests - before, kLeaves + 1 + kLeaves / 50);

    ASSERT_EQ(walker.Walk("Leaves",
                          [&](const std::string& entry) {
                              if (entry != "user0") return;
                              // Another connection gives user40 a child after
                              // its page said it has none (and before the
                              // walk asks it, which is some leaves ahead).
                              slapd.Modify(
                                  "dn: cn=kid1,cn=user40,ou=Leaves,dc=test\nobjectClass: "
                                  "inetOrgPerson\ncn: kid1\nsn: Kid\n");
                          }),
              0);
    EXPECT_EQ(walker.found.size(), static_cast<size_t>(kLeaves + 1));
    EXPECT_NE(std::find(walker.found.begin(), walker.found.end(), "kid1"), walker.found.end());

    // For a user whose searches without paging stop at three entries, a
    // "leaf" with more children is listed again, paged, and found whole.
    LdapConnectionConfig pager = slapd.ManagerConnection();
    pager.bindDn = "cn=pager,dc=test";
    pager.password = "pagerpw";
    LdapClient paged({pager});
    Walker pagedWalker(paged, 0);
    ASSERT_EQ(pagedWalker.Walk("Leaves",
                               [&](const std::string& entry) {
                                   if (entry != "user0") return;
                                   std::string ldif;
                                   for (int k = 0; k < 5; ++k) {
                                       const std::string kid = "kid2-" + std::to_string(k);
                                       ldif += "dn: cn=" + kid +
                                               ",cn=user41,ou=Leaves,dc=test\nobjectClass: "
                                               "inetOrgPerson\ncn: " +
                                               kid + "\nsn: Kid\n\n";
                                   }
                                   slapd.Modify(ldif);
                               }),
              0);
    EXPECT_EQ(pagedWalker.found.size(), static_cast<size_t>(kLeaves + 1 + 5));
}

// Another database glued below an entry that holds nothing else: the server
// says that entry has no subordinates, and a walk finds the glued entries all
// the same, also where the entry was asked ahead of the walk.
TEST_F(LdapClientTest, AWalkFindsADatabaseGluedBelowALeaf) {
    testing::TempDir dir;
    const std::string ldif = (dir / "data.ldif").string();
    const std::string glued = "ou=sub,cn=user5,ou=Top,dc=test";
    testing::WriteFile(ldif,
                       "dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\no: T\n"
                       "dc: test\n\ndn: ou=Top,dc=test\nobjectClass: organizationalUnit\n"
                       "ou: Top\n\n" +
                           People("Top", 30) + "dn: " + glued +
                           "\nobjectClass: organizationalUnit\nou: sub\n\ndn: cn=x," + glued +
                           "\nobjectClass: person\ncn: x\nsn: X\n");
    auto slapd = TestSlapd::Start(dir / "slapd", {}, {ldif}, "dc=test", false, glued);
    LdapClient client({slapd->ManagerConnection()});
    Walker walker(client, 0);
    ASSERT_EQ(walker.Walk("Top"), 0);
    EXPECT_EQ(walker.found.size(), 32u);
    EXPECT_NE(std::find(walker.found.begin(), walker.found.end(), "sub"), walker.found.end());
    EXPECT_NE(std::find(walker.found.begin(), walker.found.end(), "x"), walker.found.end());
}

// A server with a largest page (slapd's size.pr) refuses a search that asks
// for more before it sends any entry: the client asks again with smaller
// pages, and the listings, walks and reads of such a server find everything.
TEST_F(LdapClientTest, AServerWithALargestPageIsReadWhole) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("SmallPages");
    slapd.Modify(
        "dn: cn=pages,ou=SmallPages,dc=test\nobjectClass: person\ncn: pages\n"
        "sn: Pages\nuserPassword: pagespw\n\n" +
        People("SmallPages", 150));
    LdapConnectionConfig config = slapd.ManagerConnection();
    config.bindDn = "cn=pages,ou=SmallPages,dc=test";
    config.password = "pagespw";

    auto client = Connect(config);
    const ContextHandle context = Context(*client);
    std::vector<std::string> names;
    size_t pages = 0;
    ASSERT_EQ(ListAll(*client, context, "OU=SmallPages", names, pages), 0);
    EXPECT_EQ(names.size(), 151u);
    std::string full;
    EntryRecord record;
    EXPECT_EQ(client->ReadObjectInfo(context, "CN=user7.OU=SmallPages", full, record), 0);

    LdapClient walked({config});
    Walker walker(walked, 0);
    ASSERT_EQ(walker.Walk("SmallPages"), 0);
    EXPECT_EQ(walker.found.size(), 151u);

    // The page that was taken is where the next search of the connection starts.
    LdapSession session(config);
    ASSERT_EQ(session.Open(), 0) << session.Diagnostic();
    std::vector<FoundEntry> found;
    PageEnd end;
    ASSERT_EQ(session.SearchPage("ou=SmallPages,dc=test", LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                 {"cn"}, 200, {}, found, end),
              0)
        << session.Diagnostic();
    EXPECT_LE(found.size(), 50u);
    EXPECT_GT(found.size(), 0u);
    EXPECT_FALSE(end.cookie.empty());
    EXPECT_EQ(end.limit, 0);
    const uint64_t before = session.requests;
    ASSERT_EQ(session.SearchPage("ou=SmallPages,dc=test", LDAP_SCOPE_ONELEVEL, "(cn=user10*)",
                                 {"cn"}, 200, {}, found, end),
              0);
    EXPECT_EQ(found.size(), 11u);  // user10, user100-109
    EXPECT_EQ(session.requests - before, 1u) << "not refused again";

    // A server that pages nothing says so in its own words; the listing is
    // not reported as one cut short.
    slapd.Modify(
        "dn: cn=nopages,ou=SmallPages,dc=test\nobjectClass: person\ncn: nopages\n"
        "sn: NoPages\nuserPassword: nopagespw\n");
    config.bindDn = "cn=nopages,ou=SmallPages,dc=test";
    config.password = "nopagespw";
    LdapClient refused({config});
    Walker refusedWalker(refused, 0);
    const Result result = refusedWalker.Walk("SmallPages");
    EXPECT_EQ(result, Err::SizeLimitExceeded);
    const std::string text = refusedWalker.access.DSErrorText(result);
    EXPECT_NE(text.find("The server refused the search: pagedResults control not allowed"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("incomplete"), std::string::npos) << text;
}

TEST_F(LdapClientTest, AReadAnsweredFromTheListingHasTheValuesAndFlagsOfADirectRead) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Flagged");
    std::string ldif;
    for (int i = 0; i < 150; ++i) {
        const std::string n = std::to_string(i);
        ldif += "dn: cn=user" + n + ",ou=Flagged,dc=test\nobjectClass: top\nobjectClass: person\n" +
                "objectClass: organizationalPerson\nobjectClass: inetOrgPerson\ncn: user" + n +
                "\ncn: alias" + n + "\nsn: Person " + n + "\n\n";
    }
    slapd.Modify(ldif);

    // Each value's text and flags, as a report cell with value information reads them.
    using Read = std::vector<std::pair<std::string, uint32_t>>;
    auto readWithInfo = [](LdapClient& client, ContextHandle context, const std::string& object,
                           const std::string& attribute) {
        Read read;
        BufferHandle request{}, reply{};
        EXPECT_EQ(client.AllocBuffer(kRequestBufferSize, request), 0);
        EXPECT_EQ(client.AllocBuffer(kReadReplySize, reply), 0);
        client.PrepareRequest(context, Operation::Read, request);
        client.PutName(context, request, attribute);
        int32_t continuation = kNoContinuation;
        EXPECT_EQ(client.Read(context, object, ReadKind::ValuesWithInfo, false, request,
                              continuation, reply),
                  0)
            << object << " " << attribute;
        std::string name;
        uint32_t count = 0;
        SyntaxId syntax = 0;
        if (client.GetAttrName(context, reply, name, count, syntax) == 0) {
            for (uint32_t i = 0; i < count; ++i) {
                uint32_t flags = 0;
                EXPECT_EQ(client.GetAttrValFlags(context, reply, flags), 0);
                AttrValue value;
                EXPECT_EQ(client.GetAttrVal(context, reply, syntax, value), 0);
                const auto* text = std::get_if<StringValue>(&value.record);
                read.emplace_back(text ? text->text : "?", flags);
            }
        }
        client.FreeBuffer(request);
        client.FreeBuffer(reply);
        return read;
    };

    // A report walk: the first reads teach the listing what to fetch, and
    // the objects of its later pages are read from the entries it fetched.
    auto walker = Connect(slapd.ManagerConnection());
    const ContextHandle walk = Context(*walker, true);
    auto direct = Connect(slapd.ManagerConnection());
    const ContextHandle alone = Context(*direct, true);
    BufferHandle page{};
    ASSERT_EQ(walker->AllocBuffer(kListReplySize, page), 0);
    int32_t continuation = kNoContinuation;
    size_t objects = 0;
    do {
        ASSERT_EQ(walker->ListSubordinates(walk, "Flagged", continuation, page), 0);
        uint32_t count = 0;
        walker->GetEntryCount(walk, page, count);
        std::vector<std::string> names(count);
        for (std::string& name : names) {
            uint32_t attributes = 0;
            EntryRecord record;
            ASSERT_EQ(walker->GetNextEntry(walk, page, name, attributes, record), 0);
        }
        for (const std::string& name : names) {
            ++objects;
            for (const char* attribute : {"Object Class", "cn"}) {
                const Read listed = readWithInfo(*walker, walk, name + ".Flagged", attribute);
                const Read read = readWithInfo(*direct, alone, name + ".Flagged", attribute);
                EXPECT_EQ(listed, read) << name << " " << attribute;
                EXPECT_EQ(listed.size(), std::string(attribute) == "cn" ? 2u : 4u);
            }
        }
    } while (continuation != kNoContinuation);
    EXPECT_EQ(objects, 150u);
    EXPECT_GT(walker->Statistics().readsFromListing, 200u);
    EXPECT_EQ(direct->Statistics().readsFromListing, 0u);

    // What a direct read flags: the structural class and the naming value.
    const Read classes = readWithInfo(*direct, alone, "user7.Flagged", "Object Class");
    const Read names = readWithInfo(*direct, alone, "user7.Flagged", "cn");
    for (const auto& [value, flags] : classes)
        EXPECT_EQ(flags, value == "inetOrgPerson" ? 0x06u : 0x04u) << value;
    for (const auto& [value, flags] : names)
        EXPECT_EQ(flags, value == "user7" ? 0x05u : 0x04u) << value;
}

TEST_F(LdapClientTest, AListingLeftAfterItsFirstPageDoesNotDisturbTheSearchesAfterIt) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Left");
    slapd.FreshSubtree("Next");
    slapd.Modify(People("Left", 250));
    slapd.Modify(People("Next", 200, 500));
    auto client = Connect(slapd.ManagerConnection());

    // The server is already making the second page when the listing is left.
    ContextHandle left = Context(*client);
    BufferHandle reply{};
    ASSERT_EQ(client->AllocBuffer(kListReplySize, reply), 0);
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client->ListSubordinates(left, "OU=Left", continuation, reply), 0);
    ASSERT_NE(continuation, kNoContinuation);
    EXPECT_EQ(client->FreeContext(left), 0);

    const ContextHandle context = Context(*client);
    std::vector<std::string> names;
    size_t pages = 0;
    ASSERT_EQ(ListAll(*client, context, "OU=Next", names, pages), 0);
    EXPECT_GT(pages, 1u);
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), 200u);
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(unique.count("CN=user500"), 1u);
    EXPECT_EQ(unique.count("CN=user0"), 0u) << "an entry of the listing left behind";

    // And the container left behind lists whole from its start.
    names.clear();
    ASSERT_EQ(ListAll(*client, context, "OU=Left", names, pages), 0);
    unique = std::set<std::string>(names.begin(), names.end());
    EXPECT_EQ(unique.size(), 250u);
    EXPECT_EQ(names.size(), 250u);
}

// A listing asks for its next page before it is wanted; a read between two
// pages on the same connection must not cost it that page. Each read comes
// once the server has had time to make the page asked for (a change on
// another connection goes first), and reads an object the listing does not
// hold, so that it goes to the server.
TEST_F(LdapClientTest, ReadsBetweenPagesLeaveTheListingWhole) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Between");
    slapd.FreshSubtree("Aside");
    slapd.Modify(People("Between", 300));
    slapd.Modify(People("Aside", 1));
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client, true);
    BufferHandle page{}, request{}, values{};
    ASSERT_EQ(client->AllocBuffer(kListReplySize, page), 0);
    ASSERT_EQ(client->AllocBuffer(kRequestBufferSize, request), 0);
    ASSERT_EQ(client->AllocBuffer(kReadReplySize, values), 0);
    auto readAside = [&] {
        ASSERT_EQ(client->PrepareRequest(context, Operation::Read, request), 0);
        ASSERT_EQ(client->PutName(context, request, "sn"), 0);
        int32_t readOn = kNoContinuation;
        ASSERT_EQ(
            client->Read(context, "user0.Aside", ReadKind::Values, false, request, readOn, values),
            0);
    };
    readAside();  // its name is known from here on: no search to find it
    std::vector<std::string> names;
    size_t pages = 0;
    int32_t continuation = kNoContinuation;
    do {
        ASSERT_EQ(client->ListSubordinates(context, "Between", continuation, page), 0)
            << "after " << names.size() << " entries";
        ++pages;
        uint32_t count = 0;
        client->GetEntryCount(context, page, count);
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            uint32_t attributes = 0;
            EntryRecord record;
            ASSERT_EQ(client->GetNextEntry(context, page, name, attributes, record), 0);
            names.push_back(name);
        }
        slapd.Modify("dn: cn=user0,ou=Aside,dc=test\nchangetype: modify\nreplace: sn\nsn: Page " +
                         std::to_string(pages) + "\n",
                     false);
        readAside();
    } while (continuation != kNoContinuation);
    EXPECT_GT(pages, 3u);
    const std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(names.size(), 300u);
    EXPECT_EQ(unique.size(), 300u);
}

// The server pages one search per connection: a paged search between two
// pages of a listing (here the one that finds a name not seen yet) takes the
// paging over, and the listing's next cookie is refused. The listing begins
// again and hands out each entry once.
TEST_F(LdapClientTest, APagedSearchBetweenPagesLeavesTheListingWholeAndWithoutRepeats) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Overtaken");
    slapd.FreshSubtree("Elsewhere");
    slapd.Modify(People("Overtaken", 300));
    slapd.Modify(People("Elsewhere", 3));
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client, true);
    BufferHandle request{}, values{};
    ASSERT_EQ(client->AllocBuffer(kRequestBufferSize, request), 0);
    ASSERT_EQ(client->AllocBuffer(kReadReplySize, values), 0);
    // A name not seen yet: its container is listed (paged) to find it.
    const auto readElsewhere = [&] {
        ASSERT_EQ(client->PrepareRequest(context, Operation::Read, request), 0);
        ASSERT_EQ(client->PutName(context, request, "sn"), 0);
        int32_t readOn = kNoContinuation;
        ASSERT_EQ(client->Read(context, "user2.Elsewhere", ReadKind::Values, false, request, readOn,
                               values),
                  0);
    };
    std::vector<std::string> names;
    size_t pages = 0;
    ASSERT_EQ(ListAll(*client, context, "Overtaken", names, pages, readElsewhere), 0)
        << "after " << names.size() << " entries";
    EXPECT_GT(pages, 3u);
    const std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(names.size(), 300u);
    EXPECT_EQ(unique.size(), 300u);
}

TEST_F(LdapClientTest, ValuesBecomeTheProgramsRecordsAndAMalformedOneStaysBytes) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Values");
    slapd.Modify(
        "dn: cn=jdoe,ou=Values,dc=test\nobjectClass: vrUser\ncn: jdoe\nsn: Doe\n"
        "telephoneNumber: +1 555 0100\nvrLoginGraceLimit: 6\n"
        "vrACL: 31#entry#cn=admin,dc=test#[Entry Rights]\n"
        "vrACL: 2#subtree#ou=Values,dc=test#sn\n"
        "vrLoginTime: 20091030120000Z\nvrLanguage: ENGLISH$DEUTSCH\n"
        "vrLoginScript: WRITE \"hello\"\n\n"
        "dn: cn=broken,ou=Values,dc=test\nobjectClass: vrUser\ncn: broken\nsn: B\n"
        "vrLoginGraceLimit: six\nvrACL: not an acl\n");
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client, true);

    SyntaxId syntax = 0;
    ASSERT_EQ(client->GetSyntaxId(context, "Login Grace Limit", syntax), 0);
    EXPECT_EQ(syntax, Syntax::Integer);

    auto readAll = [&](const std::string& object, ReadKind kind) {
        std::map<std::string, std::vector<std::pair<AttrValue, uint32_t>>> values;
        BufferHandle reply{};
        client->AllocBuffer(kReadReplySize, reply);
        int32_t continuation = kNoContinuation;
        do {
            EXPECT_EQ(
                client->Read(context, object, kind, true, BufferHandle{}, continuation, reply), 0);
            uint32_t count = 0;
            client->GetAttrCount(context, reply, count);
            for (uint32_t i = 0; i < count; ++i) {
                std::string name;
                uint32_t valueCount = 0;
                SyntaxId s = 0;
                client->GetAttrName(context, reply, name, valueCount, s);
                for (uint32_t v = 0; v < valueCount; ++v) {
                    uint32_t flags = 0;
                    if (kind == ReadKind::ValuesWithInfo) {
                        EXPECT_EQ(client->GetAttrValFlags(context, reply, flags), 0);
                        TimeStamp stamp{1, 1, 1};
                        EXPECT_EQ(client->GetAttrValModTime(context, reply, stamp), 0);
                        EXPECT_EQ(stamp.seconds, 0u);
                    }
                    AttrValue value;
                    EXPECT_EQ(client->GetAttrVal(context, reply, s, value), 0) << name;
                    values[name].emplace_back(value, flags);
                }
            }
        } while (continuation != kNoContinuation);
        client->FreeBuffer(reply);
        return values;
    };
    auto good = readAll("jdoe.Values", ReadKind::ValuesWithInfo);
    ASSERT_EQ(good["Login Grace Limit"].size(), 1u);
    EXPECT_EQ(std::get<IntegerValue>(good["Login Grace Limit"][0].first.record).value, 6);
    ASSERT_EQ(good["ACL"].size(), 2u);
    const auto& acl = std::get<ObjectAclValue>(good["ACL"][0].first.record);
    EXPECT_EQ(acl.privileges, 31u);
    EXPECT_EQ(acl.subject, "admin");  // typeless, relative to the base dc=test
    EXPECT_EQ(acl.protectedAttribute, "[Entry Rights]");
    EXPECT_EQ(std::get<ObjectAclValue>(good["ACL"][1].first.record).protectedAttribute, "sn");
    EXPECT_EQ(std::get<TimeValue>(good["Login Time"][0].first.record).seconds, 1256904000u);
    EXPECT_EQ(std::get<CiListValue>(good["Language"][0].first.record).strings,
              (std::vector<std::string>{"ENGLISH", "DEUTSCH"}));
    EXPECT_EQ(good["Login Script"][0].first.syntax, Syntax::Stream);
    EXPECT_EQ(good["telephoneNumber"][0].first.syntax, Syntax::TelNumber);
    // Synthesised value information: the naming value, the base class, present.
    EXPECT_EQ(good["cn"][0].second, 0x05u);
    EXPECT_EQ(good["sn"][0].second, 0x04u);
    bool baseClassFlagged = false;
    // A schema that names its definitions the directory's way calls objectClass "Object Class".
    for (const auto& [value, flags] : good["Object Class"]) {
        if (std::get<StringValue>(value.record).text == "User") {
            baseClassFlagged = (flags & 0x02) != 0;
        }
    }
    EXPECT_TRUE(baseClassFlagged);

    // The stream is read on demand.
    StreamHandle stream{};
    ASSERT_EQ(client->OpenStream(context, "jdoe.Values", "Login Script", 1, stream), 0);
    uint8_t bytes[64];
    size_t read = 0;
    ASSERT_EQ(client->ReadStream(stream, bytes, read), 0);
    EXPECT_EQ(std::string(bytes, bytes + read), "WRITE \"hello\"");
    client->CloseStream(stream);

    // Values that do not fit their syntax are handed out as their bytes, none lost.
    auto broken = readAll("broken.Values", ReadKind::Values);
    ASSERT_EQ(broken["Login Grace Limit"].size(), 1u);
    EXPECT_EQ(broken["Login Grace Limit"][0].first.syntax, Syntax::OctetString);
    const Bytes six = std::get<OctetStringValue>(broken["Login Grace Limit"][0].first.record).data;
    EXPECT_EQ(std::string(six.begin(), six.end()), "six");
    EXPECT_EQ(broken["ACL"].size(), 1u);

    // Entry information.
    EntryInfo info;
    ASSERT_EQ(client->SetContextNumber(context, ContextKey::EntryInfoItems, 0xF868), 0);
    ASSERT_EQ(client->ReadEntryInfo(context, "Values", 4096, info), 0);
    EXPECT_EQ(std::get<uint32_t>(info.items[EntryItemBit::SubordinateCount]), 2u);
    EXPECT_EQ(std::get<std::string>(info.items[EntryItemBit::BaseClass]), "organizationalUnit");
    EXPECT_EQ(std::get<std::string>(info.items[EntryItemBit::FullName]), "Values");
    EXPECT_EQ(std::get<std::string>(info.items[EntryItemBit::Parent]), "[Root]");
    EXPECT_EQ(std::get<std::string>(info.items[EntryItemBit::PartitionRoot]), "[Root]");
    EXPECT_GT(std::get<uint32_t>(info.items[EntryItemBit::CreationTime]), 1600000000u);
    ASSERT_EQ(client->ReadEntryInfo(context, "jdoe.Values", 4096, info), 0);
    EXPECT_EQ(std::get<std::string>(info.items[EntryItemBit::BaseClass]), "User");
    EXPECT_EQ(std::get<std::string>(info.items[EntryItemBit::Parent]), "Values");
    EXPECT_EQ(std::get<uint32_t>(info.items[EntryItemBit::SubordinateCount]), 0u);

    // The schema reads page through continuations like any other read.
    BufferHandle reply{};
    client->AllocBuffer(kListReplySize, reply);
    int32_t continuation = kNoContinuation;
    size_t definitions = 0, pages = 0;
    bool sawUser = false;
    do {
        ASSERT_EQ(client->ReadClassDefinitions(context, ClassInfoKind::Definitions, true,
                                               BufferHandle{}, continuation, reply),
                  0);
        ++pages;
        uint32_t count = 0;
        client->GetClassDefCount(context, reply, count);
        for (uint32_t i = 0; i < count; ++i, ++definitions) {
            std::string name;
            ClassDefRecord record;
            client->GetClassDef(context, reply, name, record);
            if (name == "User") {
                sawUser = true;
                EXPECT_EQ(record.flags, 0x02u);
            }
        }
    } while (continuation != kNoContinuation);
    EXPECT_TRUE(sawUser);
    EXPECT_GT(pages, 1u);
}

TEST_F(LdapClientTest, ALaterPageRefusedAsTooSmallComesWholeInALargerBuffer) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Refused");
    const std::string large(2000, 'x');
    slapd.Modify(
        "dn: cn=big,ou=Refused,dc=test\nobjectClass: inetOrgPerson\ncn: big\nsn: Big\n"
        "description: " +
        large + "\n");
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client, true);
    // The page after the first is refused: the rest of the read stays behind
    // its continuation for the larger buffer.
    const testing::PagedRead read =
        testing::ReadAllThroughSmallPages(*client, context, "big.Refused", 300);
    ASSERT_EQ(read.result, 0);
    EXPECT_EQ(read.refusedLaterPages, 1);
    ASSERT_FALSE(read.attributes.empty());
    EXPECT_EQ(read.attributes.back().first, "description");
    EXPECT_GE(read.attributes.back().second, large.size());
}

TEST_F(LdapClientTest, ModificationsAndDeletionsWithEveryMappedError) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Updates");
    slapd.Modify(
        "dn: cn=ann,ou=Updates,dc=test\nobjectClass: vrUser\ncn: ann\nsn: Ann\n"
        "telephoneNumber: 1\n\n"
        "dn: ou=Box,ou=Updates,dc=test\nobjectClass: organizationalUnit\nou: Box\n\n"
        "dn: cn=inside,ou=Box,ou=Updates,dc=test\nobjectClass: person\ncn: inside\n"
        "sn: I\n");
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client, true);
    ASSERT_EQ(client->SetContextText(context, ContextKey::NameContext, "Updates"), 0);

    auto modify = [&](const std::string& object, ChangeType type, const std::string& attribute,
                      std::optional<AttrValue> value) {
        BufferHandle request{};
        client->AllocBuffer(kRequestBufferSize, request);
        client->PrepareRequest(context, Operation::Modify, request);
        if (value) {
            client->PutChangeAndValue(context, request, type, attribute, value->syntax, *value);
        } else {
            client->PutChange(context, request, type, attribute);
        }
        int32_t continuation = kNoContinuation;
        const Result result = client->ModifyObject(context, object, continuation, false, request);
        client->FreeBuffer(request);
        return result;
    };
    const AttrValue phone1{Syntax::TelNumber, StringValue{"1"}};
    const AttrValue phone2{Syntax::TelNumber, StringValue{"2"}};
    const AttrValue grace{Syntax::Integer, IntegerValue{3}};
    EXPECT_EQ(modify("ann", ChangeType::AddValue, "telephoneNumber", phone2), 0);
    EXPECT_EQ(modify("ann", ChangeType::AddValue, "telephoneNumber", phone2), Err::DuplicateValue);
    EXPECT_EQ(modify("ann", ChangeType::RemoveValue, "telephoneNumber", phone1), 0);
    EXPECT_EQ(modify("ann", ChangeType::RemoveValue, "telephoneNumber", phone1), Err::NoSuchValue);
    EXPECT_EQ(modify("ann", ChangeType::RemoveAttribute, "Login Grace Limit", std::nullopt),
              Err::NoSuchAttribute);
    EXPECT_EQ(modify("ann", ChangeType::OverwriteValue, "Login Grace Limit", grace), 0);
    EXPECT_EQ(modify("ann", ChangeType::OverwriteValue, "Login Grace Limit",
                     AttrValue{Syntax::Integer, IntegerValue{4}}),
              0);
    // Clearing what is not there is no error.
    EXPECT_EQ(modify("ann", ChangeType::ClearValue, "telephoneNumber", phone1), 0);
    EXPECT_EQ(modify("nobody", ChangeType::AddValue, "telephoneNumber", phone2), Err::NoSuchEntry);
    EXPECT_EQ(modify("ann", ChangeType::AddValue, "No Such Attribute", phone2),
              Err::NoSuchAttribute);
    // A name inside a value: an empty one is refused, not written as the
    // server's root DSE; "[Root]", as the base entry shows, is the base DN.
    const AttrValue noName{Syntax::DistName, StringValue{""}};
    const AttrValue root{Syntax::DistName, StringValue{"[Root]"}};
    EXPECT_EQ(modify("ann", ChangeType::AddValue, "seeAlso", noName), Err::IllegalDsName);
    EXPECT_EQ(modify("ann", ChangeType::OverwriteValue, "seeAlso", noName), Err::IllegalDsName);
    EXPECT_EQ(modify("ann", ChangeType::AddValue, "seeAlso", root), 0);
    EXPECT_EQ(modify("ann", ChangeType::RemoveValue, "seeAlso", root), 0);
    EXPECT_EQ(modify("ann", ChangeType::RemoveAttribute, "seeAlso", std::nullopt),
              Err::NoSuchAttribute);
    // The value the entry is named by stays, as in the embedded directory.
    EXPECT_EQ(modify("ann", ChangeType::ClearAttribute, "cn", std::nullopt), Err::IllegalDsName);

    // What the server holds now, read back through a fresh read.
    BufferHandle request{}, reply{};
    client->AllocBuffer(kRequestBufferSize, request);
    client->AllocBuffer(kReadReplySize, reply);
    client->PrepareRequest(context, Operation::Read, request);
    client->PutName(context, request, "Login Grace Limit");
    client->PutName(context, request, "telephoneNumber");
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client->Read(context, "ann", ReadKind::Values, false, request, continuation, reply),
              0);
    uint32_t count = 0;
    client->GetAttrCount(context, reply, count);
    ASSERT_EQ(count, 2u);
    std::map<std::string, std::vector<AttrValue>> held;
    for (uint32_t i = 0; i < count; ++i) {
        std::string name;
        uint32_t values = 0;
        SyntaxId syntax = 0;
        client->GetAttrName(context, reply, name, values, syntax);
        for (uint32_t v = 0; v < values; ++v) {
            AttrValue value;
            client->GetAttrVal(context, reply, syntax, value);
            held[name].push_back(value);
        }
    }
    ASSERT_EQ(held["Login Grace Limit"].size(), 1u);
    EXPECT_EQ(std::get<IntegerValue>(held["Login Grace Limit"][0].record).value, 4);
    ASSERT_EQ(held["telephoneNumber"].size(), 1u);
    EXPECT_EQ(std::get<StringValue>(held["telephoneNumber"][0].record).text, "2");

    EXPECT_EQ(client->RemoveObject(context, "Box"), Err::NotEmpty);
    EXPECT_EQ(client->RemoveObject(context, "inside.Box"), 0);
    EXPECT_EQ(client->RemoveObject(context, "Box"), 0);
    EXPECT_EQ(client->RemoveObject(context, "Box"), Err::NoSuchEntry);

    // A user who may read but not write.
    LdapConnectionConfig reader = slapd.ManagerConnection();
    reader.bindDn = "cn=limited,dc=test";
    reader.password = "limitedpw";
    auto limited = Connect(reader);
    // Typed names: a typeless one is looked for among the top's entries, of
    // which this user may see only five, fewer than the tests make there.
    const ContextHandle readOnly = Context(*limited);
    BufferHandle change{};
    limited->AllocBuffer(kRequestBufferSize, change);
    limited->PrepareRequest(readOnly, Operation::Modify, change);
    limited->PutChangeAndValue(readOnly, change, ChangeType::AddValue, "telephoneNumber",
                               Syntax::TelNumber, phone1);
    continuation = kNoContinuation;
    EXPECT_EQ(limited->ModifyObject(readOnly, "CN=ann.OU=Updates", continuation, false, change),
              Err::NoAccess);
    EXPECT_EQ(limited->RemoveObject(readOnly, "CN=ann.OU=Updates"), Err::NoAccess);
    // An anonymous bind may not write either; it was not refused as a bind.
    LdapConnectionConfig nobody = slapd.ManagerConnection();
    nobody.bind = BindKind::Anonymous;
    auto anonymous = Connect(nobody);
    EXPECT_EQ(anonymous->RemoveObject(Context(*anonymous), "CN=ann.OU=Updates"), Err::NoAccess);

    // A diagnostic message that carries the directory's own code gives that code.
    EXPECT_EQ(LdapSession::MapResult(80, "NDS error: no such value (-602)"), -602);
    EXPECT_EQ(LdapSession::MapResult(51, ""), Err::TransportFailure);
    EXPECT_EQ(LdapSession::MapResult(52, ""), Err::TransportFailure);
}

// Entries named like special names: cn=[Root] at the top is listed as
// "\[Root]", an entry of its own that a recursive walk from the top steps
// into once; a name inside a new value that names no entry is refused as no
// such entry, not sent to the server as text it cannot read as a DN.
TEST_F(LdapClientTest, EntriesNamedLikeTheTopAreTheirOwnAndAValueMustNameAnEntry) {
    testing::TempDir dir;
    const std::string ldif = (dir / "data.ldif").string();
    testing::WriteFile(ldif,
                       "dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\no: T\n"
                       "dc: test\n\ndn: cn=[Root],dc=test\nobjectClass: person\ncn: [Root]\n"
                       "sn: NotTheTop\n\ndn: ou=Sales,dc=test\nobjectClass: organizationalUnit\n"
                       "ou: Sales\n\ndn: cn=[public],ou=Sales,dc=test\nobjectClass: person\n"
                       "cn: [public]\nsn: Public\n");
    auto slapd = TestSlapd::Start(dir / "slapd", {}, {ldif});
    auto client = Connect(slapd->ManagerConnection());
    Walker walker(*client, 0);
    EXPECT_EQ(walker.Walk("[Root]"), 0);
    EXPECT_EQ(std::multiset<std::string>(walker.found.begin(), walker.found.end()),
              (std::multiset<std::string>{"\\[Root]", "Sales", "\\[public]"}));

    const ContextHandle context = Context(*client, true);
    auto setSeeAlso = [&](const std::string& object, const std::string& name) {
        BufferHandle request{};
        client->AllocBuffer(kRequestBufferSize, request);
        client->PrepareRequest(context, Operation::Modify, request);
        client->PutChangeAndValue(context, request, ChangeType::OverwriteValue, "seeAlso",
                                  Syntax::DistName, AttrValue{Syntax::DistName, StringValue{name}});
        int32_t continuation = kNoContinuation;
        const Result result = client->ModifyObject(context, object, continuation, false, request);
        client->FreeBuffer(request);
        return result;
    };
    EXPECT_EQ(setSeeAlso("\\[Root]", "nosuch.Sales"), Err::NoSuchEntry);
    EXPECT_EQ(setSeeAlso("\\[Root]", "CN=nosuch.OU=Sales"), Err::NoSuchEntry);
    EXPECT_EQ(setSeeAlso("\\[Root]", "\\[public].Sales"), 0);
    // An LDAP DN goes as it is, not as one value "Sales,dc=test" under ou.
    EXPECT_EQ(setSeeAlso("Sales", "uid=j.doe,ou=Elsewhere,dc=test"), 0);
    EXPECT_EQ(setSeeAlso("\\[public].Sales", "ou=Sales,dc=test"), 0);
    // What the entries, not the top, hold now.
    const auto heldBy = [&](const std::string& object) {
        BufferHandle request{}, reply{};
        client->AllocBuffer(kRequestBufferSize, request);
        client->AllocBuffer(kReadReplySize, reply);
        client->PrepareRequest(context, Operation::Read, request);
        client->PutName(context, request, "sn");
        client->PutName(context, request, "seeAlso");
        int32_t continuation = kNoContinuation;
        std::map<std::string, std::string> held;
        EXPECT_EQ(
            client->Read(context, object, ReadKind::Values, false, request, continuation, reply),
            0);
        uint32_t count = 0;
        client->GetAttrCount(context, reply, count);
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            uint32_t values = 0;
            SyntaxId syntax = 0;
            client->GetAttrName(context, reply, name, values, syntax);
            AttrValue value;
            if (values == 1 && client->GetAttrVal(context, reply, syntax, value) == 0) {
                if (const auto* text = std::get_if<StringValue>(&value.record))
                    held[name] = text->text;
            }
        }
        client->FreeBuffer(reply);
        client->FreeBuffer(request);
        return held;
    };
    EXPECT_EQ(heldBy("\\[Root]"), (std::map<std::string, std::string>{
                                      {"sn", "NotTheTop"}, {"seeAlso", "\\[public].Sales"}}));
    EXPECT_EQ(heldBy("\\[public].Sales"),
              (std::map<std::string, std::string>{{"sn", "Public"}, {"seeAlso", "Sales"}}));
}

// Two siblings with one value under different types (cn=bob, ou=bob) share
// their typeless name: the listing names them by their typed relative names,
// each of which reaches its own entry, the typeless name is refused rather
// than taken for either, and a delete removes the entry named and no other.
TEST_F(LdapClientTest, SiblingsThatShareATypelessNameAreEachReachedByTheirOwnName) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Clash");
    slapd.Modify(
        "dn: cn=bob,ou=Clash,dc=test\nobjectClass: person\ncn: bob\nsn: B\n"
        "description: I am the person\n\n"
        "dn: ou=bob,ou=Clash,dc=test\nobjectClass: organizationalUnit\nou: bob\n"
        "description: I am the unit\n\n"
        "dn: cn=kid,ou=bob,ou=Clash,dc=test\nobjectClass: person\ncn: kid\nsn: K\n"
        "description: I am the kid\n\n"
        "dn: cn=alice,ou=Clash,dc=test\nobjectClass: person\ncn: alice\nsn: A\n");
    const auto description = [this](LdapClient& client, ContextHandle context,
                                    const std::string& object, std::string& text) {
        return ReadText(client, context, object, "description", text);
    };

    // Before anything is listed, a name typed in part is found and written
    // back as given, and the typeless name is found to fit both.
    auto fresh = Connect(slapd.ManagerConnection());
    std::string text, full;
    EntryRecord record;
    ASSERT_EQ(fresh->ReadObjectInfo(Context(*fresh, true), "kid.OU=bob.Clash", full, record), 0);
    EXPECT_EQ(full, "kid.OU=bob.Clash");
    EXPECT_EQ(description(*fresh, Context(*fresh, true), "bob.Clash", text), Err::IllegalDsName);

    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle plain = Context(*client, true);
    std::vector<std::string> names;
    size_t pages = 0;
    ASSERT_EQ(ListAll(*client, plain, "Clash", names, pages), 0);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"alice", "CN=bob", "OU=bob"}));
    ASSERT_EQ(description(*client, plain, "CN=bob.Clash", text), 0);
    EXPECT_EQ(text, "I am the person");
    ASSERT_EQ(description(*client, plain, "OU=bob.Clash", text), 0);
    EXPECT_EQ(text, "I am the unit");
    ASSERT_EQ(description(*client, plain, "kid.OU=bob.Clash", text), 0);
    EXPECT_EQ(text, "I am the kid");
    ASSERT_EQ(client->ReadObjectInfo(plain, "kid.OU=bob.Clash", full, record), 0);
    EXPECT_EQ(full, "kid.OU=bob.Clash");
    ASSERT_EQ(client->CanonicalizeName(Context(*client), "CN=bob.OU=Clash", full), 0);
    EXPECT_EQ(full, "CN=bob.OU=Clash");
    EXPECT_EQ(description(*client, plain, "bob.Clash", text), Err::IllegalDsName);

    // Deleting the person leaves the unit, which its typeless name reaches again.
    EXPECT_EQ(client->RemoveObject(plain, "bob.Clash"), Err::IllegalDsName);
    ASSERT_EQ(client->RemoveObject(plain, "CN=bob.Clash"), 0);
    EXPECT_EQ(client->ReadObjectInfo(plain, "CN=bob.Clash", full, record), Err::NoSuchEntry);
    ASSERT_EQ(description(*client, plain, "bob.Clash", text), 0);
    EXPECT_EQ(text, "I am the unit");
    ASSERT_EQ(client->ReadObjectInfo(plain, "bob.Clash", full, record), 0);
    EXPECT_EQ(full, "bob.Clash");
}

TEST_F(LdapClientTest, TwoTreesWithTheSameNamesEachKeepTheirOwnEntries) {
    // Two trees (two bases of one server) with the same names for entries
    // of their own; in A, user2 has been renamed to a uid.
    const TestSlapd& slapd = TestSlapd::Shared();
    const std::string twins = slapd.FreshSubtree("Twins");
    std::string ldif;
    for (const std::string tree : {"A", "B"}) {
        const std::string base = "ou=" + tree + "," + twins;
        const std::string ou0 = "ou=OU0," + base;
        ldif += "dn: " + base + "\nobjectClass: organizationalUnit\nou: " + tree + "\n\n";
        ldif += "dn: " + ou0 + "\nobjectClass: organizationalUnit\nou: OU0\n\n";
        ldif += "dn: cn=user1," + ou0 + "\nobjectClass: inetOrgPerson\ncn: user1\nsn: S\n";
        ldif += "description: user1 of " + tree + "\n\n";
        ldif += "dn: " + std::string(tree == "A" ? "uid" : "cn") + "=user2," + ou0 +
                "\nobjectClass: inetOrgPerson\ncn: user2\nuid: user2\nsn: S\n";
        ldif += "description: user2 of " + tree + "\n\n";
    }
    slapd.Modify(ldif);
    std::vector<LdapConnectionConfig> configs;
    for (const std::string tree : {"A", "B"}) {
        LdapConnectionConfig config = slapd.ManagerConnection();
        config.name = tree;
        config.base = "ou=" + tree + "," + twins;
        configs.push_back(config);
    }
    LdapClient client(configs);
    ASSERT_EQ(client.InitClient(0, 0), 0) << client.StartupDiagnostic();
    const auto contextOn = [&](const std::string& tree) {
        const ContextHandle context = Context(client, true);
        EXPECT_EQ(client.SetContextText(context, ContextKey::TreeName, tree), 0);
        return context;
    };
    const ContextHandle a = contextOn("A");
    const ContextHandle b = contextOn("B");
    const auto list = [&](ContextHandle context, const std::string& container) {
        std::vector<std::string> names;
        size_t pages = 0;
        EXPECT_EQ(ListAll(client, context, container, names, pages), 0) << container;
        return std::set<std::string>(names.begin(), names.end());
    };

    // A's names are seen first; B's same names reach B's entries.
    EXPECT_EQ(list(a, "[Root]"), std::set<std::string>{"OU0"});
    EXPECT_EQ(list(a, ".OU0"), (std::set<std::string>{"user1", "user2"}));
    std::string text, full;
    ASSERT_EQ(ReadText(client, b, ".user1.OU0", "description", text), 0);
    EXPECT_EQ(text, "user1 of B");
    ASSERT_EQ(ReadText(client, b, ".user2.OU0", "description", text), 0);
    EXPECT_EQ(text, "user2 of B");
    // Each tree names its entries without types: no name clashes with the other tree's.
    EXPECT_EQ(list(b, "[Root]"), std::set<std::string>{"OU0"});
    EXPECT_EQ(list(b, ".OU0"), (std::set<std::string>{"user1", "user2"}));
    EntryRecord record;
    ASSERT_EQ(client.ReadObjectInfo(b, ".user2.OU0", full, record), 0);
    EXPECT_EQ(full, "user2.OU0");
    ASSERT_EQ(ReadText(client, a, ".user2.OU0", "description", text), 0);
    EXPECT_EQ(text, "user2 of A");
    ASSERT_EQ(client.ReadObjectInfo(a, ".user1.OU0", full, record), 0);
    EXPECT_EQ(full, "user1.OU0");
}

TEST_F(LdapClientTest, AHeavyAttributeReadOnceIsKeptWithinBoundsAndNoLongerFetchedUnread) {
    // 480 people with 40 KB each in their descriptions: more than the
    // entries kept for the reads may hold.
    const TestSlapd& slapd = TestSlapd::Shared();
    const std::string heavy = slapd.FreshSubtree("Heavy");
    constexpr int kPeople = 480;
    const std::string filler(40000, 'x');
    std::string ldif;
    for (int i = 0; i < kPeople; ++i) {
        const std::string n = std::to_string(i);
        ldif += "dn: cn=user" + n + "," + heavy + "\nobjectClass: inetOrgPerson\ncn: user" + n +
                "\nsn: S\ndescription: " + n + filler + "\n\n";
    }
    slapd.Modify(ldif);
    LdapClient client({slapd.ManagerConnection()});
    Walker walker(client, 0);

    // A report on the description: its reads are answered from the listing.
    size_t read = 0;
    ASSERT_EQ(walker.Walk("Heavy",
                          [&](const std::string& name) {
                              std::string text;
                              ASSERT_EQ(ReadText(client, walker.context, name + ".Heavy",
                                                 "description", text),
                                        0);
                              // "user7": "7" and the filler.
                              EXPECT_EQ(text, name.substr(4) + filler) << name;
                              ++read;
                          }),
              0);
    EXPECT_EQ(read, static_cast<size_t>(kPeople));
    LdapClientStatistics statistics = client.Statistics();
    EXPECT_GT(statistics.readsFromListing, static_cast<uint64_t>(kPeople - 100));
    EXPECT_EQ(statistics.fetchedAhead, 1u);
    EXPECT_LE(statistics.keptBytes, uint64_t{16} << 20);

    // Walks that read nothing: once the entries listed with the description
    // made way unread, the listings no longer fetch it.
    ASSERT_EQ(walker.Walk("Heavy"), 0);
    ASSERT_EQ(walker.Walk("Heavy"), 0);
    statistics = client.Statistics();
    EXPECT_EQ(statistics.fetchedAhead, 0u);
    EXPECT_LE(statistics.keptBytes, uint64_t{16} << 20);

    // Read again, it is learnt again.
    std::string text;
    ASSERT_EQ(ReadText(client, walker.context, "user7.Heavy", "description", text), 0);
    EXPECT_EQ(text, "7" + filler);
    EXPECT_EQ(client.Statistics().fetchedAhead, 1u);
}

TEST_F(LdapClientTest, AnEntryRenamedByAnotherProgramIsNamedAsItIsNowAfterARescan) {
    const TestSlapd& slapd = TestSlapd::Shared();
    const std::string ou = slapd.FreshSubtree("Renamed");
    slapd.Modify(People("Renamed", 10));
    LdapClient client({slapd.ManagerConnection()});
    testing::ScriptedMessagePort messages;
    testing::CountingRunFeedback feedback;
    directory::DirectoryAccess access(client, messages, feedback);
    ASSERT_EQ(access.DSStartClient(), 0);
    const ContextHandle context = Context(client, true);
    const auto list = [&] {
        std::vector<std::string> names;
        size_t pages = 0;
        EXPECT_EQ(ListAll(client, context, "Renamed", names, pages), 0);
        return std::set<std::string>(names.begin(), names.end());
    };
    EXPECT_EQ(list().count("user9"), 1u);
    std::string text, full;
    ASSERT_EQ(ReadText(client, context, "user9.Renamed", "Surname", text), 0);

    // Renamed on the server, keeping the old value: the client still knows
    // the old entry, so the new one shares its name with it until a rescan.
    slapd.Modify(
        "dn: cn=user9," + ou + "\nchangetype: modrdn\nnewrdn: uid=user9\ndeleteoldrdn: 0\n", false);
    EXPECT_EQ(list().count("UID=user9"), 1u);
    platform::StringList trees;
    access.DSScanTrees(trees);
    EXPECT_EQ(trees.Count(), 1u);
    EXPECT_EQ(list().count("user9"), 1u);
    EntryRecord record;
    ASSERT_EQ(client.ReadObjectInfo(context, "user9.Renamed", full, record), 0);
    EXPECT_EQ(full, "user9.Renamed");
    ASSERT_EQ(ReadText(client, context, "user9.Renamed", "Surname", text), 0);
    EXPECT_EQ(text, "Person 9");
}

TEST_F(LdapClientTest, BindsThatAreRefused) {
    const TestSlapd& slapd = TestSlapd::Shared();
    auto refused = [](LdapConnectionConfig config, const std::string& words) {
        LdapClient client({config});
        EXPECT_EQ(client.InitClient(0, 0), Err::InitFailed);
        EXPECT_NE(client.StartupDiagnostic().find(words), std::string::npos)
            << client.StartupDiagnostic();
    };
    LdapConnectionConfig wrong = slapd.ManagerConnection();
    wrong.password = "not the password";
    refused(wrong, "Invalid credentials");

    // A password in clear text to another host is refused before anything is sent.
    LdapConnectionConfig insecure = slapd.ManagerConnection();
    insecure.uri = "ldap://192.0.2.1:389";
    refused(insecure, "allowInsecureBind");

    testing::TempDir dir;
    LdapConnectionConfig fromFile = slapd.ManagerConnection();
    fromFile.password.reset();
    fromFile.passwordFile = (dir / "pw").string();
    testing::WriteFile(dir / "pw", "secret\n");
    ::chmod(fromFile.passwordFile.c_str(), 0644);
    refused(fromFile, "may be read by others");
    ::chmod(fromFile.passwordFile.c_str(), 0600);
    auto fileClient = Connect(fromFile);
    std::string identity;
    EXPECT_EQ(fileClient->WhoAmI(Context(*fileClient), identity), 0);
    EXPECT_EQ(identity, "CN=admin");

    LdapConnectionConfig fromEnv = slapd.ManagerConnection();
    fromEnv.password.reset();
    fromEnv.passwordEnv = "VELLRUN_TEST_NO_SUCH_VARIABLE";
    refused(fromEnv, "is not set");

    // SASL EXTERNAL over the server's own socket: the server says who we are.
    LdapConnectionConfig external;
    external.uri = slapd.LdapiUri();
    external.base = "dc=test";
    external.bind = BindKind::External;
    auto externalClient = Connect(external);
    ASSERT_EQ(externalClient->WhoAmI(Context(*externalClient, true), identity), 0);
    EXPECT_NE(identity.find("peercred"), std::string::npos) << identity;
    // The tree is named after the host when nothing else names it.
    std::string tree;
    LdapConnectionConfig unnamed = slapd.ManagerConnection();
    unnamed.name.clear();
    auto unnamedClient = Connect(unnamed);
    ASSERT_EQ(unnamedClient->GetConnectionInfo(1, 4, 64, tree), 0);
    EXPECT_EQ(tree.substr(0, 10), "127.0.0.1_");
}

// A bind DN with an empty password is an unauthenticated bind, which a
// server may take as anonymous: a password file that cannot be read or holds
// nothing, and an empty answer to the question, stop the connection before
// any bind is sent, with the file or the reason named.
TEST_F(LdapClientTest, AnEmptyOrUnreadablePasswordSendsNoBind) {
    const TestSlapd& slapd = TestSlapd::Shared();
    testing::TempDir dir;
    auto refused = [](LdapConnectionConfig config, const std::string& words) {
        LdapSession session(config);
        EXPECT_NE(session.Open(), 0);
        EXPECT_FALSE(session.IsOpen());
        EXPECT_EQ(session.requests, 0u) << "a bind went out: " << session.Diagnostic();
        EXPECT_NE(session.Diagnostic().find(words), std::string::npos) << session.Diagnostic();
    };
    LdapConnectionConfig fromFile = slapd.ManagerConnection();
    fromFile.password.reset();
    const std::filesystem::path folder = dir / "pw-folder";
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    fromFile.passwordFile = folder.string();
    refused(fromFile, folder.string() + ": the password file cannot be read");
    for (const std::string blank : {"", "\n", "\r\n"}) {
        SCOPED_TRACE(::testing::PrintToString(blank));
        testing::WriteFile(dir / "blank.pw", blank);
        ::chmod((dir / "blank.pw").c_str(), 0600);
        fromFile.passwordFile = (dir / "blank.pw").string();
        refused(fromFile, (dir / "blank.pw").string() + ": the password file holds no password");
    }

    LdapConnectionConfig asked = slapd.ManagerConnection();
    asked.password.reset();
    asked.askPassword = [](const std::string&) -> std::optional<std::string> {
        return std::string();
    };
    refused(asked, "an empty password");
    // The console asks before it connects and hands the answer on as given.
    LdapConnectionConfig given = slapd.ManagerConnection();
    given.password = "";
    refused(given, "an empty password");
}

// Only the loopback address itself counts as this machine: a host name that
// merely begins like one may be anywhere, and gets no password in clear.
TEST_F(LdapClientTest, AHostNamedLikeLoopbackGetsNoPasswordInClear) {
    for (const std::string host :
         {"127.example.invalid", "127.0.0.1.example.invalid", "127.0.0.1x", "127.0.0.256"}) {
        SCOPED_TRACE(host);
        LdapConnectionConfig config;
        config.uri = "ldap://" + host + ":389";
        config.bind = BindKind::Simple;
        config.bindDn = "cn=admin,dc=test";
        config.password = "secret";
        LdapSession session(config);
        EXPECT_NE(session.Open(), 0);
        EXPECT_EQ(session.requests, 0u) << session.Diagnostic();
        EXPECT_NE(session.Diagnostic().find("allowInsecureBind"), std::string::npos)
            << session.Diagnostic();
    }
}

// libldap takes a list of servers and falls over from one to the next: a
// password goes in clear only when every one of them is this machine, and a
// list that mixes plain and encrypted servers is refused.
TEST_F(LdapClientTest, AListOfServersGetsAPasswordInClearOnlyWhenEveryOneIsThisMachine) {
    const TestSlapd& slapd = TestSlapd::Shared();
    const std::string port = slapd.Uri().substr(slapd.Uri().rfind(':'));
    for (const std::string& uri : std::vector<std::string>{
             "ldap://127.1" + port + " ldap://127.1" + port, "ldap://192.0.2.1:389 " + slapd.Uri(),
             slapd.Uri() + ",ldap://192.0.2.1:389", "ldaps://192.0.2.1 ldap://192.0.2.2",
             "ldap://127.0.0.1 nonsense"}) {
        SCOPED_TRACE(uri);
        LdapConnectionConfig config = slapd.ManagerConnection();
        config.uri = uri;
        LdapSession session(config);
        EXPECT_NE(session.Open(), 0);
        EXPECT_EQ(session.requests, 0u) << session.Diagnostic();
        EXPECT_NE(session.Diagnostic().find(uri), std::string::npos) << session.Diagnostic();
    }
    LdapConnectionConfig loopbacks = slapd.ManagerConnection();
    loopbacks.uri = "ldap://localhost" + port + ", " + slapd.Uri();
    LdapSession session(loopbacks);
    EXPECT_EQ(session.Open(), 0) << session.Diagnostic();
}

TEST_F(LdapClientTest, ASizeLimitIsReportedAfterTheEntriesBeforeIt) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Limits");
    slapd.Modify(People("Limits", 12));
    LdapConnectionConfig limited = slapd.ManagerConnection();
    limited.bindDn = "cn=limited,dc=test";
    limited.password = "limitedpw";
    auto client = Connect(limited);
    std::vector<std::string> names;
    size_t pages = 0;
    EXPECT_EQ(ListAll(*client, Context(*client), "OU=Limits", names, pages),
              Err::SizeLimitExceeded);
    EXPECT_FALSE(names.empty());
    EXPECT_LT(names.size(), 12u);
}

// A typeless name is looked up without listing its container, so a server's
// size limit does not hide an object far down a large one; it comes back in
// the server's case and with its escapes, and a name under an unusual naming
// type is still found.
TEST_F(LdapClientTest, ATypelessNameBeyondTheSizeLimitIsFoundAsItIs) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("FarDown");
    slapd.Modify(People("FarDown", 12) +
                 "dn: cn=x.y (1)*\\5c,ou=FarDown,dc=test\nobjectClass: person\ncn: x.y (1)*\\\n"
                 "sn: S\n\ndn: sn=Odd,ou=FarDown,dc=test\nobjectClass: person\ncn: C\nsn: Odd\n");
    LdapConnectionConfig limited = slapd.ManagerConnection();
    limited.bindDn = "cn=limited,dc=test";
    limited.password = "limitedpw";
    auto client = Connect(limited);
    const ContextHandle context = Context(*client, true);
    std::string full;
    EntryRecord record;
    ASSERT_EQ(client->ReadObjectInfo(context, "USER11.fardown", full, record), 0);
    EXPECT_EQ(full, "user11.FarDown");
    ASSERT_EQ(client->CanonicalizeName(context, "x\\.y (1)*\\\\.FarDown", full), 0);
    EXPECT_EQ(full, "x\\.y (1)*\\\\.FarDown");
    ASSERT_EQ(client->ReadObjectInfo(context, "x\\.y (1)*\\\\.FarDown", full, record), 0);
    EXPECT_EQ(client->ReadObjectInfo(context, "nobody.FarDown", full, record),
              Err::SizeLimitExceeded);

    auto manager = Connect(slapd.ManagerConnection());
    const ContextHandle plain = Context(*manager, true);
    ASSERT_EQ(manager->ReadObjectInfo(plain, "odd.FarDown", full, record), 0);
    EXPECT_EQ(full, "Odd.FarDown");
    EXPECT_EQ(manager->ReadObjectInfo(plain, "nobody.FarDown", full, record), Err::NoSuchEntry);
}

// Aliases are followed as the embedded directory follows them: the one
// listed, one on the way to an object (typeless and typed), and a circle of
// them ends with the alias error; a context that does not dereference lists
// the alias itself, which holds nothing.
TEST_F(LdapClientTest, AliasesAreFollowedWhenListingAndReading) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("AliasPeople");
    slapd.Modify(People("AliasPeople", 3));
    slapd.FreshSubtree("Aliases");
    const std::string alias = "objectClass: alias\nobjectClass: extensibleObject\n";
    slapd.Modify("dn: ou=toPeople,ou=Aliases,dc=test\n" + alias +
                 "ou: toPeople\naliasedObjectName: ou=AliasPeople,dc=test\n\n"
                 "dn: cn=loopA,ou=Aliases,dc=test\n" +
                 alias +
                 "cn: loopA\naliasedObjectName: cn=loopB,ou=Aliases,dc=test\n\n"
                 "dn: cn=loopB,ou=Aliases,dc=test\n" +
                 alias + "cn: loopB\naliasedObjectName: cn=loopA,ou=Aliases,dc=test\n");
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle plain = Context(*client);
    ASSERT_EQ(client->SetContextNumber(
                  plain, ContextKey::Flags,
                  ContextFlag::Typeless | ContextFlag::Canonical | ContextFlag::DereferenceAliases),
              0);
    std::vector<std::string> names;
    size_t pages = 0;
    EXPECT_EQ(ListAll(*client, plain, "toPeople.Aliases", names, pages), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"user0", "user1", "user2"}));
    std::string full;
    EntryRecord record;
    EXPECT_EQ(client->ReadObjectInfo(plain, "user1.toPeople.Aliases", full, record), 0);
    EXPECT_EQ(full, "user1.AliasPeople");
    const ContextHandle typed = Context(*client);
    EXPECT_EQ(client->ReadObjectInfo(typed, "CN=user2.OU=toPeople.OU=Aliases", full, record), 0);
    EXPECT_EQ(full, "CN=user2.OU=AliasPeople");

    names.clear();
    EXPECT_EQ(ListAll(*client, plain, "loopA.Aliases", names, pages), Err::AliasOfAlias);
    EXPECT_TRUE(names.empty());

    ASSERT_EQ(client->SetContextNumber(typed, ContextKey::Flags, ContextFlag::Canonical), 0);
    names.clear();
    EXPECT_EQ(ListAll(*client, typed, "OU=toPeople.OU=Aliases", names, pages), 0);
    EXPECT_TRUE(names.empty());
}

// An alias holds nothing of its own: a recursive walk reports it and does
// not step into it, so one whose object is gone does not fail the walk, and
// one for a container does not walk that container a second time.
TEST_F(LdapClientTest, ARecursiveWalkReportsAliasesWithoutSteppingIntoThem) {
    EXPECT_EQ(WalkAliases("AliasWalk"),
              (std::vector<std::string>{"Team", "gone", "toTeam", "user0"}));
}

// The client follows aliases itself: a default of libldap's that has the
// server dereference them (DEREF in ldap.conf or ~/.ldaprc, LDAPDEREF) would
// walk into them behind its back, and change what a report finds.
TEST_F(LdapClientTest, ALibraryDefaultToDereferenceAliasesChangesNothing) {
    // As a tester's environment sets it. libldap reads it once, when a
    // process first uses it; for a process that has, the same default is
    // set where libldap keeps what it read.
    ::unsetenv("LDAPNOINIT");
    ::setenv("LDAPDEREF", "always", 1);
    int deref = LDAP_DEREF_ALWAYS;
    ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_DEREF, &deref), LDAP_OPT_SUCCESS);
    // The later tests of this process find the defaults as they were, also
    // when the walk throws.
    struct Restore {
        ~Restore() {
            int never = LDAP_DEREF_NEVER;
            ldap_set_option(nullptr, LDAP_OPT_DEREF, &never);
            ::unsetenv("LDAPDEREF");
        }
    } restore;
    const std::vector<std::string> found = WalkAliases("AliasDefaults");
    EXPECT_EQ(found, (std::vector<std::string>{"Team", "gone", "toTeam", "user0"}));
}

// A referral entry is an object like the others: listed beside its
// siblings, read with its class and its reference.
TEST_F(LdapClientTest, AReferralEntryIsListedAndReadItself) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Refs");
    slapd.Modify(People("Refs", 1) +
                 "dn: ou=Elsewhere,ou=Refs,dc=test\nobjectClass: referral\n"
                 "objectClass: extensibleObject\nou: Elsewhere\n"
                 "ref: ldap://other.example/ou=Elsewhere,dc=test\n");
    auto client = Connect(slapd.ManagerConnection());
    const ContextHandle context = Context(*client);
    std::vector<std::string> names;
    size_t pages = 0;
    EXPECT_EQ(ListAll(*client, context, "OU=Refs", names, pages), 0);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"CN=user0", "OU=Elsewhere"}));
    std::string full;
    EntryRecord record;
    ASSERT_EQ(client->ReadObjectInfo(context, "OU=Elsewhere.OU=Refs", full, record), 0);
    EXPECT_EQ(full, "OU=Elsewhere.OU=Refs");
    EXPECT_EQ(record.baseClass, "referral");
}

TEST_F(LdapClientTest, AServerThatDiesMidListingEndsItWithATransportFailure) {
    testing::TempDir dir;
    const std::string ldif = (dir / "data.ldif").string();
    std::string data =
        "dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\no: T\n"
        "dc: test\n\ndn: ou=Many,dc=test\nobjectClass: organizationalUnit\n"
        "ou: Many\n\n";
    data += People("Many", 200);
    testing::WriteFile(ldif, data);
    auto slapd = TestSlapd::Start(dir / "slapd", {}, {ldif});
    auto client = Connect(slapd->ManagerConnection());
    const ContextHandle context = Context(*client);
    std::vector<std::string> names;
    size_t pages = 0;
    const Result result =
        ListAll(*client, context, "OU=Many", names, pages, [&] { slapd->Kill(); });
    EXPECT_EQ(result, Err::TransportFailure);
    EXPECT_FALSE(names.empty());  // the first page stays
    EXPECT_LT(names.size(), 200u);
    // The next operation tries again and fails the same way, without hanging.
    std::string full;
    BufferHandle reply{};
    client->AllocBuffer(kListReplySize, reply);
    int32_t continuation = kNoContinuation;
    EXPECT_EQ(client->ListSubordinates(context, "OU=Many", continuation, reply),
              Err::TransportFailure);
}

// A server that stops answering (SIGSTOP) holds every request. The wait lets
// whileWaiting run between its slices, and its "stop" abandons the request
// at once with the cancel's result: a listing is given up, and so is a start
// (its bind), which then says it was cancelled. The connection of the
// listing stays and serves once the server is back.
TEST_F(LdapClientTest, AWaitForAServerThatStoppedAnsweringCanBeCancelled) {
    testing::TempDir dir;
    auto slapd = StartHeldServer(dir, 3);
    int calls = 0;
    int stopAt = 0;    // the call that says stop; 0: never
    int resumeAt = 0;  // the call that lets the server go on; 0: never
    LdapConnectionConfig config = slapd->ManagerConnection();
    config.timeoutSeconds = 20;
    config.whileWaiting = [&calls, &stopAt, &resumeAt, &slapd] {
        if (++calls == resumeAt) slapd->Resume();
        return calls != stopAt;
    };
    auto client = Connect(config);
    const ContextHandle context = Context(*client);

    slapd->Pause();
    calls = 0;
    stopAt = 3;
    std::vector<std::string> names;
    size_t pages = 0;
    EXPECT_EQ(ListAll(*client, context, "OU=Held", names, pages), Err::TransportFailure);
    EXPECT_EQ(calls, 3);  // asked while waiting, and not once after it said stop
    EXPECT_TRUE(names.empty());

    LdapClient starting(std::vector<LdapConnectionConfig>{config});
    calls = 0;
    stopAt = 2;
    EXPECT_EQ(starting.InitClient(0, 0), Err::InitFailed);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(starting.StartupCancelled());

    slapd->Resume();
    stopAt = 0;
    names.clear();
    EXPECT_EQ(ListAll(*client, context, "OU=Held", names, pages), 0);
    EXPECT_EQ(names.size(), 3u);

    // A change is not given up when told to stop: abandoning it would not
    // undo it, and "failed" could then stand for a change that was made.
    LdapSession session(config);
    ASSERT_EQ(session.Open(), 0);
    slapd->Pause();
    calls = 0;
    stopAt = 1;
    resumeAt = 3;
    EXPECT_EQ(session.Delete("cn=user2,ou=Held,dc=test"), 0);
    // Waited on past the stop until the server answered (how many slices
    // the resumed server takes depends on the machine's load).
    EXPECT_GE(calls, 3);
    stopAt = 0;
    names.clear();
    EXPECT_EQ(ListAll(*client, context, "OU=Held", names, pages), 0);
    EXPECT_EQ(names.size(), 2u);
}

// A signal whose handler does not restart what it interrupts (the
// console's Ctrl-C) cuts a slice of the wait short. That is no broken
// connection: the slice ends, and whileWaiting says whether to go on. When
// the signal asked for the stop, the wait ends as cancelled and the
// connection stays; any other signal is waited past.
TEST_F(LdapClientTest, ASignalThatInterruptsAWaitLeavesTheDecisionToWhileWaiting) {
    testing::TempDir dir;
    auto slapd = StartHeldServer(dir, 1);
    const pthread_t waiter = ::pthread_self();
    std::vector<std::thread> senders;
    int calls = 0;
    int signalAt = 0;  // the call after which a signal comes; 0: never
    int resumeAt = 0;  // the call that lets the server go on; 0: never
    LdapConnectionConfig config = slapd->ManagerConnection();
    config.timeoutSeconds = 20;
    config.whileWaiting = [&] {
        if (++calls == signalAt) {
            // Sent a moment later, to come in the middle of the next slice.
            senders.emplace_back([waiter] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                ::pthread_kill(waiter, SIGUSR2);
            });
        }
        if (calls == resumeAt) slapd->Resume();
        return !stopAsked.load();
    };
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = OnTestSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR2, &action, &previous), 0);

    LdapSession session(config);
    ASSERT_EQ(session.Open(), 0) << session.Diagnostic();
    slapd->Pause();
    signalMeansStop = true;
    calls = 0;
    signalAt = 1;
    FoundEntry entry;
    EXPECT_EQ(session.ReadEntry("ou=Held,dc=test", {"ou"}, entry), Err::TransportFailure);
    EXPECT_TRUE(session.Cancelled());
    EXPECT_EQ(session.Diagnostic(), config.uri + ": cancelled while waiting for the server");
    EXPECT_TRUE(session.IsOpen());
    slapd->Resume();

    signalMeansStop = false;
    stopAsked = false;
    slapd->Pause();
    calls = 0;
    resumeAt = 3;
    EXPECT_EQ(session.ReadEntry("ou=Held,dc=test", {"ou"}, entry), 0) << session.Diagnostic();
    EXPECT_EQ(entry.dn, "ou=Held,dc=test");
    EXPECT_GE(calls, 3);

    for (std::thread& sender : senders)
        sender.join();
    ::sigaction(SIGUSR2, &previous, nullptr);
}

// slapd sends an attribute an entry was loaded with in two places (slapadd
// -q does not join them) as two attributes of one name: each search gives
// all of its values under the name, however the entry is read.
TEST_F(LdapClientTest, AnAttributeSentInTwoPartsKeepsAllItsValues) {
    testing::TempDir dir;
    const std::string ldif = (dir / "data.ldif").string();
    testing::WriteFile(ldif,
                       "dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\no: Test\n"
                       "dc: test\n\ndn: ou=Split,dc=test\nobjectClass: organizationalUnit\n"
                       "ou: Split\n\ndn: cn=ann,ou=Split,dc=test\nobjectClass: inetOrgPerson\n"
                       "mail: ann@one.test\ncn: ann\nsn: Ann\nMAIL: ann@two.test\n"
                       "mail: ann@three.test\n");
    auto slapd = TestSlapd::Start(dir / "slapd", {}, {ldif});
    LdapSession session(slapd->ManagerConnection());
    ASSERT_EQ(session.Open(), 0) << session.Diagnostic();
    const std::vector<std::string> all{"ann@one.test", "ann@two.test", "ann@three.test"};
    const auto valuesOf = [](const FoundEntry& entry) {
        std::vector<std::string> texts;
        if (const FoundEntry::Values* values = entry.Find("Mail"))
            texts.assign(values->begin(), values->end());
        return texts;
    };

    std::vector<FoundEntry> listed;
    PageEnd end;
    ASSERT_EQ(session.SearchPage("ou=Split,dc=test", LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                 {"mail", "cn"}, 50, {}, listed, end),
              0)
        << session.Diagnostic();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(valuesOf(listed[0]), all);
    EXPECT_EQ(listed[0].Attributes().size(), 2u) << "mail once, and cn";

    FoundEntry read;
    ASSERT_EQ(session.ReadEntry("cn=ann,ou=Split,dc=test", {"mail"}, read), 0);
    EXPECT_EQ(valuesOf(read), all);
}

// A change the server does not answer in time may have been made all the
// same (abandoning it does not undo it): it ends with "outcome unknown", not
// as a server that cannot be reached. A read that runs out of time stays a
// transport failure, told apart in words from a server that is gone.
TEST_F(LdapClientTest, AChangeThatIsNotAnsweredInTimeHasAnUnknownOutcome) {
    testing::TempDir dir;
    auto slapd = StartHeldServer(dir, 2);
    LdapConnectionConfig config = slapd->ManagerConnection();
    config.timeoutSeconds = 1;
    auto client = Connect(config);
    // Typed names that pass no aliases, the schema read: the removal is the
    // one request sent.
    const ContextHandle context = Context(*client);
    ASSERT_EQ(client->SetContextNumber(context, ContextKey::Flags, ContextFlag::Canonical), 0);
    std::string full;
    EntryRecord record;
    ASSERT_EQ(client->ReadObjectInfo(context, "CN=user0.OU=Held", full, record), 0);
    slapd->Pause();
    EXPECT_EQ(client->RemoveObject(context, "CN=user0.OU=Held"), Err::OutcomeUnknown);
    slapd->Resume();

    LdapSession session(config);
    ASSERT_EQ(session.Open(), 0);
    slapd->Pause();
    EXPECT_EQ(
        session.Modify("cn=user1,ou=Held,dc=test", {{LDAP_MOD_REPLACE, "sn", {"Changed"}}}, false),
        Err::OutcomeUnknown);
    FoundEntry entry;
    EXPECT_EQ(session.ReadEntry("cn=user1,ou=Held,dc=test", {"sn"}, entry), Err::TransportFailure);

    Walker walker(*client, 0);
    const Result hung = client->ReadObjectInfo(context, "CN=user1.OU=Held", full, record);
    EXPECT_EQ(hung, Err::TransportFailure);
    EXPECT_EQ(walker.access.DSErrorText(hung),
              "0xFFFFFD8F (Transport failure: the server did not answer within 1 second)");
    slapd->Kill();
    const Result gone = client->ReadObjectInfo(context, "CN=user1.OU=Held", full, record);
    EXPECT_EQ(gone, Err::TransportFailure);
    EXPECT_EQ(walker.access.DSErrorText(gone),
              "0xFFFFFD8F (Transport failure: the server cannot be reached)");
}

// A change the server refuses is explained in the server's own words after
// the code's: an anonymous connection is told that changes need a bind, not
// merely that it has no access. A later call that fails otherwise, or
// succeeds, leaves those words behind.
TEST_F(LdapClientTest, AChangeTheServerRefusesIsExplainedInTheServersWords) {
    const TestSlapd& slapd = TestSlapd::Shared();
    slapd.FreshSubtree("Refusals");
    slapd.Modify("dn: cn=ann,ou=Refusals,dc=test\nobjectClass: inetOrgPerson\ncn: ann\nsn: Ann\n");
    LdapConnectionConfig nobody = slapd.ManagerConnection();
    nobody.bind = BindKind::Anonymous;
    LdapClient client({nobody});
    Walker walker(client, 0);
    const ContextHandle context = Context(client);
    BufferHandle request{};
    ASSERT_EQ(client.AllocBuffer(kRequestBufferSize, request), 0);
    ASSERT_EQ(client.PrepareRequest(context, Operation::Modify, request), 0);
    ASSERT_EQ(client.PutChangeAndValue(context, request, ChangeType::OverwriteValue, "sn",
                                       Syntax::CiString,
                                       AttrValue{Syntax::CiString, StringValue{"Changed"}}),
              0);
    int32_t continuation = kNoContinuation;
    const Result refused =
        client.ModifyObject(context, "CN=ann.OU=Refusals", continuation, false, request);
    client.FreeBuffer(request);
    EXPECT_EQ(refused, Err::NoAccess);
    walker.access.DSShowError(refused, "Save Attribute");
    EXPECT_EQ(walker.messages.Errors(),
              std::vector<std::string>{
                  "Save Attribute returned error 0xFFFFFD60 (No access (the server said: "
                  "Strong(er) authentication required: modifications require authentication))"});

    // A removal refused alike, then a read of an entry that is not there:
    // its code is its own, and so is its reason.
    EXPECT_EQ(client.RemoveObject(context, "CN=ann.OU=Refusals"), Err::NoAccess);
    EXPECT_NE(walker.access.DSErrorText(Err::NoAccess).find("modifications require"),
              std::string::npos);
    std::string full;
    EntryRecord record;
    EXPECT_EQ(client.ReadObjectInfo(context, "CN=nobody.OU=Refusals", full, record),
              Err::NoSuchEntry);
    EXPECT_EQ(walker.access.DSErrorText(Err::NoAccess), "0xFFFFFD60 (No access)");
    // A stream refused by the client itself is not explained by the server's
    // refusal of a change made before it.
    EXPECT_EQ(client.RemoveObject(context, "CN=ann.OU=Refusals"), Err::NoAccess);
    StreamHandle stream{};
    EXPECT_EQ(client.OpenStream(context, "CN=ann.OU=Refusals", "sn", 2, stream), Err::NoAccess);
    EXPECT_EQ(walker.access.DSErrorText(Err::NoAccess), "0xFFFFFD60 (No access)");
}

// With several servers, a failure is explained only by the reason of the
// call that returned it: a timeout of one tree's server does not become the
// reason of another's that is gone.
TEST_F(LdapClientTest, AFailureOfOneServerIsNotExplainedByAnothersReason) {
    testing::TempDir dirA, dirB;
    auto slapdA = StartHeldServer(dirA, 2);
    auto slapdB = StartHeldServer(dirB, 2);
    LdapConnectionConfig a = slapdA->ManagerConnection();
    a.name = "A";
    a.timeoutSeconds = 1;
    LdapConnectionConfig b = slapdB->ManagerConnection();
    b.name = "B";
    b.timeoutSeconds = 1;
    LdapClient client({a, b});
    Walker walker(client, 0);
    const ContextHandle inA = Context(client);
    const ContextHandle inB = Context(client);
    ASSERT_EQ(client.SetContextText(inB, ContextKey::TreeName, "B"), 0);
    std::string full;
    EntryRecord record;
    ASSERT_EQ(client.ReadObjectInfo(inB, "CN=user0.OU=Held", full, record), 0);
    ASSERT_EQ(client.ReadObjectInfo(inA, "CN=user0.OU=Held", full, record), 0);

    slapdA->Pause();
    const Result hung = client.ReadObjectInfo(inA, "CN=user1.OU=Held", full, record);
    slapdA->Resume();
    EXPECT_EQ(hung, Err::TransportFailure);
    EXPECT_EQ(walker.access.DSErrorText(hung),
              "0xFFFFFD8F (Transport failure: the server did not answer within 1 second)");
    slapdB->Kill();
    const Result gone = client.ReadObjectInfo(inB, "CN=user1.OU=Held", full, record);
    EXPECT_EQ(gone, Err::TransportFailure);
    EXPECT_EQ(walker.access.DSErrorText(gone),
              "0xFFFFFD8F (Transport failure: the server cannot be reached)");
}

// A simple bind with no password file or variable asks through the given
// question (the desktop's message port) once for the run; a declined question
// is a refused start with its reason.
TEST_F(LdapClientTest, ABindPasswordIsAskedForOnceWhenNothingHoldsIt) {
    const TestSlapd& slapd = TestSlapd::Shared();
    LdapConnectionConfig config = slapd.ManagerConnection();
    config.password.reset();
    config.passwordFile.clear();
    config.passwordEnv.clear();
    std::vector<std::string> prompts;
    config.askPassword = [&prompts](const std::string& prompt) -> std::optional<std::string> {
        prompts.push_back(prompt);
        return std::string("secret");
    };
    auto client = Connect(config);
    std::string identity;
    ASSERT_EQ(client->WhoAmI(Context(*client), identity), 0);
    EXPECT_EQ(identity, "CN=admin");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_NE(prompts[0].find("cn=admin,dc=test"), std::string::npos) << prompts[0];

    config.askPassword = [](const std::string&) -> std::optional<std::string> {
        return std::nullopt;
    };
    LdapClient declined({config});
    EXPECT_EQ(declined.InitClient(0, 0), Err::InitFailed);
    EXPECT_NE(declined.StartupDiagnostic().find("no password was given"), std::string::npos)
        << declined.StartupDiagnostic();
}

// A server whose certificate no authority signed: with verification on (the
// default) StartTLS is refused and nothing is sent in clear; with the
// certificate named as the CA file the same server is trusted.
TEST_F(LdapClientTest, TlsVerificationRefusesASelfSignedServerAndATrustedOneCarriesAListing) {
    testing::TempDir dir;
    const std::string cert = (dir / "server.crt").string();
    const std::string key = (dir / "server.key").string();
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key + "' -out '" + cert + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ::setenv("SLAPD_TLS_CERT", cert.c_str(), 1);
    ::setenv("SLAPD_TLS_KEY", key.c_str(), 1);
    auto slapd = TestSlapd::Start(dir / "slapd", {VELLRUN_TEST_LDAP_DIR "/data/test.schema"},
                                  {VELLRUN_TEST_LDAP_DIR "/data/base.ldif"});
    ::unsetenv("SLAPD_TLS_CERT");
    ::unsetenv("SLAPD_TLS_KEY");

    LdapConnectionConfig config = slapd->ManagerConnection();
    config.tls = TlsKind::StartTls;
    {
        LdapClient client({config});
        EXPECT_EQ(client.InitClient(0, 0), Err::InitFailed);
        EXPECT_NE(client.StartupDiagnostic().find("StartTLS failed"), std::string::npos)
            << client.StartupDiagnostic();
    }
    config.caFile = cert;
    auto trusting = Connect(config);
    std::string identity;
    EXPECT_EQ(trusting->WhoAmI(Context(*trusting), identity), 0);

    // Many replies, read ahead below the encryption, arrive whole and in order.
    slapd->FreshSubtree("Secure");
    slapd->Modify(People("Secure", 300));
    std::vector<std::string> names;
    size_t pages = 0;
    ASSERT_EQ(ListAll(*trusting, Context(*trusting, true), "Secure", names, pages), 0);
    EXPECT_GT(pages, 2u);
    ASSERT_EQ(names.size(), 300u);
    const std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), 300u);
    EXPECT_EQ(unique.count("user299"), 1u);
}

}  // namespace
}  // namespace vellrun::client::ldap
