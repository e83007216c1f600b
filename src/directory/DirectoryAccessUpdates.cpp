// The two changes the program makes: writing one attribute, removing one object.

#include "directory/DirectoryAccess.h"
#include "directory/DirectoryNames.h"
#include "directory/ScopedBuffer.h"
#include "directory/ScopedContextCopy.h"

#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>
#include <vector>

namespace vellrun::directory {

using client::ContextHandle;
using client::Result;

namespace {

// The client's refusals that a write recognises, by magnitude.
constexpr int64_t kNoSuchValue = 602;
constexpr int64_t kNoSuchAttribute = 603;
constexpr int64_t kDuplicateValue = 614;

int64_t Magnitude(Result result) {
    return std::llabs(static_cast<int64_t>(result));
}

const client::AttrValue& RequireNewValue(const AttrChange& change) {
    if (!change.newValue) throw std::invalid_argument("The change carries no new value");
    return *change.newValue;
}

// The value of a 32-bit number in the layout of a numeric syntax; nothing for
// syntaxes whose values are not numbers.
std::optional<client::AttrValue> NumberValue(client::SyntaxId syntax, uint32_t number) {
    namespace S = client::Syntax;
    switch (syntax) {
        case S::Boolean:
            return client::AttrValue{syntax, client::BooleanValue{uint8_t{number != 0}}};
        case S::Integer:
        case S::Counter:
            return client::AttrValue{syntax, client::IntegerValue{static_cast<int32_t>(number)}};
        case S::Timestamp: return client::AttrValue{syntax, client::TimeStamp{number, 0, 0}};
        case S::Time: return client::AttrValue{syntax, client::TimeValue{number}};
        case S::Interval: return client::AttrValue{syntax, client::IntervalValue{number}};
        default: break;
    }
    if (syntax > S::LastWithLayout) {
        client::Bytes bytes{static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                            static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return client::AttrValue{syntax, client::RawValue{std::move(bytes)}};
    }
    return std::nullopt;
}

// Keeps the records of a read instead of turning them into lines.
class RecordCollector final : public ValueFormatter {
public:
    std::vector<client::AttrValue> values;
    Result FormatValue(ContextHandle, std::string_view, std::string_view, ValueLines&,
                       const client::AttrValue& value, size_t, uint32_t) override {
        values.push_back(value);
        return 0;
    }
};

}  // namespace

Result DirectoryAccess::DSRemoveObject(ContextHandle context, std::string_view object) {
    std::string name(object);
    // The client refuses the composed name, so the top of the tree is never removed.
    if (platform::StringList::CompareText(name, "[Root]") == 0) {
        name = "." + name + "." + DSContextName(context, client::ContextKey::NameContext);
    }
    return client_.RemoveObject(context, name);
}

Result DirectoryAccess::ModifyRequest(const AttrChange& change, uint32_t type) {
    ScopedBuffer request(client_);
    Result result = request.Allocate(client::kRequestBufferSize);
    if (result == 0) {
        result = client_.PrepareRequest(change.context, client::Operation::Modify, request.Get());
    }
    if (result == 0 && change.oldValue) {
        result = client_.PutChangeAndValue(change.context, request.Get(),
                                           client::ChangeType::RemoveValue, change.attribute,
                                           change.syntax, *change.oldValue);
    }
    if (result != 0) return result;

    try {
        const auto put = [&](uint32_t changeType) {
            return client_.PutChange(change.context, request.Get(),
                                     static_cast<client::ChangeType>(changeType), change.attribute);
        };
        const auto putWithValue = [&](uint32_t changeType) {
            return client_.PutChangeAndValue(
                change.context, request.Get(), static_cast<client::ChangeType>(changeType),
                change.attribute, change.syntax, RequireNewValue(change));
        };
        switch (type) {
            case ModifyType::AddAttribute:
            case ModifyType::RemoveAttribute:
            case ModifyType::ClearAttribute:
            case ModifyType::ClearValue: result = put(type); break;
            case ModifyType::RemoveValue: break;
            case ModifyType::ReplaceAll:
                result = put(ModifyType::ClearAttribute);
                if (result == 0) result = putWithValue(ModifyType::AddValue);
                break;
            default: result = putWithValue(type); break;
        }
        if (result != 0) return result;
        int32_t continuation = client::kNoContinuation;
        result =
            client_.ModifyObject(change.context, change.object, continuation, false, request.Get());
    } catch (...) {
        return -1;
    }
    // A value that is there already counts as written.
    if (Magnitude(result) == kDuplicateValue) result = 0;
    return result;
}

Result DirectoryAccess::DSModifyAttr(const AttrChange& requested) {
    // An alias's own target is changed on the alias, not on the object it
    // names: through a copy of the context that does not follow aliases.
    ScopedContextCopy copy(client_);
    std::optional<AttrChange> onAlias;
    if (DSIsAliasTargetAttribute(requested.attribute)) {
        Result result = copy.Duplicate(requested.context);
        if (result == 0) {
            result = DSSetContextFlag(copy.Get(), "-", client::ContextFlag::DereferenceAliases);
        }
        if (result != 0) return result;
        onAlias = requested;
        onAlias->context = copy.Get();
    }
    const AttrChange& change = onAlias ? *onAlias : requested;
    Result result = ModifyRequest(change, change.type);
    if (Magnitude(result) == kNoSuchValue && change.type == ModifyType::RemoveValue) return 0;
    if (Magnitude(result) == kNoSuchAttribute) {
        if (change.type == ModifyType::RemoveAttribute) return 0;
        // Replacing every value of an attribute the object lacks gives it the
        // attribute first, as a server does; otherwise a value typed for an
        // empty attribute could never be saved.
        if (change.type == ModifyType::AddValue || change.type == ModifyType::AddAdditionalValue ||
            change.type == ModifyType::OverwriteValue || change.type == ModifyType::ReplaceAll) {
            result = ModifyRequest(change, ModifyType::AddAttribute);
            if (result == 0) result = ModifyRequest(change, ModifyType::AddValue);
        }
    }
    return result;
}

Result DirectoryAccess::DSWriteAttr(ContextHandle context, std::string_view object,
                                    std::string_view attribute, uint32_t changeType,
                                    std::string_view newText,
                                    std::optional<std::string_view> oldText) {
    client::SyntaxId syntax = 0;
    Result result = client_.GetSyntaxId(context, attribute, syntax);
    if (result != 0) return result;
    if (parser_ == nullptr) return ParseResult::NoParser;

    AttrChange change;
    change.context = context;
    change.object = std::string(object);
    change.attribute = std::string(attribute);
    change.syntax = syntax;
    uint32_t type = changeType;
    try {
        if (oldText) {
            client::AttrValue old;
            result = parser_->ParseValue(context, object, attribute, *oldText, syntax, type, old);
            if (result != 0) return result;
            change.oldValue = std::move(old);
        }
        client::AttrValue value;
        result = parser_->ParseValue(context, object, attribute, newText, syntax, type, value);
        if (result != 0) return result;
        if (syntax == client::Syntax::FaxNumber && type == ModifyType::ReplaceAll)
            KeepFaxParameters(context, object, attribute, value);
        change.newValue = std::move(value);
    } catch (...) {
        return -1;
    }
    change.type = type;
    return DSModifyAttr(change);
}

void DirectoryAccess::KeepFaxParameters(ContextHandle context, std::string_view object,
                                        std::string_view attribute, client::AttrValue& value) {
    RecordCollector held;
    ValueLines lines;
    Result read = 0;
    {
        // The read hands its records to the collector instead of the
        // formatter, which is back in place however the read ends.
        struct Swap {
            ValueFormatter*& slot;
            ValueFormatter* kept;
            ~Swap() { slot = kept; }
        } swap{formatter_, std::exchange(formatter_, &held)};
        read = DSReadValues(context, object, attribute, false, lines);
    }
    // Unread, the parameters are not known: the number is written alone.
    if (read != 0 || held.values.size() != 1) return;
    const auto* old = std::get_if<client::FaxNumberValue>(&held.values.front().record);
    auto* fax = std::get_if<client::FaxNumberValue>(&value.record);
    if (old == nullptr || fax == nullptr) return;
    fax->parameterBits = old->parameterBits;
    fax->parameters = old->parameters;
}

Result DirectoryAccess::DSWriteAttrNumber(ContextHandle context, std::string_view object,
                                          std::string_view attribute, uint32_t value) {
    client::SyntaxId syntax = 0;
    const Result result = client_.GetSyntaxId(context, attribute, syntax);
    if (result != 0) return result;
    auto number = NumberValue(syntax, value);
    // A number cannot stand for a text, a name or a structure.
    if (!number) return ParseResult::NotOfSyntax;
    AttrChange change;
    change.context = context;
    change.object = std::string(object);
    change.attribute = std::string(attribute);
    change.syntax = syntax;
    change.type = ModifyType::OverwriteValue;
    change.newValue = std::move(number);
    return DSModifyAttr(change);
}

}  // namespace vellrun::directory
