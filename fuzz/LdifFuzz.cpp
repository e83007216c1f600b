// An LDIF dump on any text, read with a small schema: it becomes one tree in
// which every entry lies under the entry that holds it, or it is refused with
// one valid UTF-8 message that names the dump.

#include "FuzzSupport.h"
#include "client/ldap/LdifImage.h"
#include "platform/TextEncoding.h"

#include <string>
#include <vector>

namespace {

using namespace vellrun;

constexpr std::string_view kName = "fuzz.ldif";

// The attributes and classes the seeds use, in each of the syntaxes the
// values are read by (text, DN, integer, binary, time).
constexpr std::string_view kSchema = R"(
attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )
attributetype ( 2.5.4.11 NAME 'ou' SUP name )
attributetype ( 2.5.4.13 NAME 'description' SUP name )
attributetype ( 2.5.4.31 NAME 'member' SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )
attributetype ( 1.3.6.1.4.1.99999.1.1 NAME 'testCount'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
attributetype ( 1.3.6.1.4.1.99999.1.2 NAME 'testPhoto'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )
attributetype ( 1.3.6.1.4.1.99999.1.3 NAME 'testTime'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 X-NDS_NAME 'Login Time' )
objectclass ( 2.5.6.5 NAME 'organizationalUnit' SUP top STRUCTURAL MUST ou
	MAY description )
objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST cn
	MAY ( description $ testCount $ testPhoto $ testTime ) )
objectclass ( 2.5.6.9 NAME 'groupOfNames' SUP top STRUCTURAL MUST ( cn $ member ) )
)";

const client::ldap::SchemaText& Schema() {
    static const client::ldap::SchemaText schema = [] {
        client::ldap::SchemaText text;
        std::string error;
        fuzz::Check(client::ldap::ReadSchemaText(kSchema, text, error),
                    "the target's own schema is refused", error);
        return text;
    }();
    return schema;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // ":<" file URLs may only name files in a folder of our own.
    const client::image::LoadResult result = client::ldap::LoadLdifText(
        fuzz::AsText(data, size), std::string(kName), fuzz::ScratchDir(), Schema(), "FUZZ");
    if (!result.image) {
        fuzz::Check(result.status.error.starts_with(std::string(kName) + ": "),
                    "a refusal that does not name the dump", result.status.error);
        fuzz::Check(platform::IsValidUtf8(result.status.error), "a refusal that is not UTF-8",
                    result.status.error);
        return 0;
    }
    fuzz::Check(result.status.error.empty(), "a loaded dump comes with a message",
                result.status.error);
    fuzz::Check(result.image->trees.size() == 1, "a dump that is not one tree");
    const client::image::Tree& tree = *result.image->trees.front();
    fuzz::Check(tree.root && tree.root->IsRoot(), "a tree without its top");
    // Every entry is reached from the top once, and names its holder as its parent.
    std::vector<const client::image::Entry*> open{tree.root.get()};
    while (!open.empty()) {
        const client::image::Entry* entry = open.back();
        open.pop_back();
        for (const auto& child : entry->children) {
            fuzz::Check(child->parent == entry, "an entry that does not name its holder",
                        child->name);
            fuzz::Check(!child->name.empty(), "an entry without a name");
            open.push_back(child.get());
        }
    }
    return 0;
}
