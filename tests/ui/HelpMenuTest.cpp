#include "DialogTestSupport.h"
#include "UiTestSupport.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "ui/DialogScript.h"
#include "ui/HelpMenu.h"
#include "ui/QtMessagePort.h"
#include "ui/TSplash.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

namespace vellrun::ui {
namespace {

using Kind = DialogScript::Kind;
using Response = testing::LocalHttpServer::Response;

class RecordingDesktop final : public platform::DesktopPort {
public:
    std::vector<std::string> opened;
    bool answer = true;
    std::string SetClipboardText(std::string_view) override { return {}; }
    bool OpenDocument(std::string_view target) override {
        opened.emplace_back(target);
        return answer;
    }
    bool OpenWorkbook(const std::filesystem::path&) override { return false; }
};

class HelpMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("VELLRUN_UPDATE_URL", server.Address().c_str(), 1);
        DialogScript::Begin();
        help = std::make_unique<HelpMenu>(messages, desktop, &window);
    }
    void TearDown() override {
        help.reset();
        DialogScript::End();
        ::unsetenv("VELLRUN_UPDATE_URL");
    }

    testing::LocalHttpServer server;
    QMainWindow window;
    QtMessagePort messages{&window};
    RecordingDesktop desktop;
    std::unique_ptr<HelpMenu> help;
    testing::TempDir folder{"vellrun-help"};
};

TEST_F(HelpMenuTest, AboutBoxAndWebSiteItem) {
    const std::string site = "127.0.0.1:" + std::to_string(server.Port());
    const auto box = HelpMenu::MakeAboutBox(&window);
    EXPECT_EQ(box->windowTitle(), "Vellrun");
    const QStringList paragraphs = box->text().split("\n\n");
    ASSERT_EQ(paragraphs.size(), 3);
    EXPECT_TRUE(paragraphs[0].startsWith("Written by: "));
    EXPECT_EQ(paragraphs[1], "v2.12 (2009-10-30)");
    EXPECT_EQ(paragraphs[2].toStdString(), site);
    help->MenuItemAboutClick();
    EXPECT_EQ(DialogScript::Texts(Kind::Information),
              std::vector<std::string>{HelpMenu::AboutText()});

    EXPECT_EQ(HelpMenu::VisitCaption().toStdString(), "&Visit " + site);
    help->MenuItemVisitWWWClick();
    EXPECT_EQ(desktop.opened, std::vector<std::string>{server.Address()});
    desktop.answer = false;
    help->MenuItemVisitWWWClick();
    EXPECT_EQ(DialogScript::Texts(Kind::Plain),
              std::vector<std::string>{"Cannot open " + server.Address()});
}

TEST_F(HelpMenuTest, UpdateCheckDownloadsWithProgressAndCancelStopsIt) {
    const std::string page = "/php/fileinfo.php?file=vellrun.zip";
    server.Answer(page, Response::Text("date=2010-01-05\nfile=vellrun.zip\nurl=" +
                                       server.Address() + "/vellrun.zip\n"));
    server.Answer("/vellrun.zip", Response::Text(std::string(4000, 'v')));
    const auto target = folder / "vellrun.zip";
    DialogScript::PushYesNo(true);
    DialogScript::PushFile(target);
    help->MenuItemCheckforUpdatesClick();
    EXPECT_EQ(testing::ReadFile(target), std::string(4000, 'v'));
    EXPECT_EQ(DialogScript::Texts(Kind::SaveFile).size(), 1u);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A slow download: the progress dialog comes up, and its Cancel stops it.
    server.Answer("/vellrun.zip", Response::Text(std::string(200000, 'w')).Trickle(2000, 20));
    bool seen = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QProgressDialog* progress = help->Progress().Dialog();
        if (progress != nullptr && progress->isVisible() && !seen) {
            seen = true;
            EXPECT_TRUE(progress->labelText().startsWith("Downloading "))
                << progress->labelText().toStdString() << " " << progress->maximum();
            progress->findChild<QPushButton*>()->click();
        }
    });
    watcher.start(50);
    DialogScript::PushYesNo(true);
    DialogScript::PushFile(target);
    help->MenuItemCheckforUpdatesClick();
    watcher.stop();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(testing::ReadFile(target) == std::string(4000, 'v'));
    EXPECT_TRUE(DialogScript::Texts(Kind::Plain).empty());
    EXPECT_EQ(help->Progress().Dialog(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(TSplashTest, ShowsThePictureAndGoesWhenTheMainWindowBecomesActive) {
    QPointer<TSplash> splash = TSplash::ShowAtStart();
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    const QPixmap picture = splash->SplashImage()->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(200, 200));
    // A scaled screen gets it drawn at its ratio, not enlarged.
    const QPixmap sharp = TSplash::ProductPicture(2.0);
    EXPECT_EQ(sharp.size(), QSize(400, 400));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(200, 200));
    EXPECT_FALSE(splash->PanelInfo()->text().isEmpty());
    splash->SplashMessage(QStringLiteral("Reading the trees ..."));
    EXPECT_EQ(splash->PanelInfo()->text(), "Reading the trees ...");

    // A modal window over the start (a large image's load) leaves it standing.
    {
        QProgressDialog load(QStringLiteral("Loading"), QStringLiteral("Cancel"), 0, 0);
        load.setWindowModality(Qt::ApplicationModal);
        load.show();
        load.activateWindow();
        ASSERT_TRUE(testing::ProcessEventsUntil(
            [&load] { return QGuiApplication::focusWindow() == load.windowHandle(); }));
    }
    QCoreApplication::processEvents();
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());

    QMainWindow main;
    main.show();
    main.activateWindow();
    EXPECT_TRUE(testing::ProcessEventsUntil([&] { return splash.isNull(); }));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace vellrun::ui
