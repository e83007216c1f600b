// Replies that slapd never sends: an entry whose encoding does not decode
// fails the search it answers, rather than passing for an entry without the
// values it could not read.

#include "SilentServer.h"
#include "client/ResultCodes.h"
#include "client/ldap/LdapSession.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::client::ldap {
namespace {

using testing::Ber;
using testing::EntryAttribute;
using testing::LdapMessage;
using testing::SearchDone;
using testing::SearchEntry;
using testing::SilentServer;

TEST(LdapFaultyReply, AnEntryThatDoesNotDecodeFailsItsSearch) {
    const std::string cn = EntryAttribute("cn", {"a"});
    // Entries of cn=a,dc=test: each names it in its message.
    struct Case {
        const char* what;
        std::string attributes;
    };
    const std::vector<Case> faulty = {
        // A value longer than what is left of the entry.
        {"value",
         cn + Ber(0x30, Ber(0x04, "description") + Ber(0x31, Ber(0x04, "one") + "\x04\x10two"))},
        // A value that runs past the end of its attribute's set.
        {"set",
         cn + Ber(0x30, Ber(0x04, "description") + std::string("\x31\x02", 2) + Ber(0x04, "one"))},
        // An attribute's description longer than the attribute.
        {"description", cn + Ber(0x30, std::string("\x04\x20sn", 4))},
        // Something other than an attribute in the middle of the list.
        {"list", cn + Ber(0x04, "junk") + EntryAttribute("sn", {"b"})},
    };
    // Message 1 answers the root DSE's read; each read after it gets the
    // next message id.
    std::vector<std::string> replies = {
        SearchEntry(1, "", EntryAttribute("namingContexts", {"dc=test"})) + SearchDone(1)};
    int id = 2;
    for (const Case& entry : faulty) {
        replies.push_back(SearchEntry(id, "cn=a,dc=test", entry.attributes) + SearchDone(id));
        ++id;
    }
    // A DN longer than the entry.
    replies.push_back(
        LdapMessage(id, Ber(0x64, std::string("\x04\x40", 2) + "cn=a" + Ber(0x30, cn))) +
        SearchDone(id));
    ++id;
    const std::string whole = SearchEntry(
        id, "cn=b,dc=test", EntryAttribute("cn", {"b"}) + EntryAttribute("description", {"", "x"}));
    replies.push_back(whole + SearchDone(id));

    SilentServer server(replies);
    LdapConnectionConfig config;
    config.uri = "ldap://" + server.Address();
    config.timeoutSeconds = 10;
    LdapSession session(config);
    ASSERT_EQ(session.Open(), 0) << session.Diagnostic();
    for (const Case& entry : faulty) {
        SCOPED_TRACE(entry.what);
        FoundEntry read;
        EXPECT_EQ(session.ReadEntry("cn=a,dc=test", {"*"}, read), Err::InvalidRequest);
        EXPECT_EQ(session.Diagnostic(),
                  config.uri +
                      ": Decoding error (the server sent the entry cn=a,dc=test that "
                      "could not be read)");
    }
    FoundEntry read;
    EXPECT_EQ(session.ReadEntry("cn=a,dc=test", {"*"}, read), Err::InvalidRequest);
    EXPECT_EQ(session.Diagnostic(),
              config.uri + ": Decoding error (the server sent an entry that could not be read)");

    // The connection goes on: the messages around the entries were whole.
    ASSERT_EQ(session.ReadEntry("cn=b,dc=test", {"*"}, read), 0) << session.Diagnostic();
    EXPECT_EQ(read.dn, "cn=b,dc=test");
    ASSERT_EQ(read.Attributes().size(), 2u);
    ASSERT_NE(read.Find("description"), nullptr);
    EXPECT_EQ(std::vector<std::string_view>(read.Find("description")->begin(),
                                            read.Find("description")->end()),
              (std::vector<std::string_view>{"", "x"}));
}

}  // namespace
}  // namespace vellrun::client::ldap
