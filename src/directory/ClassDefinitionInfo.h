#pragma once

#include "client/ClientTypes.h"

#include <array>
#include <string>
#include <vector>

namespace vellrun::directory {

// The five lists of a class definition, in the order the client gives them.
namespace ClassList {
inline constexpr size_t SuperClasses = 0;
inline constexpr size_t Containment = 1;
inline constexpr size_t Naming = 2;
inline constexpr size_t Mandatory = 3;
inline constexpr size_t Optional = 4;
inline constexpr size_t Count = 5;
}  // namespace ClassList

// One class definition as a schema read returns it: the name, the record and,
// for reads that ask for them, the five lists. A plain record.
struct ClassDefinitionInfo {
    std::string name;
    client::ClassDefRecord record;
    std::array<std::vector<std::string>, ClassList::Count> lists;
};

}  // namespace vellrun::directory
