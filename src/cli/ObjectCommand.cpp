// object: one object as the single-object report shows it, each attribute a
// block of its name and its indented value lines.

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"
#include "platform/StringList.h"
#include "values/CellTextReader.h"
#include "values/SchemaDefinitions.h"

namespace vellrun::cli {

namespace {

// What `object` prints for an attribute without a value (or one that cannot be read).
constexpr std::string_view kNoValue = "(no value)";

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 2) return "object needs exactly one OBJECT";
    return std::nullopt;
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

int Run(CommandServices& s) {
    const std::string& name = s.options.operands[1];
    directory::DirectoryAccess& access = s.access;
    const std::string tree = ChooseTree(access, s.options.tree, s.err);
    if (tree.empty()) return kExitFailure;
    CommandContext context(access);
    if (!context.Open(tree, "[Root]", s.settings.TypelessNames)) return kExitFailure;

    // Seen from the top of the tree, a name is full with or without its dot.
    const std::string object = access.DSResolveName(context.Get(), name);
    std::string baseClass;
    const client::Result found = access.DSEntryClass(context.Get(), object, baseClass);
    if (found != 0) {
        access.DSShowError(found, "Read \"" + name + "\"");
        return kExitFailure;
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

    values::CellTextReader reader(access, s.settings, s.formats);
    for (const auto& attribute : attributes)
        PrintBlock(s.out, attribute.text,
                   reader.GetAttrValue(context.Get(), object, attribute.text));
    for (std::string_view dsiName : values::CellTextReader::kDsiNames)
        PrintBlock(s.out, dsiName, reader.GetAttrValue(context.Get(), object, dsiName));
    return kExitSuccess;
}

}  // namespace

const Command kObjectCommand{
    "object",
    "object [--tree NAME] [VALUE OPTIONS] OBJECT",
    "Print every attribute that the classes of one object define, then\nits six \"DSI: \" entry "
    "items: the name on a line of its own, each\nline of the value indented by two blanks "
    "(\"(no value)\" when there\nis none), then a blank line. OBJECT is a full name such "
    "as\njdoe.Sales.Corp.",
    kTreeOption | kValueOptions,
    "",
    CommandSettings::kDialog,
    Check,
    nullptr,
    Run};

}  // namespace vellrun::cli
