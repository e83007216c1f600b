#include "cli/CliApp.h"

#include "cli/ConsoleMessagePort.h"
#include "cli/ConsoleRunFeedback.h"
#include "cli/ReportCommand.h"
#include "directory/DirectoryAccess.h"
#include "platform/StringList.h"
#include "report/ReportSpec.h"
#include "report/SavedReport.h"
#include "settings/SettingsStore.h"
#include "values/CellTextReader.h"
#include "values/SchemaDefinitions.h"
#include "values/ValueFormatting.h"

#include <array>
#include <cctype>
#include <charconv>
#include <ctime>
#include <exception>
#include <utility>

namespace vellrun::cli {

namespace {

constexpr std::string_view kProgram = "vellrun-cli";
// What `object` prints for an attribute without a value (or one that cannot be read).
constexpr std::string_view kNoValue = "(no value)";

int UsageError(std::ostream& err, std::string_view problem) {
    err << kProgram << ": " << problem << "\n\n" << CliApp::UsageText();
    return CliApp::kUsage;
}

// Takes the value of "--name VALUE" or "--name=VALUE"; false when arg is another option.
bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string_view name,
               std::optional<std::string>& value, std::optional<std::string>& problem) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            problem = "option " + std::string(name) + " needs a value";
        } else {
            value = args[++i];
        }
        return true;
    }
    const std::string prefix = std::string(name) + "=";
    if (arg.rfind(prefix, 0) == 0) {
        value = arg.substr(prefix.size());
        if (value->empty()) problem = "option " + std::string(name) + " needs a value";
        return true;
    }
    return false;
}

int RunTrees(directory::DirectoryAccess& access, std::ostream& out) {
    platform::StringList trees;
    access.DSScanTrees(trees);
    for (const auto& tree : trees)
        out << tree.text << '\n';
    return CliApp::kSuccess;
}

// The tree named by --tree (compared without regard to case), else the first
// connected one; empty after telling why there is none.
std::string ChooseTree(directory::DirectoryAccess& access,
                       const std::optional<std::string>& wantedTree, std::ostream& err) {
    platform::StringList trees;
    access.DSScanTrees(trees);
    if (wantedTree) {
        const auto index = trees.IndexOf(*wantedTree);
        if (!index) {
            err << kProgram << ": tree \"" << *wantedTree << "\" is not connected\n";
            return {};
        }
        return trees.Text(*index);
    }
    if (trees.Empty()) {
        err << kProgram << ": no tree is connected\n";
        return {};
    }
    return trees.Text(0);
}

// A context of one command, freed when the command ends.
class CommandContext {
public:
    explicit CommandContext(directory::DirectoryAccess& access) : access_(access) {}
    ~CommandContext() {
        if (handle_ != client::ContextHandle{}) access_.Client().FreeContext(handle_);
    }
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    // A context on the tree with container as its name context; false after
    // the directory's error has been shown.
    bool Open(const std::string& tree, const std::string& container, bool typeless) {
        client::Result result = access_.Client().CreateContext(handle_);
        if (result != 0) {
            handle_ = client::ContextHandle{};
            access_.DSShowError(result, "Create Context");
            return false;
        }
        result = access_.DSSetContext(handle_, tree, container);
        if (result == 0) result = access_.DSSetTypeless(handle_, typeless);
        if (result != 0) {
            access_.DSShowError(result, "Set Context \"" + container + "\"");
            return false;
        }
        return true;
    }
    client::ContextHandle Get() const { return handle_; }

private:
    directory::DirectoryAccess& access_;
    client::ContextHandle handle_{};
};

int RunList(directory::DirectoryAccess& access, platform::RunFeedback& feedback,
            const std::optional<std::string>& wantedTree, const std::string& container,
            std::ostream& out, std::ostream& err) {
    const std::string tree = ChooseTree(access, wantedTree, err);
    if (tree.empty()) return CliApp::kFailure;
    platform::StringList lines;
    {
        CommandContext context(access);
        if (!context.Open(tree, container, true)) return CliApp::kFailure;
        const client::Result result =
            access.DSListContainer(context.Get(), container, nullptr, feedback.Cancel(), lines);
        // What was listed before a failure is not printed: the listing is incomplete.
        if (result != 0) {
            access.DSShowError(result, "List \"" + container + "\"");
            return CliApp::kFailure;
        }
    }
    for (const auto& line : lines)
        out << line.text << '\n';
    return CliApp::kSuccess;
}

// One attribute as a block: its name, each line of its cell text indented by
// two blanks (a cell's lines and the lines inside one value alike), a blank line.
void PrintBlock(std::ostream& out, std::string_view name, std::string_view cell) {
    out << name << '\n';
    if (cell.empty()) {
        out << "  " << kNoValue << '\n';
    } else {
        size_t start = 0;
        while (start <= cell.size()) {
            size_t end = cell.find_first_of("\r\n", start);
            if (end == std::string_view::npos) end = cell.size();
            out << "  " << cell.substr(start, end - start) << '\n';
            if (end == cell.size()) break;
            // CR LF is one line break; a lone CR or LF is one too.
            start = end +
                    ((cell[end] == '\r' && end + 1 < cell.size() && cell[end + 1] == '\n') ? 2 : 1);
        }
    }
    out << '\n';
}

int RunObject(directory::DirectoryAccess& access, const std::optional<std::string>& wantedTree,
              const std::string& name, const settings::AppSettings& settings,
              const platform::DateTimeFormats& formats, std::ostream& out, std::ostream& err) {
    const std::string tree = ChooseTree(access, wantedTree, err);
    if (tree.empty()) return CliApp::kFailure;
    CommandContext context(access);
    if (!context.Open(tree, "[Root]", settings.TypelessNames)) return CliApp::kFailure;

    // Seen from the top of the tree, a name is full with or without its dot.
    const std::string object = access.DSResolveName(context.Get(), name);
    std::string baseClass;
    const client::Result found = access.DSEntryClass(context.Get(), object, baseClass);
    if (found != 0) {
        access.DSShowError(found, "Read \"" + name + "\"");
        return CliApp::kFailure;
    }

    // The object lists its whole class chain (auxiliary classes included) in
    // "Object Class"; when that cannot be read, its base class stands alone.
    client::Result classesRead = 0;
    const std::string classText =
        access.DSReadColumnText(context.Get(), object, "Object Class", &classesRead);
    std::vector<std::string> classes;
    if (classesRead == 0) {
        size_t start = 0;
        while (start < classText.size()) {
            size_t end = classText.find("\r\n", start);
            if (end == std::string::npos) end = classText.size();
            if (end > start) classes.push_back(classText.substr(start, end - start));
            start = end + 2;
        }
    }
    if (classes.empty()) classes.push_back(baseClass);

    // Sorted without regard to case, each name once, as the one-object report lists them.
    platform::StringList attributes(true);
    for (const std::string& className : classes) {
        // A class whose definition cannot be read adds nothing, as in the report.
        values::ListClassDefinition(access, context.Get(), className, 5, attributes, false);
    }

    values::CellTextReader reader(access, settings, formats);
    for (const auto& attribute : attributes)
        PrintBlock(out, attribute.text, reader.GetAttrValue(context.Get(), object, attribute.text));
    for (std::string_view dsiName : values::CellTextReader::kDsiNames)
        PrintBlock(out, dsiName, reader.GetAttrValue(context.Get(), object, dsiName));
    return CliApp::kSuccess;
}

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

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsPrefixOf(std::string_view part, std::string_view word) {
    return !part.empty() && part.size() <= word.size() && word.substr(0, part.size()) == part;
}

// The desktop's command-line spellings of the report option and the quit
// switch ("/report=F", "r=F", "/q", ...) and the console's own "--report=F"
// and "--quit". The desktop's rules say what the value is; a bare word counts
// only as the report option (it holds "="), so operands such as "q" stay operands.
bool TakeReportLineArgument(const std::string& arg, std::optional<std::string>& reportFile,
                            bool& quit) {
    std::string_view rest(arg);
    const bool dashed = rest.size() > 2 && rest.substr(0, 2) == "--";
    const bool slashed = !rest.empty() && (rest[0] == '/' || rest[0] == '\\');
    if (dashed) rest.remove_prefix(2);
    while (!rest.empty() && (rest[0] == '/' || rest[0] == '\\'))
        rest.remove_prefix(1);
    const size_t equals = rest.find('=');
    if (equals != std::string_view::npos) {
        if (!IsPrefixOf(Lower(rest.substr(0, equals)), "report")) return false;
        const report::ReportCommandLine line =
            report::ParseReportCommandLine({"/" + std::string(rest)});
        if (!reportFile) reportFile = line.reportFile;  // the first one counts
        return true;
    }
    if ((dashed || slashed) && IsPrefixOf(Lower(rest), "quit")) {
        quit = true;
        return true;
    }
    return false;
}

// One character for --field-delimiter, --value-delimiter and --quote: the
// character itself, "tab", or for the quote "none" (fields without quotes).
std::optional<char> ParseCharacter(const std::string& value, bool noneAllowed) {
    if (value.size() == 1) return value[0];
    if (value == "tab") return '\t';
    if (noneAllowed && value == "none") return '\0';
    return std::nullopt;
}

// "ATTR=TEXT" (must contain) or "ATTR!=TEXT" (must not contain).
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

platform::DateTimeParts LocalNow() {
    return platform::LocalTimeOf(static_cast<uint32_t>(std::time(nullptr)));
}

}  // namespace

CliApp::CliApp(ClientMaker maker) : maker_(std::move(maker)) {}

std::string CliApp::UsageText() {
    return "Usage:\n"
           "  vellrun-cli [--image FILE] trees\n"
           "      Print the name of every connected directory tree, one per line.\n"
           "  vellrun-cli [--image FILE] list [--tree NAME] CONTAINER\n"
           "      Print the entries of one container as \"base class: entry name\",\n"
           "      one per line, in listing order. CONTAINER is a full name such as\n"
           "      Sales.Corp (or [Root]); the tree is the first connected one\n"
           "      unless --tree names another.\n"
           "  vellrun-cli [--image FILE] object [--tree NAME] [VALUE OPTIONS] OBJECT\n"
           "      Print every attribute that the classes of one object define, then\n"
           "      its six \"DSI: \" entry items: the name on a line of its own, each\n"
           "      line of the value indented by two blanks (\"(no value)\" when there\n"
           "      is none), then a blank line. OBJECT is a full name such as\n"
           "      jdoe.Sales.Corp.\n"
           "  vellrun-cli [--image FILE] report [--tree NAME] --container CONTAINER\n"
           "              --class CLASS --attr NAME [--attr NAME ...] [--recurse]\n"
           "              [--filter ATTR=TEXT | --filter ATTR!=TEXT ...] [--order-by N]\n"
           "              [OUTPUT OPTIONS] [VALUE OPTIONS]\n"
           "      Report every object of CLASS (\"*\": every object) in CONTAINER, one\n"
           "      row each: its full name, then the attributes in the order given.\n"
           "  vellrun-cli [--image FILE] schema classes|attributes [--tree NAME]\n"
           "              [OUTPUT OPTIONS]\n"
           "      Report the class or attribute definitions of the tree's schema.\n"
           "  vellrun-cli [--image FILE] run [VALUE OPTIONS] REPORTFILE\n"
           "  vellrun-cli [--image FILE] [VALUE OPTIONS] --report=REPORTFILE [--quit]\n"
           "      Run a saved report and export it as the file says (no output file:\n"
           "      the document on standard output). The desktop's spellings\n"
           "      /report=FILE, report=FILE, r=FILE and /quit are accepted too.\n"
           "  vellrun-cli --help\n"
           "\n"
           "Options:\n"
           "  --image FILE     serve the directory image FILE alone instead of the\n"
           "                   configured connections\n"
           "  --tree NAME      the tree to use (list, object, report, schema)\n"
           "  --recurse        report: search every subcontainer as well\n"
           "  --filter COND    report: keep the objects whose ATTR value contains\n"
           "                   (ATTR=TEXT) or lacks (ATTR!=TEXT) the text, letter\n"
           "                   case ignored; [anything] and [nothing] as TEXT test for\n"
           "                   any or no value; up to three, all must hold\n"
           "  --order-by N     report: sort the rows by column N (0 is the full name)\n"
           "Output options (report, schema):\n"
           "  --output KIND    csv (the default), html, xml, xls or clipboard\n"
           "  --file FILE      write the export to FILE (needed for xls); without it\n"
           "                   csv, html and xml go to standard output as UTF-8\n"
           "  --save-report FILE  store the report that ran as a saved report (report)\n"
           "Value options (object, report, schema, run); for report, schema and run\n"
           "the defaults come from the settings file shared with the desktop:\n"
           "  --max-size SIZE  longest value line in characters: 512, 4096, 65536 or\n"
           "                   none\n"
           "  --value-flags    put each value's flags in front of it\n"
           "  --time-stamps    put each value's modification time in front of it\n"
           "  --typeless, --no-typeless  names without or with their attribute types\n"
           "  --field-delimiter C, --value-delimiter C  one character or \"tab\"\n"
           "  --quote C        one character, \"tab\" or \"none\"\n"
           "  -h, --help       show this text\n"
           "\n"
           "Ctrl-C stops a report run; the rows found so far are exported.\n"
           "Exit status: 0 success, 1 failure, 2 wrong usage, 130 interrupted.\n";
}

std::optional<std::string> CliApp::Parse(const std::vector<std::string>& args, Options& options) {
    bool onlyOperands = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!onlyOperands && TakeReportLineArgument(arg, options.reportFile, options.quit))
            continue;
        if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
            options.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyOperands = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        std::optional<std::string> value;
        std::optional<std::string> problem;
        const auto take = [&](std::string_view name) {
            return TakeValue(args, i, name, value, problem);
        };
        if (take("--image")) {
            if (problem) return problem;
            options.image = std::filesystem::path(*value);
            continue;
        }
        if (take("--tree")) {
            if (problem) return problem;
            options.tree = *value;
            continue;
        }
        if (take("--max-size")) {
            if (problem) return problem;
            options.maxSizeIndex.reset();
            for (size_t index = 0; index < kMaxSizes.size(); ++index) {
                if (*value == kMaxSizes[index]) options.maxSizeIndex = static_cast<int>(index);
            }
            if (!options.maxSizeIndex) {
                return "option --max-size takes 512, 4096, 65536 or none, not " + *value;
            }
            continue;
        }
        if (take("--container")) {
            if (problem) return problem;
            options.container = *value;
            continue;
        }
        if (take("--class")) {
            if (problem) return problem;
            options.objectClass = *value;
            continue;
        }
        if (take("--attr")) {
            if (problem) return problem;
            options.attributes.push_back(*value);
            continue;
        }
        if (take("--filter")) {
            if (problem) return problem;
            if (!ParseFilter(*value))
                return "option --filter takes ATTR=TEXT or ATTR!=TEXT, not " + *value;
            options.filters.push_back(*value);
            continue;
        }
        if (take("--order-by")) {
            if (problem) return problem;
            int column = -1;
            const auto [end, error] =
                std::from_chars(value->data(), value->data() + value->size(), column);
            if (error != std::errc() || end != value->data() + value->size() || column < 0)
                return "option --order-by takes a column number (0, 1, ...), not " + *value;
            options.orderBy = column;
            continue;
        }
        if (take("--output")) {
            if (problem) return problem;
            const std::string kind = Lower(*value);
            bool known = false;
            for (const OutputName& output : kOutputs)
                known = known || output.name == kind;
            if (!known)
                return "option --output takes csv, html, xml, xls or clipboard, not " + *value;
            options.output = kind;
            continue;
        }
        if (take("--file")) {
            if (problem) return problem;
            options.file = *value;
            continue;
        }
        if (take("--save-report")) {
            if (problem) return problem;
            options.saveReport = std::filesystem::path(*value);
            continue;
        }
        if (take("--field-delimiter") || take("--value-delimiter") || take("--quote")) {
            if (problem) return problem;
            const bool isQuote = arg.rfind("--quote", 0) == 0;
            const std::optional<char> character = ParseCharacter(*value, isQuote);
            if (!character) return "option " + arg + " takes one character or \"tab\"";
            if (isQuote)
                options.quote = character;
            else if (arg.rfind("--field", 0) == 0)
                options.fieldDelimiter = character;
            else
                options.valueDelimiter = character;
            continue;
        }
        if (arg == "--value-flags") {
            options.valueFlags = true;
            continue;
        }
        if (arg == "--time-stamps") {
            options.timeStamps = true;
            continue;
        }
        if (arg == "--typeless" || arg == "--no-typeless") {
            options.typeless = arg == "--typeless";
            continue;
        }
        if (arg == "--recurse") {
            options.recurse = true;
            continue;
        }
        return "unknown option " + arg;
    }
    return std::nullopt;
}

std::optional<std::string> CliApp::CheckCommand(const Options& options) {
    if (options.reportFile || options.quit) {
        if (!options.reportFile || options.reportFile->empty())
            return "the report option needs a saved report file (--report=FILE)";
        if (!options.operands.empty()) return "a saved report (--report=FILE) takes no command";
    } else if (options.operands.empty()) {
        return "no command given";
    }
    const std::string command = options.reportFile ? "run" : options.operands.front();
    const size_t operandCount = options.reportFile ? 1 : options.operands.size() - 1;
    const bool valueOptions = options.maxSizeIndex || options.valueFlags || options.timeStamps ||
                              options.typeless || options.fieldDelimiter ||
                              options.valueDelimiter || options.quote;
    const bool reportOptions = options.container || options.objectClass ||
                               !options.attributes.empty() || options.recurse ||
                               !options.filters.empty() || options.orderBy;
    const bool outputOptions = options.output || options.file || options.saveReport;
    if (command == "trees") {
        if (operandCount != 0) return "trees takes no operands";
        if (options.tree) return "--tree does not apply to trees";
    } else if (command == "list") {
        if (operandCount != 1) return "list needs exactly one CONTAINER";
    } else if (command == "object") {
        if (operandCount != 1) return "object needs exactly one OBJECT";
    } else if (command == "report") {
        if (operandCount != 0) return "report takes options only";
        if (!options.container) return "report needs --container";
        if (!options.objectClass) return "report needs --class";
        if (options.attributes.empty()) return "report needs at least one --attr";
        if (options.filters.size() > report::kFilterRowCount)
            return "report takes up to three --filter";
    } else if (command == "schema") {
        if (operandCount != 1 ||
            (options.operands[1] != "classes" && options.operands[1] != "attributes"))
            return "schema needs classes or attributes";
        if (reportOptions) return "schema takes no report options";
        // A saved report runs an object report; a schema report stored in one
        // would be refused when run.
        if (options.saveReport) return "--save-report applies to report only";
    } else if (command == "run") {
        if (operandCount != 1) return "run needs exactly one REPORTFILE";
        if (options.tree || reportOptions || outputOptions)
            return "a saved report names its own tree, objects and output";
    } else {
        return "unknown command " + command;
    }
    if (command != "report" && command != "schema") {
        if (reportOptions)
            return "--container, --class, --attr, --recurse, --filter and --order-by apply to "
                   "report only";
        if (outputOptions)
            return "--output, --file and --save-report apply to report and schema only";
    }
    if (valueOptions && (command == "trees" || command == "list"))
        return "value options do not apply to " + command;
    if (options.output == "xls" && !options.file) return "--output xls needs --file";
    return std::nullopt;
}

int CliApp::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    if (auto problem = Parse(args, options)) return UsageError(err, *problem);
    if (options.help) {
        out << UsageText();
        return kSuccess;
    }
    if (auto problem = CheckCommand(options)) return UsageError(err, *problem);

    try {
        return Execute(options, out, err);
    } catch (const std::exception& error) {
        if (feedbackObserver_) feedbackObserver_(nullptr);
        err << kProgram << ": " << error.what() << '\n';
        return kFailure;
    }
}

settings::AppSettings CliApp::RunSettings(const Options& options,
                                          const platform::DateTimeFormats& formats) const {
    settings::AppSettings settings;
    if (settings_) {
        settings = *settings_;
    } else if (options.operands.empty() || options.operands.front() != "object") {
        // The file the desktop keeps, read as an unattended run reads it.
        const platform::IniFile file(settingsFile_ ? *settingsFile_
                                                   : settings::SettingsFilePath(true));
        settings = settings::getSettingsFromIni(file, formats);
    } else {
        // object shows values as the desktop's settings dialog starts out.
        settings = settings::AppSettings::DialogDefaults(formats);
    }
    if (options.maxSizeIndex) settings.MaxAttrSizeIndex = *options.maxSizeIndex;
    if (options.valueFlags) settings.ShowValueFlags = true;
    if (options.timeStamps) settings.ShowTimeStamps = true;
    if (options.typeless) settings.TypelessNames = *options.typeless;
    if (options.fieldDelimiter) settings.FieldDelimiter = *options.fieldDelimiter;
    if (options.valueDelimiter) settings.ValueDelimiter = *options.valueDelimiter;
    if (options.quote) settings.QuoteChar = *options.quote;
    return settings;
}

int CliApp::Execute(const Options& options, std::ostream& out, std::ostream& err) {
    const std::string command = options.reportFile ? std::string("run") : options.operands.front();

    // A saved report that cannot run is refused before any connection is made.
    std::optional<report::ReportSpec> saved;
    if (command == "run") {
        const std::filesystem::path file = options.reportFile
                                               ? std::filesystem::path(*options.reportFile)
                                               : std::filesystem::path(options.operands[1]);
        report::SavedReport::LoadResult loaded = report::SavedReport::Load(file, {});
        if (!loaded.ok()) {
            err << loaded.message << '\n';
            if (!loaded.reason.empty()) err << "  " << loaded.reason << '\n';
            return kFailure;
        }
        saved = std::move(loaded.spec);
    }

    client::ClientOptions clientOptions;
    clientOptions.image = options.image;
    std::unique_ptr<client::DirectoryClient> client = maker_(clientOptions);
    if (!client) {
        err << kProgram << ": no directory client is available\n";
        return kFailure;
    }
    ConsoleMessagePort messages(err);
    ConsoleRunFeedback feedback;
    directory::DirectoryAccess access(*client, messages, feedback);
    const platform::DateTimeFormats formats =
        formats_ ? *formats_ : platform::DateTimeFormats::FromLocale();
    const bool needsSettings = command != "trees" && command != "list";
    const settings::AppSettings settings =
        needsSettings ? RunSettings(options, formats) : settings::AppSettings{};
    values::ValueTextFormatter formatter(access, formats);
    access.SetValueFormatter(&formatter);
    if (access.DSStartClient() != 0) return kFailure;

    if (command == "trees") return RunTrees(access, out);
    if (command == "list")
        return RunList(access, feedback, options.tree, options.operands[1], out, err);
    if (command == "object")
        return RunObject(access, options.tree, options.operands[1], settings, formats, out, err);

    report::ReportSpec spec;
    if (saved) {
        spec = *saved;
        spec.Tree = nullptr;
    } else {
        spec.Container = options.container.value_or("[Root]");
        if (command == "report") {
            spec.Kind = report::ReportKind::ByType;
            spec.ObjectClass = *options.objectClass;
            spec.Attributes = options.attributes;
            spec.Recursive = options.recurse;
            spec.Filtered = !options.filters.empty();
            for (size_t i = 0; i < options.filters.size(); ++i)
                spec.Filters[i] = *ParseFilter(options.filters[i]);
            spec.OrderBy = options.orderBy.value_or(-1);
        } else {
            spec.Kind = options.operands[1] == "classes" ? report::ReportKind::SchemaClasses
                                                         : report::ReportKind::SchemaAttributes;
        }
        for (const OutputName& output : kOutputs)
            if (output.name == options.output.value_or("csv")) spec.Output = output.type;
        spec.OutputFile = options.file.value_or("");
    }
    spec.TreeName = ChooseTree(access, saved ? std::optional(spec.TreeName) : options.tree, err);
    if (spec.TreeName.empty()) return kFailure;

    ReportCommand report(ReportCommand::Services{access, settings, formats, feedback, messages,
                                                 now_ ? *now_ : LocalNow(), showProgress_, out,
                                                 err});
    if (feedbackObserver_) feedbackObserver_(&feedback);
    const int code = report.Run(spec, options.saveReport);
    if (feedbackObserver_) feedbackObserver_(nullptr);
    return code;
}

}  // namespace vellrun::cli
