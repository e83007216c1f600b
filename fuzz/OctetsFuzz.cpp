// Every decoder of stored bytes: the octet-string layouts by attribute name
// (and the hexadecimal dump of all others), stream contents with and without
// the template mark, network addresses and the text encodings. The first byte
// of the input picks the decoder, the rest is the value. Each text must be
// valid UTF-8; a cell's text holds no control characters but its line breaks.

#include "FuzzSupport.h"
#include "platform/TextEncoding.h"
#include "values/OctetLayouts.h"
#include "values/SpecialDecoders.h"
#include "values/TemplateDecoder.h"
#include "values/ValueFormatting.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vellrun;

// The attributes with a layout of their own, and one without.
const std::vector<std::string_view>& OctetAttributes() {
    static const std::vector<std::string_view> names = [] {
        const auto layouts = values::OctetLayoutNames();
        std::vector<std::string_view> all(layouts.begin(), layouts.end());
        all.push_back("Description");
        return all;
    }();
    return names;
}

// The stream attributes whose templates have records of their own form.
constexpr std::array<std::string_view, 5> kStreamAttributes{
    "App:Macros", "App:Inventory", "App:Program Groups", "App:Copy Files", "Login Script"};

void CheckText(const std::string& text, std::string_view what) {
    fuzz::Check(platform::IsValidUtf8(text), what, "not UTF-8");
}

void CheckCell(const std::string& text, std::string_view what) {
    CheckText(text, what);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        fuzz::Check(byte >= 0x20 || c == '\r' || c == '\n', what, "a control character");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t choice = fuzz::TakeByte(data, size);
    const std::span<const uint8_t> bytes = fuzz::AsBytes(data, size);
    const platform::DateTimeFormats formats;
    const uint32_t valueNumber = 1 + (choice >> 7);
    const size_t pick = choice & 0x7F;

    const std::vector<std::string_view>& octetAttributes = OctetAttributes();
    if (pick < octetAttributes.size()) {
        CheckCell(values::DecodeOctetString(bytes, octetAttributes[pick], valueNumber, formats),
                  octetAttributes[pick]);
    } else if (pick < octetAttributes.size() + kStreamAttributes.size()) {
        const std::string_view name = kStreamAttributes[pick - octetAttributes.size()];
        CheckCell(values::StreamContentText(bytes, name), name);
        CheckText(values::TemplateText(bytes, name), "template");
    } else if (pick < 40) {
        // A network address: the type in the next byte.
        const uint32_t type = size > 0 ? bytes[0] % 16 : 0;
        CheckText(values::NetAddressText(type, bytes.subspan(size > 0 ? 1 : 0)), "net address");
    } else if (pick < 44) {
        CheckText(platform::BytesToUtf8(bytes), "8-bit text");
        CheckText(platform::Utf16LeToUtf8(bytes), "UTF-16 text");
        const std::string utf8 = platform::BytesToUtf8(bytes);
        const std::string utf16 = platform::Utf8ToUtf16Le(utf8);
        fuzz::Check(platform::Utf16LeToUtf8(std::span<const uint8_t>(
                        reinterpret_cast<const uint8_t*>(utf16.data()), utf16.size())) ==
                        utf8.substr(0, utf8.find('\0')),
                    "UTF-8 to UTF-16 and back changes the text");
    } else if (pick < 48) {
        const size_t offset = size > 0 ? bytes[0] : 0;
        CheckText(values::octets::Text8(bytes, offset), "Text8");
        CheckText(values::octets::Text16(bytes, offset), "Text16");
        fuzz::Check(values::octets::Padded(bytes, offset, 7).size() == 7, "Padded");
        CheckText(values::octets::BinderyPropertyText(bytes), "Bindery Property");
        CheckText(values::octets::PartitionStatusText(bytes, valueNumber, formats),
                  "Partition Status");
        CheckText(values::octets::PrinterConfigurationText(bytes), "Printer Configuration");
    } else {
        // Any other attribute name: the hexadecimal dump.
        CheckCell(values::DecodeOctetString(bytes, "GUID", valueNumber, formats), "hex dump");
    }
    return 0;
}
