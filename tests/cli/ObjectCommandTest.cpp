// The console's one-object command: every attribute the object's classes
// define, then the six "DSI: " items, each as a block of name and indented value.

#include "cli/CliApp.h"
#include "support/DirectoryTestBed.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

namespace vellrun::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kObjects = R"([
  {"name": "Corp", "class": "Organization", "partitionRoot": true},
  {"name": "Sales.Corp", "class": "Organizational Unit"},
  {"name": "jdoe.Sales.Corp", "class": "User", "created": "2009-01-15T12:00:00Z",
   "modified": "2009-07-15T12:00:00Z",
   "attributes": {"CN": "jdoe", "Surname": "Doe",
                  "Title": {"value": "Clerk", "flags": 5, "modified": "2009-10-30T12:00:00Z"},
                  "Description": ["first line", "second line"],
                  "Login Script": {"text": "MAP F:=SYS:\nWRITE \"hi\"\n"}}}
])";

class ObjectCommandTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-object-test"};
    ObjectCommandTest() {
        folder_ = temp_.Path();
        image_ = folder_ / "corp.json";
        std::ofstream(image_) << testing::TreesImage({{"CORP", std::string(kObjects)}});

        if (const char* zone = std::getenv("TZ")) previousZone_ = zone;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~ObjectCommandTest() override {
        if (previousZone_) {
            setenv("TZ", previousZone_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    struct Run {
        int code = -1;
        std::string out;
        std::string err;
    };
    Run Object(std::vector<std::string> args) {
        args.insert(args.begin(), {"--image", image_.string(), "object"});
        CliApp app;
        platform::DateTimeFormats formats;
        formats.shortDate = "yyyy-MM-dd";
        formats.longTime = "hh:nn:ss";
        app.SetDateTimeFormats(formats);
        settings::AppSettings settings = settings::AppSettings::DialogDefaults(formats);
        settings.TypelessNames = typeless_;
        app.SetSettings(settings);
        std::ostringstream out;
        std::ostringstream err;
        Run run;
        run.code = app.Run(args, out, err);
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    fs::path folder_;
    fs::path image_;
    bool typeless_ = true;
    std::optional<std::string> previousZone_;
};

TEST_F(ObjectCommandTest, PrintsEveryDefinedAttributeThenTheEntryItems) {
    const Run run = Object({"jdoe.Sales.Corp"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "CN\n  jdoe\n\n"
              "Description\n  first line\n  second line\n\n"
              "Login Disabled\n  (no value)\n\n"
              "Login Grace Limit\n  (no value)\n\n"
              "Login Script\n  MAP F:=SYS:\n  WRITE \"hi\"\n\n"
              "Surname\n  Doe\n\n"
              "Title\n  Clerk\n\n"
              "DSI: Parent\n  .Sales.Corp\n\n"
              "DSI: Partition Root\n  .Corp\n\n"
              "DSI: Subordinates\n  0\n\n"
              "DSI: Time Created\n  2009-01-15 12:00:00\n\n"
              "DSI: Time Modified\n  2009-07-15 12:00:00\n\n"
              "DSI: DN\n  .jdoe.Sales.Corp\n\n");
}

TEST_F(ObjectCommandTest, NamesMayCarryTheirDotAndNamesInValuesFollowTheTypelessSetting) {
    typeless_ = false;
    const Run run = Object({"--tree", "corp", ".jdoe.Sales.Corp"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_NE(run.out.find("DSI: Parent\n  .OU=Sales.O=Corp\n\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("DSI: DN\n  .CN=jdoe.OU=Sales.O=Corp\n\n"), std::string::npos)
        << run.out;
}

TEST_F(ObjectCommandTest, ValueOptionsAnnotateAndCutTheValues) {
    Run run = Object({"--value-flags", "--time-stamps", "jdoe.Sales.Corp"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_NE(run.out.find("Title\n  [ 2009-10-30 12:00:00 / PRESENT / NAMING ] Clerk\n\n"),
              std::string::npos)
        << run.out;
    // Without a limit no value is annotated.
    run = Object({"--value-flags", "--max-size", "none", "jdoe.Sales.Corp"});
    EXPECT_NE(run.out.find("Title\n  Clerk\n\n"), std::string::npos) << run.out;

    run = Object({"--max-size=huge", "jdoe.Sales.Corp"});
    EXPECT_EQ(run.code, CliApp::kUsage);
    EXPECT_NE(run.err.find("option --max-size takes 512, 4096, 65536 or none, not huge"),
              std::string::npos)
        << run.err;
}

TEST_F(ObjectCommandTest, AnUnknownObjectOrTreeIsAnErrorAndPrintsNothing) {
    Run run = Object({"nobody.Sales.Corp"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("Read \"nobody.Sales.Corp\" returned error 0xFFFFFDA7 (", 0), 0u)
        << run.err;

    run = Object({"--tree", "Elsewhere", "jdoe.Sales.Corp"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("tree \"Elsewhere\" is not connected"), std::string::npos) << run.err;
}

TEST_F(ObjectCommandTest, WrongUsage) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"object"}, "object needs exactly one OBJECT"},
        {{"object", "a", "b"}, "object needs exactly one OBJECT"},
        {{"--value-flags", "trees"}, "value options do not apply to trees"},
        {{"list", "--max-size", "512", "Corp"}, "value options do not apply to list"},
    };
    for (const auto& [args, problem] : wrong) {
        std::ostringstream out;
        std::ostringstream err;
        CliApp app;
        EXPECT_EQ(app.Run(args, out, err), CliApp::kUsage) << problem;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), "vellrun-cli: " + problem + "\n\n" + CliApp::UsageText());
    }
}

}  // namespace
}  // namespace vellrun::cli
