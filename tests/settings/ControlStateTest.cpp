// The control-state walk: a panel holding every kind of control saved under
// the controls' names, the key layout in the file, a restore into a fresh
// panel, change-only rewrites and the defaults of missing keys.

#include "settings/ControlState.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vellrun::settings {
namespace {

ControlState Control(ControlKind kind, std::string name) {
    ControlState control;
    control.kind = kind;
    control.name = std::move(name);
    return control;
}

// A form with a panel holding one control of every kind, and a splitter's panes.
ControlState FilledForm() {
    ControlState form = Control(ControlKind::Form, "DlgSettings");
    form.bounds = {10, 20, 640, 480};
    ControlState panel = Control(ControlKind::Other, "PanelMultiBottom");
    ControlState edit = Control(ControlKind::Edit, "EditFilter1");
    edit.text = "Sm ith";
    ControlState history = Control(ControlKind::EditableCombo, "ComboPath");
    history.history.entries = {"b", "a"};
    history.history.text = "c";
    ControlState dropDown = Control(ControlKind::DropDownCombo, "ComboDate");
    dropDown.text = "yyyy-MM-dd";
    dropDown.dropDownItems = {"dd.MM.yyyy", "yyyy-MM-dd"};
    ControlState spin = Control(ControlKind::SpinEdit, "SpinSize");
    spin.value = 4096;
    ControlState radio = Control(ControlKind::RadioGroup, "RadioGroupOutputType");
    radio.value = 3;
    ControlState track = Control(ControlKind::TrackBar, "TrackBar1");
    track.value = -2;
    ControlState check = Control(ControlKind::CheckBox, "CheckBoxRecurse");
    check.checked = true;
    ControlState list = Control(ControlKind::CheckList, "CheckListAllProps");
    list.items = {{"CN", true}, {"Surname", false}};
    ControlState memo = Control(ControlKind::Memo, "MemoNotes");
    memo.lines = {"first", "", " third "};
    ControlState readOnlyMemo = Control(ControlKind::Memo, "Memo1");
    readOnlyMemo.readOnly = true;
    readOnlyMemo.lines = {"never kept"};
    ControlState values = Control(ControlKind::NameValueList, "ValueList");
    values.lines = {"a=1", "b=2", ""};
    ControlState grid = Control(ControlKind::StringGrid, "Grid");
    grid.grid = {2, 2, 1, 0, {{"h0", "r1"}, {"h1", ""}}};
    panel.children = {edit,  history, dropDown, spin,         radio,  track,
                      check, list,    memo,     readOnlyMemo, values, grid};
    ControlState unnamed;  // a layout box: not kept, its children are
    ControlState inner = Control(ControlKind::CheckBox, "CheckBoxFilter");
    unnamed.children = {inner};
    form.children = {panel, unnamed};
    form.splitterPanes = {{"PanelSettingsLeft", false, 200}};
    return form;
}

// The same form as it stands before a restore: empty values, defaults.
ControlState Blank(const ControlState& filled) {
    ControlState blank = filled;
    blank.bounds = {};
    blank.text.clear();
    blank.history = {};
    blank.value = 0;
    blank.checked = false;
    blank.items = {{"stale", true}};
    if (!blank.readOnly) blank.lines.clear();
    blank.grid = {};
    blank.splitterPanes.clear();
    for (ControlState& child : blank.children)
        child = Blank(child);
    return blank;
}

TEST(ControlStateTest, EveryKindRoundTripsUnderItsKeys) {
    testing::TempDir dir("vellrun-controls");
    platform::IniFile file(dir / "vellrun.ini");
    SectionCache cache;
    const ControlState form = FilledForm();
    ASSERT_TRUE(SaveControlState(file, cache, "Settings", form).ok());

    const std::string section = "DlgSettings Settings";
    EXPECT_EQ(file.ReadString(section, "DlgSettings.Width", ""), "640");
    EXPECT_EQ(file.ReadString(section, "EditFilter1", ""), "Sm ith");
    EXPECT_EQ(file.ReadString("History ComboPath", "Count", ""), "3");
    EXPECT_EQ(file.ReadString("History ComboPath", "0", ""), "c");
    EXPECT_EQ(file.ReadString(section, "ComboDate", ""), "yyyy-MM-dd");
    EXPECT_EQ(file.ReadString(section, "SpinSize", ""), "4096");
    EXPECT_EQ(file.ReadString(section, "RadioGroupOutputType", ""), "3");
    EXPECT_EQ(file.ReadString(section, "CheckBoxRecurse", ""), "1");
    EXPECT_EQ(file.ReadString(section, "CheckBoxFilter", ""), "0");
    EXPECT_EQ(file.ReadString("CheckListAllProps " + section, "CN", ""), "1");
    EXPECT_EQ(file.ReadString("CheckListAllProps " + section, "Surname", ""), "0");
    EXPECT_EQ(file.ReadString("MemoNotes " + section, "2", ""), " third ");
    EXPECT_FALSE(file.SectionExists("Memo1 " + section));
    EXPECT_EQ(file.ReadString(section, "ValueList.Count", ""), "3");
    EXPECT_EQ(file.ReadString("Grid " + section, "RowCount", ""), "2");
    EXPECT_EQ(file.ReadString("Grid " + section, "FixedRows", ""), "1");
    EXPECT_EQ(file.ReadString("Grid " + section, "Cell.0.1", ""), "r1");
    EXPECT_EQ(file.ReadString(section, "PanelSettingsLeft.Width", ""), "200");

    // Saving the same values again touches no key of a single value.
    ControlState scalars = Control(ControlKind::Other, "PanelMultiBottom");
    scalars.children = {form.children[0].children[0], form.children[0].children[3],
                        form.children[0].children[4], form.children[0].children[6]};
    ASSERT_TRUE(SaveControlState(file, cache, "Settings", scalars).ok());
    const uint64_t writes = file.WriteCount();
    SectionCache secondCache;
    ASSERT_TRUE(SaveControlState(file, secondCache, "Settings", scalars).ok());
    EXPECT_EQ(file.WriteCount(), writes);

    // A fresh read of the file restores every value.
    const platform::IniFile reread(file.Path());
    SectionCache readCache;
    ControlState restored = Blank(form);
    RestoreControlState(reread, readCache, "Settings", restored);
    EXPECT_EQ(restored.bounds, form.bounds);
    const ControlState& panel = restored.children[0];
    const ControlState& saved = form.children[0];
    for (size_t k = 0; k < panel.children.size(); ++k) {
        const ControlState& got = panel.children[k];
        const ControlState& want = saved.children[k];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.value, want.value);
        EXPECT_EQ(got.checked, want.checked);
        if (want.kind == ControlKind::CheckList) {
            EXPECT_EQ(got.items, want.items);
        }
        if (want.kind == ControlKind::Memo || want.kind == ControlKind::NameValueList) {
            EXPECT_EQ(got.lines, want.lines);
        }
        if (want.kind == ControlKind::StringGrid) {
            EXPECT_EQ(got.grid, want.grid);
        }
        if (want.kind == ControlKind::EditableCombo) {
            EXPECT_EQ(got.history.text, "c");
            EXPECT_EQ(got.history.entries, (std::vector<std::string>{"c", "b", "a"}));
        }
    }
    EXPECT_EQ(restored.children[1].children[0].checked, false);
}

TEST(ControlStateTest, MissingKeysKeepCurrentValuesAndSizesComeBackPerControl) {
    testing::TempDir dir("vellrun-controls");
    platform::IniFile file(dir / "vellrun.ini");
    ASSERT_TRUE(file.WriteString("Settings", "PanelObjects.Width", "333").ok());
    ASSERT_TRUE(file.WriteString("Settings", "ComboDate", "not offered").ok());
    SectionCache cache;
    ControlState panel = Control(ControlKind::Other, "PanelObjects");
    panel.width = 120;
    panel.height = 90;
    ControlState check = Control(ControlKind::CheckBox, "CheckBoxRecurse");
    check.checked = true;
    ControlState list = Control(ControlKind::CheckList, "CheckListAllProps");
    list.items = {{"CN", true}};
    ControlState dropDown = Control(ControlKind::DropDownCombo, "ComboDate");
    dropDown.text = "yyyy-MM-dd";
    dropDown.dropDownItems = {"yyyy-MM-dd"};
    panel.children = {check, list, dropDown};
    RestoreControlState(file, cache, "Settings", panel);
    EXPECT_EQ(panel.width, 333);
    EXPECT_EQ(panel.height, 90);
    EXPECT_TRUE(panel.children[0].checked);
    // A check list whose sub-section is missing was saved with no items.
    EXPECT_TRUE(panel.children[1].items.empty());
    // A drop-down list selects nothing for a stored text it does not offer.
    EXPECT_EQ(panel.children[2].text, "");
    EXPECT_EQ(GridCellKey(3, 12), "Cell.3.12");
    EXPECT_EQ(HistorySectionName("ComboPath"), "History ComboPath");
}

}  // namespace
}  // namespace vellrun::settings
