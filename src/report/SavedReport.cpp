#include "report/SavedReport.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/IniFile.h"
#include "platform/RegularFile.h"
#include "platform/TextEncoding.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <cstdint>

namespace vellrun::report {

namespace {

constexpr std::string_view kGeneral = "General";
constexpr std::string_view kOutput = "Output";
constexpr std::string_view kObject = "Object";
constexpr std::string_view kAttributes = "Attributes";
constexpr std::string_view kFilter = "Filter";

using platform::TrimBlanks;

// The start of a value for a message: its first line, at most 60 bytes (cut
// where a character begins), with an ellipsis when anything was left out.
std::string Shown(std::string_view text) {
    const size_t cut = platform::Utf8CharacterBoundary(
        text, std::min({text.size(), text.find('\r'), text.find('\n'), size_t{60}}));
    return std::string(text.substr(0, cut)) + (cut < text.size() ? "\u2026" : "");
}

// The bytes of an existing file; a missing file is empty when missingIsEmpty.
// Only a regular file is read: a FIFO is refused at once instead of hanging.
platform::FileStatus ReadFile(const std::filesystem::path& file, std::string& bytes,
                              bool missingIsEmpty) {
    bool missing = false;
    platform::FileStatus status = platform::ReadRegularFile(file, bytes, SIZE_MAX, 0, &missing);
    if (missing && missingIsEmpty) return platform::FileStatus::Ok();
    return status;
}

// Reads the file's numbers, remembering the first one that is not a number.
class NumberReader {
public:
    explicit NumberReader(const platform::IniText& ini) : ini_(ini) {}

    int32_t Integer(std::string_view section, std::string_view key, int32_t defaultValue) {
        const auto text = ini_.ReadValue(section, key);
        if (!text) return defaultValue;
        if (const auto value = platform::ParseDecimalInt(*text)) return *value;
        if (problem_.empty()) {
            problem_ = "\"" + std::string(key) + "\" in [" + std::string(section) +
                       "] is not a whole number: \"" + *text + "\"";
        }
        return defaultValue;
    }
    // True for any non-zero whole number; anything else that is not a whole
    // number ("true", "yes") reads as the default, as it always has.
    bool Boolean(std::string_view section, std::string_view key, bool defaultValue) {
        const auto text = ini_.ReadValue(section, key);
        if (!text) return defaultValue;
        const auto value = platform::ParseDecimalInt(*text);
        return value ? *value != 0 : defaultValue;
    }
    const std::string& Problem() const { return problem_; }

private:
    const platform::IniText& ini_;
    std::string problem_;
};

// Why a line of [Attributes] cannot be read, with its number in the file
// (from 1): one with a value but no key, or one without "=". The INI reader
// skips such a line, which would silently drop a column, so the load refuses
// the file.
std::optional<std::string> BrokenAttributeLine(std::string_view text) {
    bool inSection = false;
    size_t number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = TrimBlanks(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            std::string_view name = line.substr(1);
            name = TrimBlanks(name.substr(0, name.find(']')));
            inSection = platform::IniNamesEqual(name, kAttributes);
        } else if (inSection && line.front() == '=') {
            return "line " + std::to_string(number) +
                   " of the file (in the [Attributes] section) has no key before its \"=\"";
        } else if (inSection && line.find('=') == std::string_view::npos) {
            return "line " + std::to_string(number) + " of the file (\"" + std::string(line) +
                   "\", in the [Attributes] section) has no \"=\" before the attribute's name";
        }
    }
    return std::nullopt;
}

std::string FilterKey(std::string_view name, size_t row) {
    return std::string(name) + " " + std::to_string(row + 1);
}

}  // namespace

std::string SavedReport::ValidityProblem(const ReportSpec& spec) {
    if (spec.Kind != ReportKind::ByObject && spec.Kind != ReportKind::ByType) {
        return "only reports on one object (Report Type 1) or on all objects of a class "
               "(Report Type 2) run from a file; this one has Report Type " +
               std::to_string(static_cast<int32_t>(spec.Kind));
    }
    if (spec.TreeName.empty()) return "no tree is named ([General] Tree)";
    if (spec.Container.empty()) return "no container is named ([General] Container)";
    if (spec.ObjectClass.empty()) return "no object class is named ([Object] Type)";
    if (spec.Kind == ReportKind::ByObject && spec.ObjectName.empty()) {
        return "no object is named ([Object] Name)";
    }
    if (spec.Kind == ReportKind::ByType && spec.Attributes.empty()) {
        return "no attribute is listed ([Attributes])";
    }
    return {};
}

platform::FileStatus SavedReport::Store(const ReportSpec& spec, const std::filesystem::path& file) {
    const std::string target = "\"" + file.string() + "\"";
    // A line break cannot be kept in a line of the file; refuse before any
    // write rather than store a report that reads back differently.
    std::vector<std::string_view> texts = {spec.Container, spec.TreeName, spec.OutputFile,
                                           spec.ObjectName, spec.ObjectClass};
    for (const std::string& attribute : spec.Attributes)
        texts.push_back(attribute);
    for (const FilterRow& row : spec.Filters) {
        texts.push_back(row.Attribute);
        texts.push_back(row.Value);
    }
    for (std::string_view text : texts) {
        if (platform::FindLineBreak(text) != std::string_view::npos) {
            return platform::FileStatus::Failed("Cannot store the report in " + target +
                                                ": the value \"" + Shown(text) +
                                                "\" holds a line break (CR or LF)");
        }
    }
    if (spec.Kind == ReportKind::ByType) {
        for (const std::string& attribute : spec.Attributes) {
            if (TrimBlanks(attribute).empty()) {
                return platform::FileStatus::Failed("Cannot store the report in " + target +
                                                    ": an attribute has no name");
            }
        }
    }

    // The keys are applied to the file's text in memory, and the finished
    // text replaces the file in one step.
    std::string existing;
    if (platform::FileStatus read = ReadFile(file, existing, true); !read.ok()) {
        return platform::FileStatus::Failed("Cannot store the report in " + target + ": " +
                                            read.error);
    }
    platform::IniText ini(existing);
    std::string error;
    // Every value is written so that it reads back exactly: a filter text
    // with a blank at an end, or enclosed in quotation marks, gets quotes.
    const auto put = [&](std::string_view section, std::string_view key, std::string_view value) {
        if (!error.empty()) return;
        const std::string stored = platform::IniPreserved(value);
        if (!platform::IniText::CanStore(section, key, stored)) {
            error = "the value of \"" + std::string(key) + "\" cannot be stored";
            return;
        }
        ini.WriteString(section, key, stored);
    };
    const auto flag = [](bool value) { return value ? "1" : "0"; };

    put(kGeneral, "Container", spec.Container);
    put(kGeneral, "Tree", spec.TreeName);
    put(kGeneral, "Report Type", std::to_string(static_cast<int32_t>(spec.Kind)));
    put(kOutput, "Type", std::to_string(static_cast<int32_t>(spec.Output)));
    put(kOutput, "File", spec.OutputFile);
    put(kOutput, "OrderBy", std::to_string(spec.OrderBy));
    if (spec.Kind == ReportKind::ByObject) put(kObject, "Name", spec.ObjectName);
    if (spec.Kind == ReportKind::ByType) {
        put(kGeneral, "Recursive", flag(spec.Recursive));
        ini.EraseSection(kAttributes);
        for (size_t i = 0; i < spec.Attributes.size(); ++i) {
            put(kAttributes, std::to_string(i), spec.Attributes[i]);
        }
        put(kFilter, "Filtered", flag(spec.Filtered));
        for (size_t row = 0; row < spec.Filters.size(); ++row) {
            put(kFilter, FilterKey("Filter Attr", row), spec.Filters[row].Attribute);
            put(kFilter, FilterKey("Filter", row), spec.Filters[row].Value);
            put(kFilter, FilterKey("Mode", row), flag(spec.Filters[row].MustContain));
        }
    }
    put(kObject, "Type", spec.ObjectClass);
    if (!error.empty()) {
        return platform::FileStatus::Failed("Cannot store the report in " + target + ": " + error);
    }
    return platform::AtomicFileWriter::Write(file, ini.Text());
}

SavedReport::LoadResult SavedReport::Load(const std::filesystem::path& file,
                                          const ReportSpec& current) {
    LoadResult result;
    const auto refuse = [&](std::string reason) {
        result.spec.reset();
        result.status = platform::FileStatus::Failed("Invalid Report File: " + file.string());
        result.reason = std::move(reason);
        return result;
    };

    // The file is read once; every key is looked up in that one text.
    std::string text;
    if (platform::FileStatus read = ReadFile(file, text, false); !read.ok()) {
        return refuse("the file cannot be read: " + read.error);
    }
    const platform::IniText ini(text);
    if (!ini.SectionExists(kGeneral)) return refuse("the file has no [General] section");

    NumberReader numbers(ini);
    ReportSpec spec = current;
    spec.Attributes.clear();
    spec.Kind = static_cast<ReportKind>(numbers.Integer(kGeneral, "Report Type", 0));
    spec.TreeName = ini.ReadString(kGeneral, "Tree", "");
    spec.Container = ini.ReadString(kGeneral, "Container", "");
    spec.ObjectClass = ini.ReadString(kObject, "Type", "");
    const int32_t output = numbers.Integer(kOutput, "Type", 0);
    spec.OutputFile = ini.ReadString(kOutput, "File", "");
    spec.OrderBy = numbers.Integer(kOutput, "OrderBy", -1);
    if (!numbers.Problem().empty()) return refuse(numbers.Problem());
    if (output < static_cast<int32_t>(OutputType::Csv) ||
        output > static_cast<int32_t>(OutputType::Xml)) {
        return refuse("unknown output type " + std::to_string(output) + " ([Output] Type)");
    }
    spec.Output = static_cast<OutputType>(output);

    if (spec.Kind == ReportKind::ByObject) {
        spec.ObjectName = ini.ReadString(kObject, "Name", "");
    } else if (spec.Kind == ReportKind::ByType) {
        spec.Recursive = numbers.Boolean(kGeneral, "Recursive", false);
        if (auto problem = BrokenAttributeLine(text)) return refuse(std::move(*problem));
        // A line with an empty name ("1=") is an empty column, kept in its place.
        for (const auto& [key, name] : ini.ReadSection(kAttributes))
            spec.Attributes.push_back(name);
        spec.Filtered = numbers.Boolean(kFilter, "Filtered", false);
        for (size_t row = 0; row < spec.Filters.size(); ++row) {
            FilterRow& filter = spec.Filters[row];
            filter.Attribute = ini.ReadString(kFilter, FilterKey("Filter Attr", row), "");
            filter.Value = ini.ReadString(kFilter, FilterKey("Filter", row), "");
            filter.MustContain = numbers.Boolean(kFilter, FilterKey("Mode", row), true);
        }
        if (!numbers.Problem().empty()) return refuse(numbers.Problem());
    }

    if (std::string problem = ValidityProblem(spec); !problem.empty()) {
        return refuse(std::move(problem));
    }
    result.spec = std::move(spec);
    return result;
}

std::string_view WithoutSwitchCharacters(std::string_view argument) {
    const size_t first = argument.find_first_not_of("/\\-");
    return first == std::string_view::npos ? std::string_view{} : argument.substr(first);
}

namespace {

// part, compared without regard to ASCII case, begins name and is not empty.
bool IsSwitchPrefix(std::string_view part, std::string_view name) {
    if (part.empty() || part.size() > name.size()) return false;
    for (size_t i = 0; i < part.size(); ++i) {
        if (platform::AsciiLower(part[i]) != name[i]) return false;
    }
    return true;
}

}  // namespace

bool IsQuitSwitch(std::string_view argument) {
    return IsSwitchPrefix(WithoutSwitchCharacters(argument), "quit");
}

std::optional<std::string> ReportOptionValue(std::string_view argument) {
    const size_t equals = argument.find('=');
    if (equals == std::string_view::npos ||
        !IsSwitchPrefix(WithoutSwitchCharacters(argument.substr(0, equals)), "report")) {
        return std::nullopt;
    }
    return std::string(argument.substr(equals + 1));
}

ReportCommandLine ParseReportCommandLine(const std::vector<std::string>& arguments) {
    ReportCommandLine line;
    bool reportFound = false;
    for (const std::string& argument : arguments) {
        if (IsQuitSwitch(argument)) line.quit = true;
        if (reportFound) continue;
        if (std::optional<std::string> file = ReportOptionValue(argument)) {
            reportFound = true;
            line.reportFile = std::move(*file);
        }
    }
    return line;
}

}  // namespace vellrun::report
