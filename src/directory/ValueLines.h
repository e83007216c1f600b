#pragma once

// The lines of text the values of one read give, held as one text: the lines
// joined by CR LF, and where each line starts. The value formatter adds the
// lines (DirectoryAccess::DSReadValues hands it one); whoever asked for the
// read takes the joined text or walks the lines. A plain record owned by the
// caller of the read; kept from read to read, it writes into room that is
// already there. It knows nothing of values or settings.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::directory {

class ValueLines {
public:
    // What stands between two lines of the joined text.
    static constexpr std::string_view kBreak = "\r\n";

    // Appends one line.
    void Add(std::string_view line) { Start().append(line); }
    // Starts a new line and gives the text to write it at the end of: the
    // line is whatever is appended until the next line starts. Nothing before
    // the new line's start may be changed. A line may itself hold line breaks.
    std::string& Start() {
        if (!starts_.empty()) text_ += kBreak;
        starts_.push_back(text_.size());
        return text_;
    }

    size_t Count() const { return starts_.size(); }
    bool Empty() const { return starts_.empty(); }
    // Line k, counting from 0.
    std::string_view Line(size_t k) const {
        const size_t end = k + 1 < starts_.size() ? starts_[k + 1] - kBreak.size() : text_.size();
        return std::string_view(text_).substr(starts_[k], end - starts_[k]);
    }
    // Every line, joined by CR LF.
    std::string_view Joined() const { return text_; }

    // Removes every line. The room stays for the next read, but for what an
    // attribute of very many or very long values needed.
    void Clear() {
        if (text_.capacity() > kKeptBytes) {
            text_ = std::string();
        } else {
            text_.clear();
        }
        if (starts_.capacity() > kKeptLines) {
            starts_ = std::vector<size_t>();
        } else {
            starts_.clear();
        }
    }

private:
    static constexpr size_t kKeptBytes = size_t{1} << 16;
    static constexpr size_t kKeptLines = 1024;

    std::string text_;
    std::vector<size_t> starts_;
};

}  // namespace vellrun::directory
