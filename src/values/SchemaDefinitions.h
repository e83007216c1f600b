#pragma once

// Reads of the schema as the windows and reports want them: one attribute's
// definition, one class's flags, the lists of a class definition, every class
// with its flags. All return the client's result (0 for success) and leave
// their text outputs empty on failure.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "platform/StringList.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vellrun::values {

client::Result ReadAttrDefinition(directory::DirectoryAccess& access, client::ContextHandle context,
                                  std::string_view attribute, client::AttrDefRecord& definition);
client::Result ReadAttrDefinitionText(directory::DirectoryAccess& access,
                                      client::ContextHandle context, std::string_view attribute,
                                      std::string& text);
client::Result ReadClassFlags(directory::DirectoryAccess& access, client::ContextHandle context,
                              std::string_view className, uint32_t& flags);
client::Result ReadClassFlagsText(directory::DirectoryAccess& access, client::ContextHandle context,
                                  std::string_view className, std::string& text);
// which: 0 to 4 one list (super classes, containment, naming, mandatory,
// optional), 5 the three attribute lists, 6 the object identifier only.
client::Result ListClassDefinition(directory::DirectoryAccess& access,
                                   client::ContextHandle context, std::string_view className,
                                   int which, platform::StringList& target, bool withPrefixes);
client::Result ListClassAttributes(directory::DirectoryAccess& access,
                                   client::ContextHandle context, std::string_view className,
                                   int which, platform::StringList& target);
client::Result ListClassNamesWithFlags(directory::DirectoryAccess& access,
                                       client::ContextHandle context, platform::StringList& target);

}  // namespace vellrun::values
