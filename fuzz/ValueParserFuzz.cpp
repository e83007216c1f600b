// The value parser on any text in every syntax: the first byte picks the
// syntax (and the short date format a typed time is read in), the rest is
// the text as a person typed it. A text is a value or a refusal; a value
// fits the client's value buffer, and reading the same text twice gives the
// same answer.

#include "FuzzSupport.h"
#include "client/AttrValue.h"
#include "values/ValueTextParser.h"

#include <array>
#include <string_view>

namespace {

using namespace vellrun;

constexpr std::array<std::string_view, 4> kDateFormats{"yyyy-MM-dd", "dd.MM.yy", "mmm dd, yyyy",
                                                       "MM/dd/yyyy"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t choice = fuzz::TakeByte(data, size);
    const client::SyntaxId syntax = choice & 0x1F;
    platform::DateTimeFormats formats;
    formats.shortDate = std::string(kDateFormats[(choice >> 5) & 3]);
    formats.dateSeparator = formats.shortDate[2] == '.' ? '.' : '-';
    values::ValueTextParser parser(formats);
    const std::string_view text = fuzz::AsText(data, size);

    uint32_t changeType = 0;
    client::AttrValue value;
    const client::Result result = parser.ParseValue(client::ContextHandle{}, "obj.Corp", "Attr",
                                                    text, syntax, changeType, value);
    uint32_t againType = 0;
    client::AttrValue again;
    const client::Result resultAgain = parser.ParseValue(client::ContextHandle{}, "obj.Corp",
                                                         "Attr", text, syntax, againType, again);
    fuzz::Check(result == resultAgain && changeType == againType,
                "the same text read twice gives two answers");
    if (result == 0) {
        fuzz::Check(value.record.index() == again.record.index(), "two kinds of value");
        fuzz::Check(client::RecordFitsSyntax(syntax, value.record),
                    "a value whose record does not fit its syntax");
    }
    return 0;
}
