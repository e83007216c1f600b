#pragma once

// Reads the content records of an LDIF file (RFC 2849): "version: 1", comments,
// folded lines, "dn:" with its attribute lines, base64 values ("::"), and
// values named by a URL (":<") when the URL is a file:// beside the dump (any
// other URL is refused: a dump must not make the program read elsewhere).
// Change records are refused. CR LF line ends are read like LF. Every fault
// names the line of the file where it lies.
//
// Plain functions over text; owns nothing and never talks to a server.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::client::ldap {

// One attribute line: the attribute description as written (type with any
// ";option"s) and the value, decoded.
struct LdifValue {
    size_t line = 0;
    std::string description;
    std::string value;
};

struct LdifRecord {
    size_t line = 0;  // the line of "dn:"
    std::string dn;
    std::vector<LdifValue> values;
};

// Parses the whole text; false with "line N: FAULT" in error (and records
// left empty) when anything in it is not a content record. baseDir is the
// dump's folder, the only place a ":<" URL may name.
bool ReadLdifRecords(std::string_view text, const std::filesystem::path& baseDir,
                     std::vector<LdifRecord>& records, std::string& error);

// The bytes of a base64 value ("name:: value", in a dump or a schema file):
// whole groups of four of the base64 alphabet, "=" padding at the end only.
// Nothing when the text is not that: a blank, a line break or any other
// character is a fault, not something to step over.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace vellrun::client::ldap
