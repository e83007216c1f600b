// The LDAP session against scripted servers that behave as real ones do and
// the test slapd cannot: values handed out in ranges ("member;range=0-1"),
// a ranged attribute that stops going on, a paged search whose server sends
// back the cookie it was given, and a size limit after some entries.

#include "client/ResultCodes.h"
#include "client/ldap/LdapSession.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ldap.h>

namespace vellrun::client::ldap {
namespace {

// A server that answers each search by its first attribute (or its cookie,
// for paged searches) from a table, and keeps the requests it was sent.
struct ScriptedServer {
    std::map<std::string, SearchReply> replies;
    std::vector<SearchRequest> sent;

    SearchTransport Transport() {
        return [this](const SearchRequest& request, SearchReply& reply) -> Result {
            sent.push_back(request);
            const std::string key =
                request.pageSize > 0
                    ? "cookie:" + request.cookie
                    : (request.attributes.empty() ? std::string() : request.attributes.front());
            auto it = replies.find(key);
            if (it == replies.end()) return Err::TransportFailure;
            reply = it->second;
            return 0;
        };
    }
};

FoundEntry Entry(const std::string& dn, const std::string& attribute,
                 std::vector<std::string> values) {
    return FoundEntry{dn, {{attribute, std::move(values)}}};
}

TEST(LdapSessionScripted, RangedValuesAreReadWholeAndARangeThatStopsIsAnError) {
    const std::string group = "cn=Staff,o=Corp";
    ScriptedServer server;
    server.replies["member"].entries = {FoundEntry{
        group, {{"cn", {"Staff"}}, {"member;range=0-1", {"cn=a,o=Corp", "cn=b,o=Corp"}}}}};
    server.replies["member;range=2-*"].entries = {
        Entry(group, "member;range=2-3", {"cn=c,o=Corp", "cn=d,o=Corp"})};
    server.replies["member;range=4-*"].entries = {
        Entry(group, "member;range=4-*", {"cn=e,o=Corp"})};
    {
        LdapConnectionConfig config;
        config.uri = "ldap://scripted";
        LdapSession session(config);
        session.UseSearchTransport(server.Transport());
        FoundEntry entry;
        ASSERT_EQ(session.ReadEntry(group, {"member"}, entry), 0) << session.Diagnostic();
        const auto texts = [&entry](std::string_view name) {
            const FoundEntry::Values* values = entry.Find(name);
            return values ? std::vector<std::string>(values->begin(), values->end())
                          : std::vector<std::string>{"(none)"};
        };
        EXPECT_EQ(texts("member"),
                  (std::vector<std::string>{"cn=a,o=Corp", "cn=b,o=Corp", "cn=c,o=Corp",
                                            "cn=d,o=Corp", "cn=e,o=Corp"}));
        EXPECT_EQ(texts("cn"), std::vector<std::string>{"Staff"});
        ASSERT_EQ(server.sent.size(), 3u);
        EXPECT_EQ(server.sent[1].base, group);
        EXPECT_EQ(server.sent[1].scope, LDAP_SCOPE_BASE);
        EXPECT_EQ(server.sent[2].attributes, std::vector<std::string>{"member;range=4-*"});
    }
    // A server that answers the third slice with the second again: the read
    // fails with a reason instead of looping or handing out the group short.
    server.replies["member;range=4-*"].entries = {
        Entry(group, "member;range=2-3", {"cn=c,o=Corp", "cn=d,o=Corp"})};
    LdapConnectionConfig config;
    config.uri = "ldap://scripted";
    LdapSession session(config);
    session.UseSearchTransport(server.Transport());
    FoundEntry entry;
    EXPECT_EQ(session.ReadEntry(group, {"member"}, entry), Err::InvalidIteration);
    EXPECT_NE(session.Diagnostic().find("ranges of member"), std::string::npos)
        << session.Diagnostic();
}

TEST(LdapSessionScripted, PagedSearchesEndOnARepeatedCookieAndKeepEntriesBeforeALimit) {
    ScriptedServer server;
    server.replies["cookie:"].entries = {Entry("cn=a,o=Corp", "cn", {"a"})};
    server.replies["cookie:"].cookie = "page2";
    server.replies["cookie:page2"].entries = {Entry("cn=b,o=Corp", "cn", {"b"})};
    server.replies["cookie:page2"].cookie = "page2";  // the same again: it would never end
    LdapConnectionConfig config;
    config.uri = "ldap://scripted";
    LdapSession session(config);
    session.UseSearchTransport(server.Transport());
    std::vector<FoundEntry> entries;
    PageEnd end;
    ASSERT_EQ(session.SearchPage("o=Corp", LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"cn"}, 2, "",
                                 entries, end),
              0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(end.cookie, "page2");
    EXPECT_EQ(session.SearchPage("o=Corp", LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"cn"}, 2,
                                 end.cookie, entries, end),
              Err::InvalidIteration);
    EXPECT_TRUE(end.cookie.empty());
    EXPECT_NE(session.Diagnostic().find("same paging cookie"), std::string::npos);
    EXPECT_EQ(server.sent.at(1).cookie, "page2");
    EXPECT_EQ(server.sent.at(1).pageSize, 2);

    // The server's size limit: the entries it sent stay, the end says why
    // nothing more comes; a refusal is the mapped code with no entries.
    server.replies["cookie:page2"].code = LDAP_SIZELIMIT_EXCEEDED;
    server.replies["cookie:page2"].cookie.clear();
    ASSERT_EQ(session.SearchPage("o=Corp", LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"cn"}, 2,
                                 "page2", entries, end),
              0);
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_EQ(end.limit, Err::SizeLimitExceeded);
    EXPECT_TRUE(end.cookie.empty());
    server.replies["cookie:page2"].code = LDAP_INSUFFICIENT_ACCESS;
    EXPECT_EQ(session.SearchPage("o=Corp", LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"cn"}, 2,
                                 "page2", entries, end),
              Err::NoAccess);
    EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace vellrun::client::ldap
