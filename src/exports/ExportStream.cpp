#include "exports/ExportStream.h"

#include "platform/TextLines.h"

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

void ExportStream::Write(std::string_view text) {
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
