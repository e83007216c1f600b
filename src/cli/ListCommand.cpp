// list: the entries of one container, one per line, in listing order.

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"
#include "platform/StringList.h"

namespace vellrun::cli {

namespace {

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 2) return "list needs exactly one CONTAINER";
    return std::nullopt;
}

int Run(CommandServices& s) {
    const std::string& container = s.options.operands[1];
    const std::string tree = ChooseTree(s.access, s.options.tree, s.err);
    if (tree.empty()) return kExitFailure;
    platform::StringList lines;
    {
        CommandContext context(s.access);
        if (!context.Open(tree, container, true)) return kExitFailure;
        const client::Result result =
            s.access.DSListContainer(context.Get(), container, nullptr, s.feedback.Cancel(), lines);
        // What was listed before a failure is not printed: the listing is incomplete.
        if (result != 0) {
            s.access.DSShowError(result, "List \"" + container + "\"");
            return kExitFailure;
        }
    }
    for (const auto& line : lines)
        s.out << line.text << '\n';
    return kExitSuccess;
}

}  // namespace

const Command kListCommand{
    "list",
    "list [--tree NAME] CONTAINER",
    "Print the entries of one container as \"base class: entry name\",\none per line, in "
    "listing order. CONTAINER is a full name such as\nSales.Corp (or [Root]); the tree is the "
    "first connected one\nunless --tree names another.",
    kTreeOption,
    "",
    CommandSettings::kNone,
    Check,
    nullptr,
    Run};

}  // namespace vellrun::cli
