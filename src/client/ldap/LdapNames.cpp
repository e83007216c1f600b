#include "client/ldap/LdapNames.h"

#include "client/NameSyntax.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cctype>

#include <ldap.h>

namespace vellrun::client::ldap {

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
    return platform::EqualsNoCase(a, b);
}

std::string Lower(std::string_view text) {
    return platform::AsciiLowerCopy(text);
}

std::string Upper(std::string_view text) {
    return platform::AsciiUpperCopy(text);
}

// RFC 4514 escaping of an attribute value in a DN.
std::string EscapeDnValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 4);
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const bool first = i == 0;
        const bool last = i + 1 == value.size();
        if (c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' ||
            c == '=' || (first && (c == '#' || c == ' ')) || (last && c == ' ')) {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            // Control characters go as hexadecimal pairs: a server (and
            // libldap) may take a raw one at the end of a value for blank.
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '\\';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

bool ParseDn(std::string_view text, Name& name) {
    if (text.empty() || text.find('\0') != std::string_view::npos) {
        name.clear();
        // libldap reads a C string: a raw NUL would cut the name short unseen.
        // A NUL in a value is written escaped ("\00") in a well-formed DN.
        return text.empty();
    }
    LDAPDN dn = nullptr;
    // The parts are written into the room name has: parsing one DN after
    // another, as a listing does, allocates little.
    thread_local std::string copy;
    copy.assign(text);
    if (ldap_str2dn(copy.c_str(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
        name.clear();
        return false;
    }
    size_t relatives = 0;
    for (int i = 0; dn && dn[i]; ++i) {
        if (relatives == name.size()) name.emplace_back();
        RelativeName& relative = name[relatives++];
        size_t parts = 0;
        for (int j = 0; dn[i][j]; ++j) {
            const LDAPAVA* ava = dn[i][j];
            if (parts == relative.size()) relative.emplace_back();
            NamePart& part = relative[parts++];
            part.type.assign(ava->la_attr.bv_val, ava->la_attr.bv_len);
            if ((ava->la_flags & LDAP_AVA_BINARY) != 0) {
                // A value written as #hex: keep it in that written form.
                static const char kHex[] = "0123456789ABCDEF";
                part.value = "#";
                for (ber_len_t k = 0; k < ava->la_value.bv_len; ++k) {
                    const auto b = static_cast<unsigned char>(ava->la_value.bv_val[k]);
                    part.value += kHex[b >> 4];
                    part.value += kHex[b & 15];
                }
            } else {
                part.value.assign(ava->la_value.bv_val, ava->la_value.bv_len);
            }
        }
        relative.resize(parts);
    }
    name.resize(relatives);
    ldap_dnfree(dn);
    return true;
}

std::string DnText(const Name& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i) out += ',';
        for (size_t j = 0; j < name[i].size(); ++j) {
            if (j) out += '+';
            out += Lower(name[i][j].type);
            out += '=';
            out += EscapeDnValue(name[i][j].value);
        }
    }
    return out;
}

std::string EscapeDottedValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '.' || c == '\\' || c == '=' || c == '+') out += '\\';
        out += c;
    }
    return out;
}

namespace {

// True when the part of a relative name that starts at from (up to the next
// "+" or "." that no backslash escapes) holds a type: an unescaped "=".
bool PartIsTyped(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '=') {
            return true;
        } else if (text[i] == '+' || text[i] == '.') {
            return false;
        }
    }
    return false;
}

}  // namespace

bool ParseDotted(std::string_view text, Name& name, bool plusBeforeTypeOnly) {
    name.clear();
    if (text.empty()) return false;
    RelativeName relative;
    NamePart part;
    std::string current;
    bool sawType = false;
    auto endPart = [&]() -> bool {
        if (current.empty()) return false;
        if (!sawType) part.type.clear();
        part.value = std::move(current);
        current.clear();
        relative.push_back(std::move(part));
        part = NamePart{};
        sawType = false;
        return true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (i + 1 >= text.size()) return false;
            current += text[++i];
        } else if (c == '=' && !sawType) {
            if (current.empty()) return false;
            part.type = Upper(current);
            current.clear();
            sawType = true;
        } else if (c == '+' && plusBeforeTypeOnly && !PartIsTyped(text, i + 1)) {
            current += c;
        } else if (c == '+') {
            if (!endPart()) return false;
        } else if (c == '.') {
            if (!endPart()) return false;
            name.push_back(std::move(relative));
            relative.clear();
        } else {
            current += c;
        }
    }
    if (!endPart()) return false;
    name.push_back(std::move(relative));
    return true;
}

std::string DottedText(const Name& name, bool typeless,
                       const std::function<std::string(std::string_view)>& typeName) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i) out += '.';
        for (size_t j = 0; j < name[i].size(); ++j) {
            if (j) out += '+';
            if (!typeless && !name[i][j].type.empty()) {
                std::string shown = typeName ? typeName(name[i][j].type) : std::string();
                // A type may hold dots too (an OID): escaped like a value.
                out += EscapeDottedValue(shown.empty() ? Upper(name[i][j].type) : shown);
                out += '=';
            }
            // "[Root]" is the top of the tree, not the entry of that name;
            // typed too, as an embedded directory writes it ("CN=\[Root]").
            if (j == 0 && SpellsSpecialName(name[i][j].value)) out += '\\';
            out += EscapeDottedValue(name[i][j].value);
        }
    }
    return out;
}

std::string ImageDottedText(const Name& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i) out += '.';
        for (size_t j = 0; j < name[i].size(); ++j) {
            if (j) out += '+';
            // As the live client writes it: "\[Root]", not the top of the tree.
            if (j == 0 && SpellsSpecialName(name[i][j].value)) out += '\\';
            for (char c : name[i][j].value) {
                if (c == '.' || c == '\\' || c == '=') out += '\\';
                out += c;
            }
        }
    }
    return out;
}

bool RelativeTo(const Name& full, const Name& base, Name& relative) {
    const auto under = [&] {
        if (base.size() > full.size()) return false;
        const size_t offset = full.size() - base.size();
        for (size_t i = 0; i < base.size(); ++i) {
            const RelativeName& a = full[offset + i];
            const RelativeName& b = base[i];
            if (a.size() != b.size()) return false;
            for (size_t j = 0; j < a.size(); ++j) {
                if (!SameNoCase(a[j].type, b[j].type) || !SameNoCase(a[j].value, b[j].value)) {
                    return false;
                }
            }
        }
        return true;
    };
    if (!under()) {
        relative.clear();
        return false;
    }
    // Copied into the room relative has.
    relative.assign(full.begin(), full.end() - static_cast<std::ptrdiff_t>(base.size()));
    return true;
}

Name Under(const Name& relative, const Name& base) {
    Name full = relative;
    full.insert(full.end(), base.begin(), base.end());
    return full;
}

bool IsRootName(std::string_view name) {
    return SameNoCase(name, "[Root]");
}

}  // namespace vellrun::client::ldap
