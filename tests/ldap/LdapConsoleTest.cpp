// The console's ldapsearch-style shortcuts: -H with -b, -D and -y runs any
// command against one server, the tree named after the host; wrong
// combinations are usage errors before anything connects.

#include "TestSlapd.h"
#include "cli/CliApp.h"
#include "client/ClientFactory.h"
#include "support/TempDir.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vellrun::cli {
namespace {

int RunCli(const std::vector<std::string>& args, std::string& out, std::string& err) {
    CliApp app(
        [](const client::ClientOptions& options) { return client::MakeDirectoryClient(options); });
    std::ostringstream o, e;
    const int code = app.Run(args, o, e);
    out = o.str();
    err = e.str();
    return code;
}

TEST(LdapConsole, ShortcutsConnectOneServerForTheRun) {
    const auto& slapd = testing::TestSlapd::Shared();
    slapd.FreshSubtree("Console");
    slapd.Modify(
        "dn: cn=jdoe,ou=Console,dc=test\nobjectClass: vrUser\ncn: jdoe\nsn: Doe\n"
        "telephoneNumber: 555 0100\nvrLoginGraceLimit: 6\n\n"
        "dn: cn=ann,ou=Console,dc=test\nobjectClass: vrUser\ncn: ann\nsn: Ann\n");
    const std::string pw = (slapd.Dir() / "admin.pw").string();
    const std::vector<std::string> connect = {"-H", slapd.Uri(),        "-b", "dc=test",
                                              "-D", "cn=admin,dc=test", "-y", pw};
    auto with = [&](std::vector<std::string> command) {
        std::vector<std::string> args = connect;
        args.insert(args.end(), command.begin(), command.end());
        return args;
    };
    std::string out, err;
    ASSERT_EQ(RunCli(with({"trees"}), out, err), 0) << err;
    EXPECT_EQ(out, "127.0.0.1\n");
    ASSERT_EQ(RunCli(with({"list", "OU=Console"}), out, err), 0) << err;
    EXPECT_NE(out.find("User: jdoe\n"), std::string::npos) << out;
    ASSERT_EQ(RunCli(with({"report", "--container", "Console", "--class", "User", "--attr", "sn",
                           "--attr", "Login Grace Limit", "--attr", "telephoneNumber", "--order-by",
                           "1", "--typeless"}),
                     out, err),
              0)
        << err;
    EXPECT_EQ(out,
              "\"DN\";\"sn\";\"Login Grace Limit\";\"telephoneNumber\"\r\n"
              "\"ann.Console\";\"Ann\";\"\";\"\"\r\n"
              "\"jdoe.Console\";\"Doe\";\"6\";\"555 0100\"\r\n")
        << out;
    // The attribute definitions as the server's subschema gives them: an
    // LDAP syntax, an operational one, one of the directory's own names,
    // each attribute once.
    ASSERT_EQ(RunCli(with({"schema", "attributes"}), out, err), 0) << err;
    for (const char* row :
         {"\"Attribute Name\";\"Syntax\";\"Attribute Flags\";\"ASN\"\r\n",
          "\n\"telephoneNumber\";\"TEL_NUMBER\";\"[Sized (0-32)]\";\"2.5.4.20\"\r\n",
          "\n\"createTimestamp\";\"TIME\";\"[SingleVal\\ReadOnly\\Operational]\";\"2.5.18.1\"\r\n",
          "\n\"Login Grace Limit\";\"INTEGER\";\"[SingleVal\\PublicRd]\";"
          "\"1.3.6.1.4.1.99999.1.1\"\r\n"}) {
        EXPECT_NE(out.find(row), std::string::npos) << row;
    }
    std::vector<std::string> names;
    for (size_t at = out.find("\n\""); at != std::string::npos; at = out.find("\n\"", at + 1))
        names.push_back(out.substr(at + 2, out.find('"', at + 2) - at - 2));
    EXPECT_GT(names.size(), 200u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());

    EXPECT_EQ(RunCli({"-b", "dc=test", "trees"}, out, err), 2);
    EXPECT_NE(err.find("need -H URI"), std::string::npos);
    EXPECT_EQ(RunCli({"-H", slapd.Uri(), "-D", "cn=admin,dc=test", "trees"}, out, err), 2);
    EXPECT_NE(err.find("-y FILE or -W"), std::string::npos);
    EXPECT_EQ(RunCli({"-H", slapd.Uri(), "--image", "x.json", "trees"}, out, err), 2);
    // A wrong password stops the start with the server's reason.
    testing::TempDir dir;
    testing::WriteFile(dir / "wrong.pw", "wrong");
    ::chmod((dir / "wrong.pw").c_str(), 0600);
    EXPECT_EQ(RunCli({"-H", slapd.Uri(), "-D", "cn=admin,dc=test", "-y",
                      (dir / "wrong.pw").string(), "trees"},
                     out, err),
              1);
    EXPECT_NE(err.find("Invalid credentials"), std::string::npos) << err;
    // A password file that is not there says why it cannot be read.
    const std::string missing = (dir / "nope.pw").string();
    EXPECT_EQ(
        RunCli({"-H", slapd.Uri(), "-D", "cn=admin,dc=test", "-y", missing, "trees"}, out, err), 1);
    EXPECT_NE(err.find(missing + ": the password file cannot be read (No such file or directory)"),
              std::string::npos)
        << err;
    // A password for another host in clear is refused before anything
    // connects, with what a run of -H can do about it.
    EXPECT_EQ(RunCli({"-H", "ldap://192.0.2.1", "-D", "cn=admin,dc=test", "-y",
                      (dir / "wrong.pw").string(), "trees"},
                     out, err),
              1);
    EXPECT_NE(err.find("refused to send a password unencrypted"), std::string::npos) << err;
    EXPECT_NE(err.find("-Z"), std::string::npos) << err;
    EXPECT_EQ(err.find("allowInsecureBind"), std::string::npos) << err;
    // So is one that would be asked for, before it is asked.
    EXPECT_EQ(RunCli({"-H", "ldap://192.0.2.1", "-D", "cn=admin,dc=test", "-W", "trees"}, out, err),
              1);
    EXPECT_NE(err.find("refused to send a password unencrypted"), std::string::npos) << err;
    EXPECT_EQ(err.find("Password"), std::string::npos) << err;
    EXPECT_EQ(err.find("no password given"), std::string::npos) << err;
}

// A base the server does not hold is said at the start, on standard error,
// and again by the listing that meets it, naming the base and the server.
TEST(LdapConsole, ABaseTheServerDoesNotHoldIsSaidAtTheStartAndByTheListing) {
    const auto& slapd = testing::TestSlapd::Shared();
    std::string out, err;
    const std::string reason = "the base \"dc=nope\" does not exist on " + slapd.Uri();
    EXPECT_EQ(RunCli({"-H", slapd.Uri(), "-b", "dc=nope", "list", "[Root]"}, out, err), 1);
    EXPECT_EQ(err, "The tree 127.0.0.1 is empty: " + reason +
                       "\nList \"[Root]\" returned error 0xFFFFFDA7 (No such entry: " + reason +
                       ")\n");
    EXPECT_EQ(out, "");
}

// A server that stops a search at its size limit: the rows before it are
// exported and the console says why the result is short, with a failing exit.
TEST(LdapConsole, AServersSizeLimitIsSaidOnTheConsole) {
    const auto& slapd = testing::TestSlapd::Shared();
    slapd.FreshSubtree("ConsoleLimit");
    std::string people;
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        people += "dn: cn=user" + n +
                  ",ou=ConsoleLimit,dc=test\nobjectClass: inetOrgPerson\ncn: user" + n +
                  "\nsn: Person " + n + "\n\n";
    }
    slapd.Modify(people);
    testing::TempDir dir;
    testing::WriteFile(dir / "limited.pw", "limitedpw");
    ::chmod((dir / "limited.pw").c_str(), 0600);
    const std::vector<std::string> connect = {
        "-H", slapd.Uri(),          "-b", "dc=test",
        "-D", "cn=limited,dc=test", "-y", (dir / "limited.pw").string()};
    auto with = [&](std::vector<std::string> command) {
        std::vector<std::string> args = connect;
        args.insert(args.end(), command.begin(), command.end());
        return args;
    };
    std::string out, err;
    EXPECT_EQ(RunCli(with({"report", "--container", "OU=ConsoleLimit", "--class", "inetOrgPerson",
                           "--attr", "sn"}),
                     out, err),
              1);
    EXPECT_NE(err.find("size limit"), std::string::npos) << err;
    EXPECT_NE(err.find("rows found were exported"), std::string::npos) << err;
    const size_t rows = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
    EXPECT_GT(rows, 1u) << out;
    EXPECT_LT(rows, 13u) << out;
    EXPECT_EQ(RunCli(with({"list", "OU=ConsoleLimit"}), out, err), 1);
    EXPECT_NE(err.find("size limit"), std::string::npos) << err;
}

}  // namespace
}  // namespace vellrun::cli
