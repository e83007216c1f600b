#pragma once

// The bytes of an export file, made while the document is written: each piece
// of program text has its line ends made CR LF and is put into the file's
// code page in the same pass, and the bytes go on to the output in pieces of
// about kPieceSize, cut at line ends. So the export never holds its document
// or its file whole; what it holds is one piece and the longest row.
//
// The result is byte for byte that of EncodeExportDocument on the whole
// document. Owned by the export that writes one file; one thread.

#include "exports/ExportFormats.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vellrun::exports {

class ExportStream {
public:
    using Output = std::function<void(std::string_view bytes)>;
    static constexpr size_t kPieceSize = 64 * 1024;

    // kind and utf8Text as for EncodeExportDocument.
    ExportStream(ExportKind kind, bool utf8Text, Output output);

    void Write(std::string_view text);
    // Ends a last line that has no line end and hands on what is left.
    void Finish();
    // Characters that became a stand-in ("?" or a character reference).
    size_t Replaced() const { return replaced_; }

private:
    // Hands on the text up to its last line end, or all of it.
    void Flush(bool all);

    Output output_;
    bool passThrough_ = false;  // UTF-8 delimited text: no code page to change to
    platform::Unmappable style_ = platform::Unmappable::QuestionMark;
    std::string text_;                  // program text with CR LF line ends, not yet handed on
    std::string bytes_;                 // the code page's bytes of one piece
    bool afterCarriageReturn_ = false;  // the last piece ended with CR: an LF next is its partner
    bool lineOpen_ = false;             // text since the last line end
    size_t replaced_ = 0;
};

}  // namespace vellrun::exports
