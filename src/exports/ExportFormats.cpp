#include "exports/ExportFormats.h"

#include "platform/AsciiText.h"
#include "report/TableUtilities.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace vellrun::exports {

namespace {

constexpr std::string_view kCrLf = "\r\n";

void AppendLine(std::string& document, std::string_view line) {
    document.append(line);
    document.append(kCrLf);
}

std::string Doubled(std::string_view value, char quote) {
    std::string result;
    result.reserve(value.size());
    for (char c : value) {
        result.push_back(c);
        if (c == quote) result.push_back(c);
    }
    return result;
}

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
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
    const auto characters = std::count_if(targetPath.begin(), targetPath.end(),
                                          [](char c) { return !IsUtf8Continuation(c); });
    return characters >= 3;
}

std::string JoinCellValues(std::string_view cell, const Delimiters& delimiters) {
    char separator = delimiters.value;
    if (separator == '\0') separator = delimiters.field == ';' ? ',' : ';';
    std::string joined;
    bool first = true;
    for (const std::string& line : SplitLines(cell)) {
        if (!first) joined.push_back(separator);
        first = false;
        joined.append(delimiters.quote == '\0' ? line : Doubled(line, delimiters.quote));
    }
    return joined;
}

std::string TableToDelimitedText(const report::ResultTable& table, const Delimiters& delimiters) {
    std::string document;
    for (size_t row = 0; row < table.RowCount(); ++row) {
        std::string line;
        for (size_t column = 0; column < table.ColCount(); ++column) {
            if (column > 0) line.push_back(delimiters.field);
            if (delimiters.quote != '\0') line.push_back(delimiters.quote);
            line.append(JoinCellValues(table.Cell(column, row), delimiters));
            if (delimiters.quote != '\0') line.push_back(delimiters.quote);
        }
        AppendLine(document, line);
    }
    return document;
}

std::string CellToHtml(const report::ResultTable& table, size_t column, size_t row) {
    const std::string& text = table.Cell(column, row);
    std::string content;
    if (text.empty()) {
        content = "<br>";
    } else {
        content = report::ReplaceAll(text, "&", "&amp;", true, true);
        content = report::ReplaceAll(content, "<", "&lt;", true, true);
        content = report::ReplaceAll(content, ">", "&gt;", true, true);
        content = report::ReplaceAll(content, "'", "&apos;", true, true);
        content = report::ReplaceAll(content, "\"", "&quot;", true, true);
        content = report::ReplaceAll(content, kCrLf, "<br>", true, true);
        if (row < table.FixedRows() || column < table.FixedCols()) {
            content = "<b>" + content + "</b>";
        }
    }
    return "<td>" + content + "</td>";
}

std::string TableToHtml(const report::ResultTable& table) {
    std::string document;
    AppendLine(document, "<html><body>");
    AppendLine(document, "<table border=1>");
    for (size_t row = 0; row < table.RowCount(); ++row) {
        AppendLine(document, "<tr>");
        for (size_t column = 0; column < table.ColCount(); ++column) {
            AppendLine(document, CellToHtml(table, column, row));
        }
        AppendLine(document, "</tr>");
    }
    AppendLine(document, "</table>");
    AppendLine(document, "</body></html>");
    return document;
}

std::string XmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': escaped.append("&amp;"); break;
            case '<': escaped.append("&lt;"); break;
            case '>': escaped.append("&gt;"); break;
            default: escaped.push_back(c);
        }
    }
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
    // Most cells hold one value: nothing to split, sort or compare.
    if (cell.find_first_of("\r\n") == std::string_view::npos) {
        if (cell.empty()) return {};
        std::string element = "<value index=\"0\">";
        element += XmlEscape(cell);
        element += "</value>";
        return element;
    }
    std::vector<std::string> values = SplitLines(cell);
    std::stable_sort(values.begin(), values.end(), [&](const std::string& a, const std::string& b) {
        return collator.Compare(a, b) < 0;
    });
    // Only exact repeats go; a cell holds few values, so a linear look suffices.
    std::vector<std::string_view> seen;
    std::string elements;
    size_t index = 0;
    for (const std::string& value : values) {
        if (std::find(seen.begin(), seen.end(), value) != seen.end()) continue;
        seen.push_back(value);
        elements +=
            "<value index=\"" + std::to_string(index++) + "\">" + XmlEscape(value) + "</value>";
    }
    return elements;
}

std::string TableToXml(const report::ResultTable& table, const platform::TextCollator& collator,
                       const platform::DateTimeParts& now, std::string_view encoding) {
    std::string document;
    AppendLine(document, R"(<?xml version="1.0" encoding=")" + std::string(encoding) +
                             R"(" standalone="yes"?>)");
    AppendLine(document, "<document>");
    std::array<char, 200> line{};
    std::snprintf(line.data(), line.size(),
                  R"(<table rowCount="%d" colCount="%d" fixedRows="%d" fixedCols="%d" )"
                  R"(date="%04d-%02d-%02d" time="%02d:%02d:%02d"/>)",
                  static_cast<int>(table.RowCount()), static_cast<int>(table.ColCount()),
                  static_cast<int>(table.FixedRows()), static_cast<int>(table.FixedCols()),
                  now.year, now.month, now.day, now.hour, now.minute, now.second);
    AppendLine(document, line.data());
    // The column elements repeat in every row: made once.
    std::vector<std::string> columnElements;
    for (size_t column = 0; column < table.ColCount(); ++column) {
        columnElements.push_back(XmlElement("col", XmlEscape(table.Cell(column, 0))));
    }
    for (size_t row = 0; row < table.RowCount(); ++row) {
        AppendLine(document, "<row value=\"" + std::to_string(row) + "\">");
        AppendLine(document, XmlElement("row", XmlEscape(table.Cell(0, row))));
        if (table.ColCount() > 1) {
            for (size_t column = 0; column < table.ColCount(); ++column) {
                const std::string content =
                    columnElements[column] + CellValuesToXml(table.Cell(column, row), collator);
                AppendLine(document, XmlElement("cell", content));
            }
        }
        AppendLine(document, "</row>");
    }
    AppendLine(document, "</document>");
    return document;
}

platform::EncodedText EncodeExportDocument(std::string_view document, ExportKind kind,
                                           bool utf8Text) {
    // Every line ends in CR LF, whatever break it had (the same lines as
    // SplitLines gives, in one pass over a large document).
    std::string text;
    text.reserve(document.size() + document.size() / 16);
    size_t start = 0;
    while (start < document.size()) {
        const size_t end = document.find_first_of("\r\n", start);
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
