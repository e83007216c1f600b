#include "platform/TextCollator.h"

#include "platform/AsciiText.h"
#include "platform/StringList.h"

#include <cstdlib>
#include <limits>
#include <string>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

namespace vellrun::platform {

namespace {

// ICU knows "de_DE" but not the code set and modifier of "de_DE.UTF-8@euro".
std::string IcuLocaleId(std::string_view posixName) {
    return std::string(posixName.substr(0, posixName.find_first_of(".@")));
}

}  // namespace

std::string EnvironmentLocaleName(const char* category) {
    for (const char* variable : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

struct TextCollator::Impl {
    std::unique_ptr<icu::Collator> collator;
};

TextCollator::TextCollator(const char* localeName) : impl_(std::make_unique<Impl>()) {
    const std::string name =
        localeName != nullptr ? localeName : EnvironmentLocaleName("LC_COLLATE");
    const std::string id = IcuLocaleId(name);
    // "C" and "POSIX" have no collation of their own; ICU's root order is the
    // neutral one and still sorts "b" before "C".
    const icu::Locale locale = (id.empty() || id == "C" || id == "POSIX") ? icu::Locale::getRoot()
                                                                          : icu::Locale(id.c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) return;
    // Secondary strength: accents still count, case does not.
    collator->setStrength(icu::Collator::SECONDARY);
    impl_->collator = std::move(collator);
}

TextCollator::~TextCollator() = default;

int TextCollator::Compare(std::string_view a, std::string_view b) const {
    constexpr size_t kIcuMaxLength = std::numeric_limits<int32_t>::max();
    if (impl_->collator && a.size() <= kIcuMaxLength && b.size() <= kIcuMaxLength) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = impl_->collator->compareUTF8(
            icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status)) return static_cast<int>(result);
    }
    // Without ICU's data the order is still total and ignores ASCII case.
    return StringList::CompareText(a, b);
}

int TextCollator::Order(std::string_view a, std::string_view b) const {
    const int collated = Compare(a, b);
    return collated != 0 ? collated : StringList::CompareText(a, b);
}

std::string TextCollator::SortKey(std::string_view text) const {
    constexpr size_t kIcuMaxLength = std::numeric_limits<int32_t>::max();
    if (impl_->collator && text.size() <= kIcuMaxLength) {
        const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
        std::string key(text.size() * 2 + 16, '\0');
        auto* bytes = reinterpret_cast<uint8_t*>(key.data());
        int32_t length =
            impl_->collator->getSortKey(unicode, bytes, static_cast<int32_t>(key.size()));
        if (length > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<size_t>(length));
            bytes = reinterpret_cast<uint8_t*>(key.data());
            length = impl_->collator->getSortKey(unicode, bytes, length);
        }
        if (length > 0) {
            key.resize(static_cast<size_t>(length));
            return key;
        }
    }
    // The same order as Compare's fallback: ASCII case folded, then bytes.
    return AsciiLowerCopy(text);
}

}  // namespace vellrun::platform
