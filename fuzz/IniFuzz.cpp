// The INI reader and writer on any file: the input is a section, a key and a
// value (one line each), then the file's bytes. After the file is read whole,
// the value is written, read back, its key deleted and its section erased;
// every other key and section must read the same before and after each
// write, a written value reads back (blanks and one pair of quotes removed)
// and a deleted key or erased section is gone.

#include "FuzzSupport.h"
#include "platform/IniFile.h"
#include "platform/TextEncoding.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace vellrun;
using Sections =
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

// Every section but the one named, as read now.
Sections OtherSections(const platform::IniFile& ini, std::string_view except) {
    Sections sections;
    for (const std::string& name : ini.ReadSectionNames()) {
        if (!platform::IniNamesEqual(name, except))
            sections.emplace_back(name, ini.ReadSection(name));
    }
    return sections;
}

// The keys of section but the one named, with their values, as read now.
std::vector<std::pair<std::string, std::string>> OtherKeys(const platform::IniFile& ini,
                                                           std::string_view section,
                                                           std::string_view except) {
    std::vector<std::pair<std::string, std::string>> keys = ini.ReadSection(section);
    std::erase_if(keys,
                  [&](const auto& entry) { return platform::IniNamesEqual(entry.first, except); });
    return keys;
}

// A value as it reads back: surrounding blanks and one pair of quotes removed.
std::string_view AsRead(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text = fuzz::AsText(data, size);
    const std::string section(fuzz::TakeField(text));
    const std::string key(fuzz::TakeField(text));
    const std::string value(fuzz::TakeField(text));
    // Names and values are the program's UTF-8; the file may hold anything.
    if (!platform::IsValidUtf8(section) || !platform::IsValidUtf8(key) ||
        !platform::IsValidUtf8(value))
        return 0;
    const std::filesystem::path path = fuzz::ScratchDir() / "fuzz.ini";
    fuzz::WriteFile(path, text);

    platform::IniFile ini(path);
    for (const std::string& name : ini.ReadSectionNames()) {
        fuzz::Check(platform::IsValidUtf8(name), "a section name that is not UTF-8");
        fuzz::Check(ini.SectionExists(name), "a listed section that does not exist", name);
        for (const auto& [k, v] : ini.ReadSection(name)) {
            fuzz::Check(platform::IsValidUtf8(k) && platform::IsValidUtf8(v),
                        "a key or value that is not UTF-8");
            fuzz::Check(ini.ValueExists(name, k), "a listed key that does not exist", k);
        }
    }
    const Sections before = OtherSections(ini, section);
    const auto keysBefore = OtherKeys(ini, section, key);

    if (ini.WriteString(section, key, value).ok()) {
        const auto read = ini.ReadValue(section, key);
        fuzz::Check(read.has_value(), "a written value is missing", section + "/" + key);
        fuzz::Check(*read == AsRead(value), "a written value reads back changed",
                    value + " -> " + *read);
        fuzz::Check(OtherSections(ini, section) == before, "a write changed another section");
        fuzz::Check(OtherKeys(ini, section, key) == keysBefore, "a write changed another key");

        fuzz::Check(ini.DeleteKey(section, key).ok(), "a delete failed");
        fuzz::Check(!ini.ValueExists(section, key), "a deleted key is still there");
        fuzz::Check(OtherSections(ini, section) == before, "a delete changed another section");
        fuzz::Check(OtherKeys(ini, section, key) == keysBefore, "a delete changed another key");

        fuzz::Check(ini.EraseSection(section).ok(), "an erase failed");
        fuzz::Check(!ini.SectionExists(section), "an erased section is still there");
        fuzz::Check(OtherSections(ini, section) == before, "an erase changed another section");
    }
    return 0;
}
