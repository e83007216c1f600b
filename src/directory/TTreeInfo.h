#pragma once

#include "client/ClientTypes.h"
#include "platform/StringList.h"

#include <cstdint>
#include <string>

namespace vellrun::directory {

// A front end's tree node as the core keeps it: opaque, 0 for none.
using NodeHandle = std::uintptr_t;

// One tree as the tree browser shows it: its name, its pair of contexts (the
// object context follows the selected container, the root context has the
// name context "[Root]"), the tree's top node and the lists the front ends
// fill. Owned by the tree browser (or a report run, for its own pair); the
// contexts are opened and freed through DirectoryAccess::OpenTreeInfo and
// ClearTreeInfo, never by the record itself.
struct TTreeInfo {
    std::string treeName;
    client::ContextHandle objectContext{};
    client::ContextHandle rootContext{};
    NodeHandle rootNode = 0;
    // The full name of every node shown for this tree, with the node as its number.
    platform::StringList nodes;
    // The classes of the tree's schema, with their class flags as numbers.
    platform::StringList classes;
    // The attributes that the tree's auxiliary classes can add.
    platform::StringList auxAttributes;

    bool HoldsContexts() const {
        return objectContext != client::ContextHandle{} || rootContext != client::ContextHandle{};
    }
};

}  // namespace vellrun::directory
