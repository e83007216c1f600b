// The decoders of structured octet strings and of streams: the layouts chosen
// by attribute name, application object templates and the stream read.

#include "client/ResultCodes.h"
#include "support/DirectoryTestBed.h"
#include "support/ScopedTimeZone.h"
#include "values/SpecialDecoders.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

// Builds a value piece by piece: little-endian words, 8-bit and UTF-16LE texts
// with their terminating zero, and zero fill up to an offset.
struct Octets {
    std::vector<uint8_t> bytes;

    Octets& U8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Octets& U16(uint16_t v) { return U8(v & 0xFF).U8(static_cast<uint8_t>(v >> 8)); }
    Octets& U32(uint32_t v) { return U16(v & 0xFFFF).U16(static_cast<uint16_t>(v >> 16)); }
    Octets& Chars(std::string_view text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    Octets& Text8(std::string_view text) { return Chars(text).U8(0); }
    Octets& Text16(std::string_view ascii) {
        for (const char c : ascii)
            U16(static_cast<uint8_t>(c));
        return U16(0);
    }
    Octets& At(size_t offset) {
        if (bytes.size() < offset) bytes.resize(offset, 0);
        return *this;
    }
};

std::string Decode(const Octets& value, std::string_view name, uint32_t valueNumber = 1,
                   const platform::DateTimeFormats& formats = {}) {
    return DecodeOctetString(value.bytes, name, valueNumber, formats);
}

Octets TemplateHead() {
    Octets o;
    o.Chars("AOT FILE").U32(0x3F2A91C4).U32(0xA11B).U32(1).U16(4).U16(2);
    return o;
}

std::string Stream(const Octets& content, std::string_view name) {
    return StreamContentText(content.bytes, name);
}

// --- Choosing the layout ------------------------------------------------------

TEST(OctetLayouts, NamesAreComparedWithoutCaseAndUnknownNamesGiveTheHexDump) {
    Octets path;
    path.Text8("\\\\FS2\\APPS\\SETUP.EXE").Chars("junk");
    EXPECT_EQ(Decode(path, "app:path"), "\\\\FS2\\APPS\\SETUP.EXE");
    EXPECT_EQ(Decode(path, "APP:PATH"), "\\\\FS2\\APPS\\SETUP.EXE");
    EXPECT_EQ(Decode(Octets{{0x0A, 0x0B, 0xFF}}, "App:Path2"), "0A0BFF");
    EXPECT_EQ(Decode(Octets{}, "Something Else"), "");
}

TEST(OctetLayouts, StoredTextsStopAt2303BytesAndBecomeUtf8) {
    Octets longText;
    longText.Chars(std::string(3000, 'x'));
    EXPECT_EQ(Decode(longText, "DirXML-EntitlementResult"), std::string(2303, 'x'));

    // 8-bit bytes that are no UTF-8 are the older clients' code page.
    EXPECT_EQ(Decode(Octets{{'C', 'a', 'f', 0xE9}}, "App:Version String"), "Caf\xC3\xA9");
}

TEST(OctetLayouts, TrapDescriptionsShowOneLinePerText) {
    Octets traps;
    traps.Text8("Volume FS2_APPS is 90 percent full")
        .Text8("Disk mirror group 1 is resynchronising")
        .Chars("Replica of Sales.Corp is out of sync");
    EXPECT_EQ(Decode(traps, "snmpTrapDescription"),
              "Volume FS2_APPS is 90 percent full\r\n"
              "Disk mirror group 1 is resynchronising\r\n"
              "Replica of Sales.Corp is out of sync");
    Octets tabbed;
    tabbed.Chars("a\tb").U8(0);
    EXPECT_EQ(Decode(tabbed, "snmptrapdescription"), "a\r\nb\r\n");
}

// --- Bindery Property -----------------------------------------------------------

Octets Property(std::string_view name) {
    Octets o;
    o.U8(0).U16(0x0100).U16(0xF2A3).Text8(name).At(47);
    return o;
}

TEST(OctetLayouts, BinderyPropertyShowsItsTextOrTheTrimmedDump) {
    Octets text = Property("IDENTIFICATION");
    text.Text8("FS1 Bindery Services").At(175).U32(1);
    EXPECT_EQ(Decode(text, "Bindery Property"), "IDENTIFICATION: FS1 Bindery Services");

    // 55 bytes: four dumped from +47, trailing zero digits dropped.
    Octets set = Property("GROUPS_I'M_IN");
    set.U8(0x00).U8(0x12).U8(0x34).U8(0x00).At(55);
    ASSERT_EQ(set.bytes.size(), 55u);
    EXPECT_EQ(Decode(set, "Bindery Property"), "GROUPS_I'M_IN: 001234");

    Octets zeros = Property("EMPTY_SET");
    zeros.At(60);
    EXPECT_EQ(Decode(zeros, "Bindery Property"), "EMPTY_SET: ");
}

TEST(OctetLayouts, ShortBinderyPropertiesWithoutTextShowAnEmptyValue) {
    for (const size_t length : {51u, 48u, 47u, 30u}) {
        Octets value = Property("NODE_CONTROL");
        value.bytes.resize(length);
        EXPECT_EQ(Decode(value, "Bindery Property"), "NODE_CONTROL: ") << length;
    }
    // A name that runs to the end of a short value stops there.
    EXPECT_EQ(Decode(Octets{{0, 0, 0, 0, 0, 'A', 'B'}}, "Bindery Property"), "AB: ");
}

// --- Fixed-offset layouts ---------------------------------------------------------

TEST(OctetLayouts, FixedOffsetLayoutsShowTheirWordsAndTexts) {
    Octets key;
    key.U32(1).U32(0x30001).Chars("\x8E\x4F\x2A\x61\xB0\xC3\x7D\x99\x22\xE5\xF1\xA0\x4C\x6B");
    key.U32(2048).Text16("Corp CA").U8(0x55);
    EXPECT_EQ(Decode(key, "Public Key"), "[1,30001,8E4F2A61B0C37D9922E5F1A04C6B,800] Corp CA");

    Octets port;
    port.U16(0x3F8).U16(0).U32(8).U32(1).U32(0xFFFFFFFF).Text16("COM1");
    EXPECT_EQ(Decode(port, "WM:INV Port"), "[03F8,8,1,4294967295] COM1");

    Octets dma;
    dma.U32(3).U32(8).U32(2).U32(0).Text16("ECP");
    EXPECT_EQ(Decode(dma, "WM:INV DMA"), "[03,8,2,0] ECP");

    Octets volume;
    volume.U32(0xA).U32(0xB).U32(0xC).U32(0xD).U32(0xE).Text16("C:");
    EXPECT_EQ(Decode(volume, "WM:INV Volume"), "[A,B,C,D,E] C:");

    Octets rights;
    rights.U32(0).U32(3).U32(15).U8(1).Text8("FS2_APPS:OFFICE");
    EXPECT_EQ(Decode(rights, "App:FS Rights Path"), "(0/3/15/1) FS2_APPS:OFFICE");

    Octets config;
    config.U32(3).Text8("Health monitor").At(92).Text8("interval=300");
    EXPECT_EQ(Decode(config, "bhConfig"), "[3] Health monitor interval=300 ");

    Octets vector;
    vector.U32(0x4AEA9A4C).U32(1).U32(0x31).Text16("FS1");
    EXPECT_EQ(Decode(vector, "Transitive Vector"), "(4AEA9A4C/0001/0031) FS1");

    Octets query;
    query.U32(0).U32(0).U32(0).Text16("(a)");
    EXPECT_EQ(Decode(query, "memberQuery"),
              "(a) - 000000000000000000000000280061002900"
              "0000");
}

TEST(OctetLayouts, BytesPastTheEndOfAValueReadAsZero) {
    EXPECT_EQ(Decode(Octets{{0x05}}, "Public Key"), "[5,0," + std::string(28, '0') + ",0] ");
    EXPECT_EQ(Decode(Octets{{0x12, 0x34}}, "NGW: Location"), "[1234" + std::string(22, '0') + "] ");
    EXPECT_EQ(Decode(Octets{}, "WM:INV CPU Information"), "[0] ");
    EXPECT_EQ(Decode(Octets{}, "FW0 USER ADD"), "");
    // A UTF-16 text cut by the end of the value stops there; an odd last byte
    // pairs with the zero that would follow it.
    Octets cut;
    cut.U32(486).U32(0).Chars(std::string_view("P\0I\0J", 5));
    EXPECT_EQ(Decode(cut, "WM:INV CPU Information"), "[486] PIJ");
}

// --- Partition Status ---------------------------------------------------------------

Octets PartitionStatus(bool first, uint32_t error, std::string_view server) {
    Octets o;
    o.U32(1).U32(2).U32(1256889300).U32(3).U32(error).U32(0);
    if (first) o.U32(0x10);
    o.Text16(server);
    return o;
}

// A zone far from UTC shows that the time is not converted.
constexpr const char* kFarZone = "EST5EDT,M3.2.0,M11.1.0";

TEST(PartitionStatus, TheFirstValueShowsItsErrorAndLaterOnesNever) {
    testing::ScopedTimeZone zone(kFarZone);
    EXPECT_EQ(
        Decode(PartitionStatus(true, 0xFFFFFDA7, "FS1.Servers.IT.Corp"), "Partition Status", 1),
        "FS1.Servers.IT.Corp / Replica 3 / Last Sync:  2009-10-30 07:55:00/ (in sync) "
        "/ Error FFFFFDA7");
    EXPECT_EQ(Decode(PartitionStatus(true, 0, "FS1"), "Partition Status", 1),
              "FS1 / Replica 3 / Last Sync:  2009-10-30 07:55:00/ (in sync) ");
    EXPECT_EQ(Decode(PartitionStatus(true, 5, "FS1"), "Partition Status", 1),
              "FS1 / Replica 3 / Last Sync:  2009-10-30 07:55:00/ (in sync) / Error    5");
    EXPECT_EQ(Decode(PartitionStatus(false, 0xFFFFFDA7, "FS2"), "Partition Status", 2),
              "FS2 / Replica 3 / Last Sync:  2009-10-30 07:55:00/ (in sync) ");
}

TEST(PartitionStatus, TheTimeUsesTheGivenFormats) {
    testing::ScopedTimeZone zone(kFarZone);
    platform::DateTimeFormats formats;
    formats.shortDate = "dd.MM.yyyy";
    formats.longTime = "h:nn am/pm";
    EXPECT_EQ(Decode(PartitionStatus(false, 0, "FS2"), "Partition Status", 2, formats),
              "FS2 / Replica 3 / Last Sync:  30.10.2009 7:55 am/ (in sync) ");
}

// --- Printer Configuration -------------------------------------------------------------

Octets Printer(uint16_t type, uint16_t form, std::string_view driver) {
    Octets o;
    o.U16(type).U16(form).U16(3).U16(form).U16(5).U16(0).At(16).Text8(driver).At(48);
    return o;
}

Octets LineSettings(Octets o, uint16_t port, bool autoLoad, uint16_t irq, bool xon,
                    uint16_t baudExponent, uint16_t stopBits, uint16_t parity) {
    o.U16(port).U16(autoLoad ? 1 : 0).U16(irq == 0 ? 0 : 1).U16(irq).U16(xon ? 1 : 0);
    o.U16(baudExponent).U16(8).U16(stopBits).U16(parity).At(336);
    return o;
}

TEST(PrinterConfiguration, ParallelAndSerialPrintersShowTheirLines) {
    EXPECT_EQ(Decode(LineSettings(Printer(1, 0, "GENERIC.PDF"), 1, true, 0, false, 5, 0, 0),
                     "Printer Configuration"),
              "Parallel (LPT2:) / Polling / Auto load / Text / Service Interval: 5 / Buffer Size: "
              "3kB / Starting Form: 0 / Form Change: as needed / Driver Name: GENERIC.PDF\r\n");
    EXPECT_EQ(Decode(LineSettings(Printer(2, 2, "EPSON.PDF"), 0, false, 4, true, 5, 1, 1),
                     "Printer Configuration"),
              "Serial (COM1:) / IRQ 4 / Manual load / Xon/Xoff  / 9600 bd / 8 Data bits / 1.5 "
              "Stop bits / even parity / Text / Service Interval: 5 / Buffer Size: 3kB / Starting "
              "Form: 2 / Form Change: never / Driver Name: EPSON.PDF\r\n");
}

TEST(PrinterConfiguration, AppleAndUnixPrintersShowTheirNames) {
    Octets apple = Printer(4, 1, "LW.PDF");
    apple.Text8("Color LaserWriter").At(82).Text8("HR Zone").At(116).Text8("LaserWriter").At(336);
    EXPECT_EQ(Decode(apple, "Printer Configuration"),
              "Apple Color LaserWriter LaserWriter (HR Zone) / Text / Service Interval: 5 / Buffer "
              "Size: 3kB / Starting Form: 1 / Form Change: minimize within Qs / Driver Name: "
              "LW.PDF\r\n");
    Octets unixPrinter = Printer(5, 3, "HPGL.PDF");
    unixPrinter.Text8("plotter.eng").At(304).Text8("plot1").At(336);
    EXPECT_EQ(Decode(unixPrinter, "Printer Configuration"),
              "Unix plotter.eng/plot1 / Text / Service Interval: 5 / Buffer Size: 3kB / Starting "
              "Form: 3 / Form Change: minimize across Qs / Driver Name: HPGL.PDF\r\n");
}

TEST(PrinterConfiguration, WordsOutsideTheirTablesGiveNa) {
    Octets odd = LineSettings(Printer(2, 9, ""), 0, true, 0, false, 23, 3, 3);
    odd.bytes[10] = 1;  // Postscript
    EXPECT_EQ(Decode(odd, "Printer Configuration"),
              "Serial (COM1:) / Polling / Auto load / n/a bd / 8 Data bits / n/a Stop bits / n/a "
              "parity / Postscript / Service Interval: 5 / Buffer Size: 3kB / Starting Form: 9 / "
              "Form Change: n/a / Driver Name: \r\n");
    // The largest rate a 32-bit number holds is still shown.
    EXPECT_NE(Decode(LineSettings(Printer(2, 0, ""), 0, true, 0, false, 22, 0, 0),
                     "Printer Configuration")
                  .find(" / 1258291200 bd"),
              std::string::npos);
    EXPECT_EQ(Decode(Octets{{7, 0}}, "Printer Configuration"),
              "n/a / Text / Service Interval: 0 / Buffer Size: 0kB / Starting Form: 0 / Form "
              "Change: as needed / Driver Name: \r\n");
}

// --- Streams and templates ---------------------------------------------------------------

TEST(StreamContent, PlainStreamsAndShortTemplatesAreText) {
    Octets script;
    script.Chars("MAP DISPLAY OFF\nWRITE \"Hi\"\n").U8(0).Chars("after the end");
    EXPECT_EQ(Stream(script, "Login Script"), "MAP DISPLAY OFF\nWRITE \"Hi\"\n");
    EXPECT_EQ(Stream(Octets{{'A', 'B'}}, "Login Script"), "AB");

    // A template of no more than its header is plain text, up to its first zero.
    Octets head;
    head.Chars("AOT FILE").U32(0x1200).U32(1).U32(2).U16(4).U16(0);
    ASSERT_EQ(head.bytes.size(), 24u);
    EXPECT_EQ(Stream(head, "App:Inventory"), "AOT FILE");
    Octets marked = TemplateHead();
    // (Its control byte 0x1B is left out.)
    EXPECT_EQ(Stream(marked, "App:Inventory"), "AOT FILE\xC4\x91*?\xC2\xA1");

    // The mark must be exactly "AOT FILE" within the first eight bytes.
    Octets shortMark;
    shortMark.Chars("AOT FIL").U8(0).At(40);
    EXPECT_EQ(Stream(shortMark, "App:Inventory"), "AOT FIL");
}

TEST(StreamContent, MacroStringsAreJoinedBySeparators) {
    Octets macros = TemplateHead();
    macros.U32(2).U32(1).U32(12).Text8("SOURCE_PATH").U32(10).Text8("\\\\FS2\\APPS");
    macros.U32(7).Text8("TARGET").U32(3).Text8("C:").U32(0x100);
    EXPECT_EQ(Stream(macros, "App:Macros"),
              "AOT FILE (" + std::to_string(macros.bytes.size()) +
                  " bytes) SOURCE_PATH | \\\\FS2\\APPS | TARGET | C:");
}

TEST(StreamContent, TheLastMacroValueKeepsItsLastCharacter) {
    // The closing zero word makes "S", 0, 0, 0 look like a small word.
    Octets macros = TemplateHead();
    macros.U32(1).U32(1).U32(10).Text8("TEMPLATES").U32(10).Text8("\\\\FS1\\DOTS").U32(0);
    EXPECT_EQ(Stream(macros, "App:Macros"), "AOT FILE (" + std::to_string(macros.bytes.size()) +
                                                " bytes) TEMPLATES | \\\\FS1\\DOTS");
    // Words between strings are still skipped, also negative ones.
    Octets marked = TemplateHead();
    marked.Text8("A1").U32(3).U32(0xFFFFFFFF).U32(3).Text8("B2").U32(0);
    EXPECT_EQ(Stream(marked, "App:Macros"),
              "AOT FILE (" + std::to_string(marked.bytes.size()) + " bytes) A1 | B2");
}

TEST(StreamContent, ASmallNumberAfterTextIsNoCharacter) {
    Octets macros = TemplateHead();
    macros.Chars("ABCD").U32(2).Chars("EFGH").U32(0);
    EXPECT_EQ(Stream(macros, "App:Macros"),
              "AOT FILE (" + std::to_string(macros.bytes.size()) + " bytes) ABCD | EFGH");
    // A line feed word does not break the line either.
    Octets feed = TemplateHead();
    feed.Chars("AB").U32(10).Chars("CD").U32(0);
    EXPECT_EQ(Stream(feed, "App:Macros"),
              "AOT FILE (" + std::to_string(feed.bytes.size()) + " bytes) AB | CD");
    // No decoder hands a control byte to a cell; line breaks stay, tabs become blanks.
    Octets plain;
    plain.Chars("a\x01\tb\r\nc");
    EXPECT_EQ(Stream(plain, "Login Script"), "a b\r\nc");
}

TEST(StreamContent, MacroWalkStopsAfter1024Bytes) {
    Octets macros = TemplateHead();
    macros.Chars(std::string(2000, 'M'));
    EXPECT_EQ(Stream(macros, "App:Macros"), "AOT FILE (2024 bytes) " + std::string(1023, 'M'));
}

TEST(StreamContent, InventoryWalkShowsOneLinePerString) {
    Octets inventory = TemplateHead();
    inventory.U32(0x0A3B00).U32(12).Text8("WINWORD.EXE");
    inventory.U32(0x0C1100).U32(10).Text8("EXCEL.EXE");
    // A plain string, then padding up to the next one.
    inventory.Chars("HELLO").U8(0).U8(0).U8(0).Text8("STR");
    EXPECT_EQ(Stream(inventory, "App:Program Groups"),
              "AOT FILE (" + std::to_string(inventory.bytes.size()) +
                  " bytes) (3F2A91C4/A11B/1 4/2) A3B00 WINWORD.EXE\r\nC1100 EXCEL.EXE\r\n"
                  "HELLO\r\nSTR\r\n");
}

TEST(StreamContent, CopyFileRecordsShowOneLineEach) {
    Octets copies = TemplateHead();
    const std::string first = "\\\\FS1\\DATA\\LETTER.DOT|%TARGET_PATH%";
    const std::string second = "\\\\FS2\\APPS\\ERPCLI.INI|%WINDIR%";
    copies.U32(1).U32(0x20).U32(0).U32(0).U32(static_cast<uint32_t>(first.size())).Chars(first);
    copies.U32(2).U32(0x21).U32(1).U32(0x12345).U32(static_cast<uint32_t>(second.size()));
    copies.Chars(second);
    const std::string head =
        "AOT FILE (" + std::to_string(copies.bytes.size()) + " bytes) (3F2A91C4/A11B/1 4/2) ";
    EXPECT_EQ(Stream(copies, "App:Copy Files"),
              head + "(0001/0020/0000/0000) / " + first + "\r\n(0002/0021/0001/12345) / " + second);

    // A length above 1024 ends the walk; so does a string that starts with a zero.
    Octets tooLong = copies;
    tooLong.U32(3).U32(0).U32(0).U32(0).U32(1025).Chars("never shown");
    EXPECT_EQ(Stream(tooLong, "App:Copy Files").find("never"), std::string::npos);
    Octets empty = copies;
    empty.U32(3).U32(0).U32(0).U32(0).U32(5).U8(0).Chars("gone");
    EXPECT_EQ(Stream(empty, "App:Copy Files").find("gone"), std::string::npos);
}

TEST(StreamContent, OtherTemplatesShowTheirPrintableBytes) {
    Octets registry = TemplateHead();
    registry.U16(1).U16(6).Text8("HKLM\\").U16(4).Text8("Key").U8(0x14).Chars("1 ").U8(0x7E);
    EXPECT_EQ(Stream(registry, "App:Registry Settings"),
              "AOT FILE (" + std::to_string(registry.bytes.size()) +
                  " bytes) (3F2A91C4/A11B/1 4/2) \r\nHKLM\\\r\nKey\r\n1 ~");
    // Names choose the form with their case: this is no macro template.
    EXPECT_EQ(Stream(registry, "app:macros"), Stream(registry, "App:Registry Settings"));
}

// --- Reading a stream ---------------------------------------------------------------------

std::string StreamObjects(std::string_view script) {
    return testing::TreesImage({{"CORP", R"([{"name": "Corp", "class": "Organization"},
        {"name": "u.Corp", "class": "User",
         "attributes": {"CN": "u", "Login Script": )" +
                                             std::string(script) + "}}]"}});
}

TEST(StreamText, ReadsTheStreamAndShowsItsText) {
    testing::DirectoryTestBed bed(StreamObjects(R"({"text": "MAP F:=SYS:\n"})"));
    std::string text;
    EXPECT_EQ(StreamText(bed.access, bed.Context(), "u.Corp", "Login Script", text), 0);
    EXPECT_EQ(text, "MAP F:=SYS:\n");
}

TEST(StreamText, AFailedReadKeepsTheCannotReadText) {
    testing::DirectoryTestBed bed(StreamObjects(R"({"text": "MAP F:=SYS:\n"})"));
    std::string text = "stale";
    EXPECT_EQ(StreamText(bed.access, bed.Context(), "u.Corp", "Description", text),
              client::Err::NoSuchAttribute);
    EXPECT_EQ(text, "Cannot read Stream");

    bed.spy.onReadStream = [](client::StreamHandle, std::span<uint8_t>, size_t&) {
        return client::Err::StreamReadFailed;
    };
    EXPECT_EQ(StreamText(bed.access, bed.Context(), "u.Corp", "Login Script", text),
              directory::DirectoryAccess::kStreamReadFailed);
    EXPECT_EQ(text, "Cannot read Stream");
}

TEST(StreamText, AStreamWithoutAZeroStopsAtTheBufferEnd) {
    testing::DirectoryTestBed bed(StreamObjects(R"({"text": ")" + std::string(70000, 'z') + "\"}"));
    std::string text;
    EXPECT_EQ(StreamText(bed.access, bed.Context(), "u.Corp", "Login Script", text), 0);
    EXPECT_EQ(text, std::string(64512, 'z'));
}

}  // namespace
}  // namespace vellrun::values
