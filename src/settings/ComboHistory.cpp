#include "settings/ComboHistory.h"

#include <algorithm>

namespace vellrun::settings {

void ComboHistory::AddToHistory() {
    if (text.empty() || std::find(entries.begin(), entries.end(), text) != entries.end()) return;
    if (entries.size() >= kMaxEntries) entries.resize(kMaxEntries - 1);
    entries.insert(entries.begin(), text);
}

}  // namespace vellrun::settings
