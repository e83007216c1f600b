#include "cli/CliOptions.h"

#include "platform/AsciiText.h"
#include "report/SavedReport.h"

#include <array>
#include <charconv>

namespace vellrun::cli {

namespace {

// The --max-size texts, by MaxAttrSizeIndex.
constexpr std::array<std::string_view, 4> kMaxSizes{"512", "4096", "65536", "none"};

// The --output names, by report::OutputType.
struct OutputName {
    std::string_view name;
    report::OutputType type;
};
constexpr std::array<OutputName, 5> kOutputs{{{"csv", report::OutputType::Csv},
                                              {"html", report::OutputType::Html},
                                              {"xml", report::OutputType::Xml},
                                              {"xls", report::OutputType::Excel},
                                              {"clipboard", report::OutputType::Clipboard}}};

std::optional<char> ParseCharacter(const std::string& value, bool noneAllowed) {
    if (value.size() == 1) return value[0];
    if (value == "tab") return '\t';
    if (noneAllowed && value == "none") return '\0';
    return std::nullopt;
}

using Problem = std::optional<std::string>;

const std::vector<OptionEntry> kOptions = {
    {"--image", "", "FILE", kAnyCommand,
     "serve the directory image FILE (or an LDIF dump,\n.ldif) alone instead of the configured "
     "connections",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.image = std::filesystem::path(v);
         return std::nullopt;
     }},
    {"--image-limit", "", "MB", kAnyCommand,
     "let the octet values and streams of an image build up\nto MB mebibytes together (default: 64 "
     "times the\nimage file's size, plus 64)",
     [](CliOptions& o, const std::string& v) -> Problem {
         uint64_t mebibytes = 0;
         const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), mebibytes);
         if (error != std::errc() || end != v.data() + v.size() || mebibytes == 0 ||
             mebibytes > (UINT64_MAX >> 20)) {
             return "option --image-limit takes a number of mebibytes (1, 2, ...), not " + v;
         }
         o.imageLimitMiB = mebibytes;
         return std::nullopt;
     }},
    {"--schema", "", "FILE", kAnyCommand,
     "with --image DUMP.ldif: an LDAP schema file (as slapd\nreads it, or a subschema entry in "
     "LDIF) that\ndefines the dump's attributes and classes (repeatable)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.schemaFiles.push_back(std::filesystem::path(v));
         return std::nullopt;
     }},
    {"-H", "", "URI", kAnyCommand,
     "connect to the LDAP server at URI (ldap://, ldaps://,\nldapi://) instead of the configured "
     "connections;\nthe tree is named after the host",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.serverUri = v;
         return std::nullopt;
     }},
    {"-b", "", "BASE", kAnyCommand,
     "with -H: the DN that is the tree's top (default: the\nserver's naming context)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.serverBase = v;
         return std::nullopt;
     }},
    {"-D", "", "BINDDN", kAnyCommand,
     "with -H: bind as BINDDN with the password from -y FILE\n(a file only its owner may read) or "
     "-W (asked on\nthe terminal)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.bindDn = v;
         return std::nullopt;
     }},
    {"-y", "", "FILE", kAnyCommand, "with -H -D: the file that holds the password",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.passwordFile = v;
         return std::nullopt;
     }},
    {"-W", "", "", kAnyCommand, "with -H -D: ask for the password",
     [](CliOptions& o, const std::string&) -> Problem {
         o.askPassword = true;
         return std::nullopt;
     }},
    {"-Z", "", "", kAnyCommand, "with -H: StartTLS before binding (the certificate is verified)",
     [](CliOptions& o, const std::string&) -> Problem {
         o.startTls = true;
         return std::nullopt;
     }},
    {"--cafile", "", "FILE", kAnyCommand,
     "with -H: the PEM file of the authorities that the\nserver's certificate (ldaps://, -Z) is "
     "verified\nagainst (default: the system's)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.caFile = v;
         return std::nullopt;
     }},
    {"--base", "", "DN", kLdifOptions, "the DN every exported object goes under",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.exportBase = v;
         return std::nullopt;
     }},
    {"--schema-out", "", "FILE", kLdifOptions,
     "where the schema file goes (default: FILE with .schema)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.schemaOut = std::filesystem::path(v);
         return std::nullopt;
     }},
    {"--tree", "", "NAME", kTreeOption, "the tree to use",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.tree = v;
         return std::nullopt;
     }},
    {"--help", "-h", "", kAnyCommand, "show this text",
     [](CliOptions& o, const std::string&) -> Problem {
         o.help = true;
         return std::nullopt;
     }},
    {"--version", "", "", kAnyCommand, "show the program's version",
     [](CliOptions& o, const std::string&) -> Problem {
         o.version = true;
         return std::nullopt;
     }},
    // "--report=FILE" and the desktop's spellings never reach the table
    // (TakeReportLineArgument); this entry takes the file after a blank.
    {"--report", "", "FILE", kAnyCommand,
     "run the saved report FILE, as run FILE does (also\n--report=FILE, /report=FILE, r=FILE)",
     [](CliOptions& o, const std::string& v) -> Problem {
         if (!o.reportFile) o.reportFile = v;  // the first one counts
         return std::nullopt;
     }},
    {"--container", "", "CONTAINER", kReportOptions, "the container to search",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.container = v;
         return std::nullopt;
     }},
    {"--class", "", "CLASS", kReportOptions, "the class of the objects (\"*\": every object)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.objectClass = v;
         return std::nullopt;
     }},
    {"--attr", "", "NAME", kReportOptions, "one column, in the order given (repeatable)",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.attributes.push_back(v);
         return std::nullopt;
     }},
    {"--recurse", "", "", kReportOptions, "search every subcontainer as well",
     [](CliOptions& o, const std::string&) -> Problem {
         o.recurse = true;
         return std::nullopt;
     }},
    {"--filter", "", "COND", kReportOptions,
     "keep the objects whose ATTR value contains\n(ATTR=TEXT) or lacks (ATTR!=TEXT) the text, "
     "the\n"
     "case of A to Z ignored; [anything] and [nothing] as TEXT\ntest for any or no value; up to "
     "three, all must hold",
     [](CliOptions& o, const std::string& v) -> Problem {
         const std::optional<report::FilterRow> row = ParseFilter(v);
         if (!row) return "option --filter takes ATTR=TEXT or ATTR!=TEXT, not " + v;
         o.filters.push_back(*row);
         return std::nullopt;
     }},
    {"--order-by", "", "N", kReportOptions, "sort the rows by column N (0 is the full name)",
     [](CliOptions& o, const std::string& v) -> Problem {
         int column = -1;
         const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), column);
         if (error != std::errc() || end != v.data() + v.size() || column < 0)
             return "option --order-by takes a column number (0, 1, ...), not " + v;
         o.orderBy = column;
         return std::nullopt;
     }},
    {"--output", "", "KIND", kOutputOptions, "csv (the default), html, xml, xls or clipboard",
     [](CliOptions& o, const std::string& v) -> Problem {
         const std::string kind = platform::AsciiLowerCopy(v);
         for (const OutputName& output : kOutputs) {
             if (output.name == kind) {
                 o.output = output.type;
                 return std::nullopt;
             }
         }
         return "option --output takes csv, html, xml, xls or clipboard, not " + v;
     }},
    {"--file", "", "FILE", kOutputOptions,
     "write the export to FILE (needed for xls; - is standard\noutput); without it csv, html and "
     "xml "
     "go to standard\noutput as UTF-8",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.file = v;
         return std::nullopt;
     }},
    {"--save-report", "", "FILE", kSaveOption, "store the report that ran as a saved report",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.saveReport = std::filesystem::path(v);
         return std::nullopt;
     }},
    {"--max-size", "", "SIZE", kValueOptions,
     "longest value line in characters: 512, 4096, 65536 or\nnone",
     [](CliOptions& o, const std::string& v) -> Problem {
         for (size_t index = 0; index < kMaxSizes.size(); ++index) {
             if (v == kMaxSizes[index]) {
                 o.maxSizeIndex = static_cast<int>(index);
                 return std::nullopt;
             }
         }
         return "option --max-size takes 512, 4096, 65536 or none, not " + v;
     }},
    {"--value-flags", "", "", kValueOptions, "put each value's flags in front of it",
     [](CliOptions& o, const std::string&) -> Problem {
         o.valueFlags = true;
         return std::nullopt;
     }},
    {"--time-stamps", "", "", kValueOptions, "put each value's modification time in front of it",
     [](CliOptions& o, const std::string&) -> Problem {
         o.timeStamps = true;
         return std::nullopt;
     }},
    {"--typeless", "", "", kValueOptions, "names in values without their attribute types",
     [](CliOptions& o, const std::string&) -> Problem {
         o.typeless = true;
         return std::nullopt;
     }},
    {"--no-typeless", "", "", kValueOptions, "names in values with their attribute types",
     [](CliOptions& o, const std::string&) -> Problem {
         o.typeless = false;
         return std::nullopt;
     }},
    {"--field-delimiter", "", "C", kValueOptions, "one ASCII character or \"tab\"",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.fieldDelimiter = ParseCharacter(v, false);
         if (!o.fieldDelimiter)
             return "option --field-delimiter takes one ASCII character or \"tab\"";
         return std::nullopt;
     }},
    {"--value-delimiter", "", "C", kValueOptions, "one ASCII character or \"tab\"",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.valueDelimiter = ParseCharacter(v, false);
         if (!o.valueDelimiter)
             return "option --value-delimiter takes one ASCII character or \"tab\"";
         return std::nullopt;
     }},
    {"--quote", "", "C", kValueOptions, "one ASCII character, \"tab\" or \"none\"",
     [](CliOptions& o, const std::string& v) -> Problem {
         o.quote = ParseCharacter(v, true);
         if (!o.quote) return "option --quote takes one ASCII character, \"tab\" or \"none\"";
         return std::nullopt;
     }},
};

// The headings of the groups in --help; options of the other groups stand
// under "Options:" with the commands that take them in brackets.
struct GroupHeading {
    uint32_t group;
    std::string_view heading;
};
constexpr std::array<GroupHeading, 2> kHeadings{
    {{kOutputOptions, "Output options"}, {kValueOptions, "Value options"}}};

// The desktop's command-line spellings of the report option and the quit
// switch, by the saved report's rules (report::ReportOptionValue,
// report::IsQuitSwitch), with the console's "-" as one more switch character:
// "/REPORT=F", "r=F" and "--rep=F" name the saved report (the first one
// counts); "/q", "--quit" and "-QUI" ask to quit. A bare word ("q", "qu")
// asks to quit only beside the report option (see ParseArguments), so that
// it stays an operand of the other commands.
bool TakeReportLineArgument(const std::string& arg, CliOptions& options) {
    if (std::optional<std::string> file = report::ReportOptionValue(arg)) {
        if (!options.reportFile) options.reportFile = std::move(*file);  // the first one counts
        return true;
    }
    if (report::WithoutSwitchCharacters(arg).size() < arg.size() && report::IsQuitSwitch(arg)) {
        options.quit = true;
        return true;
    }
    return false;
}

}  // namespace

const std::vector<OptionEntry>& OptionTable() {
    return kOptions;
}

std::string GroupName(uint32_t group) {
    for (const GroupHeading& heading : kHeadings)
        if (heading.group == group) return platform::AsciiLowerCopy(heading.heading);
    return {};
}

std::string_view OutputOptionName(report::OutputType type) {
    for (const OutputName& output : kOutputs)
        if (output.type == type) return output.name;
    return {};
}

std::optional<report::FilterRow> ParseFilter(const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return std::nullopt;
    report::FilterRow row;
    row.MustContain = !(equals > 0 && text[equals - 1] == '!');
    row.Attribute = text.substr(0, row.MustContain ? equals : equals - 1);
    row.Value = text.substr(equals + 1);
    if (row.Attribute.empty() || row.Value.empty()) return std::nullopt;
    return row;
}

std::optional<std::string> ParseArguments(const std::vector<std::string>& args,
                                          CliOptions& options) {
    bool onlyOperands = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!onlyOperands && TakeReportLineArgument(arg, options)) continue;
        if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
            options.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyOperands = true;
            continue;
        }
        // "--name", "--name VALUE" or "--name=VALUE".
        const size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const OptionEntry* entry = nullptr;
        for (const OptionEntry& option : kOptions) {
            if (option.name == name || (!option.alias.empty() && option.alias == name))
                entry = &option;
        }
        if (entry == nullptr) return "unknown option " + arg;
        std::string value;
        if (entry->valueName.empty()) {
            if (equals != std::string::npos)
                return "option " + std::string(name) + " takes no value";
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (!entry->valueName.empty() && value.empty())
            return "option " + std::string(entry->name) + " needs a value";
        if (auto problem = entry->apply(options, value)) return problem;
        options.given.push_back(entry);
    }
    // Beside the report option a bare "q", "qu" or "QUIT" is the quit switch.
    if (options.reportFile) {
        std::erase_if(options.operands, [&options](const std::string& operand) {
            const bool quit =
                report::IsQuitSwitch(operand) && operand.find('=') == std::string::npos;
            options.quit = options.quit || quit;
            return quit;
        });
    }
    return std::nullopt;
}

std::string OptionsHelp(const std::function<std::string(uint32_t group)>& commandsTaking) {
    constexpr size_t kHelpColumn = 19;
    std::string text = "Options:\n";
    std::optional<uint32_t> headed;
    for (const OptionEntry& option : kOptions) {
        for (const GroupHeading& heading : kHeadings) {
            if (heading.group == option.group && headed != option.group) {
                text += std::string(heading.heading) + " (" + commandsTaking(option.group) + "):\n";
                headed = option.group;
            }
        }
        std::string left = "  " + std::string(option.name);
        if (!option.alias.empty()) left = "  " + std::string(option.alias) + ", " + left.substr(2);
        if (!option.valueName.empty()) left += " " + std::string(option.valueName);
        std::string help(option.help);
        if (option.group != kAnyCommand && headed != option.group)
            help += " (" + commandsTaking(option.group) + ")";
        left += left.size() + 1 < kHelpColumn ? std::string(kHelpColumn - left.size(), ' ')
                                              : std::string("\n") + std::string(kHelpColumn, ' ');
        for (size_t start = 0; start <= help.size();) {
            size_t end = help.find('\n', start);
            if (end == std::string::npos) end = help.size();
            text += (start == 0 ? left : std::string(kHelpColumn, ' ')) +
                    help.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
    return text;
}

}  // namespace vellrun::cli
