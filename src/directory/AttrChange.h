#pragma once

#include "client/AttrValue.h"
#include "client/ClientTypes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vellrun::directory {

// The change types of a write: the client's own (0 to 7) and the program's
// combined type 128, which clears the attribute and then adds the new value.
namespace ModifyType {
inline constexpr uint32_t AddAttribute = 0;
inline constexpr uint32_t RemoveAttribute = 1;
inline constexpr uint32_t AddValue = 2;
inline constexpr uint32_t RemoveValue = 3;
inline constexpr uint32_t AddAdditionalValue = 4;
inline constexpr uint32_t OverwriteValue = 5;
inline constexpr uint32_t ClearAttribute = 6;
inline constexpr uint32_t ClearValue = 7;
inline constexpr uint32_t ReplaceAll = 128;
}  // namespace ModifyType

// One change of one attribute of one object, as DirectoryAccess::DSModifyAttr
// puts it to the client. A plain record owned by the caller.
struct AttrChange {
    client::ContextHandle context{};
    std::string object;  // full name
    std::string attribute;
    client::SyntaxId syntax = 0;
    uint32_t type = ModifyType::OverwriteValue;
    std::optional<client::AttrValue> newValue;
    // When given, every request first removes this value.
    std::optional<client::AttrValue> oldValue;
};

}  // namespace vellrun::directory
