// Schema text as slapd's files or a subschema entry hold it, on any bytes:
// it is read or refused with a message, and whatever reads is loaded into
// definitions whose every name maps back to itself.

#include "FuzzSupport.h"
#include "client/ldap/LdapSchema.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vellrun::client::ldap;
    SchemaText text;
    std::string error;
    if (!ReadSchemaText(vellrun::fuzz::AsText(data, size), text, error)) {
        vellrun::fuzz::Check(!error.empty(), "a refusal without a message");
    }
    for (const std::string& syntax : text.ldapSyntaxes)
        OidForSyntax(SyntaxFromOid(syntax));
    LdapSchema schema;
    schema.Load(text);
    for (const auto& attribute : schema.Definitions().attributes) {
        const std::string ldapName = schema.LdapAttribute(attribute.name);
        vellrun::fuzz::Check(!ldapName.empty(), "a defined attribute without its LDAP name",
                             attribute.name);
        vellrun::fuzz::Check(!schema.ProgramAttribute(ldapName).empty(),
                             "an LDAP attribute name that maps to nothing", ldapName);
    }
    for (const auto& objectClass : schema.Definitions().classes) {
        const std::string ldapName = schema.LdapClass(objectClass.name);
        vellrun::fuzz::Check(!ldapName.empty(), "a defined class without its LDAP name",
                             objectClass.name);
        vellrun::fuzz::Check(!schema.ProgramClass(ldapName).empty(),
                             "an LDAP class name that maps to nothing", ldapName);
    }
    return 0;
}
