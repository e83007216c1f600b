#include "client/AttrValue.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <type_traits>

namespace vellrun::client {
namespace {

// The position of a record type among the alternatives of ValueRecord.
template <typename T, typename Variant>
struct AlternativeIndex;
template <typename T, typename... Ts>
struct AlternativeIndex<T, std::variant<Ts...>> {
    static constexpr size_t value = [] {
        size_t index = 0;
        bool found = false;
        ((found = found || std::is_same_v<T, Ts>, index += found ? 0 : 1), ...);
        return index;
    }();
};
template <typename T>
constexpr size_t kIndexOf = AlternativeIndex<T, ValueRecord>::value;

size_t LayoutIndex(SyntaxId syntax) {
    switch (syntax) {
        case Syntax::Unknown: return kIndexOf<UnknownValue>;
        case Syntax::DistName:
        case Syntax::CeString:
        case Syntax::CiString:
        case Syntax::PrString:
        case Syntax::NuString:
        case Syntax::TelNumber:
        case Syntax::ClassName: return kIndexOf<StringValue>;
        case Syntax::CiList: return kIndexOf<CiListValue>;
        case Syntax::Boolean: return kIndexOf<BooleanValue>;
        case Syntax::Integer:
        case Syntax::Counter: return kIndexOf<IntegerValue>;
        case Syntax::OctetString: return kIndexOf<OctetStringValue>;
        case Syntax::FaxNumber: return kIndexOf<FaxNumberValue>;
        case Syntax::NetAddress: return kIndexOf<NetAddressValue>;
        case Syntax::OctetList: return kIndexOf<OctetListValue>;
        case Syntax::EmailAddress: return kIndexOf<EmailAddressValue>;
        case Syntax::Path: return kIndexOf<PathValue>;
        case Syntax::ReplicaPointer: return kIndexOf<ReplicaPointerValue>;
        case Syntax::ObjectAcl: return kIndexOf<ObjectAclValue>;
        case Syntax::PoAddress: return kIndexOf<PostalAddressValue>;
        case Syntax::Timestamp: return kIndexOf<TimeStamp>;
        case Syntax::Stream: return kIndexOf<StreamValue>;
        case Syntax::BackLink: return kIndexOf<BackLinkValue>;
        case Syntax::Time: return kIndexOf<TimeValue>;
        case Syntax::TypedName: return kIndexOf<TypedNameValue>;
        case Syntax::Hold: return kIndexOf<HoldValue>;
        case Syntax::Interval: return kIndexOf<IntervalValue>;
        default: return kIndexOf<RawValue>;
    }
}

size_t TextSize(const std::string& text) {
    return text.size() + 1;
}

// Sizes follow the client's records: 4 bytes for every number and reference,
// texts with their terminating zero, counted bytes behind their count.
struct SizeOf {
    size_t operator()(const UnknownValue& v) const {
        return 4 + TextSize(v.attributeName) + 4 + 4 + v.data.size();
    }
    size_t operator()(const StringValue& v) const { return TextSize(v.text); }
    size_t operator()(const CiListValue& v) const {
        size_t size = 4;
        for (const auto& s : v.strings)
            size += 8 + TextSize(s);
        return size;
    }
    size_t operator()(const BooleanValue&) const { return 1; }
    size_t operator()(const IntegerValue&) const { return 4; }
    size_t operator()(const OctetStringValue& v) const { return 8 + v.data.size(); }
    size_t operator()(const FaxNumberValue& v) const {
        return 4 + TextSize(v.number) + 8 + v.parameters.size();
    }
    size_t operator()(const NetAddressValue& v) const { return 12 + v.address.size(); }
    size_t operator()(const OctetListValue& v) const {
        size_t size = 4;
        for (const auto& s : v.strings)
            size += 12 + s.size();
        return size;
    }
    size_t operator()(const EmailAddressValue& v) const { return 8 + TextSize(v.address); }
    size_t operator()(const PathValue& v) const {
        return 12 + TextSize(v.volume) + TextSize(v.path);
    }
    size_t operator()(const ReplicaPointerValue& v) const {
        size_t size = 20 + TextSize(v.server);
        for (const auto& a : v.addresses)
            size += (*this)(a);
        return size;
    }
    size_t operator()(const ObjectAclValue& v) const {
        return 12 + TextSize(v.protectedAttribute) + TextSize(v.subject);
    }
    size_t operator()(const PostalAddressValue& v) const {
        size_t size = 0;
        for (const auto& line : v.lines)
            size += 4 + TextSize(line);
        return size;
    }
    size_t operator()(const TimeStamp&) const { return 8; }
    size_t operator()(const StreamValue&) const { return 0; }
    size_t operator()(const BackLinkValue& v) const { return 8 + TextSize(v.objectName); }
    size_t operator()(const TimeValue&) const { return 4; }
    size_t operator()(const TypedNameValue& v) const { return 12 + TextSize(v.objectName); }
    size_t operator()(const HoldValue& v) const { return 8 + TextSize(v.objectName); }
    size_t operator()(const IntervalValue&) const { return 4; }
    size_t operator()(const RawValue& v) const { return v.bytes.size(); }
};

using platform::EqualsNoCase;

// Names and case-ignoring strings compare without regard to case; the rest exactly.
bool SyntaxIgnoresCase(SyntaxId syntax) {
    switch (syntax) {
        case Syntax::DistName:
        case Syntax::CiString:
        case Syntax::CiList:
        case Syntax::ClassName: return true;
        default: return false;
    }
}

struct Same {
    bool ignoreCase;
    bool Text(const std::string& a, const std::string& b) const {
        return ignoreCase ? EqualsNoCase(a, b) : a == b;
    }
    bool operator()(const UnknownValue& a, const UnknownValue& b) const { return a.data == b.data; }
    bool operator()(const StringValue& a, const StringValue& b) const {
        return Text(a.text, b.text);
    }
    bool operator()(const CiListValue& a, const CiListValue& b) const {
        return std::equal(a.strings.begin(), a.strings.end(), b.strings.begin(), b.strings.end(),
                          [this](const auto& x, const auto& y) { return Text(x, y); });
    }
    bool operator()(const BooleanValue& a, const BooleanValue& b) const {
        return (a.value != 0) == (b.value != 0);
    }
    bool operator()(const IntegerValue& a, const IntegerValue& b) const {
        return a.value == b.value;
    }
    bool operator()(const OctetStringValue& a, const OctetStringValue& b) const {
        return a.data == b.data;
    }
    bool operator()(const FaxNumberValue& a, const FaxNumberValue& b) const {
        return a.number == b.number;
    }
    bool operator()(const NetAddressValue& a, const NetAddressValue& b) const {
        return a.type == b.type && a.address == b.address;
    }
    bool operator()(const OctetListValue& a, const OctetListValue& b) const {
        return a.strings == b.strings;
    }
    bool operator()(const EmailAddressValue& a, const EmailAddressValue& b) const {
        return a.type == b.type && EqualsNoCase(a.address, b.address);
    }
    bool operator()(const PathValue& a, const PathValue& b) const {
        return a.nameSpace == b.nameSpace && EqualsNoCase(a.volume, b.volume) &&
               EqualsNoCase(a.path, b.path);
    }
    bool operator()(const ReplicaPointerValue& a, const ReplicaPointerValue& b) const {
        return EqualsNoCase(a.server, b.server);
    }
    bool operator()(const ObjectAclValue& a, const ObjectAclValue& b) const {
        return EqualsNoCase(a.protectedAttribute, b.protectedAttribute) &&
               EqualsNoCase(a.subject, b.subject) && a.privileges == b.privileges;
    }
    bool operator()(const PostalAddressValue& a, const PostalAddressValue& b) const {
        if (a.lines.size() != b.lines.size()) return false;
        for (size_t i = 0; i < a.lines.size(); ++i) {
            if (!EqualsNoCase(a.lines[i], b.lines[i])) return false;
        }
        return true;
    }
    bool operator()(const TimeStamp& a, const TimeStamp& b) const {
        return a.seconds == b.seconds && a.replica == b.replica && a.event == b.event;
    }
    bool operator()(const StreamValue&, const StreamValue&) const { return true; }
    bool operator()(const BackLinkValue& a, const BackLinkValue& b) const {
        return a.remoteId == b.remoteId && EqualsNoCase(a.objectName, b.objectName);
    }
    bool operator()(const TimeValue& a, const TimeValue& b) const { return a.seconds == b.seconds; }
    bool operator()(const TypedNameValue& a, const TypedNameValue& b) const {
        return EqualsNoCase(a.objectName, b.objectName) && a.level == b.level &&
               a.interval == b.interval;
    }
    bool operator()(const HoldValue& a, const HoldValue& b) const {
        return EqualsNoCase(a.objectName, b.objectName);
    }
    bool operator()(const IntervalValue& a, const IntervalValue& b) const {
        return a.seconds == b.seconds;
    }
    bool operator()(const RawValue& a, const RawValue& b) const { return a.bytes == b.bytes; }
    template <typename A, typename B>
    bool operator()(const A&, const B&) const {
        return false;
    }
};

}  // namespace

ValueRecord EmptyRecordFor(SyntaxId syntax) {
    ValueRecord record;
    const size_t index = LayoutIndex(syntax);
    // Walk the alternatives once to default-construct the wanted one.
    [&]<size_t... I>(std::index_sequence<I...>) {
        ((I == index ? (record.emplace<I>(), 0) : 0), ...);
    }
    (std::make_index_sequence<std::variant_size_v<ValueRecord>>{});
    if (auto* unknown = std::get_if<UnknownValue>(&record)) unknown->syntax = syntax;
    return record;
}

bool RecordFitsSyntax(SyntaxId syntax, const ValueRecord& record) {
    return record.index() == LayoutIndex(syntax);
}

size_t RecordSize(const AttrValue& value) {
    return std::visit(SizeOf{}, value.record);
}

bool SameValue(const AttrValue& a, const AttrValue& b) {
    if (a.syntax != b.syntax) return false;
    return std::visit(Same{SyntaxIgnoresCase(a.syntax)}, a.record, b.record);
}

}  // namespace vellrun::client
