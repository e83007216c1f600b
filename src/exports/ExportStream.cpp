#include "exports/ExportStream.h"

#include "platform/TextLines.h"

#include <cstring>
#include <utility>

namespace vellrun::exports {

ExportStream::ExportStream(ExportKind kind, bool utf8Text, Output output)
    : output_(std::move(output)) {
    const bool delimited = kind != ExportKind::Html && kind != ExportKind::Xml;
    passThrough_ = delimited && utf8Text;
    style_ =
        delimited ? platform::Unmappable::QuestionMark : platform::Unmappable::CharacterReference;
    text_.reserve(kPieceSize + kPieceSize / 4);
}

namespace {

// Whether every line end of text is already a CR LF (the writers' own line
// ends are): such text goes over as it is. memchr finds the few breaks of a
// row far faster than a look at every character.
bool OnlyCrLfBreaks(std::string_view text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* at = begin; at < end; ++at) {
        at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
        if (at == nullptr) break;
        if (at == begin || at[-1] != '\r') return false;
    }
    for (const char* at = begin; at < end; ++at) {
        at = static_cast<const char*>(std::memchr(at, '\r', static_cast<size_t>(end - at)));
        if (at == nullptr) break;
        if (at + 1 == end || at[1] != '\n') return false;
    }
    return true;
}

}  // namespace

void ExportStream::Write(std::string_view text) {
    if (text.empty()) return;
    // A row at a time: a large text takes the careful way, which cuts it
    // into pieces at line ends.
    if (!afterCarriageReturn_ && text.size() <= kPieceSize && OnlyCrLfBreaks(text)) {
        text_.append(text);
        lineOpen_ = text.back() != '\n';
        if (!lineOpen_ && text_.size() >= kPieceSize) Flush(false);
        return;
    }
    size_t start = 0;
    if (afterCarriageReturn_ && !text.empty()) {
        afterCarriageReturn_ = false;
        if (text.front() == '\n') start = 1;
    }
    // Every line end (CR LF, CR or LF) becomes CR LF.
    while (start < text.size()) {
        const size_t end = platform::FindLineBreak(text, start);
        if (end == std::string_view::npos) {
            text_.append(text.substr(start));
            lineOpen_ = true;
            break;
        }
        text_.append(text.substr(start, end - start));
        text_.append("\r\n");
        lineOpen_ = false;
        start = end + 1;
        if (text[end] == '\r') {
            if (start == text.size()) {
                afterCarriageReturn_ = true;
            } else if (text[start] == '\n') {
                ++start;
            }
        }
        // Checked at every line end, so that one large write is handed on
        // in pieces too.
        if (text_.size() >= kPieceSize) Flush(false);
    }
}

void ExportStream::Finish() {
    if (lineOpen_) text_.append("\r\n");
    lineOpen_ = false;
    afterCarriageReturn_ = false;
    Flush(true);
}

void ExportStream::Flush(bool all) {
    // Cut after a line end: a character is never split between two pieces.
    size_t cut = text_.size();
    if (!all) {
        const size_t lastEnd = text_.rfind('\n');
        if (lastEnd == std::string::npos) return;
        cut = lastEnd + 1;
    }
    if (cut == 0) return;
    const std::string_view piece(text_.data(), cut);
    if (passThrough_) {
        output_(piece);
    } else {
        bytes_.clear();
        replaced_ += platform::AppendWindows1252(bytes_, piece, style_);
        output_(bytes_);
    }
    text_.erase(0, cut);
}

}  // namespace vellrun::exports
