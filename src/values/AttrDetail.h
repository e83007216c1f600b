#pragma once

// What the attribute detail dialog shows and writes, apart from drawing it:
// the state the main window hands over, the caption and the memo text, which
// edit control a syntax gets and with which hint, when the edit panel is
// shown, and AttrControlWrite, which puts an edited value into the directory.
// Free functions and plain records; the dialog (src/ui) copies between them
// and its widgets.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "settings/AppSettings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::values {

// The attribute definition flag that forbids changes.
inline constexpr uint32_t kAttrFlagReadOnly = 0x0008;
// The result of AttrControlWrite for a syntax the dialog does not write.
inline constexpr client::Result kNotWritable = -1;

// What the main window fills in before the dialog opens.
struct AttrDetailState {
    client::ContextHandle context{};
    std::string objectName;
    std::string objectClass;
    std::string attributeName;
    std::string valueText;  // the cell's text as GetAttrValue made it
    bool allowEdit = false;
    bool showNames = false;
    bool showAttrInfo = false;
    // The value information the settings put in front of a cell's lines
    // (AppSettings::GetAttrValInfoType).
    int valueInfoParts = 0;
    // What the edit control starts with (ReadAttrEditText): the values
    // themselves; nothing when they could not be read.
    std::optional<std::string> editText;

    // The three switches and the value information, from the settings.
    void TakeSettings(const settings::AppSettings& settings);
};

enum class AttrEditControl { None, Edit, Combo, CheckBox };

struct AttrEditChoice {
    AttrEditControl control = AttrEditControl::None;
    std::string_view hint;  // empty: the control shows no hint
};

// The edit control of a syntax, and its hint (AttrControlRead's table).
AttrEditChoice AttrEditFor(client::SyntaxId syntax);

// "Attribute Detail: \"<attribute>\" (<class>: <object>)".
std::string AttrDetailCaption(const AttrDetailState& state);
// The memo's text, lines joined by CR LF: with show names the object name,
// the attribute name, an empty line and the value, else the value alone; with
// show attribute info and a definition text, that text and an empty line first.
std::string AttrDetailMemo(const AttrDetailState& state, std::string_view definitionText);
// Fills state.editText with the values read again, whole, without their
// information and in the present formats (empty when the object lacks the
// attribute), so that an edit never writes back an ellipsis, a
// "[ PRESENT ]", a date the present format reads otherwise, or over a value
// added since the cell was read. Returns the read's result; on a failure
// editText stays empty and the edit panel hidden.
client::Result ReadAttrEditText(directory::DirectoryAccess& access, AttrDetailState& state);
// The edit panel shows when editing is allowed, the attribute is not read-only,
// the value is one line, the syntax has an edit control and the edit text
// was read.
bool AttrEditPanelVisible(const AttrDetailState& state, const client::AttrDefRecord& definition);
// A boolean cell is ticked when its text is "TRUE" in any letter case.
bool IsTrueText(std::string_view text);

// The value of the visible edit control.
struct AttrEditedValue {
    AttrEditControl control = AttrEditControl::Edit;
    std::string text;                // the edit's text
    std::vector<std::string> items;  // the combo's items
    bool checked = false;            // the check box
};

// Writes the edited value: a boolean as the number 1 or 0, syntaxes the
// dialog does not write give kNotWritable, every other one replaces all values
// of the attribute by the text (the combo's items as lines), unless the text
// is the edit text it started with, which the directory holds already.
// state.valueText becomes the text written. Returns the directory's result.
client::Result AttrControlWrite(directory::DirectoryAccess& access, AttrDetailState& state,
                                client::SyntaxId syntax, const AttrEditedValue& edited);

}  // namespace vellrun::values
