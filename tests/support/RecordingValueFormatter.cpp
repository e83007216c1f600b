#include "support/RecordingValueFormatter.h"

#include "directory/DirectoryAccess.h"

#include <stdexcept>
#include <type_traits>
#include <variant>

namespace vellrun::testing {

client::Result RecordingValueFormatter::FormatValue(
    client::ContextHandle context, std::string_view object, std::string_view attribute,
    directory::ValueLines& lines, const client::AttrValue& value, size_t size, uint32_t position) {
    calls.push_back({std::string(object), std::string(attribute), value.syntax, size, position});
    if (throwAtPosition != 0 && position == throwAtPosition) {
        throw std::runtime_error("cannot format value " + std::to_string(position));
    }
    if (value.syntax == client::Syntax::Stream) {
        if (access == nullptr) throw std::logic_error("stream without access");
        std::vector<uint8_t> buffer(directory::DirectoryAccess::kStreamBufferSize);
        size_t read = buffer.size();
        const client::Result result =
            access->DSReadStream(context, object, attribute, buffer, read);
        if (result != 0) return result;
        lines.Add(std::string_view(reinterpret_cast<const char*>(buffer.data()), read));
        return 0;
    }
    lines.Add(PlainText(value));
    return 0;
}

std::string RecordingValueFormatter::PlainText(const client::AttrValue& value) {
    return std::visit(
        [&](const auto& record) -> std::string {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, client::StringValue>) {
                return record.text;
            } else if constexpr (std::is_same_v<T, client::IntegerValue>) {
                return std::to_string(record.value);
            } else if constexpr (std::is_same_v<T, client::BooleanValue>) {
                return record.value != 0 ? "TRUE" : "FALSE";
            } else if constexpr (std::is_same_v<T, client::CiListValue>) {
                std::string joined;
                for (const auto& text : record.strings)
                    joined += (joined.empty() ? "" : "|") + text;
                return joined;
            } else {
                return "<syntax " + std::to_string(value.syntax) + ">";
            }
        },
        value.record);
}

}  // namespace vellrun::testing
