#pragma once

// Locale-aware comparison of texts without regard to case (ICU), for sorting
// what the program shows. Made once by whoever sorts and passed on; not copied.

#include <memory>
#include <string>
#include <string_view>

namespace vellrun::platform {

class TextCollator {
public:
    // The collation of the named locale, or of the environment's when null.
    explicit TextCollator(const char* localeName = nullptr);
    ~TextCollator();
    TextCollator(const TextCollator&) = delete;
    TextCollator& operator=(const TextCollator&) = delete;

    // Negative, zero or positive as a sorts before, with or after b (UTF-8 texts).
    int Compare(std::string_view a, std::string_view b) const;

    // The order of the program's sorted lists: the collation's, and among
    // texts the collation holds equal ("Strasse", "Straße") the order of
    // StringList::CompareText, so that the texts it orders as equal are
    // exactly those a list finds equal (which differ in ASCII case alone).
    int Order(std::string_view a, std::string_view b) const;

    // A key whose byte order (std::string comparison) is the collation order of
    // the texts: for sorting many texts, each key is made once.
    std::string SortKey(std::string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The name of the environment's locale for one category ("LC_COLLATE",
// "LC_TIME"), looked up as the C library does: LC_ALL, the category's own
// variable, LANG; empty when none is set.
std::string EnvironmentLocaleName(const char* category);

}  // namespace vellrun::platform
