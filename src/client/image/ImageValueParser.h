#pragma once

// Private to the image loader: turns the JSON form of one attribute value into
// the record of its syntax (see "Values by syntax" in docs/directory-image.md).

#include "client/AttrValue.h"
#include "client/image/ImageJson.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vellrun::client::image::detail {

// The largest octet value, stream or byte piece the loader builds.
inline constexpr size_t kMaxValueBytes = 16 * 1024 * 1024;

// The bytes that the octet values and streams of one image build together,
// against the image's limit (LoadOptions). Each value stays under
// kMaxValueBytes on its own; the sum is what a small hostile file could
// otherwise blow up.
struct ByteBudget {
    uint64_t limit = UINT64_MAX;
    uint64_t used = 0;
};

// Where a value is read: its attribute, and what the value may refer to.
struct ValueSource {
    const std::string* attributeName = nullptr;  // as the schema spells it
    SyntaxId syntax = 0;
    // The folder relative stream files are taken from.
    const std::filesystem::path* baseDir = nullptr;
    // The schema's spelling of a class name, or null when the schema has no such class.
    std::function<const std::string*(const std::string&)> findClass;
    // Charged with the bytes each value builds; null: no limit.
    ByteBudget* budget = nullptr;
};

// True for the syntaxes whose value is itself a JSON list (6, 13, 18).
bool ValueIsList(SyntaxId syntax);

// Parses one value (not the wrapper that gives flags and a time stamp). For a
// stream the record is a StreamValue and the content goes to streamContent.
// Refuses a value that does not fit the syntax.
AttrValue ParseValue(const Json& value, const ValueSource& source, Bytes& streamContent);

// Checks a full name written inside a value, or as a tree's identity, by the
// rules of ValueNameFault: typeless, without a leading dot, no empty relative
// names. Special names such as "[Root]" pass as they are.
void CheckValueName(std::string_view name);

}  // namespace vellrun::client::image::detail
