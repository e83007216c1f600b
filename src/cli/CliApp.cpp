#include "cli/CliApp.h"

#include "cli/ConsoleMessagePort.h"
#include "cli/ConsoleRunFeedback.h"
#include "directory/DirectoryAccess.h"
#include "platform/StringList.h"

#include <exception>
#include <utility>

namespace vellrun::cli {

namespace {

constexpr std::string_view kProgram = "vellrun-cli";

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

int RunList(directory::DirectoryAccess& access, platform::RunFeedback& feedback,
            const std::optional<std::string>& wantedTree, const std::string& container,
            std::ostream& out, std::ostream& err) {
    platform::StringList trees;
    access.DSScanTrees(trees);
    std::string tree;
    if (wantedTree) {
        const auto index = trees.IndexOf(*wantedTree);
        if (!index) {
            err << kProgram << ": tree \"" << *wantedTree << "\" is not connected\n";
            return CliApp::kFailure;
        }
        tree = trees.Text(*index);
    } else {
        if (trees.Empty()) {
            err << kProgram << ": no tree is connected\n";
            return CliApp::kFailure;
        }
        tree = trees.Text(0);
    }

    client::DirectoryClient& client = access.Client();
    client::ContextHandle context = 0;
    client::Result result = client.CreateContext(context);
    if (result != 0) {
        access.DSShowError(result, "Create Context");
        return CliApp::kFailure;
    }
    result = access.DSSetContext(context, tree, container);
    if (result == 0) result = access.DSSetTypeless(context, true);
    if (result != 0) {
        access.DSShowError(result, "Set Context \"" + container + "\"");
        client.FreeContext(context);
        return CliApp::kFailure;
    }
    platform::StringList lines;
    result = access.DSListContainer(context, container, nullptr, feedback.Cancel(), lines);
    client.FreeContext(context);
    // What was listed before a failure is not printed: the listing is incomplete.
    if (result != 0) {
        access.DSShowError(result, "List \"" + container + "\"");
        return CliApp::kFailure;
    }
    for (const auto& line : lines)
        out << line.text << '\n';
    return CliApp::kSuccess;
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
           "  vellrun-cli --help\n"
           "\n"
           "Options:\n"
           "  --image FILE   serve the directory image FILE alone instead of the\n"
           "                 configured connections\n"
           "  --tree NAME    the tree to use (list)\n"
           "  -h, --help     show this text\n"
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
    if (command == "trees") {
        if (operandCount != 0) return UsageError(err, "trees takes no operands");
        if (options.tree) return UsageError(err, "--tree applies to list only");
    } else if (command == "list") {
        if (operandCount != 1) return UsageError(err, "list needs exactly one CONTAINER");
    } else {
        return UsageError(err, "unknown command " + command);
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
    if (access.DSStartClient() != 0) return kFailure;

    const std::string& command = options.operands.front();
    if (command == "trees") return RunTrees(access, out);
    return RunList(access, feedback, options.tree, options.operands[1], out, err);
}

}  // namespace vellrun::cli
