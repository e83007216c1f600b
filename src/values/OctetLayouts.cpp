#include "values/OctetLayouts.h"

#include "platform/TextEncoding.h"
#include "values/SyntaxCatalogue.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellrun::values::octets {

uint8_t U8(Bytes bytes, size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

uint16_t U16(Bytes bytes, size_t offset) {
    return static_cast<uint16_t>(U8(bytes, offset) | (U8(bytes, offset + 1) << 8));
}

uint32_t U32(Bytes bytes, size_t offset) {
    return static_cast<uint32_t>(U16(bytes, offset)) |
           (static_cast<uint32_t>(U16(bytes, offset + 2)) << 16);
}

Bytes Text8Bytes(Bytes bytes, size_t offset) {
    if (offset >= bytes.size()) return {};
    const Bytes rest = bytes.subspan(offset);
    const auto zero = std::find(rest.begin(), rest.end(), uint8_t{0});
    return rest.first(static_cast<size_t>(zero - rest.begin()));
}

std::string Text8(Bytes bytes, size_t offset) {
    return platform::BytesToUtf8(Text8Bytes(bytes, offset));
}

std::string Text16(Bytes bytes, size_t offset) {
    if (offset >= bytes.size()) return {};
    const Bytes rest = bytes.subspan(offset);
    if (rest.size() % 2 == 0) return platform::Utf16LeToUtf8(rest);
    // A last odd byte pairs with the zero that follows the value.
    std::vector<uint8_t> padded(rest.begin(), rest.end());
    padded.push_back(0);
    return platform::Utf16LeToUtf8(padded);
}

std::vector<uint8_t> Padded(Bytes bytes, size_t offset, size_t count) {
    std::vector<uint8_t> out(count, 0);
    for (size_t i = 0; i < count; ++i)
        out[i] = U8(bytes, offset + i);
    return out;
}

std::string Hex(uint32_t value, int minDigits) {
    static constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(out.size()) < minDigits) {
        out.insert(0, static_cast<size_t>(minDigits) - out.size(), '0');
    }
    return out;
}

// A 32-bit word of a layout: unsigned, as every number the layouts hold.
std::string Dec(uint32_t word) {
    return std::to_string(word);
}

// --- Bindery Property --------------------------------------------------------

std::string BinderyPropertyText(Bytes bytes) {
    std::string value = Text8(bytes, 47);
    if (value.empty() && bytes.size() > 51) {
        // The dump stops four bytes short of the end, as the record's layout
        // has it; a value of 51 bytes or fewer leaves nothing to dump.
        value = HexText(bytes.subspan(47), bytes.size() - 51);
        const size_t kept = value.find_last_not_of('0');
        value.erase(kept == std::string::npos ? 0 : kept + 1);
    }
    return Text8(bytes, 5) + ": " + value;
}

// --- Partition Status --------------------------------------------------------

std::string PartitionStatusText(Bytes bytes, uint32_t valueNumber,
                                const platform::DateTimeFormats& formats) {
    const bool first = valueNumber == 1;
    const uint32_t state = U32(bytes, 4);
    const uint32_t lastSync = U32(bytes, 8);
    const uint32_t replica = U32(bytes, 12);
    const uint32_t error = U32(bytes, 16);

    // The directory's own time, shown as it is stored (UTC), in the same
    // short date and long time composition as every other time the program shows.
    const platform::DateTimeParts utc = platform::UtcTimeOf(lastSync);
    const std::string time =
        JoinNonEmpty(platform::FormatDateTime(formats.shortDate, utc, formats),
                     platform::FormatDateTime(formats.longTime, utc, formats), " ");

    std::string text = Text16(bytes, first ? 28 : 24) + " ";
    text += "/ Replica " + Dec(replica) + " ";
    text += "/ Last Sync:  " + time;
    text += "/ " + SyncStateText(state) + " ";
    if (first && error != 0) {
        std::string code = Hex(error);
        if (code.size() < 4) code.insert(0, 4 - code.size(), ' ');  // "%4X"
        text += "/ Error " + code;
    }
    return text;
}

// --- Printer Configuration ---------------------------------------------------

namespace {

// Word n of the record lies at offset 2n.
uint16_t Word(Bytes bytes, size_t n) {
    return U16(bytes, 2 * n);
}

std::string Pick(uint16_t index, std::span<const std::string_view> names) {
    return index < names.size() ? std::string(names[index]) : std::string("n/a");
}

constexpr std::array<std::string_view, 7> kPrinterTypes{"Other", "Parallel", "Serial", "XNP",
                                                        "Apple", "Unix",     "AIO"};
constexpr std::array<std::string_view, 4> kFormChange{"as needed", "minimize within Qs", "never",
                                                      "minimize across Qs"};
constexpr std::array<std::string_view, 3> kStopBits{"1", "1.5", "2"};
constexpr std::array<std::string_view, 3> kParity{"no", "even", "odd"};

// The rate is 300 times 2 to the power of the word. Rates beyond what a
// signed 32-bit number holds (exponents above 22) are no serial line's; they
// show "n/a" instead of an overflowed number.
std::string BaudRate(uint16_t exponent) {
    if (exponent > 22) return "n/a";
    return std::to_string(300u << exponent);
}

std::string InterruptText(Bytes bytes) {
    return Word(bytes, 26) == 0 ? "Polling" : "IRQ " + std::to_string(Word(bytes, 27));
}

std::string LoadText(Bytes bytes) {
    return Word(bytes, 25) == 0 ? "Manual" : "Auto";
}

std::string PortNumber(Bytes bytes) {
    return std::to_string(Word(bytes, 24) + 1);
}

}  // namespace

std::string PrinterConfigurationText(Bytes bytes) {
    const uint16_t type = Word(bytes, 0);
    std::string text = Pick(type, kPrinterTypes);

    switch (type) {
        case 1:
            text += " (LPT" + PortNumber(bytes) + ":)";
            text += " / " + InterruptText(bytes);
            text += " / " + LoadText(bytes) + " load";
            break;
        case 2:
            text = "Serial (COM" + PortNumber(bytes) + ":)";
            text += " / " + InterruptText(bytes);
            text += " / " + LoadText(bytes) + " load";
            if (Word(bytes, 28) != 0) text += " / Xon/Xoff ";
            text += " / " + BaudRate(Word(bytes, 29)) + " bd";
            text += " / " + std::to_string(Word(bytes, 30)) + " Data bits";
            text += " / " + Pick(Word(bytes, 31), kStopBits) + " Stop bits";
            text += " / " + Pick(Word(bytes, 32), kParity) + " parity";
            break;
        case 4:
            text +=
                " " + Text8(bytes, 48) + " " + Text8(bytes, 116) + " (" + Text8(bytes, 82) + ")";
            break;
        case 5: text += " " + Text8(bytes, 48) + "/" + Text8(bytes, 304); break;
        default: break;
    }

    text += Word(bytes, 5) == 0 ? " / Text" : " / Postscript";
    text += " / Service Interval: " + std::to_string(Word(bytes, 4));
    text += " / Buffer Size: " + std::to_string(Word(bytes, 2)) + "kB";
    text += " / Starting Form: " + std::to_string(Word(bytes, 1));
    text += " / Form Change: " + Pick(Word(bytes, 3), kFormChange);
    text += " / Driver Name: " + Text8(bytes, 16);
    text += "\r\n";
    return text;
}

}  // namespace vellrun::values::octets
