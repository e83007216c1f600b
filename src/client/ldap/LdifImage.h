#pragma once

// An LDIF dump (ldapsearch -LLL, slapcat, export-ldif) with its LDAP schema
// files read into the embedded directory's in-memory tree, so that the
// embedded client reports on it offline as on any image. Names and values go
// through the same DN mapping and value parsers as a live server's, so the
// records are the ones the LDAP client would hand out for the same data.
//
// The tree's top ("[Root]") is the common suffix of every DN in the dump: the
// entry of that DN when the dump holds it (its attributes are the top's),
// else an empty top. Entries may come in any order; each one's parent must be
// in the dump. Attributes the schema does not know become case-ignoring
// strings (bytes when a value is not UTF-8 text); the server's own bookkeeping
// attributes (times, entry UUIDs and CSNs, structural class) become the
// entry's times and base class or are left out, as a server leaves them out
// of a read of every attribute. Per-value flags are the ones a live server
// implies (naming, base class, present); values have no time stamps.
//
// A faulty dump or schema file is refused whole: "FILE: line N: FAULT".

#include "client/image/ImageLoader.h"
#include "client/ldap/LdapSchema.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::client::ldap {

// Loads the dump at path with the schema files (as slapd reads them, or LDIF
// subschema entries) into one tree named treeName, or after the file (its
// name without the extension, cut to a tree name's 32 characters and without
// trailing "_") when treeName is empty.
image::LoadResult LoadLdifImage(const std::filesystem::path& path,
                                const std::vector<std::filesystem::path>& schemaFiles,
                                const std::string& treeName);

// The same from texts already read; displayName stands for the dump in
// messages and baseDir is where ":<" file URLs are looked for.
image::LoadResult LoadLdifText(std::string_view ldif, const std::string& displayName,
                               const std::filesystem::path& baseDir, const SchemaText& schema,
                               const std::string& treeName);

// True for a file the LDIF reader takes (".ldif", any case).
bool IsLdifFile(const std::filesystem::path& path);

}  // namespace vellrun::client::ldap
