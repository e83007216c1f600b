#pragma once

#include "client/ClientTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellrun::directory {

// Value information is kept for this many values of an attribute at most.
inline constexpr size_t kMaxValueInfos = 100;

// One value's flags word and modification time stamp.
struct ValueInfo {
    uint32_t flags = 0;
    client::TimeStamp modified;
};

// What a read of one attribute reports about its values besides the values:
// the syntax, the number of values and the information of the first values
// (values[k - 1] belongs to value k). A plain record owned by the caller.
struct ValueInfoBlock {
    client::SyntaxId syntax = 0;
    uint32_t valueCount = 0;
    std::vector<ValueInfo> values;  // at most kMaxValueInfos
};

}  // namespace vellrun::directory
