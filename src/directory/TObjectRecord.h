#pragma once

#include "client/ClientTypes.h"

#include <string>

namespace vellrun::directory {

// One object as the object list and the delete command know it: its full
// name, its class name and the information record the client gives about it.
// A plain record owned by the caller; DirectoryAccess::DSReadObjectInfo fills it.
struct TObjectRecord {
    std::string name;
    std::string className;
    client::EntryRecord info;
};

}  // namespace vellrun::directory
