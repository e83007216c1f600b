#include "client/ObjectIdentifiers.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vellrun::client {
namespace {

constexpr uint8_t kOidTag = 6;

std::optional<ObjectIdentifier> Refused(std::string* fault, std::string why) {
    if (fault) *fault = std::move(why);
    return std::nullopt;
}

}  // namespace

std::optional<ObjectIdentifier> EncodeOid(std::string_view dotted, std::string* fault) {
    std::vector<uint32_t> numbers;
    for (size_t at = 0;;) {
        uint64_t number = 0;
        size_t digits = 0;
        while (at < dotted.size() && dotted[at] >= '0' && dotted[at] <= '9') {
            number = number * 10 + static_cast<uint64_t>(dotted[at] - '0');
            if (number > UINT32_MAX) return Refused(fault, "has a number above 4294967295");
            ++at;
            ++digits;
        }
        if (digits == 0) return Refused(fault, "is not a dotted object identifier");
        numbers.push_back(static_cast<uint32_t>(number));
        if (at == dotted.size()) break;
        if (dotted[at] != '.') return Refused(fault, "is not a dotted object identifier");
        ++at;
    }
    if (numbers.size() < 2) return Refused(fault, "has fewer than two numbers");
    if (numbers[0] > 2 || numbers[1] > 39) {
        return Refused(fault, "must start with 0, 1 or 2, and a second number below 40");
    }
    // Each number after the first two in base 128, high groups first, the top
    // bit set on all but the last byte.
    std::vector<uint8_t> content{static_cast<uint8_t>(numbers[0] * 40 + numbers[1])};
    for (size_t i = 2; i < numbers.size(); ++i) {
        uint8_t groups[5];
        size_t count = 0;
        uint32_t number = numbers[i];
        do {
            groups[count++] = static_cast<uint8_t>(number & 0x7F);
            number >>= 7;
        } while (number != 0);
        while (count > 0) {
            --count;
            content.push_back(static_cast<uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
        }
    }
    ObjectIdentifier identifier;
    const size_t length = content.size() + 2;
    if (length > identifier.data.size()) {
        return Refused(fault, "encodes to " + std::to_string(length) + " bytes; at most " +
                                  std::to_string(identifier.data.size()) + " fit");
    }
    identifier.data[0] = kOidTag;
    identifier.data[1] = static_cast<uint8_t>(content.size());
    std::copy(content.begin(), content.end(), identifier.data.begin() + 2);
    identifier.length = static_cast<uint32_t>(length);
    return identifier;
}

std::string OidText(const ObjectIdentifier& identifier) {
    const auto& data = identifier.data;
    const size_t length = identifier.length;
    // Two header bytes (tag and content length) and a first content byte at least.
    if (length < 3 || data[0] != kOidTag) return {};
    const size_t contentLength = data[1];
    if (contentLength == 0 || length < contentLength + 1) return {};

    const uint8_t first = data[2];
    std::string text = std::to_string(first / 40) + "." + std::to_string(first % 40);
    const size_t end = std::min({2 + contentLength, length, data.size()});
    uint32_t accumulator = 0;
    for (size_t i = 3; i < end; ++i) {
        // Unsigned arithmetic: an over-long number wraps instead of overflowing.
        const uint32_t value = accumulator * 128 + (data[i] & 0x7F);
        if (data[i] & 0x80) {
            accumulator = value;
        } else {
            text += "." + std::to_string(value);
            accumulator = 0;
        }
    }
    return text;
}

}  // namespace vellrun::client
