// export-ldif: a tree as LDIF under a base DN, with its schema as an LDAP
// schema file, to load with slapadd -s (without LDAP's schema checks).

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"
#include "client/ldap/LdifExport.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace vellrun::cli {

namespace {

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 2) return "export-ldif needs exactly one FILE";
    return std::nullopt;
}

int Run(CommandServices& s) {
    const std::string tree = ChooseTree(s.access, s.options.tree, s.err);
    if (tree.empty()) return kExitFailure;
    std::string base = s.options.exportBase.value_or("");
    if (base.empty()) {
        std::string dc;
        for (char c : tree) {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '-')
                dc += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        base = "dc=" + (dc.empty() ? std::string("vellrun") : dc);
    }
    const std::filesystem::path file = s.options.operands[1];
    const std::filesystem::path schemaFile =
        s.options.schemaOut.value_or(std::filesystem::path(file).replace_extension(".schema"));
    std::ostringstream ldif, schema;
    const client::ldap::LdifExportResult result =
        client::ldap::ExportLdif(s.access.Client(), {tree, base}, ldif, schema);
    if (result.result != 0) {
        s.err << "vellrun-cli: export-ldif: " << result.error << '\n';
        return kExitFailure;
    }
    for (const auto& [path, text] :
         {std::pair{file, ldif.str()}, std::pair{schemaFile, schema.str()}}) {
        std::ofstream out(path, std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            s.err << "vellrun-cli: " << path.string() << ": cannot be written\n";
            return kExitFailure;
        }
    }
    s.err << result.entries << " entries of " << tree << " under " << base << " written to "
          << file.string() << ", the schema to " << schemaFile.string() << '\n';
    return kExitSuccess;
}

}  // namespace

const Command kExportLdifCommand{
    "export-ldif",
    "export-ldif [--tree NAME] [--base DN] [--schema-out FILE] FILE",
    "Write the tree as LDIF to FILE, every object under the base DN\n(default dc=TREENAME), "
    "and its schema as LDAP definitions with\nX-NDS_* terms, to load with slapadd -s: the "
    "directory's class\nrules are not LDAP's, and a load with schema checks refuses them.",
    kTreeOption | kLdifOptions,
    "",
    CommandSettings::kNone,
    Check,
    nullptr,
    Run};

}  // namespace vellrun::cli
