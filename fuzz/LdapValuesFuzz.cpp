// The LDAP forms of values and names on any text: the first byte picks a
// syntax, a DN, a dotted name (typed or typeless) or a Generalized Time. What
// parses is written back, and what is written parses again to the same text,
// so nothing read from a server changes on its way back to it.

#include "FuzzSupport.h"
#include "client/AttrValue.h"
#include "client/ldap/LdapNames.h"
#include "client/ldap/LdapValues.h"
#include "platform/TextEncoding.h"

#include <string>

namespace {

using namespace vellrun;
using namespace vellrun::client::ldap;

const ValueNames& IdentityNames() {
    static const ValueNames names = [] {
        const auto same = [](std::string_view text) { return std::string(text); };
        return ValueNames{same, same, same, same, same, same};
    }();
    return names;
}

void ValueRoundTrip(client::SyntaxId syntax, std::string_view text) {
    client::AttrValue value;
    value.syntax = syntax;
    if (!ParseLdapValue(syntax, text, IdentityNames(), value)) return;
    fuzz::Check(client::RecordFitsSyntax(syntax, value.record), "a record of another layout");
    const std::string written = LdapValueText(value, IdentityNames());
    client::AttrValue again;
    again.syntax = syntax;
    fuzz::Check(ParseLdapValue(syntax, written, IdentityNames(), again),
                "a written value does not parse", written);
    fuzz::Check(LdapValueText(again, IdentityNames()) == written, "a value changes on its way back",
                written + " -> " + LdapValueText(again, IdentityNames()));
}

void DnRoundTrip(std::string_view text) {
    Name name;
    if (!ParseDn(text, name)) return;
    const std::string written = DnText(name);
    Name again;
    fuzz::Check(ParseDn(written, again), "a written DN does not parse", written);
    fuzz::Check(DnText(again) == written, "a DN changes on its way back", written);
    fuzz::Check(again.size() == name.size(), "a DN changes its depth", written);
    Name relative;
    fuzz::Check(RelativeTo(name, Name{}, relative) && DnText(Under(relative, Name{})) == written,
                "a DN is not under the empty base", written);
}

void DottedRoundTrip(std::string_view text, bool typeless) {
    Name name;
    if (!ParseDotted(text, name)) return;
    const std::string written = DottedText(name, typeless);
    Name again;
    fuzz::Check(ParseDotted(written, again), "a written dotted name does not parse", written);
    fuzz::Check(DottedText(again, typeless) == written, "a dotted name changes on its way back",
                written + " -> " + DottedText(again, typeless));
}

void TimeRoundTrip(std::string_view text) {
    uint32_t seconds = 0;
    if (!ParseGeneralizedTime(text, seconds)) return;
    const std::string written = GeneralizedTimeText(seconds);
    uint32_t again = 0;
    fuzz::Check(ParseGeneralizedTime(written, again) && again == seconds,
                "a written time reads another time", written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t choice = fuzz::TakeByte(data, size);
    const std::string_view text = fuzz::AsText(data, size);
    if (choice < 0x80) {
        ValueRoundTrip(choice & 0x1F, text);
    } else if (choice < 0xA0) {
        DnRoundTrip(text);
    } else if (choice < 0xC0) {
        DottedRoundTrip(text, false);
    } else if (choice < 0xE0) {
        DottedRoundTrip(text, true);
    } else {
        TimeRoundTrip(text);
        IsRootName(text);
        fuzz::Check(platform::IsValidUtf8(EscapeDottedValue(text)) || !platform::IsValidUtf8(text),
                    "an escaped value is not UTF-8");
    }
    return 0;
}
