#pragma once

// One INI file on disk: sections in square brackets, one "key=value" line per
// value, UTF-8 text. Files written by the program's Windows ancestors load
// too: bytes that are not valid UTF-8 are read as Windows-1252, CR LF and LF
// line ends are both read, and a rewrite gives back every line it does not
// change byte for byte, each with its own line end (the text it writes is
// UTF-8; new lines get the file's first line end, a new file LF). Section and key names compare
// without regard to case; a value enclosed in double quotation marks loses them on reading.
//
// Outside a batch (below) the object holds only the path: every read looks at
// the file as it is now and every write goes through to disk at once, so two
// objects on the same file (the main window's and the settings dialog's)
// always agree. A write
// replaces the file atomically (a temporary file beside it, then a rename):
// a failed write reports its error and leaves the previous file whole. Each
// write reads the file again under an advisory lock on ".NAME.lock" beside
// it, so two programs writing the same file at once lose no key. Only a
// regular file is read: a FIFO, a device or a folder reads as no file, and a
// write to it is refused with a message.
//
// Lines that are neither a section header nor a "key=value" line (comments,
// stray text, lines before the first section) are ignored on reading and kept
// as they are when the file is rewritten, so a hand-edited file loses nothing.
// It knows nothing of what the values mean; callers own the objects.
//
// A read that fails for any reason but the file's absence (a folder or FIFO
// in its place, no permission, an I/O error) gives its reader an empty text,
// so what it read stands for defaults, not for the file. The object remembers
// the first such failure (ReadFault) and from then on refuses every write, so
// that what the file held is never replaced by what could not be read from it.
//
// A batch (IniFile::Batch) holds the writes made through one object for a
// moment and replaces the file once for all of them: a window that saves
// dozens of keys as it closes reads, rewrites and syncs the file once.
//
// IniText is the same text read once into memory: a caller that reads many
// keys, or makes many changes before one write, parses the file once (a
// saved report), so the work grows with the file and not with the file times
// the keys.

#include "platform/FileStatus.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::platform {

// The lines of an INI file in memory, each parsed once: the reads and edits
// of IniFile without the file. A plain value owned by the caller.
class IniText {
public:
    IniText() = default;
    // The file's bytes: a UTF-8 byte-order mark is skipped, and a text that is
    // not valid UTF-8 is read as Windows-1252.
    explicit IniText(std::string_view bytes);

    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;
    std::vector<std::string> ReadSectionNames() const;

    // Whether a line can hold the names and the value (IniFile::WriteString).
    static bool CanStore(std::string_view section, std::string_view key, std::string_view value);
    // The edits of IniFile; each says whether the text changed. WriteString
    // changes nothing when CanStore is false.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool EraseSection(std::string_view section);
    bool DeleteKey(std::string_view section, std::string_view key);

    // The whole text as a file holds it, every line with its end.
    std::string Text() const;

private:
    // One line, its end ("\r\n", "\n", or none for a last line without one),
    // and what it is: a section header (name), an entry (name and value,
    // quotes and blanks removed) or anything else.
    struct Line {
        std::string text;
        std::string_view end;
        enum class Kind { Section, Entry, Other } kind = Kind::Other;
        size_t nameAt = 0, nameSize = 0, valueAt = 0, valueSize = 0;

        explicit Line(std::string lineText, std::string_view lineEnd = {});
        std::string_view Name() const { return std::string_view(text).substr(nameAt, nameSize); }
        std::string_view Value() const { return std::string_view(text).substr(valueAt, valueSize); }
    };
    const Line* FindEntry(std::string_view section, std::string_view key) const;
    void EndLastLine();

    std::vector<Line> lines_;
    // New lines get the end of the first line ("\r\n" or "\n"); a new file "\n".
    std::string_view lineEnd_ = "\n";
};

class IniFile {
public:
    // While a batch lives, the writes through its file object are held in
    // memory and the reads through that object see them; other objects and
    // programs see the file as it was. The batch's end (or Commit) reads the
    // file again under the lock, makes the held writes to it in their order,
    // so keys written meanwhile by others are kept, and replaces it once. A
    // batch begun while another holds the same object's writes leaves them to
    // that one. When the file cannot be read as the batch begins, nothing is
    // held and every write goes to the file at once, reporting its own error.
    class Batch {
    public:
        explicit Batch(IniFile& file);
        // Commits when Commit was not called; a failure then goes unreported.
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

        // Writes what is held: ok, or the message naming the file. A batch
        // inside another's leaves its writes held and returns ok.
        FileStatus Commit();
        // Commits after writes that returned status: the first failure of
        // the two, or ok.
        FileStatus CommitAfter(FileStatus status);

    private:
        IniFile& file_;
        bool holds_ = false;
    };

    // The file need not exist; it is created by the first write.
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& Path() const { return path_; }

    // The whole file read once; an empty text when it is missing or cannot
    // be read (error, when given, then says why, naming the file, as
    // ReadFault does from then on; it stays empty for a missing file).
    IniText Load(std::string* error = nullptr) const;

    // The message of the first read through this object that failed (a
    // missing file is no failure), naming the file; empty while none has.
    // Once it is set, every write through this object is refused.
    const std::string& ReadFault() const { return readFault_; }
    // Takes the read fault of another object on the same file (when this one
    // has none): a program that reads its file through several objects then
    // saves nothing through any of them.
    void AdoptReadFault(const IniFile& other) {
        if (readFault_.empty()) readFault_ = other.readFault_;
    }

    // The value of key in section, its surrounding quotes and blanks removed,
    // or nothing when the file, section or key is missing.
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The section's values in file order, as read by ReadValue; empty when the
    // section is missing.
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;
    std::vector<std::string> ReadSectionNames() const;

    // Each write returns ok, or the platform's message naming the file. After
    // a failed read (ReadFault) it fails and the file stays as it is.

    // Sets key in section (both created when missing) and writes the file. A
    // name that is empty or cannot be stored in a line (a line break, "=" in a
    // key, "]" in a section) and a value with a line break are refused.
    FileStatus WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the section with all its lines (nothing to do when missing).
    FileStatus EraseSection(std::string_view section);
    FileStatus DeleteKey(std::string_view section, std::string_view key);

    // How many times this object has replaced the file: lets callers and tests
    // see that an unchanged value costs no write.
    uint64_t WriteCount() const { return writeCount_; }

private:
    // One write: its kind and the names and value it was given.
    struct Edit {
        enum class Kind { Write, EraseSection, DeleteKey } kind;
        std::string section, key, value;
        bool ApplyTo(IniText& text) const;
    };
    // The writes of a batch and the text they make.
    struct Held {
        IniText text;
        std::vector<Edit> edits;
    };

    std::optional<IniText> LoadText(std::string* error) const;
    // Calls read with the text as this object sees it: the held text during
    // a batch, else the file read now.
    template <typename Read>
    auto Reading(Read read) const;
    // Holds the edit during a batch; otherwise loads the file under the write
    // lock, makes the edit and writes the file when it changed the text.
    FileStatus Change(Edit edit);
    // Loads the file under the write lock, makes the edits in order and
    // writes the file once when any changed it.
    FileStatus Apply(const std::vector<Edit>& edits);

    std::filesystem::path path_;
    uint64_t writeCount_ = 0;
    std::optional<Held> held_;
    // Set by the first failed read: reads are const, the failure is not.
    mutable std::string readFault_;
};

// True when the two names are equal without regard to case (simple Unicode
// case folding of UTF-8 texts, one character to one, so "Maße" and "Masse"
// stay two names) or surrounding blanks, the way section and key names are
// matched.
bool IniNamesEqual(std::string_view a, std::string_view b);

// The text to write so that reading gives value back: reading drops the
// blanks around a value and one pair of enclosing double quotation marks, so
// a value with blanks at an end, or enclosed in quotation marks itself, is
// written enclosed in quotation marks; any other value as it is.
std::string IniPreserved(std::string_view value);

}  // namespace vellrun::platform
