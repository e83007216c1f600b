#pragma once

// The directory the schema tests share: no objects, the usual small schema
// and two more attributes and classes with every kind of definition (flags,
// an identifier, bounds, super, containment, naming, mandatory and optional
// lists), and a typeless context on the tree. A test may give its own
// spelling or order of the two extra definitions; the shape stays the same.

#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"

#include <string_view>

namespace vellrun::testing {

inline constexpr std::string_view kSchemaBedAttributes =
    R"({"name": "Surname", "syntax": "CI_STRING", "flags": ["SingleVal", "Sized"],
        "lower": 1, "upper": 64, "oid": "2.5.4.4"},
       {"name": "Badge", "syntax": "INTEGER"})";
inline constexpr std::string_view kSchemaBedClasses =
    R"({"name": "Person", "flags": ["Effective"], "oid": "2.5.6.6", "super": ["Top"],
        "containment": ["Organization", "Organizational Unit"], "naming": ["CN"],
        "mandatory": ["CN", "Surname"], "optional": ["Description", "Title"]},
       {"name": "Badge Holder", "flags": ["Auxiliary"], "naming": ["CN"], "mandatory": ["Badge"]})";

struct SchemaBed : DirectoryTestBed {
    explicit SchemaBed(std::string_view attributes = kSchemaBedAttributes,
                       std::string_view classes = kSchemaBedClasses)
        : DirectoryTestBed(TreeImage("[]", attributes, classes)) {
        context = Context();
    }
    client::ContextHandle context{};
};

}  // namespace vellrun::testing
