// The export documents byte for byte, the choice of the export kind, and the
// file bytes in Windows-1252 or UTF-8.

#include "exports/ExportFormats.h"

#include <string>

#include <gtest/gtest.h>

namespace vellrun::exports {
namespace {

using platform::EncodedText;
using platform::EncodeWindows1252;
using platform::Unmappable;
using platform::Windows1252Byte;

using report::ResultTable;

ResultTable NamePhoneTable() {
    ResultTable table(2, 2);
    table.SetFixedRows(1);
    table.SetCell(0, 0, "Name");
    table.SetCell(1, 0, "Phone");
    table.SetCell(0, 1, "CN1");
    table.SetCell(1, 1, "100\r\n200");
    return table;
}

TEST(DelimitedText, QuotesEveryFieldAndJoinsValues) {
    EXPECT_EQ(TableToDelimitedText(NamePhoneTable(), {',', '|', '\''}),
              "'Name','Phone'\r\n'CN1','100|200'\r\n");

    ResultTable table(3, 1);
    table.SetCell(0, 0, "say \"hi\"");
    table.SetCell(1, 0, "a;b\nc|d\r");
    table.SetCell(2, 0, "\r\n");
    // A quote inside a value is doubled; delimiters inside values stay as they are;
    // a cell holding only a line break is an empty field.
    EXPECT_EQ(TableToDelimitedText(table, {';', '|', '"'}),
              "\"say \"\"hi\"\"\";\"a;b|c|d\";\"\"\r\n");
    EXPECT_EQ(TableToDelimitedText(table, {'\t', '\n', '"'}),
              "\"say \"\"hi\"\"\"\t\"a;b\nc|d\"\t\"\"\r\n");
}

TEST(DelimitedText, ZeroValueDelimiterFollowsTheFieldDelimiter) {
    EXPECT_EQ(JoinCellValues("1\r\n2\n3", {';', '\0', '"'}), "1,2,3");
    EXPECT_EQ(JoinCellValues("1\r\n2\n3", {',', '\0', '"'}), "1;2;3");
    EXPECT_EQ(JoinCellValues("", {',', '|', '"'}), "");
    EXPECT_EQ(JoinCellValues("a\r\n\r\nb\r\n", {',', '|', '"'}), "a||b");
}

TEST(Html, WholeDocument) {
    ResultTable table(2, 2);
    table.SetFixedRows(1);
    table.SetFixedCols(1);
    table.SetCell(0, 0, "Name");
    table.SetCell(0, 1, "\r\n");
    table.SetCell(1, 1, "Tom & Jerry's\r\n\"x\" <y>");
    EXPECT_EQ(TableToHtml(table),
              "<html><body>\r\n"
              "<table border=1>\r\n"
              "<tr>\r\n"
              "<td><b>Name</b></td>\r\n"
              "<td><br></td>\r\n"
              "</tr>\r\n"
              "<tr>\r\n"
              "<td><b><br></b></td>\r\n"
              "<td>Tom &amp; Jerry&apos;s<br>&quot;x&quot; &lt;y&gt;</td>\r\n"
              "</tr>\r\n"
              "</table>\r\n"
              "</body></html>\r\n");
}

TEST(Xml, WholeDocument) {
    const platform::TextCollator collator("en_US");
    ResultTable table(2, 3);
    table.SetFixedRows(1);
    table.SetFixedCols(1);
    table.SetCell(0, 0, "Name");
    table.SetCell(1, 0, "Values");
    table.SetCell(0, 1, "CN1");
    table.SetCell(1, 1, "b\r\nA\r\na\r\nA");
    table.SetCell(0, 2, "x<y&z");
    platform::DateTimeParts now;
    now.year = 2026;
    now.month = 3;
    now.day = 4;
    now.hour = 5;
    now.minute = 6;
    now.second = 7;
    // Values that differ only in case are both kept; only the exact repeat goes.
    EXPECT_EQ(TableToXml(table, collator, now),
              "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>\r\n"
              "<document>\r\n"
              "<table rowCount=\"3\" colCount=\"2\" fixedRows=\"1\" fixedCols=\"1\" "
              "date=\"2026-03-04\" time=\"05:06:07\"/>\r\n"
              "<row value=\"0\">\r\n"
              "<row>Name</row>\r\n"
              "<cell><col>Name</col><value index=\"0\">Name</value></cell>\r\n"
              "<cell><col>Values</col><value index=\"0\">Values</value></cell>\r\n"
              "</row>\r\n"
              "<row value=\"1\">\r\n"
              "<row>CN1</row>\r\n"
              "<cell><col>Name</col><value index=\"0\">CN1</value></cell>\r\n"
              "<cell><col>Values</col><value index=\"0\">A</value><value index=\"1\">a</value>"
              "<value index=\"2\">b</value></cell>\r\n"
              "</row>\r\n"
              "<row value=\"2\">\r\n"
              "<row>x&lt;y&amp;z</row>\r\n"
              "<cell><col>Name</col><value index=\"0\">x&lt;y&amp;z</value></cell>\r\n"
              "<cell><col>Values</col></cell>\r\n"
              "</row>\r\n"
              "</document>\r\n");
}

// A value may hold bytes no XML document can (a control character, a
// noncharacter): they become U+FFFD, and the rest of the text stays.
TEST(Xml, CharactersADocumentCannotHoldAreReplaced) {
    EXPECT_EQ(XmlEscape("a\x01"
                        "b\x1B\tc\uFFFF\uFFFEd\uFFFD\u00e9<"),
              "a\uFFFDb\uFFFD\tc\uFFFD\uFFFDd\uFFFD\u00e9&lt;");
    // HTML too; its white space (tab, line ends) stays.
    ResultTable table(1, 2);
    table.SetCell(0, 0, "Name");
    table.SetCell(0, 1, "a\x01\tb\rc\r\nd");
    EXPECT_NE(TableToHtml(table).find("<td>a\uFFFD\tb\rc<br>d</td>"), std::string::npos)
        << TableToHtml(table);
}

TEST(Xml, OneColumnTableHasNoCellsAndEmptyTextsCloseThemselves) {
    const platform::TextCollator collator("en_US");
    ResultTable table(1, 2);
    table.SetCell(0, 0, "Classes");
    const std::string document = TableToXml(table, collator, {});
    EXPECT_EQ(document.find("<cell>"), std::string::npos);
    EXPECT_NE(document.find("<row value=\"1\">\r\n<row/>\r\n</row>\r\n"), std::string::npos);
    EXPECT_EQ(XmlElement("col", ""), "<col/>");
}

TEST(ExportKind, NamesAndExtensions) {
    EXPECT_EQ(ExportKindFromName("html"), ExportKind::Html);
    EXPECT_EQ(ExportKindFromName("Htm"), ExportKind::Html);
    EXPECT_EQ(ExportKindFromName("XML"), ExportKind::Xml);
    for (const char* name : {"txt", "DOC", "ascii", "csv"}) {
        EXPECT_EQ(ExportKindFromName(name), ExportKind::Text) << name;
    }
    EXPECT_EQ(ExportKindFromName("xls"), ExportKind::Excel);
    EXPECT_EQ(ExportKindFromName("Excel"), ExportKind::Excel);
    EXPECT_EQ(ExportKindFromName("clipboard"), ExportKind::Clipboard);
    EXPECT_EQ(ExportKindFromName(""), ExportKind::None);
    EXPECT_EQ(ExportKindFromName(".html"), ExportKind::None);

    EXPECT_EQ(ExportKindForTarget(" .html", ""), ExportKind::Html);
    EXPECT_EQ(ExportKindForTarget("", "/home/ann/report.HTM"), ExportKind::Html);
    EXPECT_EQ(ExportKindForTarget("TXT", "/home/ann/report.xml"), ExportKind::Text);
    EXPECT_EQ(ExportKindForTarget("", "a.x"), ExportKind::None);
    EXPECT_EQ(ExportKindForTarget("", "/home/ann/report"), ExportKind::None);
    EXPECT_EQ(ExportKindForTarget("", "/home/ann.xml/report"), ExportKind::None);

    EXPECT_FALSE(IsValidTargetPath("ab"));
    EXPECT_FALSE(IsValidTargetPath("äb"));  // three bytes, two characters
    EXPECT_TRUE(IsValidTargetPath("a.x"));
}

TEST(ExportFile, Windows1252WithStandInsPerFormat) {
    // U+0141 has no place in Windows-1252; the euro sign has, at 0x80.
    const std::string outside = "\xC5\x81";
    const std::string euro = "\xE2\x82\xAC";
    const std::string eAcute = "\xC3\xA9";
    // U+0081 is kept as the byte the code page leaves undefined, which a
    // document's reader refuses: markup references it.
    const std::string undefined = "\xC2\x81";
    const std::string text = "x" + outside + euro + eAcute + undefined + "\r\n";

    const EncodedText html = EncodeExportDocument(text, ExportKind::Html, true);
    EXPECT_EQ(html.bytes, "x&#321;\x80\xE9&#129;\r\n");
    EXPECT_EQ(html.replaced, 2u);
    EXPECT_EQ(EncodeExportDocument(text, ExportKind::Xml, false).bytes,
              "x&#321;\x80\xE9&#129;\r\n");

    const EncodedText delimited = EncodeExportDocument(text, ExportKind::Text, false);
    EXPECT_EQ(delimited.bytes, "x?\x80\xE9\x81\r\n");
    EXPECT_EQ(delimited.replaced, 1u);

    const EncodedText utf8 = EncodeExportDocument(text, ExportKind::Text, true);
    EXPECT_EQ(utf8.bytes, text);
    EXPECT_EQ(utf8.replaced, 0u);

    const EncodedText euroOnly = EncodeExportDocument(euro + "\r\n", ExportKind::Text, false);
    EXPECT_EQ(euroOnly.bytes, "\x80\r\n");
    EXPECT_EQ(euroOnly.replaced, 0u);
}

TEST(ExportFile, EveryLineEndsWithCrLf) {
    const EncodedText file =
        EncodeExportDocument("<td>a\nb</td>\r\n<td>c\rd</td>", ExportKind::Html, false);
    EXPECT_EQ(file.bytes, "<td>a\r\nb</td>\r\n<td>c\r\nd</td>\r\n");
    EXPECT_EQ(EncodeExportDocument("", ExportKind::Text, false).bytes, "");
}

TEST(Windows1252, MapsTheWholeCodePageAndReplacesBrokenBytes) {
    EXPECT_EQ(Windows1252Byte(U'A'), 'A');
    EXPECT_EQ(Windows1252Byte(U'\u00FF'), 0xFF);
    EXPECT_EQ(Windows1252Byte(U'\u0178'), 0x9F);
    EXPECT_EQ(Windows1252Byte(U'\u2122'), 0x99);
    EXPECT_EQ(Windows1252Byte(U'\u0100'), -1);
    EXPECT_EQ(Windows1252Byte(U'\U0001F600'), -1);

    const EncodedText broken = EncodeWindows1252(
        "a\xFF"
        "b",
        Unmappable::CharacterReference);
    EXPECT_EQ(broken.bytes, "a&#65533;b");
    EXPECT_EQ(broken.replaced, 1u);
    EXPECT_EQ(EncodeWindows1252("\xF0\x9F\x98\x80", Unmappable::QuestionMark).bytes, "?");

    // Long ASCII runs go over in blocks: a character outside ASCII is found
    // wherever it stands in a block.
    for (size_t at = 0; at < 18; ++at) {
        const std::string ascii(at, 'a');
        EXPECT_EQ(
            EncodeWindows1252(ascii + "\xC3\xA9" + std::string(9, 'b'), Unmappable::QuestionMark)
                .bytes,
            ascii + "\xE9" + std::string(9, 'b'));
    }
}

}  // namespace
}  // namespace vellrun::exports
