#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::platform {

class TextCollator;

// The program's list of texts, each with an associated number (a connection
// reference, the length of a line's prefix, a class's flags, a front end's
// node handle). Texts are found without regard to ASCII case; a sorted list
// keeps its texts in the order of the user's locale without regard to case
// (TextCollator::Order of the environment's collation, the order the results
// grid sorts by). A plain value owned by whoever fills it; it knows nothing
// of what the numbers mean.
class StringList {
public:
    struct Item {
        std::string text;
        int64_t number = 0;
    };

    // What Add does on a sorted list with a text it holds already (in any case).
    // An unsorted list accepts every text.
    enum class Duplicates { Ignore, Accept };

    StringList() = default;
    explicit StringList(bool sorted, Duplicates duplicates = Duplicates::Ignore);

    bool Sorted() const { return sorted_; }
    // Switching sorting on sorts the texts already held (stable).
    void SetSorted(bool sorted);
    Duplicates DuplicatePolicy() const { return duplicates_; }
    void SetDuplicatePolicy(Duplicates duplicates) { duplicates_ = duplicates; }

    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const Item& operator[](size_t index) const { return items_.at(index); }
    const std::string& Text(size_t index) const { return items_.at(index).text; }
    int64_t Number(size_t index) const { return items_.at(index).number; }
    void SetNumber(size_t index, int64_t number) { items_.at(index).number = number; }

    // Adds at the end, or at the text's place in a sorted list (after equal
    // texts). Returns the index of the new item, or, when a sorted list
    // ignores a duplicate, of the item it holds already.
    size_t Add(std::string text, int64_t number = 0);
    // Places an item at index (0 to Count()); refused with std::logic_error on
    // a sorted list, whose order Add keeps.
    void Insert(size_t index, std::string text, int64_t number = 0);
    void Delete(size_t index);
    void Clear() { items_.clear(); }

    // The first item with this text, compared without regard to case.
    std::optional<size_t> IndexOf(std::string_view text) const;
    bool Contains(std::string_view text) const { return IndexOf(text).has_value(); }

    std::vector<std::string> Texts() const;
    std::string Joined(std::string_view separator) const;

    std::vector<Item>::const_iterator begin() const { return items_.begin(); }
    std::vector<Item>::const_iterator end() const { return items_.end(); }

    // <0, 0, >0 like strcmp, ignoring the case of ASCII letters: the
    // equality of the texts of a list.
    static int CompareText(std::string_view a, std::string_view b);

private:
    bool Less(std::string_view a, std::string_view b) const;

    std::vector<Item> items_;
    // The collation a sorted list keeps its order by, made when it is first
    // sorted; copies of the list share it.
    std::shared_ptr<const TextCollator> order_;
    bool sorted_ = false;
    Duplicates duplicates_ = Duplicates::Ignore;
};

}  // namespace vellrun::platform
