// Export files on disk: the kind from the extension, the messages, the
// Windows-1252 bytes, and the atomic replacement of the target.

#include "exports/ResultsFileExport.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace vellrun::exports {
namespace {

using settings::AppSettings;

namespace fs = std::filesystem;
using testing::ScriptedMessagePort;

class ResultsFileExportTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-export"};
    void SetUp() override {
        folder_ = temp_.Path();
        table_ = report::ResultTable(2, 2);
        table_.SetFixedRows(1);
        table_.SetCell(0, 0, "Name");
        table_.SetCell(1, 0, "City");
        table_.SetCell(0, 1, "Ann");
        table_.SetCell(1, 1, "\xC5\x81\xC3\xB3\x64\xC5\xBA");  // Łódź
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes(static_cast<size_t>(fs::file_size(path)), '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    FileExportResult Export(std::string format, const fs::path& target, bool utf8 = false) {
        FileExportRequest request;
        request.formatName = std::move(format);
        request.target = target;
        request.utf8Text = utf8;
        return ExportTableToFile(table_, request, collator_, {}, messages_);
    }
    size_t FilesInFolder() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
    report::ResultTable table_;
    platform::TextCollator collator_{"en_US"};
    ScriptedMessagePort messages_;
};

TEST_F(ResultsFileExportTest, DelimitedTextReplacesWhatTheCodePageLacksAndSaysSo) {
    const fs::path target = folder_ / "out.csv";
    EXPECT_EQ(Export("", target), FileExportResult::Written);
    EXPECT_EQ(Read(target), "\"Name\";\"City\"\r\n\"Ann\";\"?\xF3\x64?\"\r\n");
    ASSERT_EQ(messages_.Texts(ScriptedMessagePort::Kind::Info).size(), 1u);
    EXPECT_EQ(messages_.Texts(ScriptedMessagePort::Kind::Info)[0].rfind("2 character", 0), 0u);

    EXPECT_EQ(Export("TXT", target, true), FileExportResult::Written);
    EXPECT_EQ(Read(target), "\"Name\";\"City\"\r\n\"Ann\";\"\xC5\x81\xC3\xB3\x64\xC5\xBA\"\r\n");
    EXPECT_EQ(messages_.boxes.size(), 1u);
    EXPECT_EQ(FilesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(ResultsFileExportTest, HtmlKeepsEveryCharacterAsAReference) {
    const fs::path target = folder_ / "out.HTM";
    EXPECT_EQ(Export("", target, true), FileExportResult::Written);
    EXPECT_NE(Read(target).find("<td>&#321;\xF3\x64&#378;</td>\r\n"), std::string::npos);
    EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ResultsFileExportTest, RefusesUnknownKindsBeforeShortPaths) {
    EXPECT_EQ(Export("", "a.x"), FileExportResult::InvalidTarget);
    EXPECT_EQ(Export("", folder_ / "noextension"), FileExportResult::InvalidTarget);
    EXPECT_EQ(Export("TXT", "ab"), FileExportResult::InvalidPath);
    EXPECT_EQ(Export("", folder_ / "out.xls"), FileExportResult::ExcelOrClipboard);
    EXPECT_EQ(messages_.Errors(), (std::vector<std::string>{"Invalid target", "Invalid target",
                                                            "Invalid target path"}));
    EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(ResultsFileExportTest, AFailedWriteLeavesThePreviousFileWhole) {
    // A folder stands where the file should go: the rename fails.
    const fs::path target = folder_ / "busy.xml";
    fs::create_directories(target / "inside");
    EXPECT_EQ(Export("", target), FileExportResult::WriteFailed);
    ASSERT_EQ(messages_.Errors().size(), 1u);
    EXPECT_NE(messages_.Errors()[0].find("busy.xml"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(FilesInFolder(), 1u);

    EXPECT_EQ(Export("", folder_ / "missing" / "out.xml"), FileExportResult::WriteFailed);
}

TEST_F(ResultsFileExportTest, SaveStepAsksUnlessTheOutputFileIsSet) {
    AppSettings settings;
    ExportTargets targets;
    targets.reportName = "report";
    targets.reportPath = folder_;

    messages_.files.push_back(std::nullopt);
    EXPECT_EQ(
        ExportResultsToFile(table_, "TXT", targets, settings, false, collator_, {}, messages_),
        FileExportResult::Cancelled);
    EXPECT_EQ(FilesInFolder(), 0u);

    // The chosen file's extension decides the format, not the command's name.
    const fs::path chosen = folder_ / "sub.html";
    messages_.files.push_back(chosen);
    EXPECT_EQ(
        ExportResultsToFile(table_, "TXT", targets, settings, false, collator_, {}, messages_),
        FileExportResult::Written);
    EXPECT_EQ(Read(chosen).rfind("<html><body>\r\n", 0), 0u);
    EXPECT_TRUE(targets.outputFile.empty());
    EXPECT_EQ(targets.reportPath, folder_);

    // A saved report's output file is used without a dialog.
    targets.outputFile = folder_ / "saved.xml";
    const size_t boxes = messages_.boxes.size();
    EXPECT_EQ(
        ExportResultsToFile(table_, "XML", targets, settings, false, collator_, {}, messages_),
        FileExportResult::Written);
    EXPECT_EQ(messages_.boxes.size(), boxes);
    EXPECT_TRUE(fs::exists(folder_ / "saved.xml"));
    EXPECT_TRUE(targets.outputFile.empty());
}

}  // namespace
}  // namespace vellrun::exports
