#include "UiTestSupport.h"
#include "client/image/ImageClient.h"
#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"
#include "support/TempDir.h"
#include "ui/ApplicationIcon.h"
#include "ui/DesktopArguments.h"
#include "ui/DesktopSession.h"
#include "ui/DialogScript.h"
#include "ui/GuardedApplication.h"
#include "ui/TSplash.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::ui {
namespace {

using Kind = DialogScript::Kind;

class DesktopSessionTest : public ::testing::Test {
protected:
    void SetUp() override { DialogScript::Begin(); }
    void TearDown() override { DialogScript::End(); }
};

TEST_F(DesktopSessionTest, FailedStartShowsWhyAndMakesNoWindow) {
    DesktopSession session(client::image::ImageClient::Failing("x.json: broken"));
    EXPECT_FALSE(session.Start());

    EXPECT_EQ(session.MainForm(), nullptr);
    const auto errors = DialogScript::Texts(Kind::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(
        errors[0].rfind("Could not initialize NetWare Client. InitNetWare returned error 0x", 0),
        0u)
        << errors[0];
    EXPECT_EQ(errors[1], "x.json: broken");
    EXPECT_EQ(DialogScript::ShownBoxes().size(), 2u);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "RAZ Arorad");
}

// What the client calls while it waits for a server: the window's events are
// handled; while the tree lists, a click elsewhere says stop, and with
// nothing running that could be cancelled no flag stops the wait.
TEST_F(DesktopSessionTest, AWaitForTheServerHandlesEventsAndStopsWhenTheTreesListingIsCancelled) {
    DesktopSession session(
        testing::StartImageClient(testing::TreesImage({{"CORP", testing::CorpObjects()}})));
    ASSERT_TRUE(session.Start());
    session.Feedback().SetPumpInterval(0);
    bool handled = false;
    QTimer::singleShot(0, session.MainForm(), [&handled] { handled = true; });
    EXPECT_TRUE(session.KeepWaiting());
    EXPECT_TRUE(handled);
    session.CancelStart();
    session.Feedback().Cancel().Set();
    EXPECT_TRUE(session.KeepWaiting());
    session.Feedback().Cancel().Clear();

    TMainForm* form = session.MainForm();
    form->show();
    QTreeWidget& view = *form->DSTree()->TreeView();
    ASSERT_TRUE(testing::ProcessEventsUntil([&view] { return view.topLevelItemCount() == 1; }));
    TTreeFrame& tree = *form->DSTree();
    std::vector<bool> goOn;  // before and after the click elsewhere
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!tree.Busy()) return;
        probe.stop();
        goOn.push_back(session.KeepWaiting());
        tree.SearchCancel();
        goOn.push_back(session.KeepWaiting());
    });
    probe.start();
    testing::ClickItem(view, view.topLevelItem(0));
    probe.stop();
    EXPECT_EQ(goOn, (std::vector<bool>{true, false}));
}

// A report's request that waits for the server handles the window's events,
// but a click that would start directory work (here listing a container)
// waits until the call is over: run inside it, it would use the connection
// and the client's state of the call that waits. The run's Cancel goes
// through at once.
TEST_F(DesktopSessionTest, DuringAReportsWaitOnlyItsCancelGoesThroughAndOtherClicksWaitForTheCall) {
    DesktopSession session(
        testing::StartImageClient(testing::TreesImage({{"CORP", testing::CorpObjects()}})));
    ASSERT_TRUE(session.Start());
    session.Feedback().SetPumpInterval(0);
    TMainForm* form = session.MainForm();
    form->show();
    QTreeWidget& view = *form->DSTree()->TreeView();
    ASSERT_TRUE(testing::ProcessEventsUntil([&view] { return view.topLevelItemCount() == 1; }));
    testing::ClickItem(view, view.topLevelItem(0));
    ASSERT_EQ(view.topLevelItem(0)->childCount(), 1);
    view.expandItem(view.topLevelItem(0));
    QTreeWidgetItem* corp = view.topLevelItem(0)->child(0);
    ASSERT_EQ(corp->childCount(), 0);  // not listed yet
    auto* cancel = form->findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    ASSERT_NE(cancel, nullptr);
    // Clicks as the window system hands them over: queued, handled when
    // the events are.
    const auto postClick = [](QWidget* widget, QPointF where) {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
            QCoreApplication::postEvent(
                widget, new QMouseEvent(type, where, widget->mapToGlobal(where), Qt::LeftButton,
                                        held, Qt::NoModifier));
        }
    };

    bool waiting = false;
    int listedInWait = 0;
    QObject::connect(form->DSTree(), &TTreeFrame::EntryLinesChanged, form, [&] {
        if (waiting) ++listedInWait;
    });
    std::vector<bool> goOn;  // after the click on the tree, after the click on Cancel
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!form->Run().ReportRunning()) return;
        probe.stop();
        waiting = true;
        postClick(view.viewport(), view.visualItemRect(corp).center());
        goOn.push_back(session.KeepWaiting());
        postClick(cancel, cancel->rect().center());
        goOn.push_back(session.KeepWaiting());
        waiting = false;
    });
    probe.start();
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("BitBtnSchemaClasses")),
                      Qt::LeftButton);
    probe.stop();
    EXPECT_EQ(goOn, (std::vector<bool>{true, false}));
    EXPECT_EQ(listedInWait, 0);
    EXPECT_FALSE(form->Run().ReportRunning());
    // The click on the tree was kept, not lost: it lists the container after the wait.
    EXPECT_TRUE(testing::ProcessEventsUntil([corp] { return corp->childCount() > 0; }));
    EXPECT_EQ(form->CurrentContainer(), ".Corp");
}

// A saved report given on the command line runs behind the splash before
// the window shows: the splash says so and names the object the run has
// reached, and Escape there stops the run as its Cancel would. The rows
// found until then stay; an unattended run that was stopped fails.
TEST_F(DesktopSessionTest, EscapeOnTheSplashStopsTheCommandLinesReport) {
    testing::TempDir dir{"vellrun-start-report"};
    constexpr size_t kUsers = 300;
    std::string objects = R"([{"name": "Corp", "class": "Organization"})";
    for (size_t user = 0; user < kUsers; ++user) {
        objects += R"(,{"name": "u)" + std::to_string(user) +
                   R"(.Corp", "class": "User", "attributes": {"Title": "S"}})";
    }
    const auto report = dir / "users.rpt";
    testing::WriteFile(report,
                       "[General]\nContainer=Corp\nTree=T\nReport Type=2\nRecursive=0\n"
                       "[Output]\nType=0\nFile=\nOrderBy=-1\n[Attributes]\n0=Title\n"
                       "[Filter]\nFiltered=0\n[Object]\nType=User\n");
    DesktopSession session(testing::StartImageClient(testing::TreeImage(objects + "]")));
    session.Feedback().SetPumpInterval(0);
    const QPointer<TSplash> splash = TSplash::ShowAtStart();
    session.ShowStartOn(splash.data());
    QString infoInRun;
    QString stepInRun;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!splash || !splash->PanelStep()->text().contains("Corp")) return;
        probe.stop();
        infoInRun = splash->PanelInfo()->text();
        stepInRun = splash->PanelStep()->text();
        QTest::keyClick(splash.data(), Qt::Key_Escape);
    });
    probe.start();
    TMainForm::Options options;
    options.settingsFile = dir / "vellrun.ini";
    options.reportFile = report.string();
    options.quit = true;
    const bool started = session.Start(options);
    probe.stop();
    delete splash.data();
    ASSERT_TRUE(started);
    EXPECT_EQ(infoInRun, "Running the report ...");
    EXPECT_TRUE(stepInRun.contains(".Corp")) << stepInRun.toStdString();
    EXPECT_TRUE(stepInRun.endsWith("(Esc stops)")) << stepInRun.toStdString();
    const report::ResultTable& table = session.MainForm()->Run().Table();
    ASSERT_GT(table.RowCount(), 1u);
    EXPECT_LT(table.RowCount() - 1, kUsers);
    EXPECT_TRUE(session.MainForm()->QuitAfterReport());
    EXPECT_EQ(session.MainForm()->ExitCode(), 1);
    // Said where an unattended run's messages go, not only by the exit status.
    const auto plain = DialogScript::Texts(Kind::Plain);
    ASSERT_FALSE(plain.empty());
    EXPECT_NE(plain.back().find("stopped before its end"), std::string::npos) << plain.back();
}

// The settings file is shared with the console. A run from the command line
// that ends without showing the window only reads it, and a session that
// never opened the settings dialog keeps a date format the dialog's list
// lacks (written by hand) instead of blanking it at close.
TEST_F(DesktopSessionTest, ASessionKeepsTheSettingsFileItsPersonNeverChanged) {
    testing::TempDir dir{"vellrun-settings-kept"};
    const auto ini = dir / "vellrun.ini";
    const std::string settings = "[Settings]\nComboBoxDateFormat=dd/mm/yyyy\n";
    testing::WriteFile(ini, settings);
    const auto report = dir / "users.rpt";
    testing::WriteFile(report,
                       "[General]\nContainer=Corp\nTree=T\nReport Type=2\n"
                       "[Output]\nType=0\nFile=" +
                           (dir / "out.csv").string() +
                           "\n[Attributes]\n0=Title\n[Object]\nType=User\n");
    const std::string objects = R"([{"name": "Corp", "class": "Organization"},
        {"name": "u.Corp", "class": "User", "attributes": {"Title": "S"}}])";
    {
        DesktopSession session(testing::StartImageClient(testing::TreeImage(objects)));
        TMainForm::Options options;
        options.settingsFile = ini;
        options.reportFile = report.string();
        options.quit = true;
        ASSERT_TRUE(session.Start(options));
        ASSERT_EQ(session.MainForm()->ExitCode(), 0);
    }
    EXPECT_EQ(testing::ReadFile(ini), settings);

    {
        DesktopSession session(testing::StartImageClient(testing::TreeImage(objects)));
        TMainForm::Options options;
        options.settingsFile = ini;
        ASSERT_TRUE(session.Start(options));
        session.MainForm()->show();
        ASSERT_TRUE(testing::ProcessEventsUntil(
            [&session] { return session.MainForm()->CurrentTree() != nullptr; }));
        session.MainForm()->close();
    }
    const std::string written = testing::ReadFile(ini);
    EXPECT_NE(written.find("ComboBoxDateFormat=dd/mm/yyyy"), std::string::npos) << written;
}

// An unattended run ends the program, and the text on its own clipboard
// with it: its clipboard export goes to the session's clipboard tool, which
// outlives it; a tool that fails makes the run fail and say so.
TEST_F(DesktopSessionTest, AnUnattendedClipboardExportOutlivesTheProgram) {
    testing::TempDir dir{"vellrun-unattended-clipboard"};
    const auto tools = dir / "tools";
    std::filesystem::create_directory(tools);
    const auto clipboard = dir / "clipboard.txt";
    const auto tool = [&tools](const std::string& body) {
        testing::WriteFile(tools / "xclip", "#!/bin/sh\n" + body);
        std::filesystem::permissions(tools / "xclip", std::filesystem::perms::owner_all);
    };
    const auto report = dir / "users.rpt";
    testing::WriteFile(report,
                       "[General]\nContainer=Corp\nTree=T\nReport Type=2\n"
                       "[Output]\nType=2\nFile=clipboard\n"
                       "[Attributes]\n0=Title\n[Object]\nType=User\n");
    const auto run = [&] {
        DesktopSession session(testing::StartImageClient(testing::TreeImage(
            R"([{"name": "Corp", "class": "Organization"},
                {"name": "u.Corp", "class": "User", "attributes": {"Title": "S"}}])")));
        TMainForm::Options options;
        options.settingsFile = dir / "vellrun.ini";
        options.reportFile = report.string();
        options.quit = true;
        EXPECT_TRUE(session.Start(options));
        return session.MainForm() != nullptr ? session.MainForm()->ExitCode() : -1;
    };
    const QByteArray path = qgetenv("PATH");
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("PATH", QByteArray::fromStdString(tools.string()) + ":" + path);
    qputenv("DISPLAY", ":99");
    qunsetenv("WAYLAND_DISPLAY");
    tool("cat > '" + clipboard.string() + "'\n");
    const int handedOver = run();
    tool("exec 0<&-\nexit 1\n");
    const int failed = run();
    qputenv("PATH", path);
    for (const auto& [name, value] :
         {std::pair{"DISPLAY", display}, {"WAYLAND_DISPLAY", wayland}}) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    EXPECT_EQ(handedOver, 0);
    EXPECT_EQ(testing::ReadFile(clipboard), "\"DN\";\"Title\"\r\n\"u.Corp\";\"S\"\r\n");
    EXPECT_EQ(failed, 1);
    const auto errors = DialogScript::Texts(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("could not be put on the clipboard"), std::string::npos) << errors[0];
}

// An exception that escapes an event handler is shown in a box and the
// program goes on: the window still lists the trees afterwards.
TEST_F(DesktopSessionTest, AnExceptionOutOfAnEventHandlerIsShownAndTheWindowGoesOn) {
    DesktopSession session(
        testing::StartImageClient(testing::TreesImage({{"CORP", testing::CorpObjects()}})));
    ASSERT_TRUE(session.Start());
    GuardedApplication& application = *GuardedApplication::Instance();
    application.SetCatching(true);
    const struct Uncatching {
        GuardedApplication& application;
        ~Uncatching() { application.SetCatching(false); }
    } uncatching{application};
    TMainForm* form = session.MainForm();
    form->show();
    QTimer::singleShot(0, form, [] { throw std::runtime_error("disk on fire"); });
    QTimer::singleShot(0, form, [] { throw std::bad_alloc(); });
    QTreeWidget& view = *form->DSTree()->TreeView();
    ASSERT_TRUE(testing::ProcessEventsUntil([&view] { return view.topLevelItemCount() == 1; }));
    ASSERT_TRUE(
        testing::ProcessEventsUntil([] { return DialogScript::Texts(Kind::Error).size() == 2; }));
    EXPECT_EQ(DialogScript::Texts(Kind::Error),
              (std::vector<std::string>{"The command could not be finished: disk on fire",
                                        "The command could not be finished: not enough memory"}));
    testing::ClickItem(view, view.topLevelItem(0));
    EXPECT_EQ(view.topLevelItem(0)->childCount(), 1);
}

TEST_F(DesktopSessionTest, MainWindowShowsTreesAndTheSelectedContainersObjects) {
    DesktopSession session(testing::StartImageClient(
        testing::TreesImage({{"ZULU", R"([{"name": "Lab", "class": "Organization"}])"},
                             {"CORP", testing::CorpObjects()}})));
    ASSERT_TRUE(session.Start());
    TMainForm* form = session.MainForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Korvel: Vellrun - RAZ Arorad Generator v2.12 (2009-10-30)");

    // The trees are discovered once the window is shown.
    form->show();
    QTreeWidget& view = *form->DSTree()->TreeView();
    ASSERT_TRUE(testing::ProcessEventsUntil([&view] { return view.topLevelItemCount() == 2; }));
    QTreeWidgetItem* corp = view.topLevelItem(0);
    EXPECT_EQ(corp->text(0), "CORP");
    EXPECT_EQ(form->StatusPanels()[1]->text(), "CORP");
    EXPECT_EQ(form->StatusPanels()[2]->text(), "[Root]");

    testing::ClickItem(view, corp);
    ASSERT_EQ(corp->childCount(), 1);
    view.expandItem(corp);
    testing::ClickItem(view, corp->child(0));
    QListWidget& objects = *form->ListBoxObjects();
    std::vector<QString> shown;
    for (int i = 0; i < objects.count(); ++i)
        shown.push_back(objects.item(i)->text());
    EXPECT_EQ(shown,
              (std::vector<QString>{"Organizational Unit: IT", "Organizational Unit: Sales"}));
    EXPECT_EQ(form->StatusPanels()[2]->text(), ".Corp");
    EXPECT_TRUE(DialogScript::ShownBoxes().empty());
}

TEST_F(DesktopSessionTest, AFirstStartMakesTheSettingsFolderAndKeepsTheSession) {
    // A person's first start: no folder of the program under the configuration home.
    testing::TempDir home("vellrun-first-start");
    const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((home / "config").string()));
    {
        DesktopSession session(
            testing::StartImageClient(testing::TreesImage({{"CORP", testing::CorpObjects()}})));
        ASSERT_TRUE(session.Start());
        session.MainForm()->show();
        ASSERT_TRUE(testing::ProcessEventsUntil(
            [&session] { return session.MainForm()->CurrentTree() != nullptr; }));
        session.MainForm()->close();
    }
    if (configBefore.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", configBefore);
    }
    EXPECT_TRUE(DialogScript::ShownBoxes().empty());
    const std::string written = testing::ReadFile(home / "config/vellrun/vellrun.ini");
    EXPECT_NE(written.find("Tree=CORP"), std::string::npos) << written;
}

TEST(DesktopArgumentsTest, ReadsTheImageOptionAndRefusesTheRest) {
    const auto parse = [](QStringList arguments) {
        arguments.prepend("vellrun");
        return DesktopArguments::Parse(arguments);
    };
    EXPECT_EQ(parse({"--image", "/srv/a b.json"}).ClientOptions().image, "/srv/a b.json");
    EXPECT_EQ(parse({"--image=lab.json"}).image, "lab.json");
    EXPECT_FALSE(parse({}).image);
    for (const QStringList& wrong :
         {QStringList{"--image"}, QStringList{"--image="}, QStringList{"--imagine", "x"}}) {
        EXPECT_FALSE(parse(wrong).problem.isEmpty()) << wrong.join(' ').toStdString();
    }
}

// The windows' icon is the packaged SVG's picture at every size, drawn
// without a plugin: its blue square, the sheet's amber heading row and white
// body, and the transparent corners outside the rounded square.
TEST(ApplicationIconTest, IsTheSvgsPictureAtEverySize) {
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48, 128}) {
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size)) << size;
        const auto at = [&image, size](int x, int y) {
            return image.pixelColor(x * size / 128, y * size / 128).name();
        };
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << size;
        EXPECT_EQ(at(16, 64), QStringLiteral("#1d4e7a")) << size;
        EXPECT_EQ(at(90, 30), QStringLiteral("#f2b134")) << size;
        // At 16 px every row of the sheet touches one of its lines.
        if (size >= 32) {
            EXPECT_EQ(at(90, 54), QStringLiteral("#ffffff")) << size;
        }
    }
}

// Help and wrong usage need no display: the built program answers them
// where no display can be reached and no platform is named.
TEST(DesktopArgumentsTest, TheProgramAnswersHelpAndWrongUsageWithoutADisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const auto run = [&environment](const QStringList& arguments) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELLRUN_DESKTOP_PATH), arguments);
        EXPECT_TRUE(program.waitForFinished(60000));
        return std::make_tuple(program.exitStatus(), program.exitCode(),
                               program.readAllStandardOutput(), program.readAllStandardError());
    };
    auto [status, code, out, err] = run({QStringLiteral("--help")});
    EXPECT_EQ(status, QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(code, 0) << err.toStdString();
    EXPECT_EQ(QString::fromUtf8(out), DesktopArguments::UsageText());
    EXPECT_TRUE(out.contains("  --version "));
    std::tie(status, code, out, err) = run({QStringLiteral("--version")});
    EXPECT_EQ(code, 0) << err.toStdString();
    EXPECT_EQ(out, "vellrun " VELLRUN_VERSION "\n");

    for (const char* wrong : {"stray", "--bogus", "-x"}) {
        std::tie(status, code, out, err) = run({QString::fromLatin1(wrong)});
        EXPECT_EQ(status, QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(code, 2) << err.toStdString();
        EXPECT_TRUE(err.startsWith("vellrun: unknown argument " + QByteArray(wrong) + "\n"))
            << err.toStdString();
    }
}

// A saved report run from the command line with "quit" ends by itself: the
// notice about characters the code page cannot hold, and an error, wait for
// nobody; without a display the program says so instead of aborting.
TEST(DesktopArgumentsTest, AnUnattendedRunEndsWithoutWaitingOnANotice) {
    testing::TempDir dir{"vellrun-unattended"};
    testing::WriteFile(dir / "tree.json", testing::TreeImage(R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "wang.Corp", "class": "User", "attributes": {"Title": "\u738b"}}])"));
    const std::string out = (dir / "out.csv").string();
    testing::WriteFile(dir / "users.rpt",
                       "[General]\nContainer=Corp\nTree=T\nReport Type=2\nRecursive=0\n"
                       "[Output]\nType=0\nFile=" +
                           out +
                           "\nOrderBy=0\n[Attributes]\n0=Title\n[Filter]\nFiltered=0\n"
                           "[Object]\nType=User\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(dir.Path().string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((dir / "config").string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(environment);
    // The saved report run unattended on the image; whether it ended by itself.
    const auto runUnattended = [&program, &dir] {
        program.start(QStringLiteral(VELLRUN_DESKTOP_PATH),
                      {"--image", QString::fromStdString((dir / "tree.json").string()),
                       "report=" + QString::fromStdString((dir / "users.rpt").string()), "quit"});
        const bool ended = program.waitForFinished(60000);
        if (!ended) program.kill();
        return ended;
    };
    ASSERT_TRUE(runUnattended());
    const std::string err = program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 0) << err;
    EXPECT_NE(err.find("1 character(s) have no place"), std::string::npos) << err;
    EXPECT_NE(testing::ReadFile(out).find("?"), std::string::npos);

    // An export into a folder that is not there fails: its error goes to
    // standard error and the run ends with status 1.
    std::string report = testing::ReadFile(dir / "users.rpt");
    report.replace(report.find("File=") + 5, out.size(), (dir / "missing" / "out.csv").string());
    testing::WriteFile(dir / "users.rpt", report);
    ASSERT_TRUE(runUnattended());
    const std::string error = program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 1) << error;
    EXPECT_NE(error.find("missing"), std::string::npos) << error;

    environment.remove("QT_QPA_PLATFORM");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    program.setProcessEnvironment(environment);
    ASSERT_TRUE(runUnattended());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_NE(program.readAllStandardError().indexOf("no display"), -1);
}

// Under a locale whose numbers have decimal commas the desktop's workbook
// keeps decimal points (its column widths): a strict reader refuses the
// file otherwise. The locale is made for the test; without the tools to
// make it or to open the archive the test cannot tell and skips.
TEST(DesktopArgumentsTest, AWorkbookWrittenUnderAGermanLocaleHasDecimalPoints) {
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
    if (localedef.isEmpty() || unzip.isEmpty()) GTEST_SKIP() << "localedef or unzip is missing";
    testing::TempDir dir{"vellrun-decimal"};
    const QString locales = QString::fromStdString((dir / "locales").string());
    std::filesystem::create_directories(dir / "locales");
    QProcess tool;
    tool.start(localedef, {"-i", "de_DE", "-f", "UTF-8", locales + "/de_DE.UTF-8"});
    tool.waitForFinished(120000);
    if (!std::filesystem::exists(dir / "locales" / "de_DE.UTF-8" / "LC_NUMERIC"))
        GTEST_SKIP() << "no de_DE locale could be made";

    testing::WriteFile(dir / "tree.json", testing::TreeImage(R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "jdoe.Corp", "class": "User", "attributes": {"Title": "Clerk"}}])"));
    testing::WriteFile(dir / "users.rpt",
                       "[General]\nContainer=Corp\nTree=T\nReport Type=2\nRecursive=0\n"
                       "[Output]\nType=1\nFile=users.xlsx\nOrderBy=0\n[Attributes]\n0=Title\n"
                       "[Filter]\nFiltered=0\n[Object]\nType=User\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(dir.Path().string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((dir / "config").string()));
    environment.remove("XDG_CACHE_HOME");
    environment.remove("LC_ALL");
    environment.remove("LC_NUMERIC");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LOCPATH", locales);
    environment.insert("LANG", "de_DE.UTF-8");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VELLRUN_DESKTOP_PATH),
                  {"--image", QString::fromStdString((dir / "tree.json").string()),
                   "report=" + QString::fromStdString((dir / "users.rpt").string()), "quit"});
    ASSERT_TRUE(program.waitForFinished(60000));

    // No spreadsheet program opens it here; the workbook is written all the same.
    std::vector<std::filesystem::path> books;
    for (const auto& entry :
         std::filesystem::directory_iterator(dir / ".cache" / "vellrun" / "workbooks"))
        if (entry.path().extension() == ".xlsx") books.push_back(entry.path());
    ASSERT_EQ(books.size(), 1u) << program.readAllStandardError().toStdString();
    tool.start(unzip,
               {"-p", QString::fromStdString(books.front().string()), "xl/worksheets/sheet1.xml"});
    ASSERT_TRUE(tool.waitForFinished(60000));
    const std::string sheet = tool.readAllStandardOutput().toStdString();
    const size_t width = sheet.find("<col ");
    ASSERT_NE(width, std::string::npos) << sheet;
    const std::string columns = sheet.substr(width, sheet.find("</cols>") - width);
    EXPECT_EQ(columns.find(','), std::string::npos) << columns;
    EXPECT_NE(columns.find("width=\""), std::string::npos) << columns;
}

}  // namespace
}  // namespace vellrun::ui
