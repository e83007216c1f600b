#include "platform/IniFile.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace vellrun::platform {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// What one line of the file is.
struct ParsedLine {
    enum class Kind { Section, Entry, Other } kind = Kind::Other;
    std::string_view name;   // section name or key
    std::string_view value;  // an entry's value, quotes and blanks removed
};

ParsedLine Parse(std::string_view line) {
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return {};
    if (trimmed.front() == '[') {
        std::string_view name = trimmed.substr(1);
        name = name.substr(0, name.find(']'));
        return {ParsedLine::Kind::Section, TrimBlanks(name), {}};
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return {};
    const std::string_view key = TrimBlanks(trimmed.substr(0, equals));
    if (key.empty()) return {};
    std::string_view value = TrimBlanks(trimmed.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return {ParsedLine::Kind::Entry, key, value};
}

}  // namespace

bool IniNamesEqual(std::string_view a, std::string_view b) {
    // A name is stored and read without its surrounding blanks.
    a = TrimBlanks(a);
    b = TrimBlanks(b);
    if (IsAscii(a) && IsAscii(b)) {
        return EqualsNoCase(a, b);
    }
    const auto fold = [](std::string_view text) {
        icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
        unicode.foldCase(U_FOLD_CASE_DEFAULT);
        return unicode;
    };
    return fold(a) == fold(b);
}

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<std::vector<std::string>> IniFile::LoadLines(std::string* error) const {
    std::vector<std::string> lines;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        // A missing file is an empty one; any other failure must stop a write
        // from replacing a file it could not read.
        std::error_code ec;
        const bool exists = std::filesystem::exists(path_, ec);
        if (!exists && !ec) return lines;
        if (error) {
            *error =
                "Cannot read \"" + path_.string() + "\": " + std::strerror(errno ? errno : EIO);
        }
        return std::nullopt;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        if (error) *error = "Cannot read \"" + path_.string() + "\"";
        return std::nullopt;
    }
    std::string_view text = buffer.view();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    // Files that the program's Windows ancestors wrote are Windows-1252: a
    // byte that is no part of valid UTF-8 is read as that code page.
    std::string decoded;
    if (!IsValidUtf8(text)) {
        decoded = BytesToUtf8(text);
        text = decoded;
    }
    // A rewrite keeps the line ends the file has.
    const size_t firstBreak = text.find('\n');
    lineEnd_ =
        firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r'
            ? "\r\n"
            : "\n";
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

FileStatus IniFile::Store(const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& line : lines) {
        data += line;
        data += lineEnd_;
    }
    if (FileStatus status = AtomicFileWriter::Write(path_, data); !status.ok()) return status;
    ++writeCount_;
    return {};
}

std::optional<std::string> IniFile::ReadValue(std::string_view section,
                                              std::string_view key) const {
    const auto lines = LoadLines(nullptr);
    if (!lines) return std::nullopt;
    bool inSection = false;
    for (const std::string& line : *lines) {
        const ParsedLine parsed = Parse(line);
        if (parsed.kind == ParsedLine::Kind::Section) {
            inSection = IniNamesEqual(parsed.name, section);
        } else if (inSection && parsed.kind == ParsedLine::Kind::Entry &&
                   IniNamesEqual(parsed.name, key)) {
            return std::string(parsed.value);
        }
    }
    return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::optional<std::string> value = ReadValue(section, key);
    return value ? std::move(*value) : std::string(defaultValue);
}

bool IniFile::SectionExists(std::string_view section) const {
    const auto names = ReadSectionNames();
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& name) { return IniNamesEqual(name, section); });
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return ReadValue(section, key).has_value();
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> values;
    const auto lines = LoadLines(nullptr);
    if (!lines) return values;
    bool inSection = false;
    for (const std::string& line : *lines) {
        const ParsedLine parsed = Parse(line);
        if (parsed.kind == ParsedLine::Kind::Section) {
            inSection = IniNamesEqual(parsed.name, section);
        } else if (inSection && parsed.kind == ParsedLine::Kind::Entry) {
            values.emplace_back(parsed.name, parsed.value);
        }
    }
    return values;
}

std::vector<std::string> IniFile::ReadSectionNames() const {
    std::vector<std::string> names;
    const auto lines = LoadLines(nullptr);
    if (!lines) return names;
    for (const std::string& line : *lines) {
        const ParsedLine parsed = Parse(line);
        if (parsed.kind == ParsedLine::Kind::Section) names.emplace_back(parsed.name);
    }
    return names;
}

FileStatus IniFile::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
    const auto breaksLine = [](std::string_view text) {
        return text.find_first_of("\r\n") != std::string_view::npos;
    };
    if (TrimBlanks(section).empty() || TrimBlanks(key).empty() || breaksLine(section) ||
        breaksLine(key) || breaksLine(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || TrimBlanks(key).front() == '[' ||
        TrimBlanks(key).front() == ';' || TrimBlanks(key).front() == '#') {
        return {"Cannot write \"" + path_.string() + "\": the name or value cannot be stored"};
    }
    std::string error;
    auto lines = LoadLines(&error);
    if (!lines) return {error};

    const std::string entry = std::string(TrimBlanks(key)) + "=" + std::string(value);
    bool inSection = false;
    std::optional<size_t> insertAt;  // after the last entry of the first matching section
    for (size_t i = 0; i < lines->size(); ++i) {
        const ParsedLine parsed = Parse((*lines)[i]);
        if (parsed.kind == ParsedLine::Kind::Section) {
            if (inSection) break;  // the first matching section ends here
            inSection = IniNamesEqual(parsed.name, section);
            if (inSection) insertAt = i + 1;
        } else if (inSection && parsed.kind == ParsedLine::Kind::Entry) {
            if (IniNamesEqual(parsed.name, key)) {
                // The stored spelling of the key stays; only the value changes.
                const std::string replaced = std::string(parsed.name) + "=" + std::string(value);
                if ((*lines)[i] == replaced) return {};
                (*lines)[i] = replaced;
                return Store(*lines);
            }
            insertAt = i + 1;
        }
    }
    if (insertAt) {
        lines->insert(lines->begin() + static_cast<std::ptrdiff_t>(*insertAt), entry);
    } else {
        lines->push_back("[" + std::string(TrimBlanks(section)) + "]");
        lines->push_back(entry);
    }
    return Store(*lines);
}

FileStatus IniFile::EraseSection(std::string_view section) {
    std::string error;
    auto lines = LoadLines(&error);
    if (!lines) return {error};
    std::vector<std::string> kept;
    bool inSection = false;
    for (std::string& line : *lines) {
        const ParsedLine parsed = Parse(line);
        if (parsed.kind == ParsedLine::Kind::Section) {
            inSection = IniNamesEqual(parsed.name, section);
        }
        if (!inSection) kept.push_back(std::move(line));
    }
    if (kept.size() == lines->size()) return {};
    return Store(kept);
}

FileStatus IniFile::DeleteKey(std::string_view section, std::string_view key) {
    std::string error;
    auto lines = LoadLines(&error);
    if (!lines) return {error};
    std::vector<std::string> kept;
    bool inSection = false;
    for (std::string& line : *lines) {
        const ParsedLine parsed = Parse(line);
        if (parsed.kind == ParsedLine::Kind::Section) {
            inSection = IniNamesEqual(parsed.name, section);
        }
        const bool drop =
            inSection && parsed.kind == ParsedLine::Kind::Entry && IniNamesEqual(parsed.name, key);
        if (!drop) kept.push_back(std::move(line));
    }
    if (kept.size() == lines->size()) return {};
    return Store(kept);
}

}  // namespace vellrun::platform
