#include "platform/IniFile.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/RegularFile.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

namespace vellrun::platform {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool BreaksLine(std::string_view text) {
    // Two scans for one byte each: find_first_of with a set looks the set up
    // again for every byte, which costs far more on a long value.
    return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

// Serialises the read-modify-write of one file between processes (two
// programs saving settings at once): an advisory lock on ".NAME.lock"
// beside the file, held while the file is read again, changed and replaced.
// Without a lock file (a folder that cannot be written) the write goes on
// unlocked and reports its own failure.
class WriteLock {
public:
    explicit WriteLock(const std::filesystem::path& file) {
        const std::filesystem::path lockFile =
            file.parent_path() / ("." + file.filename().string() + ".lock");
        fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

bool IniNamesEqual(std::string_view a, std::string_view b) {
    // A name is stored and read without its surrounding blanks.
    a = TrimBlanks(a);
    b = TrimBlanks(b);
    if (IsAscii(a) && IsAscii(b)) {
        return EqualsNoCase(a, b);
    }
    // Simple case folding, one character to one: "Maße" and "Masse" are two
    // names (full folding makes ß "ss"), "MASSE" and "masse" one. A
    // character and its folding differ in length by two bytes at most, so
    // names whose lengths differ by more than three times are not equal.
    const size_t shorter = std::min(a.size(), b.size());
    const size_t longer = std::max(a.size(), b.size());
    if (longer > 3 * shorter) return false;
    const auto* textA = reinterpret_cast<const uint8_t*>(a.data());
    const auto* textB = reinterpret_cast<const uint8_t*>(b.data());
    const auto sizeA = static_cast<int32_t>(a.size());
    const auto sizeB = static_cast<int32_t>(b.size());
    int32_t atA = 0;
    int32_t atB = 0;
    while (atA < sizeA && atB < sizeB) {
        const int32_t startA = atA;
        const int32_t startB = atB;
        UChar32 charA = 0;
        UChar32 charB = 0;
        U8_NEXT(textA, atA, sizeA, charA);
        U8_NEXT(textB, atB, sizeB, charB);
        // Bytes that make no character are compared as they are.
        if (charA < 0 || charB < 0) {
            if (a.substr(static_cast<size_t>(startA), static_cast<size_t>(atA - startA)) !=
                b.substr(static_cast<size_t>(startB), static_cast<size_t>(atB - startB)))
                return false;
            continue;
        }
        if (u_foldCase(charA, U_FOLD_CASE_DEFAULT) != u_foldCase(charB, U_FOLD_CASE_DEFAULT))
            return false;
    }
    return atA == sizeA && atB == sizeB;
}

std::string IniPreserved(std::string_view value) {
    const bool blanksAround = !value.empty() && TrimBlanks(value).size() != value.size();
    const bool quotedAlready = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    if (!blanksAround && !quotedAlready) return std::string(value);
    return "\"" + std::string(value) + "\"";
}

// ---- IniText ----

IniText::Line::Line(std::string lineText, std::string_view lineEnd)
    : text(std::move(lineText)), end(lineEnd) {
    const std::string_view whole = text;
    const std::string_view trimmed = TrimBlanks(whole);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return;
    const auto offset = [&](std::string_view part) {
        return static_cast<size_t>(part.data() - whole.data());
    };
    if (trimmed.front() == '[') {
        std::string_view name = trimmed.substr(1);
        name = TrimBlanks(name.substr(0, name.find(']')));
        kind = Kind::Section;
        nameAt = name.empty() ? 0 : offset(name);
        nameSize = name.size();
        return;
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = TrimBlanks(trimmed.substr(0, equals));
    if (key.empty()) return;
    std::string_view value = TrimBlanks(trimmed.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    kind = Kind::Entry;
    nameAt = offset(key);
    nameSize = key.size();
    valueAt = value.empty() ? 0 : offset(value);
    valueSize = value.size();
}

IniText::IniText(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    // Files that the program's Windows ancestors wrote are Windows-1252: a
    // byte that is no part of valid UTF-8 is read as that code page.
    std::string decoded;
    if (!IsValidUtf8(text)) {
        decoded = BytesToUtf8(text);
        text = decoded;
    }
    const size_t firstBreak = text.find('\n');
    lineEnd_ =
        firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r'
            ? "\r\n"
            : "\n";
    // Every line keeps its own end, so a rewrite gives every line it does not
    // change back byte for byte (a value ending in a stray CR included).
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        std::string_view lineEnd;
        if (end != std::string_view::npos) {
            lineEnd = "\n";
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
                lineEnd = "\r\n";
            }
        } else if (line.ends_with('\r')) {
            // A file that stops after the CR of its last line's CR LF: the CR
            // ends the line, as it would with the LF after it.
            line.remove_suffix(1);
            lineEnd = "\r";
        }
        lines_.emplace_back(std::string(line), lineEnd);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

const IniText::Line* IniText::FindEntry(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.kind == Line::Kind::Section) {
            inSection = IniNamesEqual(line.Name(), section);
        } else if (inSection && line.kind == Line::Kind::Entry && IniNamesEqual(line.Name(), key)) {
            return &line;
        }
    }
    return nullptr;
}

std::optional<std::string> IniText::ReadValue(std::string_view section,
                                              std::string_view key) const {
    const Line* line = FindEntry(section, key);
    if (!line) return std::nullopt;
    return std::string(line->Value());
}

std::string IniText::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const Line* line = FindEntry(section, key);
    return std::string(line ? line->Value() : defaultValue);
}

bool IniText::SectionExists(std::string_view section) const {
    return std::any_of(lines_.begin(), lines_.end(), [&](const Line& line) {
        return line.kind == Line::Kind::Section && IniNamesEqual(line.Name(), section);
    });
}

bool IniText::ValueExists(std::string_view section, std::string_view key) const {
    return FindEntry(section, key) != nullptr;
}

std::vector<std::pair<std::string, std::string>> IniText::ReadSection(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> values;
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.kind == Line::Kind::Section) {
            inSection = IniNamesEqual(line.Name(), section);
        } else if (inSection && line.kind == Line::Kind::Entry) {
            values.emplace_back(line.Name(), line.Value());
        }
    }
    return values;
}

std::vector<std::string> IniText::ReadSectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : lines_) {
        if (line.kind == Line::Kind::Section) names.emplace_back(line.Name());
    }
    return names;
}

bool IniText::CanStore(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view name = TrimBlanks(key);
    return !TrimBlanks(section).empty() && !name.empty() && !BreaksLine(section) &&
           !BreaksLine(key) && !BreaksLine(value) && section.find(']') == std::string_view::npos &&
           key.find('=') == std::string_view::npos && name.front() != '[' && name.front() != ';' &&
           name.front() != '#';
}

void IniText::EndLastLine() {
    if (lines_.empty()) return;
    std::string_view& end = lines_.back().end;
    if (end.empty()) end = lineEnd_;
    if (end == "\r") end = "\r\n";
}

bool IniText::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!CanStore(section, key, value)) return false;
    bool inSection = false;
    std::optional<size_t> insertAt;  // after the last entry of the first matching section
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::Kind::Section) {
            if (inSection) break;  // the first matching section ends here
            inSection = IniNamesEqual(line.Name(), section);
            if (inSection) insertAt = i + 1;
        } else if (inSection && line.kind == Line::Kind::Entry) {
            if (IniNamesEqual(line.Name(), key)) {
                // The stored spelling of the key stays; only the value changes.
                std::string replaced = std::string(line.Name()) + "=" + std::string(value);
                if (line.text == replaced) return false;
                lines_[i] = Line(std::move(replaced), line.end);
                return true;
            }
            insertAt = i + 1;
        }
    }
    // A last line without its end gets one before anything follows it.
    Line entry(std::string(TrimBlanks(key)) + "=" + std::string(value));
    if (insertAt) {
        if (*insertAt == lines_.size()) EndLastLine();
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(entry));
    } else {
        EndLastLine();
        lines_.emplace_back("[" + std::string(TrimBlanks(section)) + "]");
        lines_.push_back(std::move(entry));
    }
    return true;
}

bool IniText::EraseSection(std::string_view section) {
    bool inSection = false;
    const size_t before = lines_.size();
    std::erase_if(lines_, [&](const Line& line) {
        if (line.kind == Line::Kind::Section) inSection = IniNamesEqual(line.Name(), section);
        return inSection;
    });
    return lines_.size() != before;
}

bool IniText::DeleteKey(std::string_view section, std::string_view key) {
    bool inSection = false;
    const size_t before = lines_.size();
    std::erase_if(lines_, [&](const Line& line) {
        if (line.kind == Line::Kind::Section) inSection = IniNamesEqual(line.Name(), section);
        return inSection && line.kind == Line::Kind::Entry && IniNamesEqual(line.Name(), key);
    });
    return lines_.size() != before;
}

std::string IniText::Text() const {
    std::string data;
    for (const Line& line : lines_) {
        data += line.text;
        data += line.end.empty() ? lineEnd_ : line.end;
    }
    return data;
}

// ---- IniFile ----

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<IniText> IniFile::LoadText(std::string* error) const {
    std::string bytes;
    bool missing = false;
    if (FileStatus read = ReadRegularFile(path_, bytes, SIZE_MAX, 0, &missing); !read.ok()) {
        // A missing file is an empty one; any other failure (a FIFO, a folder,
        // no permission) must stop a write from replacing a file it could not read.
        if (missing) return IniText();
        if (error) *error = "Cannot read \"" + path_.string() + "\": " + read.error;
        return std::nullopt;
    }
    return IniText(bytes);
}

IniText IniFile::Load(std::string* error) const {
    if (held_) return held_->text;
    std::string failure;
    std::optional<IniText> text = LoadText(&failure);
    if (text) return std::move(*text);
    // The reader goes on with an empty text in the file's place: whatever it
    // writes back from now on could put defaults over what it did not get.
    if (readFault_.empty()) readFault_ = failure;
    if (error) *error = std::move(failure);
    return IniText();
}

template <typename Read>
auto IniFile::Reading(Read read) const {
    if (held_) return read(held_->text);
    return read(Load());
}

std::optional<std::string> IniFile::ReadValue(std::string_view section,
                                              std::string_view key) const {
    return Reading([&](const IniText& text) { return text.ReadValue(section, key); });
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    return Reading(
        [&](const IniText& text) { return text.ReadString(section, key, defaultValue); });
}

bool IniFile::SectionExists(std::string_view section) const {
    return Reading([&](const IniText& text) { return text.SectionExists(section); });
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return Reading([&](const IniText& text) { return text.ValueExists(section, key); });
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(
    std::string_view section) const {
    return Reading([&](const IniText& text) { return text.ReadSection(section); });
}

std::vector<std::string> IniFile::ReadSectionNames() const {
    return Reading([](const IniText& text) { return text.ReadSectionNames(); });
}

bool IniFile::Edit::ApplyTo(IniText& text) const {
    switch (kind) {
        case Kind::Write: return text.WriteString(section, key, value);
        case Kind::EraseSection: return text.EraseSection(section);
        case Kind::DeleteKey: return text.DeleteKey(section, key);
    }
    return false;
}

FileStatus IniFile::Apply(const std::vector<Edit>& edits) {
    // Read again under the lock: another program may have written meanwhile.
    const WriteLock lock(path_);
    std::string error;
    std::optional<IniText> text = LoadText(&error);
    if (!text) return {error};
    if (!readFault_.empty()) {
        return {"Cannot write \"" + path_.string() +
                "\": an earlier read of it failed, so it is left as it was"};
    }
    bool changed = false;
    for (const Edit& edit : edits)
        changed = edit.ApplyTo(*text) || changed;
    if (!changed) return {};
    if (FileStatus status = AtomicFileWriter::Write(path_, text->Text()); !status.ok()) {
        return status;
    }
    ++writeCount_;
    return {};
}

FileStatus IniFile::Change(Edit edit) {
    if (held_) {
        edit.ApplyTo(held_->text);
        held_->edits.push_back(std::move(edit));
        return {};
    }
    return Apply({std::move(edit)});
}

FileStatus IniFile::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
    if (!IniText::CanStore(section, key, value)) {
        return {"Cannot write \"" + path_.string() + "\": the name or value cannot be stored"};
    }
    return Change({Edit::Kind::Write, std::string(section), std::string(key), std::string(value)});
}

FileStatus IniFile::EraseSection(std::string_view section) {
    return Change({Edit::Kind::EraseSection, std::string(section), {}, {}});
}

FileStatus IniFile::DeleteKey(std::string_view section, std::string_view key) {
    return Change({Edit::Kind::DeleteKey, std::string(section), std::string(key), {}});
}

// ---- IniFile::Batch ----

IniFile::Batch::Batch(IniFile& file) : file_(file) {
    if (file_.held_) return;
    std::optional<IniText> text = file_.LoadText(nullptr);
    if (!text) return;
    file_.held_.emplace(Held{std::move(*text), {}});
    holds_ = true;
}

IniFile::Batch::~Batch() {
    try {
        static_cast<void>(Commit());
    } catch (...) {
        // Lack of memory while writing at the end of a scope: the file stays
        // as it was.
    }
}

FileStatus IniFile::Batch::Commit() {
    if (!holds_) return {};
    holds_ = false;
    const std::vector<Edit> edits = std::move(file_.held_->edits);
    file_.held_.reset();
    return edits.empty() ? FileStatus{} : file_.Apply(edits);
}

FileStatus IniFile::Batch::CommitAfter(FileStatus status) {
    FileStatus committed = Commit();
    return status.ok() ? committed : status;
}

}  // namespace vellrun::platform
