#include "platform/StringList.h"

#include "platform/AsciiText.h"
#include "platform/TextCollator.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vellrun::platform {

StringList::StringList(bool sorted, Duplicates duplicates)
    : sorted_(sorted), duplicates_(duplicates) {
    if (sorted_) order_ = std::make_shared<const TextCollator>();
}

bool StringList::Less(std::string_view a, std::string_view b) const {
    return order_->Order(a, b) < 0;
}

void StringList::SetSorted(bool sorted) {
    if (sorted && !order_) order_ = std::make_shared<const TextCollator>();
    if (sorted && !sorted_ && items_.size() > 1) {
        // Each text's key is made once: the collation's key, then the text
        // with ASCII case folded for the texts the collation holds equal.
        std::vector<std::pair<std::string, size_t>> keys;
        keys.reserve(items_.size());
        for (size_t i = 0; i < items_.size(); ++i) {
            std::string key = order_->SortKey(items_[i].text);
            key += '\0';
            key += AsciiLowerCopy(items_[i].text);
            keys.emplace_back(std::move(key), i);
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Item> ordered;
        ordered.reserve(items_.size());
        for (const auto& key : keys)
            ordered.push_back(std::move(items_[key.second]));
        items_ = std::move(ordered);
    }
    sorted_ = sorted;
}

size_t StringList::Add(std::string text, int64_t number) {
    if (!sorted_) {
        items_.push_back(Item{std::move(text), number});
        return items_.size() - 1;
    }
    auto first = std::lower_bound(
        items_.begin(), items_.end(), text,
        [this](const Item& item, const std::string& probe) { return Less(item.text, probe); });
    if (duplicates_ == Duplicates::Ignore && first != items_.end() &&
        CompareText(first->text, text) == 0) {
        return static_cast<size_t>(first - items_.begin());
    }
    auto place = std::upper_bound(
        first, items_.end(), text,
        [this](const std::string& probe, const Item& item) { return Less(probe, item.text); });
    auto inserted = items_.insert(place, Item{std::move(text), number});
    return static_cast<size_t>(inserted - items_.begin());
}

void StringList::Insert(size_t index, std::string text, int64_t number) {
    if (sorted_) throw std::logic_error("StringList: Insert on a sorted list");
    if (index > items_.size()) throw std::out_of_range("StringList: Insert index");
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index),
                  Item{std::move(text), number});
}

void StringList::Delete(size_t index) {
    if (index >= items_.size()) throw std::out_of_range("StringList: Delete index");
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::optional<size_t> StringList::IndexOf(std::string_view text) const {
    if (sorted_) {
        auto first = std::lower_bound(
            items_.begin(), items_.end(), text,
            [this](const Item& item, std::string_view probe) { return Less(item.text, probe); });
        if (first != items_.end() && CompareText(first->text, text) == 0) {
            return static_cast<size_t>(first - items_.begin());
        }
        return std::nullopt;
    }
    for (size_t i = 0; i < items_.size(); ++i) {
        if (CompareText(items_[i].text, text) == 0) return i;
    }
    return std::nullopt;
}

std::vector<std::string> StringList::Texts() const {
    std::vector<std::string> texts;
    texts.reserve(items_.size());
    for (const Item& item : items_)
        texts.push_back(item.text);
    return texts;
}

std::string StringList::Joined(std::string_view separator) const {
    std::string joined;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) joined += separator;
        joined += items_[i].text;
    }
    return joined;
}

int StringList::CompareText(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace vellrun::platform
