#pragma once

// The console's command line: the record of what was asked (CliOptions) and
// the one table of options that fills it and writes their part of --help.
// Adding an option is one entry in the table (CliOptions.cpp) and, when it
// carries a value, one field here. Parsing is pure: it reads the arguments,
// fills the record and reports the first problem; it runs nothing.

#include "report/ReportSpec.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::cli {

// Which commands take an option: each command names the groups it accepts.
enum OptionGroup : uint32_t {
    kAnyCommand = 0,     // --image, --help: every command
    kTreeOption = 1,     // --tree
    kReportOptions = 2,  // what a by-type report searches and how it sorts
    kOutputOptions = 4,  // where the export goes
    kSaveOption = 8,     // --save-report
    kValueOptions = 16,  // how values become text
    kLdifOptions = 32,   // export-ldif: --base, --schema-out
};

struct OptionEntry;

struct CliOptions {
    std::optional<std::filesystem::path> image;
    uint64_t imageLimitMiB = 0;                      // --image-limit; 0: the loader's default
    std::vector<std::filesystem::path> schemaFiles;  // --schema, with an LDIF --image
    // One LDAP server for this run, in the manner of ldapsearch.
    std::optional<std::string> serverUri;     // -H
    std::optional<std::string> serverBase;    // -b
    std::optional<std::string> bindDn;        // -D
    std::optional<std::string> passwordFile;  // -y
    bool askPassword = false;                 // -W
    bool startTls = false;                    // -Z
    std::optional<std::string> caFile;        // --cafile
    // export-ldif
    std::optional<std::string> exportBase;
    std::optional<std::filesystem::path> schemaOut;
    std::optional<std::string> tree;
    std::optional<int> maxSizeIndex;  // AppSettings::MaxAttrSizeIndex
    bool valueFlags = false;
    bool timeStamps = false;
    std::optional<bool> typeless;
    std::optional<char> fieldDelimiter;
    std::optional<char> valueDelimiter;
    std::optional<char> quote;
    bool help = false;
    bool version = false;  // --version
    // report and schema
    std::optional<std::string> container;
    std::optional<std::string> objectClass;
    std::vector<std::string> attributes;
    bool recurse = false;
    std::vector<report::FilterRow> filters;
    std::optional<int> orderBy;
    std::optional<report::OutputType> output;
    std::optional<std::string> file;
    std::optional<std::filesystem::path> saveReport;
    // --report=FILE (every spelling of the report option), and the quit switch.
    std::optional<std::string> reportFile;
    bool quit = false;
    // The command and its operands, in the order given.
    std::vector<std::string> operands;
    // Every table option given, in the order given (a repeated one as often).
    std::vector<const OptionEntry*> given;
};

// One option of the table.
struct OptionEntry {
    std::string_view name;       // "--image"
    std::string_view alias;      // another spelling ("-h"), or empty
    std::string_view valueName;  // "FILE"; empty for a switch
    uint32_t group;              // OptionGroup
    // Its line(s) of --help; "\n" starts a continuation line.
    std::string_view help;
    // Stores the value (empty for a switch); the problem when the value is wrong.
    std::optional<std::string> (*apply)(CliOptions& options, const std::string& value);
};

// Fills options from args (the arguments after the program name); the first
// problem, in the words the usage error shows, or nothing.
std::optional<std::string> ParseArguments(const std::vector<std::string>& args,
                                          CliOptions& options);

// The options part of --help, in table order: a heading before each group
// of options that only some commands take, naming them (commandsTaking
// gives "report, schema" for a group).
std::string OptionsHelp(const std::function<std::string(uint32_t group)>& commandsTaking);

// "value options": the name of a group that --help shows under a heading of
// its own; empty for the others.
std::string GroupName(uint32_t group);

// The table itself, for the usage checks and the help text.
const std::vector<OptionEntry>& OptionTable();

// The --output name of an output type ("csv", "html", ...).
std::string_view OutputOptionName(report::OutputType type);

// "ATTR=TEXT" (must contain) or "ATTR!=TEXT" (must not contain).
std::optional<report::FilterRow> ParseFilter(const std::string& text);

}  // namespace vellrun::cli
