#include "values/TemplateDecoder.h"

#include "platform/TextEncoding.h"
#include "values/OctetLayouts.h"

#include <algorithm>
#include <vector>

namespace vellrun::values {

namespace {

using octets::Bytes;
using octets::Hex;
using octets::Text8Bytes;
using octets::U32;
using octets::U8;

constexpr std::string_view kTemplateMark = "AOT FILE";
constexpr std::string_view kLineBreak = "\r\n";

// The record walks collect raw 8-bit bytes; they become UTF-8 once, at the end.
void AppendBytes(std::string& raw, Bytes bytes) {
    raw.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string HeadText(Bytes content) {
    return std::string(kTemplateMark) + " (" + std::to_string(content.size()) + " bytes)";
}

std::string IdentifiersText(Bytes content) {
    return "(" + Hex(U32(content, 8)) + "/" + Hex(U32(content, 12)) + "/" + Hex(U32(content, 16)) +
           " " + Hex(octets::U16(content, 20)) + "/" + Hex(octets::U16(content, 22)) + ")";
}

// "App:Macros": the macro names and values as one line, strings that follow
// a zero byte separated by " | ", the length and type words between them
// skipped. Positions count from 1 at the first byte after the skipped
// leading words and stop at 1024 or past the records' length (any bytes
// read past the stream's end are zero).
//
// No word is skipped right after a character was taken: inside a string a
// character followed by three zero bytes (the last value, before the
// closing zero word) also reads as a small word, and skipping it there would
// drop that character. A word whose first byte is a control byte is no
// character, though: it is skipped there as well.
std::string MacroRecords(Bytes content) {
    const size_t recordsSize = content.size() - kTemplateHeaderSize;
    size_t base = kTemplateHeaderSize;
    for (int skipped = 0; skipped < 4 && U32(content, base) < 256; ++skipped)
        base += 4;

    // The byte at position p lies at base + p - 1.
    std::string raw;
    bool inString = false;
    for (size_t p = 1; p < 1024 && p <= recordsSize;) {
        const size_t at = base + p - 1;
        const uint8_t byte = U8(content, at);
        // A small word right after a string's last character (no closing
        // zero) starts with a control byte: it is skipped too, and ends the string.
        const bool smallWord = static_cast<int32_t>(U32(content, at)) <= 255 && p < recordsSize;
        if (smallWord && (!inString || (byte != 0 && byte < 0x20))) {
            p += 4;
            inString = false;
            continue;
        }
        if (!raw.empty() && byte != 0 && U8(content, at - 1) == 0) raw += " | ";
        if (byte != 0) raw += static_cast<char>(byte);
        inString = byte != 0;
        ++p;
    }
    return platform::BytesToUtf8(raw);
}

// The length of the text at offset, capped at the stream's end.
size_t TextLength(Bytes content, size_t offset) {
    return Text8Bytes(content, offset).size();
}

// A text of two characters or more whose first two bytes are no control bytes.
bool StartsPrintable(Bytes content, size_t offset) {
    return TextLength(content, offset) >= 2 && U8(content, offset) >= 32 &&
           U8(content, offset + 1) >= 32;
}

// A text of two characters or more whose first byte is no control byte.
bool StartsText(Bytes content, size_t offset) {
    return TextLength(content, offset) >= 2 && U8(content, offset) >= 32;
}

// A word of 256 or more with exactly one non-zero byte marks padding before
// that byte: the next record starts there.
size_t Aligned(Bytes content, size_t cursor) {
    const uint32_t word = U32(content, cursor);
    if (word < 256) return cursor;
    int nonZero = 0;
    size_t where = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (U8(content, cursor + i) != 0) {
            ++nonZero;
            where = i;
        }
    }
    return nonZero == 1 ? cursor + where : cursor;
}

// "App:Inventory", "App:Program Groups": counted and plain strings, each
// closing a line, with the words met between them shown in hexadecimal on
// the line of the next string. Every step moves the cursor forward by at
// least one byte, so the walk ends.
std::string HeuristicRecords(Bytes content) {
    std::string raw;
    std::string line;
    size_t cursor = kTemplateHeaderSize;
    while (cursor < content.size()) {
        const size_t before = cursor;
        const uint32_t word = U32(content, cursor);
        bool complete = false;
        if (word < 255 && TextLength(content, cursor + 4) > 1) {
            const Bytes text = Text8Bytes(content, cursor + 4);
            AppendBytes(line, text.first(std::min<size_t>(word, text.size())));
            cursor = Aligned(content, cursor + 4 + word);
            complete = true;
        } else if (!StartsPrintable(content, cursor)) {
            if (!StartsText(content, cursor + 2)) {
                line += Hex(word, 4) + " ";
                cursor += 4;
            } else {
                cursor += 2;
            }
        } else {
            const Bytes text = Text8Bytes(content, cursor);
            AppendBytes(line, text);
            cursor = Aligned(content, cursor + text.size());
            complete = true;
        }
        if (complete) {
            raw += line;
            raw += kLineBreak;
            line.clear();
        }
        cursor = std::max(cursor, before + 1);
    }
    return platform::BytesToUtf8(raw);
}

// "App:Copy Files": four words and a counted string per record, one record a
// line. A length above 1024, an empty string or one that starts with a zero
// byte ends the walk; so does the end of the stream.
std::string CopyFileRecords(Bytes content) {
    std::vector<std::string> records;
    size_t cursor = kTemplateHeaderSize;
    while (cursor < content.size()) {
        const uint32_t length = U32(content, cursor + 16);
        if (length > 1024 || length == 0 || U8(content, cursor + 20) == 0) break;
        const Bytes text = Text8Bytes(content, cursor + 20);
        std::string record = "(" + Hex(U32(content, cursor), 4);
        for (size_t i = 1; i < 4; ++i)
            record += "/" + Hex(U32(content, cursor + 4 * i), 4);
        record += ") / ";
        AppendBytes(record, text.first(std::min<size_t>(length, text.size())));
        records.push_back(std::move(record));
        cursor += 20 + length;
    }
    std::string raw;
    for (const std::string& record : records) {
        if (!raw.empty()) raw += kLineBreak;
        raw += record;
    }
    return platform::BytesToUtf8(raw);
}

// Any other template: its printable bytes, every run of control bytes turned
// into one line break, a run at the very start included. Printable starts at
// the blank (0x20): the control bytes 0x14 to 0x1F are no more readable than
// those below them, and would leave unprintable characters in cells and exports.
std::string PrintableRecords(Bytes content) {
    std::string raw;
    bool inRun = false;
    for (size_t i = kTemplateHeaderSize; i < content.size(); ++i) {
        const uint8_t byte = content[i];
        if (byte >= 0x20) {
            raw += static_cast<char>(byte);
            inRun = false;
        } else if (!inRun) {
            raw += kLineBreak;
            inRun = true;
        }
    }
    return platform::BytesToUtf8(raw);
}

}  // namespace

bool IsTemplate(std::span<const uint8_t> content) {
    if (content.size() <= kTemplateHeaderSize) return false;
    const Bytes mark = Text8Bytes(content.first(kTemplateMark.size()), 0);
    return std::string_view(reinterpret_cast<const char*>(mark.data()), mark.size()) ==
           kTemplateMark;
}

std::string TemplateText(std::span<const uint8_t> content, std::string_view attributeName) {
    const std::string head = HeadText(content);
    if (content.size() <= kTemplateHeaderSize) return head;
    if (attributeName == "App:Macros") return head + " " + MacroRecords(content);

    std::string records;
    if (attributeName == "App:Inventory" || attributeName == "App:Program Groups") {
        records = HeuristicRecords(content);
    } else if (attributeName == "App:Copy Files") {
        records = CopyFileRecords(content);
    } else {
        records = PrintableRecords(content);
    }
    return head + " " + IdentifiersText(content) + " " + records;
}

}  // namespace vellrun::values
