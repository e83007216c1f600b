#include "values/SpecialDecoders.h"

#include "platform/AsciiText.h"
#include "platform/TextEncoding.h"
#include "values/OctetLayouts.h"
#include "values/SyntaxCatalogue.h"
#include "values/TemplateDecoder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vellrun::values {

namespace {

using octets::Bytes;
using octets::Dec;
using octets::Hex;
using octets::Padded;
using octets::Text16;
using octets::Text8;
using octets::U16;
using octets::U32;
using octets::U8;

// Texts stored in octet strings are shown up to this many bytes.
constexpr size_t kTextLimit = 2303;

using Decoder = std::string (*)(Bytes bytes, uint32_t valueNumber,
                                const platform::DateTimeFormats& formats);

std::string PlainText(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return Text8(bytes.first(std::min(bytes.size(), kTextLimit)), 0);
}

// Zero-separated texts, one line each. A tab inside a text breaks the line as well.
std::string TextList(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    std::string raw;
    for (const uint8_t byte : bytes.first(std::min(bytes.size(), kTextLimit))) {
        if (byte == 0 || byte == '\t') {
            raw += "\r\n";
        } else {
            raw += static_cast<char>(byte);
        }
    }
    return platform::BytesToUtf8(raw);
}

std::string BinderyProperty(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return octets::BinderyPropertyText(bytes);
}

std::string PublicKey(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "[" + Hex(U32(bytes, 0)) + "," + Hex(U32(bytes, 4)) + "," +
           HexText(Padded(bytes, 8, 14)) + "," + Hex(U32(bytes, 22)) + "] " + Text16(bytes, 26);
}

std::string MemberQuery(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return Text16(bytes, 12) + " - " + HexText(bytes);
}

std::string InventoryResource(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "[" + Hex(U32(bytes, 0), 2) + "," + Dec(U32(bytes, 4)) + "," + Dec(U32(bytes, 8)) + "," +
           Dec(U32(bytes, 12)) + "] " + Text16(bytes, 16);
}

std::string InventoryPort(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "[" + Hex(U16(bytes, 0), 4) + "," + Dec(U32(bytes, 4)) + "," + Dec(U32(bytes, 8)) + "," +
           Dec(U32(bytes, 12)) + "] " + Text16(bytes, 16);
}

std::string InventoryCpu(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "[" + Dec(U32(bytes, 0)) + "] " + Text16(bytes, 8);
}

std::string InventoryArea(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    std::string text = "[" + Hex(U32(bytes, 0));
    for (size_t offset = 4; offset <= 16; offset += 4)
        text += "," + Hex(U32(bytes, offset));
    return text + "] " + Text16(bytes, 20);
}

std::string Location(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "[" + HexText(Padded(bytes, 0, 13)) + "] " + Text8(bytes, 13);
}

std::string FolderList(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "(" + Hex(U32(bytes, 0)) + "/" + Hex(U32(bytes, 4)) + "/" + Hex(U32(bytes, 8)) + ") " +
           Text8(bytes, 12);
}

std::string RightsPath(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "(" + Dec(U32(bytes, 0)) + "/" + Dec(U32(bytes, 4)) + "/" + Dec(U32(bytes, 8)) + "/" +
           std::to_string(U8(bytes, 12)) + ") " + Text8(bytes, 13);
}

std::string ServiceConfig(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "[" + Dec(U32(bytes, 0)) + "] " + Text8(bytes, 4) + " " + Text8(bytes, 92) + " ";
}

std::string UserAdd(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return Text8(bytes, 15);
}

std::string PartitionStatus(Bytes bytes, uint32_t valueNumber,
                            const platform::DateTimeFormats& formats) {
    return octets::PartitionStatusText(bytes, valueNumber, formats);
}

std::string SyncVector(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return "(" + Hex(U32(bytes, 0), 4) + "/" + Hex(U32(bytes, 4), 4) + "/" + Hex(U32(bytes, 8), 4) +
           ") " + Text16(bytes, 12);
}

std::string PrinterConfiguration(Bytes bytes, uint32_t, const platform::DateTimeFormats&) {
    return octets::PrinterConfigurationText(bytes);
}

// The layouts known by attribute name, in the order they are looked up: the
// first row naming the attribute wins.
struct Layout {
    std::string_view name;
    Decoder decode;
};

constexpr Layout kLayouts[] = {
    {"App:GUID", PlainText},
    {"App:Drive Mappings", PlainText},
    {"App:Parameters", PlainText},
    {"App:Path", PlainText},
    {"App:Version String", PlainText},
    {"App:Working Directory", PlainText},
    {"DirXML-EntitlementResult", PlainText},
    {"ZEN:INV Disk Info", PlainText},
    {"bhObjectGUID", PlainText},
    {"rbsTaskRights", PlainText},
    {"Bindery Property", BinderyProperty},
    {"snmpTrapDescription", TextList},
    {"CA Public Key", PublicKey},
    {"Public Key", PublicKey},
    {"memberQuery", MemberQuery},
    {"WM:INV DMA", InventoryResource},
    {"WM:INV Interrupt", InventoryResource},
    {"WM:INV Port", InventoryPort},
    {"WM:INV CPU Information", InventoryCpu},
    {"WM:INV Shared Memory", InventoryArea},
    {"WM:INV Volume", InventoryArea},
    {"NGW: Location", Location},
    {"App:Folder List", FolderList},
    {"App:FS Rights Path", RightsPath},
    {"bhConfig", ServiceConfig},
    {"FW0 USER ADD", UserAdd},
    {"Partition Status", PartitionStatus},
    {"Local Received Up To", SyncVector},
    {"Transitive Vector", SyncVector},
    {"Printer Configuration", PrinterConfiguration},
};

const Layout* LayoutFor(std::string_view attributeName) {
    // A report asks for the same attribute value after value: the answer for
    // the last name, as it was written, is kept per thread.
    struct LastLookUp {
        bool made = false;
        std::string name;
        const Layout* layout = nullptr;
    };
    thread_local LastLookUp last;
    if (last.made && attributeName == last.name) return last.layout;
    last.layout = nullptr;
    for (const Layout& layout : kLayouts) {
        if (platform::EqualsNoCase(layout.name, attributeName)) {
            last.layout = &layout;
            break;
        }
    }
    last.name = attributeName;
    last.made = true;
    return last.layout;
}

// What a decoder found is shown, not obeyed: control bytes (a stray small
// number, a zero inside a text) never reach a cell, where they would break
// an export's structure. Line breaks stay the line breaks of the value; a
// tab becomes a blank, since tabs may separate the fields of an export.
std::string WithoutControlCharacters(std::string text) {
    std::erase_if(text, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && c != '\r' && c != '\n' && c != '\t';
    });
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text;
}

}  // namespace

std::span<const std::string_view> OctetLayoutNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all;
        for (const Layout& layout : kLayouts)
            all.push_back(layout.name);
        return all;
    }();
    return names;
}

void AddOctetString(directory::ValueLines& lines, std::span<const uint8_t> bytes,
                    std::string_view attributeName, uint32_t valueNumber,
                    const platform::DateTimeFormats& formats) {
    // The value's length counts in 16 bits; no reply carries more than
    // 64,512 bytes, so in practice this keeps every byte.
    bytes = bytes.first(bytes.size() & 0xFFFF);
    const Layout* layout = LayoutFor(attributeName);
    if (layout == nullptr) {
        // The dump is written straight into the line: most octet strings have no layout.
        AppendHexText(lines.Start(), bytes, bytes.size());
        return;
    }
    lines.Add(WithoutControlCharacters(layout->decode(bytes, valueNumber, formats)));
}

std::string DecodeOctetString(std::span<const uint8_t> bytes, std::string_view attributeName,
                              uint32_t valueNumber, const platform::DateTimeFormats& formats) {
    directory::ValueLines lines;
    AddOctetString(lines, bytes, attributeName, valueNumber, formats);
    return std::string(lines.Joined());
}

std::string StreamContentText(std::span<const uint8_t> content, std::string_view attributeName) {
    if (IsTemplate(content)) return WithoutControlCharacters(TemplateText(content, attributeName));
    return WithoutControlCharacters(Text8(content, 0));
}

client::Result StreamText(directory::DirectoryAccess& access, client::ContextHandle context,
                          std::string_view object, std::string_view attributeName,
                          std::string& text) {
    text = "Cannot read Stream";
    // Zero-filled, so that whatever was not read reads as the end of the text.
    std::vector<uint8_t> buffer(directory::DirectoryAccess::kStreamBufferSize, 0);
    size_t size = buffer.size();
    const client::Result result = access.DSReadStream(context, object, attributeName, buffer, size);
    if (result != 0) return result;
    text = StreamContentText(std::span<const uint8_t>(buffer).first(std::min(size, buffer.size())),
                             attributeName);
    return 0;
}

}  // namespace vellrun::values
