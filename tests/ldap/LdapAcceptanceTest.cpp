// The backend's acceptance: the bundled sample tree exported with
// export-ldif, loaded into a real slapd, and the sample saved reports run
// against the image and against the server give the same documents byte for
// byte, except what LDAP cannot carry: the server holds the whole tree in one
// naming context, so the sample's partition below the top (O=Corp) is not a
// partition there, and the "DSI: Partition Root" row of the object report
// reads [Root] instead of .O=Corp.

#include "TestSlapd.h"
#include "cli/CliApp.h"
#include "client/ClientFactory.h"
#include "client/image/ImageClient.h"
#include "client/ldap/LdapClient.h"
#include "client/ldap/LdifExport.h"
#include "support/TempDir.h"

#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

namespace vellrun {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a saved report with its output redirected into dir; returns the document.
// lead goes before the command (--image and the like).
std::string RunSaved(const std::string& report, const std::filesystem::path& dir,
                     const cli::CliApp::ClientMaker& maker,
                     const std::vector<std::string>& lead = {}) {
    std::string text = ReadAll(std::filesystem::path(VELLRUN_TEST_DATA_DIR) / report);
    const std::regex file("File=([^\r\n]*)");
    std::smatch match;
    EXPECT_TRUE(std::regex_search(text, match, file));
    const std::filesystem::path output = dir / match[1].str();
    text = std::regex_replace(text, file, "File=" + output.string());
    testing::WriteFile(dir / report, text);
    cli::CliApp app(maker);
    app.SetSettingsFile(dir / "no-settings.ini");
    app.SetNow(platform::DateTimeParts{2026, 12, 8, 6, 0, 0, 2});
    std::ostringstream out, err;
    std::vector<std::string> arguments = lead;
    arguments.insert(arguments.end(), {"run", (dir / report).string()});
    EXPECT_EQ(app.Run(arguments, out, err), 0) << err.str();
    return ReadAll(output);
}

TEST(LdapAcceptance, SampleReportsReadTheSameFromTheImageAndFromSlapd) {
    testing::TempDir dir;
    const std::filesystem::path sample =
        std::filesystem::path(VELLRUN_TEST_DATA_DIR) / "sample-directory.json";
    {
        client::image::ImageClient image({{sample, "CORP"}});
        ASSERT_EQ(image.InitClient(0, 0), 0);
        std::ofstream ldif(dir / "corp.ldif", std::ios::binary);
        std::ofstream schema(dir / "corp.schema", std::ios::binary);
        const auto result = client::ldap::ExportLdif(image, {"CORP", "dc=corp"}, ldif, schema);
        ASSERT_EQ(result.result, 0) << result.error;
        EXPECT_GT(result.entries, 5000u);
    }
    auto slapd = testing::TestSlapd::Start(dir / "slapd", {(dir / "corp.schema").string()},
                                           {(dir / "corp.ldif").string()}, "dc=corp", true);
    client::ldap::LdapConnectionConfig server;
    server.name = "CORP";
    server.uri = slapd->Uri();
    server.base = "dc=corp";

    std::filesystem::create_directories(dir / "image");
    std::filesystem::create_directories(dir / "ldap");
    const cli::CliApp::ClientMaker fromImage = [&](const client::ClientOptions&) {
        return client::MakeDirectoryClient({.image = sample});
    };
    const cli::CliApp::ClientMaker fromServer = [&](const client::ClientOptions&) {
        return client::MakeDirectoryClient({.server = server});
    };
    for (const std::string report : {"sample-users.rpt", "sample-groups.rpt"}) {
        SCOPED_TRACE(report);
        const std::string expected = RunSaved(report, dir / "image", fromImage);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(RunSaved(report, dir / "ldap", fromServer), expected);
    }
    // The object report: the same but for the partition root (see above).
    const std::string expected = RunSaved("sample-admin.rpt", dir / "image", fromImage);
    std::string live = RunSaved("sample-admin.rpt", dir / "ldap", fromServer);
    const size_t at = live.find("[Root]</value>");
    ASSERT_NE(at, std::string::npos);
    live.replace(at, 6, ".O=Corp");
    EXPECT_EQ(live, expected);
}

}  // namespace
}  // namespace vellrun

namespace vellrun {
namespace {

// The same data set offline: the sample exported by the console's export-ldif
// and read back with --image DUMP.ldif --schema FILE reports as the JSON image
// does. What LDIF cannot carry is the same as over LDAP: the partition below
// the top (the admin report's "DSI: Partition Root" reads [Root]).
TEST(LdifImage, TheExportedSampleReportsAsTheImageDoes) {
    testing::TempDir dir;
    const std::filesystem::path sample =
        std::filesystem::path(VELLRUN_TEST_DATA_DIR) / "sample-directory.json";
    const cli::CliApp::ClientMaker fromOptions = [](const client::ClientOptions& options) {
        return client::MakeDirectoryClient(options);
    };
    {
        cli::CliApp app(fromOptions);
        app.SetSettingsFile(dir / "no-settings.ini");
        std::ostringstream out, err;
        ASSERT_EQ(app.Run({"--image", sample.string(), "export-ldif", "--tree", "CORP", "--base",
                           "dc=corp", (dir / "CORP.ldif").string()},
                          out, err),
                  0)
            << err.str();
    }
    std::filesystem::create_directories(dir / "image");
    std::filesystem::create_directories(dir / "ldif");
    const std::vector<std::string> image = {"--image", sample.string()};
    const std::vector<std::string> ldif = {"--image", (dir / "CORP.ldif").string(), "--schema",
                                           (dir / "CORP.schema").string()};
    for (const std::string report : {"sample-users.rpt", "sample-groups.rpt"}) {
        SCOPED_TRACE(report);
        const std::string expected = RunSaved(report, dir / "image", fromOptions, image);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(RunSaved(report, dir / "ldif", fromOptions, ldif), expected);
    }
    const std::string expected = RunSaved("sample-admin.rpt", dir / "image", fromOptions, image);
    std::string offline = RunSaved("sample-admin.rpt", dir / "ldif", fromOptions, ldif);
    const size_t at = offline.find("[Root]</value>");
    ASSERT_NE(at, std::string::npos);
    offline.replace(at, 6, ".O=Corp");
    EXPECT_EQ(offline, expected);

    // The schema reads back whole: every attribute with its syntax, flags and
    // identifier (Object Class too, though its values are LDAP's objectClass),
    // every class with its lists; Top is no superclass of itself, and a class
    // without superclasses gains none. The dump's own base entry is of LDAP's
    // extensibleObject, which the reader defines as slapd does: its row is the
    // one more.
    const auto report = [&](const std::vector<std::string>& source, const char* kind) {
        cli::CliApp app(fromOptions);
        app.SetSettingsFile(dir / "no-settings.ini");
        std::vector<std::string> args = source;
        args.insert(args.end(), {"schema", kind});
        std::ostringstream out, err;
        EXPECT_EQ(app.Run(args, out, err), 0) << err.str();
        return out.str();
    };
    const std::vector<std::string> json = {"--image", sample.string(), "--tree", "CORP"};
    EXPECT_EQ(report(ldif, "attributes"), report(json, "attributes"));
    std::string classes = report(ldif, "classes");
    const size_t extensible = classes.find("\n\"extensibleObject\";");
    ASSERT_NE(extensible, std::string::npos);
    classes.erase(extensible, classes.find('\n', extensible + 1) - extensible);
    EXPECT_EQ(classes, report(json, "classes"));
}

}  // namespace
}  // namespace vellrun
