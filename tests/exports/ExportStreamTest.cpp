// The streamed export file against the whole-document encoding: whatever
// pieces the document arrives in, the bytes and the count of stand-ins match.

#include "exports/ExportStream.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::exports {
namespace {

// A document that crosses several output pieces, with every kind of line
// end, characters the code page has and lacks, and a broken byte.
std::string LargeDocument() {
    std::string document;
    for (int i = 0; document.size() < 3 * ExportStream::kPieceSize; ++i) {
        document += "row " + std::to_string(i) + " \xC5\x81\xC3\xB3\x64\xC5\xBA \xE2\x82\xAC";
        switch (i % 5) {
            case 0: document += "\r\n"; break;
            case 1: document += "\n"; break;
            case 2: document += "\r"; break;
            case 3: document += "\xFF\r\n"; break;
            default: document += " & <b>\r\n\r\n";
        }
    }
    return document + "last line without an end";
}

// The same rows with CR LF alone, as the format writers end their lines.
std::string CrLfDocument() {
    std::string document;
    for (int i = 0; document.size() < 3 * ExportStream::kPieceSize; ++i) {
        document += "<td>" + std::to_string(i) + " \xC5\x81\xC3\xB3\x64\xC5\xBA</td>\r\n";
        if (i % 7 == 0) document += "\r\n";
    }
    return document;
}

struct Streamed {
    std::string bytes;
    size_t replaced = 0;
    std::vector<size_t> pieces;
};

// The document handed over in pieces of the given sizes, cycling.
Streamed Stream(std::string_view document, ExportKind kind, bool utf8,
                const std::vector<size_t>& sizes) {
    Streamed result;
    ExportStream stream(kind, utf8, [&result](std::string_view bytes) {
        result.bytes.append(bytes);
        result.pieces.push_back(bytes.size());
    });
    size_t at = 0;
    for (size_t i = 0; at < document.size(); ++i) {
        const size_t size = sizes[i % sizes.size()];
        stream.Write(document.substr(at, size));
        at += size;
    }
    stream.Finish();
    result.replaced = stream.Replaced();
    return result;
}

TEST(ExportStream, MatchesTheWholeDocumentInAnyPieces) {
    for (const std::string& document : {LargeDocument(), CrLfDocument()}) {
        // Odd sizes split CR from LF and cut through multi-byte characters.
        const std::vector<std::vector<size_t>> cuts = {
            {document.size()}, {1}, {7, 3, 1, 250}, {4096}};
        for (const ExportKind kind : {ExportKind::Text, ExportKind::Html, ExportKind::Xml}) {
            for (const bool utf8 : {false, true}) {
                const platform::EncodedText whole = EncodeExportDocument(document, kind, utf8);
                for (const auto& sizes : cuts) {
                    SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " utf8 "
                                                    << utf8 << " first piece " << sizes[0]);
                    const Streamed streamed = Stream(document, kind, utf8, sizes);
                    EXPECT_EQ(streamed.bytes, whole.bytes);
                    EXPECT_EQ(streamed.replaced, whole.replaced);
                    // The file grows in bounded pieces, never the whole document at once.
                    ASSERT_GT(streamed.pieces.size(), 2u);
                    for (const size_t piece : streamed.pieces) {
                        EXPECT_LE(piece, 2 * ExportStream::kPieceSize);
                    }
                }
            }
        }
    }
}

TEST(ExportStream, EmptyAndOpenEndedDocuments) {
    EXPECT_EQ(Stream("", ExportKind::Text, false, {1}).bytes, "");
    EXPECT_TRUE(Stream("", ExportKind::Text, false, {1}).pieces.empty());
    // A CR that ends one piece and the LF that starts the next are one line end.
    EXPECT_EQ(Stream("a\r\nb\r", ExportKind::Html, false, {2, 1, 1}).bytes, "a\r\nb\r\n");
    EXPECT_EQ(Stream("a\r\r\nb", ExportKind::Text, true, {2, 1}).bytes, "a\r\n\r\nb\r\n");
}

}  // namespace
}  // namespace vellrun::exports
