#include "client/ldap/LdifRecords.h"

#include "platform/AsciiText.h"
#include "platform/RegularFile.h"

#include <stdexcept>

#include <ldap.h>
#include <ldif.h>

namespace vellrun::client::ldap {

namespace {

// A fault at a line; caught at the top and turned into "line N: FAULT".
struct Fault {
    size_t line;
    std::string text;
};

[[noreturn]] void Refuse(size_t line, std::string text) {
    throw Fault{line, std::move(text)};
}

// One line after unfolding, with the number of its first physical line.
struct Logical {
    size_t line = 0;
    std::string text;
};

// Splits into logical lines: a line that starts with one blank continues the
// line before it (the blank dropped, bytes joined as they are, so a fold may
// fall inside a multi-byte character); comments go (with their own
// continuations); blank lines stay as empty texts, as record separators.
std::vector<Logical> Unfold(std::string_view text) {
    std::vector<Logical> lines;
    bool inComment = false;
    size_t number = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == ' ') {
            if (inComment) continue;
            if (lines.empty() || lines.back().text.empty()) {
                Refuse(number, "a continued line (starting with a blank) follows no line");
            }
            lines.back().text.append(line.substr(1));
            continue;
        }
        if (!line.empty() && line.front() == '#') {
            inComment = true;
            continue;
        }
        inComment = false;
        lines.push_back({number, std::string(line)});
    }
    return lines;
}

// A ":<" value: only a file:// URL naming a file in the dump's own folder.
std::string ReadUrl(std::string_view url, const std::filesystem::path& baseDir, size_t line) {
    constexpr std::string_view kFile = "file://";
    if (url.size() <= kFile.size() || !platform::EqualsNoCase(url.substr(0, kFile.size()), kFile)) {
        Refuse(line, "only file:// URLs are read, not \"" + std::string(url) + "\"");
    }
    std::filesystem::path path(std::string(url.substr(kFile.size())));
    if (path.is_relative()) path = baseDir / path;
    std::error_code ec;
    const auto file = std::filesystem::weakly_canonical(path, ec);
    const auto folder = std::filesystem::weakly_canonical(baseDir, ec);
    if (ec || file.parent_path() != folder) {
        Refuse(line, "the URL \"" + std::string(url) +
                         "\" names a file outside the dump's folder; only files beside the "
                         "dump are read");
    }
    std::string content;
    if (auto status = platform::ReadRegularFile(file, content); !status.ok()) {
        Refuse(line,
               "the file \"" + file.string() + "\" of the URL cannot be read: " + status.error);
    }
    return content;
}

bool IsDescriptionCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == ';' || c == '_' || c == '=' || c == '*';
}

// "name: value", "name:: base64", "name:< url" into its description and value.
LdifValue ParseLine(const Logical& logical, const std::filesystem::path& baseDir) {
    const std::string& text = logical.text;
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        Refuse(logical.line, "expected \"attribute: value\", not \"" + text.substr(0, 40) + "\"");
    }
    LdifValue value;
    value.line = logical.line;
    value.description = text.substr(0, colon);
    for (char c : value.description) {
        if (!IsDescriptionCharacter(c)) {
            Refuse(logical.line, "\"" + value.description + "\" is not an attribute name");
        }
    }
    std::string_view rest = std::string_view(text).substr(colon + 1);
    char kind = ' ';
    if (!rest.empty() && (rest.front() == ':' || rest.front() == '<')) {
        kind = rest.front();
        rest.remove_prefix(1);
    }
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (kind == '<') {
        value.value = ReadUrl(rest, baseDir, logical.line);
    } else if (kind == ':') {
        std::optional<std::string> decoded = DecodeBase64(rest);
        if (!decoded) Refuse(logical.line, "the base64 value is not valid base64");
        value.value = std::move(*decoded);
    } else {
        // libldap's own LDIF line reader (in our copy).
        std::string line = text;
        berval type{0, nullptr};
        berval decoded{0, nullptr};
        int freeValue = 0;
        if (ldif_parse_line2(line.data(), &type, &decoded, &freeValue) != 0) {
            Refuse(logical.line, "the line cannot be read as LDIF");
        }
        value.value.assign(decoded.bv_val ? decoded.bv_val : "", decoded.bv_len);
        if (freeValue) ber_memfree(decoded.bv_val);
    }
    return value;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    const size_t last = text.find_last_not_of('=');
    const size_t padding = last == std::string_view::npos ? text.size() : text.size() - last - 1;
    if (padding > 2) return std::nullopt;
    auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text.substr(0, text.size() - padding)) {
        const int value = sextet(c);
        if (value < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

bool ReadLdifRecords(std::string_view text, const std::filesystem::path& baseDir,
                     std::vector<LdifRecord>& records, std::string& error) {
    records.clear();
    try {
        const std::vector<Logical> lines = Unfold(text);
        bool first = true;
        LdifRecord* current = nullptr;
        for (const Logical& logical : lines) {
            if (logical.text.empty()) {
                current = nullptr;
                continue;
            }
            LdifValue line = ParseLine(logical, baseDir);
            if (first && current == nullptr &&
                platform::EqualsNoCase(line.description, "version")) {
                if (line.value != "1") {
                    Refuse(line.line, "LDIF version " + line.value + " is not read (only 1)");
                }
                first = false;
                continue;
            }
            first = false;
            if (current == nullptr) {
                if (!platform::EqualsNoCase(line.description, "dn")) {
                    Refuse(line.line,
                           "a record starts with \"dn:\", not \"" + line.description + ":\"");
                }
                records.push_back(LdifRecord{line.line, std::move(line.value), {}});
                current = &records.back();
                continue;
            }
            if (platform::EqualsNoCase(line.description, "changetype") ||
                platform::EqualsNoCase(line.description, "control")) {
                Refuse(line.line,
                       "a change record; only content records (entries) are read as an image");
            }
            if (platform::EqualsNoCase(line.description, "dn")) {
                Refuse(line.line,
                       "a second \"dn:\" in one record (records are separated by an "
                       "empty line)");
            }
            current->values.push_back(std::move(line));
        }
    } catch (const Fault& fault) {
        records.clear();
        error = "line " + std::to_string(fault.line) + ": " + fault.text;
        return false;
    }
    return true;
}

}  // namespace vellrun::client::ldap
