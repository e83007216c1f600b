#pragma once

#include "client/ClientTypes.h"

#include <cstdint>
#include <string>

namespace vellrun::directory {

// The listing cursor: where a listing of one container stands, the current
// entry and the client resources the listing holds (a context copy and a
// reply buffer). Owned by whoever lists; DirectoryAccess::DSListOpen fills it,
// DSListNext moves it and frees its resources at the end, DSListClose frees
// them when a listing stops early. It must not be copied while it holds them.
struct TNDSObj {
    int32_t continuation = client::kNoContinuation;
    std::string entryName;  // relative to the container, as the client lists it
    std::string container;  // full name of the listed container
    uint32_t attributeCount = 0;
    uint32_t entriesInPage = 0;
    uint32_t entriesTaken = 0;
    client::EntryRecord entry;
    client::ContextHandle context{};
    client::BufferHandle reply{};

    // True while the cursor stands on an entry (a fresh page may hold none).
    bool HasEntry() const { return !entryName.empty(); }
};

}  // namespace vellrun::directory
