#include "cli/CliApp.h"

#include "cli/ConsoleMessagePort.h"
#include "cli/ConsoleRunFeedback.h"
#include "directory/DirectoryAccess.h"
#include "platform/StringList.h"
#include "values/CellTextReader.h"
#include "values/SchemaDefinitions.h"
#include "values/ValueFormatting.h"

#include <array>
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
        if (handle_ != 0) access_.Client().FreeContext(handle_);
    }
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    // A context on the tree with container as its name context; false after
    // the directory's error has been shown.
    bool Open(const std::string& tree, const std::string& container, bool typeless) {
        client::Result result = access_.Client().CreateContext(handle_);
        if (result != 0) {
            handle_ = 0;
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
    client::ContextHandle handle_ = 0;
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
              const std::string& name, const output::AppSettings& settings,
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
           "  vellrun-cli [--image FILE] object [--tree NAME] [--max-size SIZE]\n"
           "              [--value-flags] [--time-stamps] OBJECT\n"
           "      Print every attribute that the classes of one object define, then\n"
           "      its six \"DSI: \" entry items: the name on a line of its own, each\n"
           "      line of the value indented by two blanks (\"(no value)\" when there\n"
           "      is none), then a blank line. OBJECT is a full name such as\n"
           "      jdoe.Sales.Corp.\n"
           "  vellrun-cli --help\n"
           "\n"
           "Options:\n"
           "  --image FILE     serve the directory image FILE alone instead of the\n"
           "                   configured connections\n"
           "  --tree NAME      the tree to use (list, object)\n"
           "  --max-size SIZE  longest value line in characters: 512, 4096 (the\n"
           "                   default), 65536 or none (object)\n"
           "  --value-flags    put each value's flags in front of it (object)\n"
           "  --time-stamps    put each value's modification time in front of it\n"
           "                   (object)\n"
           "  -h, --help       show this text\n"
           "\n"
           "Exit status: 0 success, 1 failure, 2 wrong usage.\n";
}

std::optional<std::string> CliApp::Parse(const std::vector<std::string>& args, Options& options) {
    bool onlyOperands = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
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
        if (TakeValue(args, i, "--image", value, problem)) {
            if (problem) return problem;
            options.image = std::filesystem::path(*value);
            continue;
        }
        if (TakeValue(args, i, "--tree", value, problem)) {
            if (problem) return problem;
            options.tree = *value;
            continue;
        }
        if (TakeValue(args, i, "--max-size", value, problem)) {
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
        if (arg == "--value-flags") {
            options.valueFlags = true;
            continue;
        }
        if (arg == "--time-stamps") {
            options.timeStamps = true;
            continue;
        }
        return "unknown option " + arg;
    }
    return std::nullopt;
}

int CliApp::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    if (auto problem = Parse(args, options)) return UsageError(err, *problem);
    if (options.help) {
        out << UsageText();
        return kSuccess;
    }
    if (options.operands.empty()) return UsageError(err, "no command given");
    const std::string& command = options.operands.front();
    const size_t operandCount = options.operands.size() - 1;
    const bool valueOptions = options.maxSizeIndex || options.valueFlags || options.timeStamps;
    if (command == "trees") {
        if (operandCount != 0) return UsageError(err, "trees takes no operands");
        if (options.tree) return UsageError(err, "--tree applies to list and object only");
    } else if (command == "list") {
        if (operandCount != 1) return UsageError(err, "list needs exactly one CONTAINER");
    } else if (command == "object") {
        if (operandCount != 1) return UsageError(err, "object needs exactly one OBJECT");
    } else {
        return UsageError(err, "unknown command " + command);
    }
    if (valueOptions && command != "object") {
        return UsageError(err, "--max-size, --value-flags and --time-stamps apply to object only");
    }

    try {
        return Execute(options, out, err);
    } catch (const std::exception& error) {
        err << kProgram << ": " << error.what() << '\n';
        return kFailure;
    }
}

int CliApp::Execute(const Options& options, std::ostream& out, std::ostream& err) {
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
    output::AppSettings settings =
        settings_ ? *settings_ : output::AppSettings::DialogDefaults(formats);
    if (options.maxSizeIndex) settings.MaxAttrSizeIndex = *options.maxSizeIndex;
    if (options.valueFlags) settings.ShowValueFlags = true;
    if (options.timeStamps) settings.ShowTimeStamps = true;
    values::ValueTextFormatter formatter(access, formats);
    access.SetValueFormatter(&formatter);
    if (access.DSStartClient() != 0) return kFailure;

    const std::string& command = options.operands.front();
    if (command == "trees") return RunTrees(access, out);
    if (command == "list")
        return RunList(access, feedback, options.tree, options.operands[1], out, err);
    return RunObject(access, options.tree, options.operands[1], settings, formats, out, err);
}

}  // namespace vellrun::cli
