#pragma once

// The documents the results export writes: delimited text, HTML and XML,
// made from a results table row by row and handed on piece by piece (or
// collected into one text), and the step that turns a whole document into the
// bytes of its file (ExportStream does the same while the document is made).
// Pure functions: no files, no clipboard, no messages; the export command
// decides where the text goes.
//
// Every document line ends with CR LF, the last one included. Documents are
// program text (UTF-8) until EncodeExportDocument makes file bytes of them.

#include "platform/DateTime.h"
#include "platform/TextCollator.h"
#include "platform/TextLines.h"
#include "platform/Windows1252.h"
#include "report/ResultTable.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::exports {

// The class of an export target; the numbers are the stored ones.
enum class ExportKind { None = 0, Html = 1, Xml = 2, Text = 3, Excel = 4, Clipboard = 5 };

// "HTML"/"HTM", "XML", "TXT"/"DOC"/"ASCII"/"CSV", "XLS"/"EXCEL", "CLIPBOARD",
// compared after turning a to z into upper case; anything else is None.
ExportKind ExportKindFromName(std::string_view name);

// The kind of an export: formatName, or when it is empty the extension of
// targetPath with its dot, after every leading blank and dot is removed.
ExportKind ExportKindForTarget(std::string_view formatName, std::string_view targetPath);

// A file target needs a path of at least 3 characters.
bool IsValidTargetPath(std::string_view targetPath);

// The three characters of delimited text.
struct Delimiters {
    char field = ';';
    char value = '|';  // 0 stands for "," when field is ';', else for ';'
    char quote = '"';  // 0 writes the fields without quotes
};

// The lines of a cell (CR LF, CR or LF); shared with the other subsystems.
using platform::SplitLines;

// Where a document goes while it is made: its text in order, a piece at a
// time (a row, or a line of the frame around the rows).
using DocumentOut = std::function<void(std::string_view text)>;

// The lines of a cell joined with the value delimiter (see Delimiters for 0).
std::string JoinCellValues(std::string_view cell, const Delimiters& delimiters);

// One line per row, one field per column, headers included: each field is the
// cell's joined values between quote characters, with a quote character
// inside a value doubled so that the field can be read back.
void WriteDelimitedText(const report::ResultTable& table, const Delimiters& delimiters,
                        const DocumentOut& out);
std::string TableToDelimitedText(const report::ResultTable& table, const Delimiters& delimiters);

// The table as an HTML document, one td line per cell: HTML-escaped, CR LF as
// "<br>", bold in a header row or column, "<br>" alone (not bold) for an
// empty cell.
void WriteHtml(const report::ResultTable& table, const DocumentOut& out);
std::string TableToHtml(const report::ResultTable& table);

// "&", "<" and ">" as entities, the ampersand first.
std::string XmlEscape(std::string_view text);
// "<name>content</name>", or "<name/>" for empty content (content is not escaped).
std::string XmlElement(std::string_view name, std::string_view content);
// The value elements of one cell: its lines sorted with the collator (case
// ignored, equal lines in their order) and exact repeats dropped, so values
// that differ only in case are all kept.
std::string CellValuesToXml(std::string_view cell, const platform::TextCollator& collator);
// now fills the date and time attributes of the table line; encoding is the
// one the declaration names: the code page of an export file, or "UTF-8" for
// text handed on as the program's own UTF-8.
void WriteXml(const report::ResultTable& table, const platform::TextCollator& collator,
              const platform::DateTimeParts& now, std::string_view encoding,
              const DocumentOut& out);
std::string TableToXml(const report::ResultTable& table, const platform::TextCollator& collator,
                       const platform::DateTimeParts& now,
                       std::string_view encoding = "windows-1252");

// The document as the bytes of its file: split into lines at CR LF, CR or LF
// (a lone break inside a cell starts a new file line), each line ending with
// CR LF; then Windows-1252 (HTML and XML with character references, delimited
// text with "?" for what the code page cannot hold), or UTF-8 unchanged for
// delimited text when utf8Text is set. replaced counts the stand-ins.
platform::EncodedText EncodeExportDocument(std::string_view document, ExportKind kind,
                                           bool utf8Text);

}  // namespace vellrun::exports
