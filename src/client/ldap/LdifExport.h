#pragma once

// Writes one tree of any directory client as LDIF, with an LDAP schema file
// for it, so that one data set can be loaded into a real server with
// slapadd -s: the tree keeps the directory's own class rules (abstract
// classes among an object's classes, a base entry of extensibleObject and
// top), which a load with LDAP's schema checks refuses. Every attribute and class of the
// tree's schema gets an LDAP definition of its own under Vellrun's private
// OID arc, named "vr" and the program's name without blanks, carrying the
// program's name, syntax, flags, bounds and identifier in X-NDS_* terms; the
// live client reads those back, so the loaded tree shows the same names,
// syntaxes and values as the source. Object classes are written as
// objectClass values (the definition of Object Class says, with
// X-NDS_LDAP_NAME, that it describes objectClass); creation and modification
// times as createTimestamp and modifyTimestamp. Everything hangs under the
// base DN given.
//
// Walks the tree through the DirectoryClient interface only; owns nothing.

#include "client/DirectoryClient.h"

#include <ostream>
#include <string>

namespace vellrun::client::ldap {

struct LdifExportOptions {
    std::string tree;  // the tree to write (its name as the client reports it)
    std::string base;  // the DN everything hangs under, written as an entry of its own
};

struct LdifExportResult {
    Result result = 0;
    std::string error;  // for a person: what failed where
    size_t entries = 0;
};

LdifExportResult ExportLdif(DirectoryClient& client, const LdifExportOptions& options,
                            std::ostream& ldif, std::ostream& schema);

// The LDAP name the export gives a program name ("Telephone Number" ->
// "vrTelephoneNumber").
std::string ExportedName(const std::string& programName);

}  // namespace vellrun::client::ldap
