#include "exports/WorkbookCheck.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include <unzip.h>

namespace vellrun::exports {

namespace {

// Inflated bytes read at a time.
constexpr size_t kChunkBytes = 256 * 1024;
// An XML part's root element begins within its first bytes, and a
// worksheet's rows end within its last ones.
constexpr size_t kHeadBytes = 4096;
constexpr size_t kTailBytes = 4096;
constexpr std::string_view kRowsOpen = "<sheetData>";
constexpr std::string_view kRowsClose = "</sheetData>";

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsXmlPart(std::string_view name) {
    return name.ends_with(".xml") || name.ends_with(".rels");
}

// N of a part named "xl/worksheets/sheetN.xml", else 0.
size_t WorksheetNumber(std::string_view name) {
    constexpr std::string_view prefix = "xl/worksheets/sheet";
    constexpr std::string_view suffix = ".xml";
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return 0;
    const std::string_view digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 7 || digits.front() == '0') return 0;
    size_t number = 0;
    for (const char c : digits) {
        if (!platform::IsAsciiDigit(c)) return 0;
        number = number * 10 + static_cast<size_t>(c - '0');
    }
    return number;
}

// Keeps the last `keep` bytes of what is appended.
void KeepLast(std::string& kept, std::string_view more, size_t keep) {
    if (more.size() >= keep) {
        kept.assign(more.substr(more.size() - keep));
        return;
    }
    kept.append(more);
    if (kept.size() > keep) kept.erase(0, kept.size() - keep);
}

// What the checks need of one part, taken as it is inflated: its first and
// last bytes, its size, and in a worksheet where its rows begin.
class PartSummary {
public:
    explicit PartSummary(bool findRows) : findRows_(findRows) {}

    void Take(std::string_view chunk) {
        if (head_.size() < kHeadBytes) head_.append(chunk.substr(0, kHeadBytes - head_.size()));
        if (findRows_ && !rowsOpen_) FindRowsOpen(chunk);
        KeepLast(tail_, chunk, kTailBytes);
        size_ += chunk.size();
    }

    uint64_t Size() const { return size_; }

    // The part ends with the closing tag of its root element, or is one
    // self-closed root element.
    bool EndsWhole() const {
        const std::string_view head = head_;
        size_t at = 0;
        for (;;) {
            while (at < head.size() && IsXmlSpace(head[at]))
                ++at;
            const std::string_view rest = head.substr(at);
            std::string_view end;
            if (rest.starts_with("<?")) {
                end = "?>";
            } else if (rest.starts_with("<!--")) {
                end = "-->";
            } else {
                break;
            }
            at = head.find(end, at);
            if (at == std::string_view::npos) return false;
            at += end.size();
        }
        if (at >= head.size() || head[at] != '<') return false;
        const size_t nameStart = at + 1;
        size_t nameEnd = nameStart;
        while (nameEnd < head.size() && !IsXmlSpace(head[nameEnd]) && head[nameEnd] != '/' &&
               head[nameEnd] != '>') {
            ++nameEnd;
        }
        if (nameEnd == nameStart) return false;
        // The end of the root's start tag; an attribute's value may hold '>'.
        size_t tagEnd = nameEnd;
        char quote = 0;
        for (; tagEnd < head.size(); ++tagEnd) {
            const char c = head[tagEnd];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (tagEnd >= head.size()) return false;
        std::string_view tail = tail_;
        uint64_t trailing = 0;
        while (!tail.empty() && IsXmlSpace(tail.back())) {
            tail.remove_suffix(1);
            ++trailing;
        }
        if (head[tagEnd - 1] == '/') return size_ - trailing == tagEnd + 1;
        const std::string close =
            "</" + std::string(head.substr(nameStart, nameEnd - nameStart)) + ">";
        return tail.ends_with(close);
    }

    // The bytes between the worksheet's first "<sheetData>" and its last
    // "</sheetData>" (cell texts never hold a '<' of their own), or nothing
    // when one of them is missing.
    std::optional<uint64_t> RowBytes() const {
        const size_t close = tail_.rfind(kRowsClose);
        if (!rowsOpen_ || close == std::string::npos) return std::nullopt;
        const uint64_t closeAt = size_ - tail_.size() + close;
        const uint64_t rowsAt = *rowsOpen_ + kRowsOpen.size();
        if (closeAt < rowsAt) return std::nullopt;
        return closeAt - rowsAt;
    }

private:
    void FindRowsOpen(std::string_view chunk) {
        // A match that straddles the previous chunk and this one.
        std::string seam = carry_;
        seam.append(chunk.substr(0, std::min(chunk.size(), kRowsOpen.size() - 1)));
        if (const size_t at = seam.find(kRowsOpen); at != std::string::npos) {
            rowsOpen_ = size_ - carry_.size() + at;
        } else if (const size_t inside = chunk.find(kRowsOpen); inside != std::string::npos) {
            rowsOpen_ = size_ + inside;
        }
        KeepLast(carry_, chunk, kRowsOpen.size() - 1);
    }

    bool findRows_;
    std::string head_;
    std::string tail_;
    std::string carry_;  // the last bytes before the chunk, while rows are looked for
    uint64_t size_ = 0;
    std::optional<uint64_t> rowsOpen_;
};

// The reason for a failed minizip call: the system's, when reading failed.
std::string Failure(int code, int error) {
    if (code == UNZ_ERRNO && error != 0) {
        return "the finished workbook could not be read back (" +
               std::generic_category().message(error) + ")";
    }
    return std::string(kIncompleteWorkbook);
}

class ZipReader {
public:
    explicit ZipReader(const std::filesystem::path& file) : zip_(unzOpen64(file.c_str())) {}
    ~ZipReader() {
        if (zip_ != nullptr) unzClose(zip_);
    }
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;
    unzFile Get() const { return zip_; }

private:
    unzFile zip_;
};

}  // namespace

std::string CheckWorkbookFile(const std::filesystem::path& file,
                              const std::vector<uint64_t>& sheetRowBytes) {
    errno = 0;
    const ZipReader reader(file);
    unzFile zip = reader.Get();
    if (zip == nullptr) return Failure(UNZ_ERRNO, errno);
    std::vector<bool> found(sheetRowBytes.size(), false);
    std::string buffer(kChunkBytes, '\0');
    for (int at = unzGoToFirstFile(zip); at != UNZ_END_OF_LIST_OF_FILE; at = unzGoToNextFile(zip)) {
        if (at != UNZ_OK) return Failure(at, errno);
        unz_file_info64 info{};
        char name[256] = {};
        if (const int got =
                unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0);
            got != UNZ_OK) {
            return Failure(got, errno);
        }
        const std::string_view partName(name);
        const size_t sheet = WorksheetNumber(partName);
        const bool isSheet = sheet >= 1 && sheet <= sheetRowBytes.size();
        if (const int opened = unzOpenCurrentFile(zip); opened != UNZ_OK)
            return Failure(opened, errno);
        PartSummary part(isSheet);
        errno = 0;
        int read = 0;
        for (;;) {
            read = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
            if (read <= 0) break;
            part.Take(std::string_view(buffer.data(), static_cast<size_t>(read)));
        }
        const int readError = errno;
        // Reports a CRC that does not match what was inflated.
        const int closed = unzCloseCurrentFile(zip);
        if (read < 0) return Failure(read, readError);
        if (closed != UNZ_OK) return Failure(closed, errno);
        if (part.Size() != info.uncompressed_size) return std::string(kIncompleteWorkbook);
        if (IsXmlPart(partName) && !part.EndsWhole()) return std::string(kIncompleteWorkbook);
        if (isSheet) {
            // A sheet without rows is "<sheetData/>".
            const uint64_t expected = sheetRowBytes[sheet - 1];
            if (expected != 0 && part.RowBytes() != expected)
                return std::string(kIncompleteWorkbook);
            found[sheet - 1] = true;
        }
    }
    for (const bool there : found) {
        if (!there) return std::string(kIncompleteWorkbook);
    }
    return {};
}

}  // namespace vellrun::exports
