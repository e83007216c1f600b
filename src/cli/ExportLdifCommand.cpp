// export-ldif: a tree as LDIF under a base DN, with its schema as an LDAP
// schema file, to load with slapadd -s (without LDAP's schema checks).

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"
#include "client/ldap/LdifExport.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"

#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace vellrun::cli {

namespace {

// Where the schema goes: --schema-out, else FILE with the extension .schema.
std::filesystem::path SchemaFileOf(const CliOptions& options) {
    return options.schemaOut.value_or(
        std::filesystem::path(options.operands[1]).replace_extension(".schema"));
}

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 2) return "export-ldif needs exactly one FILE";
    const std::filesystem::path file = options.operands[1];
    const std::filesystem::path schemaFile = SchemaFileOf(options);
    if (SameFile(file, schemaFile)) {
        return "export-ldif would write the LDIF and the schema to the same file " + file.string() +
               "; name another with --schema-out FILE";
    }
    return std::nullopt;
}

// Writes every file or replaces none: each is made in full and put on disk
// beside its target first, and only then are they put in place, so that a
// target that cannot be written leaves the earlier files whole. Should a file
// still fail to be put in place once others were, that is said.
bool WriteAll(const std::vector<std::pair<std::filesystem::path, std::string>>& files,
              std::ostream& err) {
    const auto failed = [&err](const platform::FileStatus& status) {
        if (!status.ok()) err << "vellrun-cli: " << status.error << '\n';
        return !status.ok();
    };
    std::vector<std::unique_ptr<platform::AtomicFileWriter>> writers;
    for (const auto& [path, text] : files) {
        writers.push_back(std::make_unique<platform::AtomicFileWriter>(path));
        platform::FileStatus status = writers.back()->Begin();
        if (status.ok()) status = writers.back()->Append(text);
        if (status.ok()) status = writers.back()->Flush();
        if (failed(status)) return false;
    }
    for (size_t i = 0; i < writers.size(); ++i) {
        if (!failed(writers[i]->Commit())) continue;
        for (size_t done = 0; done < i; ++done) {
            err << "vellrun-cli: " << files[done].first.string()
                << " was replaced all the same; it no longer matches the other file\n";
        }
        return false;
    }
    return true;
}

int Run(CommandServices& s) {
    const std::string tree = ChooseTree(s.access, s.options.tree, s.err);
    if (tree.empty()) return kExitFailure;
    std::string base = s.options.exportBase.value_or("");
    if (base.empty()) {
        std::string dc;
        for (char c : tree) {
            if (platform::IsAsciiLetterOrDigit(c) || c == '-') dc += platform::AsciiLower(c);
        }
        base = "dc=" + (dc.empty() ? std::string("vellrun") : dc);
    }
    const std::filesystem::path file = s.options.operands[1];
    const std::filesystem::path schemaFile = SchemaFileOf(s.options);
    std::ostringstream ldif, schema;
    const client::ldap::LdifExportResult result =
        client::ldap::ExportLdif(s.access.Client(), {tree, base}, ldif, schema);
    if (result.result != 0) {
        s.err << "vellrun-cli: export-ldif: " << result.error << '\n';
        return kExitFailure;
    }
    if (!WriteAll({{file, ldif.str()}, {schemaFile, schema.str()}}, s.err)) return kExitFailure;
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
