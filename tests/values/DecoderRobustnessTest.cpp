// The decoders against hostile input: random, truncated and pathological
// bytes for every named octet layout and every template form. Each value is
// its own exactly sized allocation, so a sanitizer build catches any read
// beyond it; every text must be valid UTF-8. The seed is fixed.

#include "platform/TextEncoding.h"
#include "values/SpecialDecoders.h"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

using ByteVector = std::vector<uint8_t>;

// Every layout, one in other letter case, and an attribute without a layout.
const std::vector<std::string_view> kOctetNames = [] {
    const auto layouts = OctetLayoutNames();
    std::vector<std::string_view> names(layouts.begin(), layouts.end());
    names.push_back("PRINTER CONFIGURATION");
    names.push_back("Some Other Attribute");
    return names;
}();

// Layouts whose text depends on where the value ends, not only on its bytes
// read with zeros beyond the end.
bool DependsOnLength(std::string_view name) {
    return name == "Bindery Property" || name == "snmpTrapDescription" || name == "memberQuery" ||
           name == "Some Other Attribute";
}

constexpr std::array<std::string_view, 6> kStreamNames{
    "App:Macros",     "App:Inventory",         "App:Program Groups",
    "App:Copy Files", "App:Registry Settings", "Login Script",
};

// Random bytes drawn mostly from values the decoders treat specially: zeros,
// small words, control bytes, UTF-8 and UTF-16 surrogate halves, 0xFF.
class ByteSource {
public:
    ByteVector Bytes(size_t length) {
        static constexpr std::array<uint8_t, 16> kPalette{0x00, 0x00, 0x00, 0x01, 0x04, 0x14,
                                                          0x1F, 0x20, 'A',  'z',  0x7F, 0x80,
                                                          0xC3, 0xD8, 0xDC, 0xFF};
        ByteVector bytes(length);
        std::uniform_int_distribution<int> any(0, 255);
        std::uniform_int_distribution<size_t> pick(0, kPalette.size() - 1);
        std::bernoulli_distribution fromPalette(0.6);
        for (uint8_t& b : bytes) {
            b = fromPalette(engine_) ? kPalette[pick(engine_)] : static_cast<uint8_t>(any(engine_));
        }
        return bytes;
    }
    size_t Length(size_t most) { return std::uniform_int_distribution<size_t>(0, most)(engine_); }

private:
    std::mt19937 engine_{20091030};
};

ByteVector TemplateHead() {
    return ByteVector{'A',  'O',  'T',  ' ',  'F', 'I', 'L', 'E', 0xC4, 0x91, 0x2A, 0x3F,
                      0x1B, 0xA1, 0x00, 0x00, 1,   0,   0,   0,   4,    0,    2,    0};
}

ByteVector Concat(ByteVector a, const ByteVector& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Patterns that make the record walks work hardest: long runs of small
// words, of one-byte strings, of padding, and of counted strings that claim
// more than there is.
std::vector<ByteVector> Pathological() {
    std::vector<ByteVector> out;
    out.push_back(ByteVector(400, 0x00));
    out.push_back(ByteVector(400, 0xFF));
    out.push_back(ByteVector(400, 'A'));
    ByteVector words;
    ByteVector singles;
    ByteVector padding;
    ByteVector counted;
    for (int i = 0; i < 100; ++i) {
        words.insert(words.end(), {0x01, 0x00, 0x00, 0x00});
        singles.insert(singles.end(), {'x', 0x00});
        padding.insert(padding.end(), {0x00, 0x00, 0x00, 'Q'});
        counted.insert(counted.end(), {0xFE, 0x00, 0x00, 0x00, 'a', 'b'});
    }
    out.push_back(words);
    out.push_back(singles);
    out.push_back(padding);
    out.push_back(counted);
    // Copy-file records whose lengths are at the limit and run off the end.
    ByteVector copies(16, 0x01);
    copies.insert(copies.end(), {0x00, 0x04, 0x00, 0x00, 'p'});
    out.push_back(copies);
    return out;
}

void ExpectValidText(const std::string& text, std::string_view what, size_t length) {
    ASSERT_TRUE(platform::IsValidUtf8(text)) << what << ", " << length << " bytes";
}

TEST(DecoderRobustness, RandomValuesOfEveryLayoutGiveValidText) {
    ByteSource source;
    const platform::DateTimeFormats formats;
    for (int round = 0; round < 150; ++round) {
        const ByteVector bytes = source.Bytes(source.Length(400));
        for (const std::string_view name : kOctetNames) {
            for (const uint32_t valueNumber : {1u, 2u}) {
                const std::string text = DecodeOctetString(bytes, name, valueNumber, formats);
                ExpectValidText(text, name, bytes.size());
                if (!DependsOnLength(name)) {
                    // Reading past the end is reading zeros: the value padded
                    // with zeros reads the same.
                    ByteVector padded = bytes;
                    padded.resize(bytes.size() + 400, 0);
                    EXPECT_EQ(DecodeOctetString(padded, name, valueNumber, formats), text)
                        << name << ", " << bytes.size() << " bytes";
                }
            }
        }
    }
}

TEST(DecoderRobustness, EveryTruncationOfAFullLayoutGivesValidText) {
    ByteSource source;
    const platform::DateTimeFormats formats;
    // Full-sized records: a printer record is 336 bytes, a bindery property 179.
    for (int round = 0; round < 4; ++round) {
        const ByteVector full = source.Bytes(400);
        for (size_t length = 0; length <= full.size(); ++length) {
            const ByteVector cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
            for (const std::string_view name : kOctetNames) {
                ExpectValidText(DecodeOctetString(cut, name, 1, formats), name, length);
            }
        }
    }
}

TEST(DecoderRobustness, RandomStreamsAndTemplatesGiveValidText) {
    ByteSource source;
    const ByteVector head = TemplateHead();
    for (int round = 0; round < 400; ++round) {
        const ByteVector records = source.Bytes(source.Length(round % 10 == 0 ? 3000 : 400));
        const ByteVector content = Concat(head, records);
        for (const std::string_view name : kStreamNames) {
            const std::string text = StreamContentText(content, name);
            ExpectValidText(text, name, content.size());
            if (content.size() > 24) {
                EXPECT_EQ(text.rfind("AOT FILE (" + std::to_string(content.size()) + " bytes) ", 0),
                          0u)
                    << name;
            }
            ExpectValidText(StreamContentText(records, name), name, records.size());
        }
    }
}

TEST(DecoderRobustness, TruncatedAndPathologicalTemplatesEnd) {
    const ByteVector head = TemplateHead();
    for (const ByteVector& records : Pathological()) {
        const ByteVector content = Concat(head, records);
        for (size_t length = 0; length <= content.size(); ++length) {
            const ByteVector cut(content.begin(),
                                 content.begin() + static_cast<std::ptrdiff_t>(length));
            for (const std::string_view name : kStreamNames) {
                ExpectValidText(StreamContentText(cut, name), name, length);
            }
        }
    }
}

TEST(DecoderRobustness, TheLargestStreamIsDecodedInEveryForm) {
    ByteSource source;
    const ByteVector content = Concat(TemplateHead(), source.Bytes(64512 - 24));
    for (const std::string_view name : kStreamNames) {
        ExpectValidText(StreamContentText(content, name), name, content.size());
    }
}

}  // namespace
}  // namespace vellrun::values
