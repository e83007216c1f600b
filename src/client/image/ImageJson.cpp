#include "client/image/ImageJson.h"

#include "platform/DateTimeCalendar.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include <simdjson.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vellrun::client::image::detail {

void Refusal::Within(std::string_view place) {
    if (place.empty()) return;
    std::string text;
    text.reserve(place.size() + 2 + text_.size());
    text.append(place).append(": ").append(text_);
    text_ = std::move(text);
}

void Refuse(std::string text) {
    throw Refusal(std::move(text));
}

std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('"');
    quoted.append(text);
    quoted.push_back('"');
    return quoted;
}

namespace {

// No image needs more than about fifteen levels; a deeper document is refused
// before it can cost anything.
constexpr size_t kMaxDepth = 64;

// Builds the document from the parser's events, as the library's own builder
// does, and in addition refuses a key given twice in one object (the library
// would silently keep one of them) and nesting deeper than kMaxDepth.
class DocumentBuilder {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    // above: the containers of the document that enclose root.
    explicit DocumentBuilder(Json& root, size_t above = 0) : root_(root), above_(above) {}

    bool null() { return Put(Json(nullptr)) != nullptr; }
    bool boolean(bool value) { return Put(Json(value)) != nullptr; }
    bool number_integer(number_integer_t value) { return Put(Json(value)) != nullptr; }
    bool number_unsigned(number_unsigned_t value) { return Put(Json(value)) != nullptr; }
    bool number_float(number_float_t value, const string_t& /*text*/) {
        return Put(Json(value)) != nullptr;
    }
    bool string(string_t& value) { return Put(Json(std::move(value))) != nullptr; }
    bool binary(binary_t& value) { return Put(Json::binary(std::move(value))) != nullptr; }

    bool start_object(std::size_t /*elements*/) { return Open(Json(Json::value_t::object)); }
    bool start_array(std::size_t /*elements*/) { return Open(Json(Json::value_t::array)); }
    bool end_object() {
        stack_.pop_back();
        keySets_.pop_back();
        return true;
    }
    bool end_array() {
        stack_.pop_back();
        keySets_.pop_back();
        return true;
    }

    // Containers of the document open now, the innermost included.
    size_t Depth() const { return above_ + stack_.size(); }

    // Makes room in the container just opened for the elements it will hold.
    void ReserveTop(size_t elements) {
        Json& top = *stack_.back();
        if (top.is_object()) {
            top.get_ref<Json::object_t&>().reserve(elements);
        } else {
            top.get_ref<Json::array_t&>().reserve(elements);
        }
    }

    bool key(string_t& name) {
        auto& object = stack_.back()->get_ref<Json::object_t&>();
        if (IsKnownKey(object, keySets_.back(), name)) {
            fault_ = PlaceOfTop();
            if (!fault_.empty()) fault_ += ": ";
            fault_ += "key " + Quoted(name) + " is given twice";
            return false;
        }
        object.emplace_back(std::move(name), nullptr);
        element_ = &object.back().second;
        return true;
    }

    bool parse_error(std::size_t position, const std::string& /*lastToken*/,
                     const nlohmann::detail::exception& error) {
        syntaxPosition_ = position;
        syntaxError_ = error.what();
        return false;
    }

    // Set when the parser stopped at a syntax error.
    std::optional<size_t> SyntaxPosition() const { return syntaxPosition_; }
    const std::string& SyntaxError() const { return syntaxError_; }
    // Set when the builder stopped the parser.
    const std::string& Fault() const { return fault_; }

private:
    // An object of a few keys is searched key by key; one of many keeps a set
    // of its keys, so that a hostile object of 100,000 keys costs no more than
    // reading them. Adds name to the set when there is one.
    static constexpr size_t kKeysSearchedInLine = 16;
    using KeySet = std::unordered_set<std::string>;

    static bool IsKnownKey(const Json::object_t& object, std::unique_ptr<KeySet>& keys,
                           const std::string& name) {
        if (keys) return !keys->insert(name).second;
        for (const auto& item : object) {
            if (item.first == name) return true;
        }
        if (object.size() + 1 >= kKeysSearchedInLine) {
            keys = std::make_unique<KeySet>();
            keys->reserve(2 * kKeysSearchedInLine);
            for (const auto& item : object)
                keys->insert(item.first);
            keys->insert(name);
        }
        return false;
    }

    Json* Put(Json&& value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json* top = stack_.back();
        if (top->is_array()) {
            auto& array = top->get_ref<Json::array_t&>();
            array.push_back(std::move(value));
            return &array.back();
        }
        *element_ = std::move(value);
        return element_;
    }

    bool Open(Json&& container) {
        if (Depth() >= kMaxDepth) {
            fault_ = PlaceOfTop();
            if (!fault_.empty()) fault_ += ": ";
            fault_ += "nested more than " + std::to_string(kMaxDepth) + " levels deep";
            return false;
        }
        stack_.push_back(Put(std::move(container)));
        keySets_.emplace_back();
        return true;
    }

    // The place of the innermost open container, in the loader's manner:
    // keys joined by ".", array elements as "[i]"; an element of a named list
    // (objects, classes, attribute definitions) shows its name, and the rest
    // of the place follows after ": ".
    std::string PlaceOfTop() const {
        std::string place;
        bool afterName = false;
        std::string_view listKey;
        for (size_t level = 0; level + 1 < stack_.size(); ++level) {
            const Json& container = *stack_[level];
            const Json* child = stack_[level + 1];
            if (container.is_array()) {
                const auto& array = container.get_ref<const Json::array_t&>();
                const size_t index = static_cast<size_t>(child - array.data());
                place += "[" + std::to_string(index) + "]";
                if (listKey != "trees" && child->is_object()) {
                    auto name = child->find("name");
                    if (name != child->end() && name->is_string()) {
                        place += " " + Quoted(name->get_ref<const std::string&>());
                        afterName = true;
                    }
                }
                listKey = {};
                continue;
            }
            const auto& object = container.get_ref<const Json::object_t&>();
            for (const auto& item : object) {
                if (&item.second != child) continue;
                if (!place.empty()) place += afterName ? ": " : ".";
                afterName = false;
                place += item.first;
                listKey = item.first;
                break;
            }
        }
        return place;
    }

    Json& root_;
    size_t above_ = 0;
    std::vector<Json*> stack_;
    std::vector<std::unique_ptr<KeySet>> keySets_;  // per open container; null while few keys
    Json* element_ = nullptr;
    std::optional<size_t> syntaxPosition_;
    std::string syntaxError_;
    std::string fault_;
};

static_assert(kJsonPadding >= simdjson::SIMDJSON_PADDING);

namespace ondemand = simdjson::ondemand;

// Whether the container just opened is first counted, so that it is made at
// its size rather than grown element by element (the growing costs more than
// the counting). The outer four levels of an image (the image, its trees, a
// tree, its objects or schema) each span most of the text: counting them
// would read it all again for a few allocations. Each counted level reads
// what it holds once more, so only the levels a sound image uses (an object,
// its attributes, their values and the parts of a value) are counted, and a
// deep nest costs a few readings rather than one per level.
bool WorthCounting(const DocumentBuilder& builder) {
    constexpr size_t kOuterLevels = 4;
    constexpr size_t kLastCountedLevel = 10;
    return builder.Depth() > kOuterLevels && builder.Depth() <= kLastCountedLevel;
}

// A key as the text writes it when it has no escapes; the reader's own
// unescaping writes every key and text of the document into one buffer that
// grows with the document.
bool ReadKey(ondemand::field& field, std::string_view& key) {
    const char* start = field.key().raw();
    for (const char* at = start;; ++at) {
        if (*at == '"') {
            key = std::string_view(start, static_cast<size_t>(at - start));
            return true;
        }
        if (*at == '\\') break;
    }
    return field.unescaped_key().get(key) == simdjson::SUCCESS;
}

// The same for a text value.
bool ReadString(ondemand::value& value, std::string_view& text) {
    // The token runs from the opening quote to the next structural character.
    const std::string_view token = value.raw_json_token();
    const size_t close = token.rfind('"');
    if (close != std::string_view::npos && close > 0) {
        text = token.substr(1, close - 1);
        if (text.find('\\') == std::string_view::npos) return true;
    }
    return value.get_string().get(text) == simdjson::SUCCESS;
}

// Hands the builder the events of one value as the fast reader meets them.
// False at the first thing it does not take: a fault of the text or of the
// builder, or a number that the library's parser would read otherwise.
bool Feed(ondemand::value value, DocumentBuilder& builder) {
    ondemand::json_type type{};
    if (value.type().get(type) != simdjson::SUCCESS) return false;
    switch (type) {
        case ondemand::json_type::object: {
            ondemand::object object;
            if (value.get_object().get(object) != simdjson::SUCCESS) return false;
            if (!builder.start_object(static_cast<std::size_t>(-1))) return false;
            if (WorthCounting(builder)) {
                size_t keys = 0;
                for (auto field : object) {
                    if (field.error() != simdjson::SUCCESS) return false;
                    ++keys;
                }
                bool empty = false;
                if (object.reset().get(empty) != simdjson::SUCCESS) return false;
                builder.ReserveTop(keys);
            }
            for (auto item : object) {
                ondemand::field field;
                std::string_view key;
                if (std::move(item).get(field) != simdjson::SUCCESS || !ReadKey(field, key))
                    return false;
                std::string name(key);
                if (!builder.key(name)) return false;
                if (!Feed(field.value(), builder)) return false;
            }
            return builder.end_object();
        }
        case ondemand::json_type::array: {
            ondemand::array array;
            if (value.get_array().get(array) != simdjson::SUCCESS) return false;
            if (!builder.start_array(static_cast<std::size_t>(-1))) return false;
            if (WorthCounting(builder)) {
                size_t elements = 0;
                if (array.count_elements().get(elements) != simdjson::SUCCESS) return false;
                builder.ReserveTop(elements);
            }
            for (auto element : array) {
                ondemand::value item;
                if (element.get(item) != simdjson::SUCCESS) return false;
                if (!Feed(item, builder)) return false;
            }
            return builder.end_array();
        }
        case ondemand::json_type::string: {
            std::string_view text;
            if (!ReadString(value, text)) return false;
            std::string owned(text);
            return builder.string(owned);
        }
        case ondemand::json_type::number: {
            // The library's parser reads a number with a fraction or an exponent
            // as a float, one with a sign as an integer, any other as unsigned;
            // one out of range is left to it.
            const std::string_view token = value.raw_json_token();
            if (token.find_first_of(".eE") != std::string_view::npos) {
                double number = 0;
                if (value.get_double().get(number) != simdjson::SUCCESS) return false;
                return builder.number_float(number, std::string());
            }
            if (!token.empty() && token.front() == '-') {
                int64_t number = 0;
                if (value.get_int64().get(number) != simdjson::SUCCESS) return false;
                return builder.number_integer(number);
            }
            uint64_t number = 0;
            if (value.get_uint64().get(number) != simdjson::SUCCESS) return false;
            return builder.number_unsigned(number);
        }
        case ondemand::json_type::boolean: {
            bool truth = false;
            if (value.get_bool().get(truth) != simdjson::SUCCESS) return false;
            return builder.boolean(truth);
        }
        case ondemand::json_type::null: {
            bool isNull = false;
            if (value.is_null().get(isNull) != simdjson::SUCCESS || !isNull) return false;
            return builder.null();
        }
    }
    return false;
}

void Check(simdjson::error_code error) {
    if (error == simdjson::SUCCESS) return;
    // Memory running out is no fault of the text: reading it again with the
    // slower reader (which names the fault's place) would only run out too.
    if (error == simdjson::MEMALLOC) throw std::bad_alloc();
    throw TextFault{};
}

// Builds target from the value the reader stands on; above: the containers
// that enclose it.
void Build(ondemand::value value, Json& target, size_t above) {
    target = Json();
    DocumentBuilder builder(target, above);
    if (!Feed(value, builder)) throw TextFault{};
}

// Builds an object, but for the value of the key list when it is a list: an
// empty list stands in its place, and takeList is handed the list to read
// where the reader meets it.
template <typename TakeList>
void BuildAllBut(ondemand::value value, std::string_view list, Json& target, size_t above,
                 TakeList&& takeList) {
    ondemand::json_type type{};
    Check(value.type().get(type));
    if (type != ondemand::json_type::object) {
        Build(value, target, above);
        return;
    }
    target = Json();
    DocumentBuilder builder(target, above);
    ondemand::object object;
    Check(value.get_object().get(object));
    if (!builder.start_object(static_cast<std::size_t>(-1))) throw TextFault{};
    for (auto item : object) {
        ondemand::field field;
        std::string_view key;
        if (std::move(item).get(field) != simdjson::SUCCESS || !ReadKey(field, key))
            throw TextFault{};
        const bool isList = key == list;
        std::string name(key);
        if (!builder.key(name)) throw TextFault{};
        ondemand::value member = field.value();
        if (isList) {
            ondemand::json_type memberType{};
            Check(member.type().get(memberType));
            if (memberType == ondemand::json_type::array) {
                builder.start_array(0);
                builder.end_array();
                ondemand::array elements;
                Check(member.get_array().get(elements));
                takeList(elements);
                continue;
            }
        }
        if (!Feed(member, builder)) throw TextFault{};
    }
    builder.end_object();
}

// The text of a value the reader stands on, from its first character to the
// next structural character after it, which the reader moves on to.
std::string_view ValueText(ondemand::value& value) {
    ondemand::json_type type{};
    Check(value.type().get(type));
    std::string_view text;
    if (type == ondemand::json_type::object) {
        ondemand::object object;
        Check(value.get_object().get(object));
        Check(object.raw_json().get(text));
    } else if (type == ondemand::json_type::array) {
        ondemand::array array;
        Check(value.get_array().get(array));
        Check(array.raw_json().get(text));
    } else {
        text = value.raw_json_token();
    }
    return text;
}

// The fast reader's image, read in two passes. The first finds the structure
// of the whole text and builds the image but its trees and each tree but its
// objects, noting where each object's text lies; the second, once the first
// pass's index of the whole text is freed, reads each object's text on its own
// as the loader asks for it. Each part of the text is built, and so checked,
// once: the image, the trees and the objects' list in the first pass, each
// object in the second.
class StreamedImage final : public ImageParts, ObjectList {
public:
    StreamedImage(std::string_view text, size_t readable, bool giveBack) {
        const char* data = text.data();
        size_t capacity = readable;
        if (readable < text.size() + simdjson::SIMDJSON_PADDING) {
            copy_ = simdjson::padded_string(text);
            data = copy_.data();
            capacity = copy_.size() + simdjson::SIMDJSON_PADDING;
            giveBack = false;
        }
        readableEnd_ = data + capacity;
        if (giveBack) {
            pageSize_ = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
            givenBack_ = (reinterpret_cast<uintptr_t>(data) + pageSize_ - 1) & ~(pageSize_ - 1);
        }
        ReadOutline(data, text.size(), capacity);
        size_t largest = 0;
        for (const TreePart& tree : trees_) {
            for (std::string_view object : tree.objects)
                largest = std::max(largest, object.size());
        }
        if (largest > 0) Check(objectParser_.allocate(largest));
    }

    Json& Image() override { return image_; }

    uint64_t ObjectTotal() override {
        uint64_t total = 0;
        for (const TreePart& tree : trees_)
            total += tree.objects.size();
        return total;
    }

    Json* NextTree() override {
        if (nextTree_ > 0) {
            // What the loader left of the tree before is read for its faults.
            TreePart& done = trees_[nextTree_ - 1];
            while (nextObject_ < done.objects.size())
                Next();
            done = TreePart();
            object_ = Json();
        }
        if (nextTree_ == trees_.size()) return nullptr;
        nextObject_ = 0;
        return &trees_[nextTree_++].json;
    }

    ObjectList& Objects() override { return *this; }

    void Finish() override {
        while (NextTree() != nullptr) {
        }
    }

    size_t Size() override { return trees_[nextTree_ - 1].objects.size(); }

    Json& Next() override {
        const std::string_view text = trees_[nextTree_ - 1].objects.at(nextObject_++);
        GiveBack(text.data());
        ondemand::document document;
        ondemand::value value;
        Check(
            objectParser_
                .iterate(text.data(), text.size(), static_cast<size_t>(readableEnd_ - text.data()))
                .get(document));
        Check(document.get_value().get(value));
        Build(value, object_, 4);
        if (document.current_location().error() != simdjson::OUT_OF_BOUNDS) throw TextFault{};
        return object_;
    }

private:
    struct TreePart {
        Json json;
        std::vector<std::string_view> objects;  // the text of each element of its objects' list
    };

    // The first pass. Its parser (the index of the whole text) is freed on return.
    void ReadOutline(const char* data, size_t size, size_t capacity) {
        ondemand::parser parser;
        ondemand::document document;
        ondemand::value root;
        Check(parser.iterate(data, size, capacity).get(document));
        Check(document.get_value().get(root));
        BuildAllBut(root, "trees", image_, 0, [this](ondemand::array& trees) {
            for (auto item : trees) {
                ondemand::value tree;
                Check(item.get(tree));
                TreePart& part = trees_.emplace_back();
                BuildAllBut(tree, "objects", part.json, 2, [&part](ondemand::array& objects) {
                    for (auto element : objects) {
                        ondemand::value value;
                        Check(element.get(value));
                        part.objects.push_back(ValueText(value));
                    }
                });
            }
        });
        // Nothing may follow the document's one value.
        if (document.current_location().error() != simdjson::OUT_OF_BOUNDS) throw TextFault{};
    }

    // Gives the text's pages before at back to the system, a megabyte at a
    // time: the second pass reads each object's text once, in order. A
    // small step keeps what is held back a small part of a small image too.
    void GiveBack(const char* at) {
        constexpr uintptr_t kStep = 1 << 20;
        if (pageSize_ == 0) return;
        const uintptr_t end = reinterpret_cast<uintptr_t>(at) & ~(pageSize_ - 1);
        if (end < givenBack_ + kStep) return;
        ::madvise(reinterpret_cast<void*>(givenBack_), end - givenBack_, MADV_DONTNEED);
        givenBack_ = end;
    }

    simdjson::padded_string copy_;
    const char* readableEnd_ = nullptr;
    uintptr_t pageSize_ = 0;   // 0: the text is not given back
    uintptr_t givenBack_ = 0;  // the text's pages before this are given back
    Json image_;
    std::vector<TreePart> trees_;
    size_t nextTree_ = 0;
    size_t nextObject_ = 0;
    ondemand::parser objectParser_;
    Json object_;
};

// "line L, column C" of the character at a byte offset; columns count characters.
std::string LineAndColumn(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    size_t line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const size_t column =
        platform::Utf8CharacterCount(text.substr(lineStart, offset - lineStart)) + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The parser's description without its own prefix and position
// ("[json.exception.parse_error.101] parse error at line 1, column 2: ").
std::string SyntaxDescription(const std::string& what) {
    size_t start = what.find("parse error");
    if (start == std::string::npos) return what;
    start = what.find(": ", start);
    if (start == std::string::npos) return what;
    return what.substr(start + 2);
}

}  // namespace

std::unique_ptr<ImageParts> ReadImageParts(std::string_view text, size_t readable, bool giveBack) {
    return std::make_unique<StreamedImage>(text, readable, giveBack);
}

bool ParseImageJson(std::string_view text, Json& document, std::string& error) {
    document = Json();
    DocumentBuilder builder(document);
    const bool parsed = Json::sax_parse(text.begin(), text.end(), &builder);
    if (parsed) return true;
    if (builder.SyntaxPosition()) {
        // The parser counts the characters it has read, the offending one included.
        const size_t position = *builder.SyntaxPosition();
        // The parser quotes what it last read, which may be a broken UTF-8
        // sequence: the message itself stays valid UTF-8.
        error = "invalid JSON at " + LineAndColumn(text, position > 0 ? position - 1 : 0) + ": " +
                platform::BytesToUtf8(SyntaxDescription(builder.SyntaxError()));
    } else if (!builder.Fault().empty()) {
        error = builder.Fault();
    } else {
        error = "invalid JSON";
    }
    document = Json();
    return false;
}

Fields::Fields(const Json& object, std::initializer_list<std::string_view> allowed,
               std::string_view expected) {
    if (!object.is_object()) Refuse("expected " + std::string(expected));
    for (std::string_view key : allowed) {
        if (count_ < kMaxKeys) slots_[count_++] = {key, nullptr};
    }
    for (const auto& item : object.get_ref<const Json::object_t&>()) {
        bool known = false;
        for (size_t i = 0; i < count_; ++i) {
            if (slots_[i].first == item.first) {
                slots_[i].second = &item.second;
                known = true;
                break;
            }
        }
        if (!known) Refuse("unknown key " + Quoted(item.first));
    }
}

const Json* Fields::Get(std::string_view key) const {
    for (size_t i = 0; i < count_; ++i) {
        if (slots_[i].first == key) return slots_[i].second;
    }
    return nullptr;
}

const Json& Fields::Require(std::string_view key) const {
    const Json* value = Get(key);
    if (value == nullptr) Refuse("missing " + Quoted(key));
    return *value;
}

const std::string& ReadText(const Json& value) {
    if (!value.is_string()) Refuse("expected a text");
    const std::string& text = value.get_ref<const std::string&>();
    // Texts of the directory end at their first zero: a zero inside one
    // would be cut off by every reader and must not reach a cell or a file.
    if (const size_t zero = text.find('\0'); zero != std::string::npos) {
        Refuse("the text holds a zero byte after " + std::to_string(zero) +
               " bytes; texts end at their first zero (use hex for bytes)");
    }
    return text;
}

uint32_t ReadUnsigned(const Json& value, uint32_t maximum) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<Json::number_unsigned_t>();
        if (number <= maximum) return static_cast<uint32_t>(number);
    }
    Refuse("expected a whole number from 0 to " + std::to_string(maximum));
}

int32_t ReadInteger(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<Json::number_unsigned_t>();
        if (number <= static_cast<Json::number_unsigned_t>(INT32_MAX)) {
            return static_cast<int32_t>(number);
        }
    } else if (value.is_number_integer()) {
        const auto number = value.get<Json::number_integer_t>();
        if (number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
    }
    Refuse("expected a whole number from -2147483648 to 2147483647");
}

bool ReadBoolean(const Json& value) {
    if (!value.is_boolean()) Refuse("expected true or false");
    return value.get<bool>();
}

namespace {

bool ReadDigits(std::string_view text, size_t at, size_t count, unsigned& number) {
    number = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

}  // namespace

bool ParseTimeText(std::string_view text, uint32_t& seconds) {
    // YYYY-MM-DDTHH:MM:SSZ
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return false;
    }
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) ||
        !ReadDigits(text, 8, 2, day) || !ReadDigits(text, 11, 2, hour) ||
        !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1) return false;
    const auto civilYear = static_cast<int>(year);
    const auto civilMonth = static_cast<int>(month);
    if (static_cast<int>(day) > platform::DaysInMonth(civilYear, civilMonth) || hour > 23 ||
        minute > 59 || second > 59) {
        return false;
    }
    const int64_t total =
        platform::DaysFromCivil(civilYear, civilMonth, static_cast<int>(day)) * 86400 +
        hour * 3600 + minute * 60 + static_cast<int64_t>(second);
    if (total < 0 || total > static_cast<int64_t>(UINT32_MAX)) return false;
    seconds = static_cast<uint32_t>(total);
    return true;
}

uint32_t ReadTime(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<Json::number_unsigned_t>();
        if (number <= UINT32_MAX) return static_cast<uint32_t>(number);
        Refuse("expected a time: seconds from 0 to 4294967295");
    }
    if (value.is_string()) {
        uint32_t seconds = 0;
        const auto& text = value.get_ref<const std::string&>();
        if (ParseTimeText(text, seconds)) return seconds;
        Refuse(Quoted(text) +
               " is not a time \"YYYY-MM-DDTHH:MM:SSZ\" (UTC, 1970-01-01T00:00:00Z to "
               "2106-02-07T06:28:15Z)");
    }
    Refuse("expected a time (seconds or \"YYYY-MM-DDTHH:MM:SSZ\")");
}

}  // namespace vellrun::client::image::detail
