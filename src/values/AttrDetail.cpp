#include "values/AttrDetail.h"

#include "directory/AttrChange.h"
#include "platform/AsciiText.h"
#include "platform/TextLines.h"

namespace vellrun::values {

namespace {

constexpr std::string_view kEnterValue = "To change, enter new value";
constexpr std::string_view kEnterMilliseconds = "To change, enter time in milliseconds";
constexpr std::string_view kEnterSeconds = "To change, enter time in seconds";

}  // namespace

void AttrDetailState::TakeSettings(const settings::AppSettings& settings) {
    allowEdit = settings.AllowAttrEdit;
    showNames = settings.ShowAttrNames;
    showAttrInfo = settings.ShowAttrInfo;
    valueInfoParts = settings.GetAttrValInfoType();
}

AttrEditChoice AttrEditFor(client::SyntaxId syntax) {
    switch (syntax) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 8:
        case 10:
        case 11:
        case 12:
        case 14:
        case 15:
        case 18:
        case 22:
        case 25: return {AttrEditControl::Edit, kEnterValue};
        case 19:
        case 24: return {AttrEditControl::Edit, kEnterMilliseconds};
        case 27: return {AttrEditControl::Edit, kEnterSeconds};
        // A class name is shown in the edit but never written.
        case 20: return {AttrEditControl::Edit, {}};
        case 6: return {AttrEditControl::Combo, {}};
        case 7: return {AttrEditControl::CheckBox, {}};
        default: return {};
    }
}

std::string AttrDetailCaption(const AttrDetailState& state) {
    return "Attribute Detail: \"" + state.attributeName + "\" (" + state.objectClass + ": " +
           state.objectName + ")";
}

std::string AttrDetailMemo(const AttrDetailState& state, std::string_view definitionText) {
    std::string memo;
    if (state.showAttrInfo && !definitionText.empty()) {
        memo = std::string(definitionText) + "\r\n\r\n";
    }
    if (state.showNames) {
        memo += state.objectName + "\r\n" + state.attributeName + "\r\n\r\n";
    }
    return memo + state.valueText;
}

client::Result ReadAttrEditText(directory::DirectoryAccess& access, AttrDetailState& state) {
    state.editText.reset();
    // The cell may come from a run under other settings (value information,
    // a size limit, another date format) or the values may have changed
    // since: the edit starts from the values as they are read now. An
    // attribute the object lacks offers an empty edit for its first value.
    client::Result result = 0;
    std::string text =
        access.DSReadColumnText(state.context, state.objectName, state.attributeName, &result);
    if (result == client::Err::NoSuchAttribute) {
        text.clear();
        result = 0;
    }
    if (result == 0) state.editText = std::move(text);
    return result;
}

bool AttrEditPanelVisible(const AttrDetailState& state, const client::AttrDefRecord& definition) {
    if (!state.allowEdit) return false;
    if ((definition.flags & kAttrFlagReadOnly) != 0) return false;
    if (state.valueText.find_first_of("\r\n") != std::string::npos) return false;
    if (!state.editText || state.editText->find_first_of("\r\n") != std::string::npos) {
        return false;
    }
    return AttrEditFor(definition.syntax).control != AttrEditControl::None;
}

bool IsTrueText(std::string_view text) {
    return platform::EqualsNoCase(text, "TRUE");
}

client::Result AttrControlWrite(directory::DirectoryAccess& access, AttrDetailState& state,
                                client::SyntaxId syntax, const AttrEditedValue& edited) {
    if (syntax == 7) {
        state.valueText = edited.checked ? "TRUE" : "FALSE";
        return access.DSWriteAttrNumber(state.context, state.objectName, state.attributeName,
                                        edited.checked ? 1 : 0);
    }
    switch (syntax) {
        case 0:
        case 13:
        case 16:
        case 17:
        case 20:
        case 21:
        case 23:
        case 26: return kNotWritable;
        default:
            if (syntax >= 28) return kNotWritable;
    }
    if (edited.control == AttrEditControl::Combo) {
        std::string text;
        for (size_t i = 0; i < edited.items.size(); ++i) {
            if (i > 0) text += "\r\n";
            text += edited.items[i];
        }
        state.valueText = text;
    } else {
        state.valueText = edited.text;
    }
    // The value as it started is in the directory already, with the parts its
    // text does not show (an e-mail address's type, a time stamp's replica
    // and event): writing it back from the text would lose them.
    if (state.editText && state.valueText == *state.editText) return 0;
    return access.DSWriteAttr(state.context, state.objectName, state.attributeName,
                              directory::ModifyType::ReplaceAll, state.valueText);
}

}  // namespace vellrun::values
