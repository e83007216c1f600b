#include "output/ComboHistory.h"

#include <algorithm>

namespace vellrun::output {

void ComboHistory::AddToHistory() {
    if (text.empty() || std::find(entries.begin(), entries.end(), text) != entries.end()) return;
    if (entries.size() >= kMaxEntries) entries.resize(kMaxEntries - 1);
    entries.insert(entries.begin(), text);
}

}  // namespace vellrun::output
