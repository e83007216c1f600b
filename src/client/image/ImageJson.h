#pragma once

// Private to the image loader: the parsed JSON document and the small readers
// with which the loader takes it apart. A fault is thrown as a Refusal; each
// level of the loader that catches one puts its own place in front of the text,
// so the message that leaves the loader reads "PLACE: PLACE: FAULT".

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace vellrun::client::image::detail {

// Keys keep their file order: the attributes of an object are read back in it.
using Json = nlohmann::ordered_json;

class Refusal {
public:
    explicit Refusal(std::string text) : text_(std::move(text)) {}
    const std::string& Text() const { return text_; }
    // Puts a place in front: "place: text".
    void Within(std::string_view place);

private:
    std::string text_;
};

[[noreturn]] void Refuse(std::string text);

// "\"text\"", as names appear in messages.
std::string Quoted(std::string_view text);

// Bytes a text should have readable after its end (not part of it) for the
// fast reader to read it in place; without them it reads a copy.
inline constexpr size_t kJsonPadding = 64;

// Parses the text of an image with the library's parser into one document.
// Duplicate keys in one object and nesting deeper than any image needs are
// faults as well. On failure returns false and sets error to "invalid JSON at
// line L, column C: what" or "PLACE: FAULT". The loader reads a text this way
// when the fast reader (ReadImageParts) meets a fault, for the message.
bool ParseImageJson(std::string_view text, Json& document, std::string& error);

// Thrown by the fast reader at a fault of the text, or at a number it leaves to
// the library's parser: the text is then read again with ParseImageJson.
struct TextFault {};

// The elements of one tree's "objects" list, handed out one at a time. An
// element stays valid until the next is asked for; the loader may empty it.
class ObjectList {
public:
    virtual size_t Size() = 0;
    virtual Json& Next() = 0;

protected:
    ~ObjectList() = default;
};

// An image document in the parts the loader takes one after the other: the
// image's own object, then each tree, then the tree's objects. Where "trees"
// and a tree's "objects" are lists, the parts stand an empty list in their
// place and hand out their elements through NextTree and Objects.
class ImageParts {
public:
    virtual ~ImageParts() = default;
    virtual Json& Image() = 0;
    // The elements of the "objects" lists of all trees.
    virtual uint64_t ObjectTotal() = 0;
    // The next tree; null after the last.
    virtual Json* NextTree() = 0;
    // The objects of the tree handed out last.
    virtual ObjectList& Objects() = 0;
    // Reads what the loader left of the text, for its faults: a load that
    // refuses the content checks this first, since a fault of the text wins.
    virtual void Finish() {}
};

// Reads the text of an image with the fast reader (several times the speed of
// the library's parser), building each part only when asked for it, with the
// checks of ParseImageJson. Throws TextFault, also from the parts' calls.
// readable: how many bytes from text.data() may be read (text.size() plus any
// padding). giveBack: the text's pages behind the objects read may be given
// back to the system (they read as zeros afterwards).
std::unique_ptr<ImageParts> ReadImageParts(std::string_view text, size_t readable,
                                           bool giveBack = false);

// The keys of one JSON object, checked against the keys its place allows.
class Fields {
public:
    static constexpr size_t kMaxKeys = 12;

    // Refuses a value that is not an object ("expected " + expected) and any key
    // not in allowed.
    Fields(const Json& object, std::initializer_list<std::string_view> allowed,
           std::string_view expected = "an object");

    // The value of a key, or null when the object does not have it.
    const Json* Get(std::string_view key) const;
    // The value of a key the object must have.
    const Json& Require(std::string_view key) const;
    bool Has(std::string_view key) const { return Get(key) != nullptr; }

private:
    std::array<std::pair<std::string_view, const Json*>, kMaxKeys> slots_{};
    size_t count_ = 0;
};

// Readers that refuse a value of the wrong type or range.
const std::string& ReadText(const Json& value);
uint32_t ReadUnsigned(const Json& value, uint32_t maximum = UINT32_MAX);
int32_t ReadInteger(const Json& value);
bool ReadBoolean(const Json& value);
// Seconds since 1970 UTC, from a number or a "YYYY-MM-DDTHH:MM:SSZ" text.
uint32_t ReadTime(const Json& value);

// "YYYY-MM-DDTHH:MM:SSZ" (UTC) to seconds since 1970; false when the text is
// not of that form, not a date of the calendar, or outside 0 to 4294967295 seconds.
bool ParseTimeText(std::string_view text, uint32_t& seconds);

// Reads a field: on a fault, the key goes in front of the message.
template <typename Reader>
auto ReadField(std::string_view key, Reader&& reader) -> decltype(reader()) {
    try {
        return reader();
    } catch (Refusal& refusal) {
        refusal.Within(key);
        throw;
    }
}

}  // namespace vellrun::client::image::detail
