#include "exports/ExportFormats.h"

#include "platform/AsciiText.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace vellrun::exports {

namespace {

constexpr std::string_view kCrLf = "\r\n";

void AppendLine(std::string& document, std::string_view line) {
    document.append(line);
    document.append(kCrLf);
}

// The value with every quote character doubled (none given: as it is).
void AppendDoubled(std::string& out, std::string_view value, char quote) {
    if (quote == '\0') {
        out.append(value);
        return;
    }
    size_t start = 0;
    while (true) {
        const size_t at = value.find(quote, start);
        if (at == std::string_view::npos) break;
        out.append(value.substr(start, at + 1 - start));
        out.push_back(quote);
        start = at + 1;
    }
    out.append(value.substr(start));
}

// The cell's lines (as SplitLines cuts them) joined with the value delimiter.
void AppendJoinedValues(std::string& out, std::string_view cell, const Delimiters& delimiters) {
    char separator = delimiters.value;
    if (separator == '\0') separator = delimiters.field == ';' ? ',' : ';';
    size_t start = 0;
    bool first = true;
    while (start < cell.size()) {
        const size_t end = platform::FindLineBreak(cell, start);
        if (!first) out.push_back(separator);
        first = false;
        if (end == std::string_view::npos) {
            AppendDoubled(out, cell.substr(start), delimiters.quote);
            break;
        }
        AppendDoubled(out, cell.substr(start, end - start), delimiters.quote);
        start = end + 1;
        if (cell[end] == '\r' && start < cell.size() && cell[start] == '\n') ++start;
    }
}

// The content of a cell's td element, escaped in one pass.
void AppendCellHtml(std::string& out, std::string_view text, bool bold) {
    if (text.empty()) {
        out.append("<td><br></td>");
        return;
    }
    out.append(bold ? "<td><b>" : "<td>");
    // Runs of plain characters go over in one piece.
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string_view entity;
        switch (c) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '\'': entity = "&apos;"; break;
            case '"': entity = "&quot;"; break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') entity = "<br>";
                break;
            case '\t':
            case '\n': break;
            default:
                // A control character has no place in an HTML document either.
                if (static_cast<unsigned char>(c) < 0x20) entity = "\uFFFD";
                break;
        }
        if (entity.empty()) continue;
        out.append(text.substr(plain, i - plain));
        out.append(entity);
        if (c == '\r') ++i;
        plain = i + 1;
    }
    out.append(text.substr(plain));
    out.append(bold ? "</b></td>" : "</td>");
}

// Besides the three markup characters, what an XML document may not hold
// at all (control characters but tab and the line ends, and the
// noncharacters U+FFFE and U+FFFF; no reference can stand for them) becomes
// U+FFFD, so that a value with such a byte leaves the document readable.
void AppendXmlEscaped(std::string& out, std::string_view text) {
    constexpr std::string_view kReplacement = "\uFFFD";
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::string_view entity;
        size_t length = 1;
        switch (byte) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '\t':
            case '\n':
            case '\r': continue;
            case 0xEF:
                if (text.substr(i, 3) != "\uFFFE" && text.substr(i, 3) != "\uFFFF") continue;
                entity = kReplacement;
                length = 3;
                break;
            default:
                if (byte >= 0x20) continue;
                entity = kReplacement;
                break;
        }
        out.append(text.substr(plain, i - plain));
        out.append(entity);
        i += length - 1;
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

// The value elements of a cell (see CellValuesToXml), appended to out.
void AppendCellValuesXml(std::string& out, std::string_view cell,
                         const platform::TextCollator& collator) {
    const auto appendValue = [&out](size_t index, std::string_view value) {
        out.append("<value index=\"");
        out.append(std::to_string(index));
        out.append("\">");
        AppendXmlEscaped(out, value);
        out.append("</value>");
    };
    // Most cells hold one value: nothing to split, sort or compare.
    if (platform::FindLineBreak(cell) == std::string_view::npos) {
        if (!cell.empty()) appendValue(0, cell);
        return;
    }
    // The lines as SplitLines cuts them, seen in place.
    std::vector<std::string_view> values;
    size_t start = 0;
    while (start < cell.size()) {
        const size_t end = platform::FindLineBreak(cell, start);
        if (end == std::string_view::npos) {
            values.push_back(cell.substr(start));
            break;
        }
        values.push_back(cell.substr(start, end - start));
        start = end + 1;
        if (cell[end] == '\r' && start < cell.size() && cell[start] == '\n') ++start;
    }
    std::stable_sort(values.begin(), values.end(), [&](std::string_view a, std::string_view b) {
        return collator.Compare(a, b) < 0;
    });
    // Only exact repeats go (values the collation ranks alike may differ,
    // so repeats need not be neighbours); a cell may hold 100,000 values.
    std::unordered_set<std::string_view> seen;
    seen.reserve(values.size());
    size_t index = 0;
    for (const std::string_view value : values) {
        if (seen.insert(value).second) appendValue(index++, value);
    }
}

// A document collected into one text.
std::string Collected(const std::function<void(const DocumentOut&)>& write) {
    std::string document;
    write([&document](std::string_view text) { document.append(text); });
    return document;
}

}  // namespace

ExportKind ExportKindFromName(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, ExportKind>, 10> kNames = {{
        {"HTML", ExportKind::Html},
        {"HTM", ExportKind::Html},
        {"XML", ExportKind::Xml},
        {"TXT", ExportKind::Text},
        {"DOC", ExportKind::Text},
        {"ASCII", ExportKind::Text},
        {"CSV", ExportKind::Text},
        {"XLS", ExportKind::Excel},
        {"EXCEL", ExportKind::Excel},
        {"CLIPBOARD", ExportKind::Clipboard},
    }};
    const std::string upper = platform::AsciiUpperCopy(name);
    for (const auto& [known, kind] : kNames) {
        if (upper == known) return kind;
    }
    return ExportKind::None;
}

ExportKind ExportKindForTarget(std::string_view formatName, std::string_view targetPath) {
    std::string_view name = formatName;
    if (name.empty()) {
        // The extension of the file name only: a dot in a folder name is no extension.
        const size_t nameStart = targetPath.find_last_of('/');
        const std::string_view fileName =
            nameStart == std::string_view::npos ? targetPath : targetPath.substr(nameStart + 1);
        const size_t dot = fileName.find_last_of('.');
        name = dot == std::string_view::npos ? std::string_view() : fileName.substr(dot);
    }
    const size_t start = name.find_first_not_of(" .");
    return ExportKindFromName(start == std::string_view::npos ? std::string_view()
                                                              : name.substr(start));
}

bool IsValidTargetPath(std::string_view targetPath) {
    return platform::Utf8CharacterCount(targetPath) >= 3;
}

std::string JoinCellValues(std::string_view cell, const Delimiters& delimiters) {
    std::string joined;
    AppendJoinedValues(joined, cell, delimiters);
    return joined;
}

void WriteDelimitedText(const report::ResultTable& table, const Delimiters& delimiters,
                        const DocumentOut& out) {
    std::string line;
    for (size_t row = 0; row < table.RowCount(); ++row) {
        line.clear();
        for (size_t column = 0; column < table.ColCount(); ++column) {
            if (column > 0) line.push_back(delimiters.field);
            if (delimiters.quote != '\0') line.push_back(delimiters.quote);
            AppendJoinedValues(line, table.Cell(column, row), delimiters);
            if (delimiters.quote != '\0') line.push_back(delimiters.quote);
        }
        line.append(kCrLf);
        out(line);
    }
}

std::string TableToDelimitedText(const report::ResultTable& table, const Delimiters& delimiters) {
    return Collected([&](const DocumentOut& out) { WriteDelimitedText(table, delimiters, out); });
}

void WriteHtml(const report::ResultTable& table, const DocumentOut& out) {
    out("<html><body>\r\n<table border=1>\r\n");
    std::string rowText;
    for (size_t row = 0; row < table.RowCount(); ++row) {
        rowText.assign("<tr>\r\n");
        for (size_t column = 0; column < table.ColCount(); ++column) {
            AppendCellHtml(rowText, table.Cell(column, row),
                           row < table.FixedRows() || column < table.FixedCols());
            rowText.append(kCrLf);
        }
        rowText.append("</tr>\r\n");
        out(rowText);
    }
    out("</table>\r\n</body></html>\r\n");
}

std::string TableToHtml(const report::ResultTable& table) {
    return Collected([&](const DocumentOut& out) { WriteHtml(table, out); });
}

std::string XmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    AppendXmlEscaped(escaped, text);
    return escaped;
}

std::string XmlElement(std::string_view name, std::string_view content) {
    std::string element = "<";
    element.append(name);
    if (content.empty()) return element + "/>";
    element.push_back('>');
    element.append(content);
    element.append("</");
    element.append(name);
    element.push_back('>');
    return element;
}

std::string CellValuesToXml(std::string_view cell, const platform::TextCollator& collator) {
    std::string elements;
    AppendCellValuesXml(elements, cell, collator);
    return elements;
}

void WriteXml(const report::ResultTable& table, const platform::TextCollator& collator,
              const platform::DateTimeParts& now, std::string_view encoding,
              const DocumentOut& out) {
    std::string text;
    AppendLine(text, R"(<?xml version="1.0" encoding=")" + std::string(encoding) +
                         R"(" standalone="yes"?>)");
    AppendLine(text, "<document>");
    std::array<char, 200> line{};
    std::snprintf(line.data(), line.size(),
                  R"(<table rowCount="%d" colCount="%d" fixedRows="%d" fixedCols="%d" )"
                  R"(date="%04d-%02d-%02d" time="%02d:%02d:%02d"/>)",
                  static_cast<int>(table.RowCount()), static_cast<int>(table.ColCount()),
                  static_cast<int>(table.FixedRows()), static_cast<int>(table.FixedCols()),
                  now.year, now.month, now.day, now.hour, now.minute, now.second);
    AppendLine(text, line.data());
    out(text);
    // The column elements repeat in every row: made once.
    std::vector<std::string> columnElements;
    for (size_t column = 0; column < table.ColCount(); ++column) {
        columnElements.push_back(XmlElement("col", XmlEscape(table.Cell(column, 0))));
    }
    for (size_t row = 0; row < table.RowCount(); ++row) {
        text.assign("<row value=\"");
        text.append(std::to_string(row));
        text.append("\">\r\n");
        const std::string& key = table.Cell(0, row);
        if (key.empty()) {
            text.append("<row/>");
        } else {
            text.append("<row>");
            AppendXmlEscaped(text, key);
            text.append("</row>");
        }
        text.append(kCrLf);
        if (table.ColCount() > 1) {
            for (size_t column = 0; column < table.ColCount(); ++column) {
                // Never empty: the column element is always there.
                text.append("<cell>");
                text.append(columnElements[column]);
                AppendCellValuesXml(text, table.Cell(column, row), collator);
                text.append("</cell>\r\n");
            }
        }
        text.append("</row>\r\n");
        out(text);
    }
    out("</document>\r\n");
}

std::string TableToXml(const report::ResultTable& table, const platform::TextCollator& collator,
                       const platform::DateTimeParts& now, std::string_view encoding) {
    return Collected(
        [&](const DocumentOut& out) { WriteXml(table, collator, now, encoding, out); });
}

platform::EncodedText EncodeExportDocument(std::string_view document, ExportKind kind,
                                           bool utf8Text) {
    // Every line ends in CR LF, whatever break it had (the same lines as
    // SplitLines gives, in one pass over a large document).
    std::string text;
    text.reserve(document.size() + document.size() / 16);
    size_t start = 0;
    while (start < document.size()) {
        const size_t end = platform::FindLineBreak(document, start);
        if (end == std::string_view::npos) {
            text.append(document.substr(start));
            text.append("\r\n");
            break;
        }
        text.append(document.substr(start, end - start));
        text.append("\r\n");
        start = end + 1;
        if (document[end] == '\r' && start < document.size() && document[start] == '\n') ++start;
    }
    const bool delimited = kind != ExportKind::Html && kind != ExportKind::Xml;
    if (delimited && utf8Text) return {std::move(text), 0};
    return platform::EncodeWindows1252(text, delimited ? platform::Unmappable::QuestionMark
                                                       : platform::Unmappable::CharacterReference);
}

}  // namespace vellrun::exports
