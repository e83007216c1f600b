#pragma once

// Reading a finished workbook (.xlsx) back before it replaces the file it is
// for. The workbook library assembles each part of a workbook in a temporary
// file and zips it without checking that file's writes and reads: on a full
// disk it reports success for a zip whose parts are cut short, some of them
// with a CRC that matches the cut-short bytes. A whole workbook is a zip
// whose every entry inflates to its recorded size with its CRC right, whose
// every XML part ends with the closing tag of its root element (or is one
// self-closed root), and whose worksheets hold every byte of the rows that
// were written for them.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::exports {

// What CheckWorkbookFile says of a workbook that is not whole.
inline constexpr std::string_view kIncompleteWorkbook =
    "the workbook came out incomplete (the disk may be full)";

// Empty when the workbook at file is whole; else why not (kIncompleteWorkbook,
// or that it could not be read back, with the system's reason).
// sheetRowBytes[i] is the size of the rows written for worksheet i + 1 (what
// its sheetData element holds); each of these worksheets must be there.
[[nodiscard]] std::string CheckWorkbookFile(const std::filesystem::path& file,
                                            const std::vector<uint64_t>& sheetRowBytes);

}  // namespace vellrun::exports
