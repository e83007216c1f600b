#pragma once

// The remembered texts of an editable combo box: its list, newest first, and
// the text in its edit field. A plain value the front end copies to and from
// the widget; SettingsStore saves and restores it. It knows nothing of widgets.

#include <cstddef>
#include <string>
#include <vector>

namespace vellrun::settings {

struct ComboHistory {
    // The list holds at most this many entries.
    static constexpr size_t kMaxEntries = 31;

    std::vector<std::string> entries;
    std::string text;

    // Puts a non-empty text that the list does not hold yet at the top, first
    // dropping the oldest entry of a full list; an entry already present keeps
    // its place (texts compare exactly, as the combo box shows them).
    void AddToHistory();

    bool operator==(const ComboHistory&) const = default;
};

}  // namespace vellrun::settings
