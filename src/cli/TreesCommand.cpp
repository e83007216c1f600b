// trees: the name of every connected tree, one per line.

#include "cli/CliCommand.h"
#include "platform/StringList.h"

namespace vellrun::cli {

namespace {

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 1) return "trees takes no operands";
    return std::nullopt;
}

int Run(CommandServices& s) {
    platform::StringList trees;
    s.access.DSScanTrees(trees);
    for (const auto& tree : trees)
        s.out << tree.text << '\n';
    return kExitSuccess;
}

}  // namespace

const Command kTreesCommand{
    "trees",     "trees", "Print the name of every connected directory tree, one per line.",
    kAnyCommand, "",      CommandSettings::kNone,
    Check,       nullptr, Run};

}  // namespace vellrun::cli
