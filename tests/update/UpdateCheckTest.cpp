#include "platform/CurlHttpClient.h"
#include "platform/PendingTemporaries.h"
#include "support/CountingRunFeedback.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"
#include "update/Tkorvel_module.h"
#include "update/UpdateReply.h"
#include "update/UpdateSite.h"

#include <chrono>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <stdlib.h>

namespace vellrun::update {
namespace {

using testing::LocalHttpServer;
using Response = LocalHttpServer::Response;
using Kind = testing::ScriptedMessagePort::Kind;
using Box = testing::ScriptedMessagePort::Box;

constexpr char kPage[] = "/php/fileinfo.php?file=vellrun.zip";

// The update check of the desktop program against a local server.
class UpdateCheckTest : public ::testing::Test {
protected:
    std::string Site() const { return server.Address(); }
    void Check() { module.checkUpdatesWithPar("vellrun.zip", "2009-10-30"); }
    std::vector<Kind> Kinds() const {
        std::vector<Kind> kinds;
        for (const Box& box : messages.boxes)
            kinds.push_back(box.kind);
        return kinds;
    }

    LocalHttpServer server;
    platform::CurlHttpClient http;
    testing::ScriptedMessagePort messages;
    testing::CountingRunFeedback feedback;
    Tkorvel_module module{http, messages, feedback, server.Address()};
    testing::TempDir folder{"vellrun-update"};
};

TEST_F(UpdateCheckTest, SameDateIsUpToDateAndTheRequestCarriesTheFixedHeaders) {
    server.Answer(kPage, Response::Text("date=2009-10-30\r\nfile=vellrun.zip\r\nurl=x\r\n"));
    Check();

    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].kind, Kind::Info);
    EXPECT_EQ(messages.boxes[0].text,
              "Your software version is dated 20091030 - there currently is no newer version "
              "available");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, kPage);
    EXPECT_EQ(requests[0].Header("Accept"), "text/html, */*");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
    // The window was kept alive and the busy cursor put back.
    EXPECT_GT(feedback.events, 0);
    EXPECT_EQ(feedback.depth, 0);
    EXPECT_EQ(module.getVersion_detail("url"), "x");
}

TEST_F(UpdateCheckTest, NewerDateOffersTheDownloadWhichArrivesWholeIntoNewFolders) {
    std::string archive(300000, 'z');
    for (size_t i = 0; i < archive.size(); i += 7)
        archive[i] = static_cast<char>(i % 251);
    server.Answer(kPage, Response::Text("date=2010/01/05\nfile=vellrun.zip\nurl=" + Site() +
                                        "/files/vellrun.zip\ninfo=Release notes on the site\n"));
    server.Answer("/files/vellrun.zip", Response::Text(archive).Trickle(65536, 5));
    const auto target = folder / "new/sub/vellrun.zip";
    messages.answers = {true};
    messages.files = {target};
    Check();

    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::Question, Kind::SaveFile, Kind::Info}));
    EXPECT_EQ(messages.boxes[0].text,
              "Your software version is dated \"20091030\" - the version on " + Site() +
                  " is dated \"20100105\": do you want to download the most recent version?");
    EXPECT_EQ(messages.boxes[2].text, "Release notes on the site");
    EXPECT_EQ(testing::ReadFile(target), archive);
    // Only the archive is left in its folder.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(target.parent_path()))
        ++files;
    EXPECT_EQ(files, 1u);

    // "No" downloads nothing and asks for no file.
    messages.boxes.clear();
    messages.answers = {false};
    Check();
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::Question, Kind::Info}));
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(UpdateCheckTest, AFailedOrInterruptedDownloadLeavesNoPartAndTheOldFileWhole) {
    const auto target = folder / "vellrun.zip";
    testing::WriteFile(target, "the old archive");
    server.Answer("/cut", Response::Text(std::string(100000, 'a')).CloseAfter(40000));
    EXPECT_EQ(module.getCurrentFile(target, Site() + "/cut"), -1);
    ASSERT_EQ(messages.Texts(Kind::Plain).size(), 1u);
    EXPECT_NE(messages.Texts(Kind::Plain)[0].find(Site() + "/cut"), std::string::npos)
        << messages.Texts(Kind::Plain)[0];

    EXPECT_EQ(module.getCurrentFile(target, Site() + "/missing"), -1);
    EXPECT_EQ(messages.Texts(Kind::Plain).size(), 2u);

    // Cancelled in the middle: no box, nothing written.
    server.Answer("/slow", Response::Text(std::string(200000, 'b')).Trickle(1000, 20));
    feedback.onEvent = [this](int) {
        if (feedback.status[0].starts_with("Downloading")) feedback.Cancel().Set();
    };
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(module.getCurrentFile(target, Site() + "/slow"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_EQ(messages.Texts(Kind::Plain).size(), 2u);

    EXPECT_EQ(testing::ReadFile(target), "the old archive");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

// The download's temporary file beside the target, if there is one.
std::optional<std::filesystem::path> PartFileIn(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".vellrun.zip.") && name.ends_with(".tmp")) {
            return entry.path();
        }
    }
    return std::nullopt;
}

TEST_F(UpdateCheckTest, ThePartFileIsInTheSignalCleanupTableOnlyWhileItIsWritten) {
    const std::string archive(100000, 'p');
    server.Answer("/files/vellrun.zip", Response::Text(archive).Trickle(10000, 10));
    const auto target = folder / "vellrun.zip";
    std::optional<std::filesystem::path> part;
    bool swept = false;
    feedback.onEvent = [&](int) {
        if (swept || !(part = PartFileIn(folder.Path()))) return;
        // What the handler of SIGTERM or SIGINT does in the middle of the download.
        platform::PendingTemporaries::UnlinkAll();
        swept = true;
        EXPECT_FALSE(std::filesystem::exists(*part));
    };
    // The part file vanished under the download, which cannot become the target.
    EXPECT_EQ(module.getCurrentFile(target, Site() + "/files/vellrun.zip"), -1);
    ASSERT_TRUE(swept);
    EXPECT_FALSE(std::filesystem::exists(target));
    // Once the download is over its name is no longer in the table.
    testing::WriteFile(*part, "another file of that name");
    platform::PendingTemporaries::UnlinkAll();
    EXPECT_TRUE(std::filesystem::exists(*part));
    std::filesystem::remove(*part);

    // The same after a download that arrived whole.
    part.reset();
    feedback.onEvent = [&](int) {
        if (!part) part = PartFileIn(folder.Path());
    };
    EXPECT_EQ(module.getCurrentFile(target, Site() + "/files/vellrun.zip"), 0);
    EXPECT_TRUE(testing::ReadFile(target) == archive);
    ASSERT_TRUE(part.has_value());
    testing::WriteFile(*part, "another file of that name");
    platform::PendingTemporaries::UnlinkAll();
    EXPECT_TRUE(std::filesystem::exists(*part));
}

TEST_F(UpdateCheckTest, ADownloadOverALinkWritesTheFileItNamesAndKeepsItsPermissions) {
    const std::string archive(50000, 'l');
    server.Answer("/files/vellrun.zip", Response::Text(archive));
    const auto real = folder / "kept/vellrun-current.zip";
    std::filesystem::create_directory(folder / "kept");
    testing::WriteFile(real, "the old archive");
    std::filesystem::permissions(real, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    const auto link = folder / "vellrun.zip";
    std::filesystem::create_symlink("kept/vellrun-current.zip", link);

    ASSERT_EQ(module.getCurrentFile(link, Site() + "/files/vellrun.zip"), 0)
        << (messages.boxes.empty() ? "" : messages.boxes[0].text);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(testing::ReadFile(real) == archive);
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

TEST_F(UpdateCheckTest, ADownloadHasNoTotalLimitButEndsWhenItStalls) {
    module.SetTimeouts(5, 1);
    module.SetStallTimeout(1);
    // Still arriving well after the total limit of a request.
    const std::string archive(30000, 'q');
    server.Answer("/files/long.zip", Response::Text(archive).Trickle(1000, 100));
    const auto target = folder / "vellrun.zip";
    EXPECT_EQ(module.getCurrentFile(target, Site() + "/files/long.zip"), 0)
        << (messages.boxes.empty() ? "" : messages.boxes[0].text);
    EXPECT_TRUE(testing::ReadFile(target) == archive);

    // Nothing more arrives: the download fails with a message naming it.
    server.Answer("/files/stalled.zip", Response::Text(archive).StallAfter(1));
    EXPECT_EQ(module.getCurrentFile(folder / "other.zip", Site() + "/files/stalled.zip"), -1);
    ASSERT_EQ(messages.Texts(Kind::Plain).size(), 1u);
    EXPECT_NE(messages.Texts(Kind::Plain)[0].find(Site() + "/files/stalled.zip"), std::string::npos)
        << messages.Texts(Kind::Plain)[0];
    EXPECT_FALSE(std::filesystem::exists(folder / "other.zip"));
}

TEST_F(UpdateCheckTest, APageNamingTheRealAddressLeadsToIt) {
    const std::string real = Site() + "/mirror" + kPage;
    server.Answer(
        kPage, Response::Text("<html>\n<a href=\"" + real + "&lang=en\">here</a>\n" + "<a href=\"" +
                              Site() + "/other" + kPage + "\">or</a>\n" + "<p>file=</p></html>\n"));
    server.Answer(std::string("/mirror") + kPage,
                  Response::Text("file=vellrun.zip\ndate=2009-10-30\n"));
    Check();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, std::string("/mirror") + kPage);
    EXPECT_EQ(requests[1].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(messages.Texts(Kind::Info), std::vector<std::string>{UpToDateText("20091030")});

    // One qualifying line is not enough.
    messages.boxes.clear();
    server.Answer(kPage, Response::Text("<a href=\"" + real + "\">here</a>\n"));
    Check();
    EXPECT_EQ(messages.Texts(Kind::Info), std::vector<std::string>{NoAnswerText(Site())});
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(UpdateCheckTest, RedirectionsAreFollowedButNeverToALocalFile) {
    server.Answer(kPage, Response::Redirect("/moved"));
    server.Answer("/moved", Response::Text("date=2011-01-01\nfile=vellrun.zip\n"));
    messages.answers = {false};
    Check();
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::Question}));

    messages.boxes.clear();
    server.Answer(kPage, Response::Redirect("file:///etc/passwd"));
    Check();
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::Error}));
}

TEST_F(UpdateCheckTest, EmptyDateSaysNoAnswerThenShowsTheInfo) {
    server.Answer(kPage,
                  Response::Text("date=\nfile=vellrun.zip\ninfo=Maintenance until Monday\n"));
    Check();
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::Info, Kind::Info}));
    EXPECT_EQ(messages.boxes[0].text, "Cannot access online information - check " + Site());
    EXPECT_EQ(messages.boxes[1].text, "Maintenance until Monday");
}

TEST_F(UpdateCheckTest, AFailingFirstRequestShowsItsMessageAloneAndASilentServerTimesOut) {
    // An error status.
    Check();
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::Error}));
    EXPECT_NE(messages.boxes[0].text.find("404"), std::string::npos) << messages.boxes[0].text;

    // A server that accepts and never answers.
    messages.boxes.clear();
    server.Answer(kPage, Response::Silent());
    module.SetTimeouts(1, 1);
    const auto started = std::chrono::steady_clock::now();
    Check();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::Error}));

    // Nobody listening: an address at which the test's server no longer is.
    int port = 0;
    {
        LocalHttpServer gone;
        port = gone.Port();
    }
    testing::ScriptedMessagePort quiet;
    Tkorvel_module nowhere(http, quiet, feedback, "http://127.0.0.1:" + std::to_string(port));
    nowhere.checkUpdatesWithPar("vellrun.zip", "2009-10-30");
    ASSERT_EQ(quiet.boxes.size(), 1u);
    EXPECT_EQ(quiet.boxes[0].kind, Kind::Error);
}

TEST(UpdateReplyTest, DatesCompareAsBytesAndTheLongerWinsOnACommonBeginning) {
    EXPECT_EQ(DateDigits("2009-10-30"), "20091030");
    EXPECT_EQ(DateDigits("2010/01\\05"), "20100105");
    EXPECT_TRUE(IsNewerDate("20100105", "20091030"));
    EXPECT_FALSE(IsNewerDate("20091030", "20091030"));
    EXPECT_TRUE(IsNewerDate("200910301", "20091030"));
    EXPECT_FALSE(IsNewerDate("2009103", "20091030"));
    EXPECT_TRUE(IsNewerDate("\xC3\xA9", "9"));  // bytes above 127 are large, not negative

    EXPECT_EQ(ReplyValue(ReplyLines("xdate=1\r\ndate=2009\r\nDate=3\r\ndate=4"), "date"), "2009");
    EXPECT_EQ(ReplyValue(ReplyLines("url=\n"), "date"), "");
    // A lone CR ends a line as well.
    EXPECT_EQ(ReplyValue(ReplyLines("date=1\rurl=x"), "url"), "x");
    EXPECT_FALSE(IsVersionAnswer("date=1 only"));
    EXPECT_TRUE(IsVersionAnswer("xx file=a yy date=1"));

    // "https:" lines qualify as "http:" lines do.
    const std::string page =
        "go https://mirror.test/php/fileinfo.php?file=vellrun.zip&x=1 now\n"
        "or http://other.test/php/fileinfo.php?file=vellrun.zip\n";
    EXPECT_EQ(QualifyingAddress(page, "vellrun.zip"),
              "https://mirror.test/php/fileinfo.php?file=vellrun.zip");
    EXPECT_EQ(QualifyingAddress("ftp://a/php/fileinfo.php?file=vellrun.zip\n"
                                "ftp://b/php/fileinfo.php?file=vellrun.zip\n",
                                "vellrun.zip"),
              std::nullopt);

    EXPECT_EQ(FileInfoAddress("http://h:1/", "a.zip"), "http://h:1/php/fileinfo.php?file=a.zip");
    EXPECT_EQ(WebSiteName("https://vellrun.example.org/"), "vellrun.example.org");
    ::setenv("VELLRUN_UPDATE_URL", "http://127.0.0.1:9/", 1);
    EXPECT_EQ(MakerWebSite(), "http://127.0.0.1:9");
    ::unsetenv("VELLRUN_UPDATE_URL");
    EXPECT_EQ(MakerWebSite().rfind("http", 0), 0u);
}

}  // namespace
}  // namespace vellrun::update
