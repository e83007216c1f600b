// Planning how a command line is opened: program paths with blanks, built-in
// commands, documents and web addresses.

#include "platform/ShellCommand.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

TEST(ShellCommand, FindsAProgramWhosePathHoldsBlanks) {
    const std::set<std::string> files = {"/opt/My Tools/run report"};
    const auto isFile = [&](const std::string& path) { return files.count(path) > 0; };
    const ShellOpenPlan plan =
        PlanShellOpen("/opt/My Tools/run report --tree  CORP", isFile, "/bin/sh");
    EXPECT_EQ(plan.kind, ShellOpenPlan::Kind::Program);
    EXPECT_EQ(plan.target, "/opt/My Tools/run report");
    EXPECT_EQ(plan.parameters, "--tree  CORP");
    EXPECT_EQ(plan.folder, "/opt/My Tools");
}

TEST(ShellCommand, ADocumentWithBlanksOpensWithItsProgramAndAProgramGetsTheRest) {
    const std::set<std::string> files = {"/home/ann/My Notes.txt", "/usr/bin/gedit"};
    const auto isFile = [&](const std::string& path) { return files.count(path) > 0; };
    const auto isProgram = [](const std::string& path) {
        return path == "/usr/bin/gedit" || path == "gedit";
    };
    ShellOpenPlan plan = PlanShellOpen("/home/ann/My Notes.txt", isFile, "/bin/sh", isProgram);
    EXPECT_EQ(plan.kind, ShellOpenPlan::Kind::Document);
    EXPECT_EQ(plan.target, "/home/ann/My Notes.txt");

    plan = PlanShellOpen("gedit /home/ann/My Notes.txt", isFile, "/bin/sh", isProgram);
    EXPECT_EQ(plan.kind, ShellOpenPlan::Kind::Program);
    EXPECT_EQ(plan.target, "gedit");
    EXPECT_EQ(plan.parameters, "/home/ann/My Notes.txt");
}

TEST(ShellCommand, BuiltInCommandsRunThroughTheInterpreterOthersOpenAsDocuments) {
    const auto noFile = [](const std::string&) { return false; };
    const ShellOpenPlan dir = PlanShellOpen("dir /tmp", noFile, "/bin/bash");
    EXPECT_EQ(dir.kind, ShellOpenPlan::Kind::Interpreter);
    EXPECT_EQ(dir.target, "/bin/bash");
    EXPECT_EQ(dir.parameters, "dir /tmp");

    const ShellOpenPlan web = PlanShellOpen("https://example.org/update now", noFile, "/bin/sh");
    EXPECT_EQ(web.kind, ShellOpenPlan::Kind::Document);
    EXPECT_EQ(web.target, "https://example.org/update");
    EXPECT_EQ(web.parameters, "now");

    EXPECT_TRUE(IsShellCommand("TrueName"));
    EXPECT_FALSE(IsShellCommand("ls"));
    EXPECT_FALSE(IsShellCommand("dirx"));
    EXPECT_EQ(PlanShellOpen("", noFile, "/bin/sh").target, "");
}

}  // namespace
}  // namespace vellrun::platform
