#pragma once

// The text of one report cell: every value of one attribute of one object, as
// the settings want it (value flags, time stamps, the size limit), or one of
// the six "DSI: " pseudo-attributes taken from the object's entry information.

#include "client/ClientTypes.h"
#include "directory/Borrowed.h"
#include "directory/DirectoryAccess.h"
#include "directory/ValueInfo.h"
#include "directory/ValueLines.h"
#include "platform/DateTime.h"
#include "settings/AppSettings.h"

#include <array>
#include <string>
#include <string_view>

namespace vellrun::values {

// Reads report cells through a DirectoryAccess whose value formatter is
// installed. Owned by the front end next to its DirectoryAccess and settings
// (the desktop's main window delegates GetAttrValue to it) and lives as long
// as they do; it holds references to all three and owns none. It keeps the
// last failing result and the one-object cache of the "DSI: " texts. It never
// shows anything to a person and never changes the directory.
class CellTextReader {
public:
    // The pseudo-attributes, in the order in which a one-object report lists them.
    static constexpr std::array<std::string_view, 6> kDsiNames{
        "DSI: Parent",       "DSI: Partition Root", "DSI: Subordinates",
        "DSI: Time Created", "DSI: Time Modified",  "DSI: DN"};
    static constexpr std::string_view kDsiPrefix = "DSI: ";

    CellTextReader(directory::DirectoryAccess& access, const settings::AppSettings& settings,
                   const platform::DateTimeFormats& formats);
    CellTextReader(const CellTextReader&) = delete;
    CellTextReader& operator=(const CellTextReader&) = delete;

    // The cell text of the attribute of the object, read through context
    // (names relative to its name context). Empty when the read fails; the
    // failure is kept in LastResult.
    std::string GetAttrValue(client::ContextHandle context, std::string_view object,
                             std::string_view attribute);

    // The text of one "DSI: " pseudo-attribute of the object, or "unknown flag"
    // for a name that is none of the six (compared exactly). An object is read
    // once for all six names; "n/a" stands for what could not be read.
    std::string DsiValue(client::ContextHandle treeContext, std::string_view object,
                         std::string_view name);

    // Forgets the object whose entry information is kept, so that its next
    // "DSI: " name reads it again: a new report run must not show the times
    // from before a change made since.
    void ForgetEntryInformation() { dsiKey_.clear(); }

    // The result of the last read that failed (0 until one fails).
    client::Result LastResult() const { return lastResult_; }
    void ResetLastResult() { lastResult_ = 0; }

private:
    void ReadEntryInformation(client::ContextHandle treeContext, std::string_view object);

    directory::DirectoryAccess& access_;
    const settings::AppSettings& settings_;
    const platform::DateTimeFormats& formats_;
    client::Result lastResult_ = 0;
    // The object whose entry information dsiTexts_ holds ("<name context> - <object>";
    // never empty once an object has been read).
    std::string dsiKey_;
    std::array<std::string, kDsiNames.size()> dsiTexts_;
    // Room for one cell's lines and value information, and for its text
    // when its lines are annotated or cut, kept between cells.
    struct CellRoom {
        directory::ValueLines lines;
        directory::ValueInfoBlock info;
        std::string text;
    };
    // The cell text of GetAttrValue, read and made.
    std::string ReadCell(client::ContextHandle context, std::string_view object,
                         std::string_view attribute);
    // The text of a cell whose lines were read, as the settings want it.
    std::string CellText(CellRoom& room, int parts) const;
    directory::Kept<CellRoom> room_;
};

}  // namespace vellrun::values
