#include "DialogTestSupport.h"
#include "directory/AttrChange.h"
#include "support/ImageFixture.h"
#include "support/TempDir.h"
#include "ui/DesktopSession.h"
#include "ui/DialogScript.h"
#include "values/CellTextReader.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <stdlib.h>

namespace vellrun::ui {
namespace {

using Kind = DialogScript::Kind;
using values::AttrDetailState;

constexpr char kExtraAttributes[] = R"(
      {"name": "Note", "syntax": "CI_STRING", "flags": ["SingleVal"]},
      {"name": "Locked", "syntax": "BOOLEAN", "flags": ["SingleVal"]},
      {"name": "Aliases", "syntax": "CI_LIST", "flags": ["SingleVal"]},
      {"name": "Grace", "syntax": "INTEGER", "flags": ["SingleVal"]},
      {"name": "Stamp", "syntax": "TIMESTAMP", "flags": ["SingleVal"]},
      {"name": "Last Seen", "syntax": "TIME", "flags": ["SingleVal"]},
      {"name": "Wait", "syntax": "INTERVAL", "flags": ["SingleVal"]},
      {"name": "Serial", "syntax": "CI_STRING", "flags": ["SingleVal", "ReadOnly"]},
      {"name": "Blob", "syntax": "OCTET_STRING", "flags": ["SingleVal"]},
      {"name": "Kind", "syntax": "CLASS_NAME", "flags": ["SingleVal"]})";

constexpr char kTesterClass[] = R"({"name": "Tester", "flags": ["Effective"], "super": ["Top"],
  "naming": ["CN"], "optional": ["Note", "Locked", "Aliases", "Grace", "Stamp", "Last Seen",
  "Wait", "Serial", "Blob", "Description", "Title", "Kind"]})";

constexpr char kObjects[] = R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "probe.Corp", "class": "Tester", "attributes": {"CN": "probe", "Note": "hello",
   "Locked": true, "Aliases": [["one"]], "Grace": 5, "Stamp": "2009-10-30T12:00:00Z",
   "Last Seen": "2009-10-30T12:00:00Z", "Wait": 30, "Serial": "S-1",
   "Blob": {"hex": "0A0B"}, "Description": ["first", "second"], "Kind": "Tester"}}])";

// The detail dialog of the desktop program over the embedded directory, with
// the program's own value formatter and parser.
class TFormAttrDetailTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        DialogScript::Begin();
        session = std::make_unique<DesktopSession>(testing::StartImageClient(
            testing::TreeImage(kObjects, kExtraAttributes, kTesterClass)));
        ASSERT_TRUE(session->Start());
        ASSERT_EQ(session->Access().OpenTreeInfo(tree, "T", true, "[Root]"), 0);
        reader = std::make_unique<values::CellTextReader>(session->Access(), settings,
                                                          session->Formats());
        dialog = session->FormAttrDetail();
    }
    void TearDown() override {
        session->Access().ClearTreeInfo(tree);
        reader.reset();
        session.reset();
        DialogScript::End();
        ::unsetenv("XDG_CONFIG_HOME");
    }

    // The state the main window hands over for a cell of the object.
    AttrDetailState Cell(const std::string& attribute, bool allowEdit = true) {
        AttrDetailState state;
        state.context = tree.objectContext;
        state.objectName = ".probe.Corp";
        state.objectClass = "Tester";
        state.attributeName = attribute;
        state.valueText = Read(attribute);
        settings.AllowAttrEdit = allowEdit;
        state.TakeSettings(settings);
        return state;
    }
    std::string Read(const std::string& attribute) {
        return reader->GetAttrValue(tree.objectContext, ".probe.Corp", attribute);
    }
    bool EditPanelShown() const { return dialog->PanelAttrEdit()->isVisibleTo(dialog); }
    bool ButtonsEnabled() const {
        return dialog->BitBtnAttrSave()->isEnabled() && dialog->BitBtnCancel()->isEnabled();
    }

    testing::TempDir config{"vellrun-detail"};
    settings::AppSettings settings;
    std::unique_ptr<DesktopSession> session;
    directory::TTreeInfo tree;
    std::unique_ptr<values::CellTextReader> reader;
    TFormAttrDetail* dialog = nullptr;
};

TEST_F(TFormAttrDetailTest, EachSyntaxGetsItsControlHintAndValue) {
    struct Row {
        std::string attribute;
        QWidget* control;
        QString hint;
    };
    const std::vector<Row> rows{
        {"Note", dialog->AttrEdit(), "To change, enter new value"},
        {"Grace", dialog->AttrEdit(), "To change, enter new value"},
        {"Stamp", dialog->AttrEdit(), "To change, enter time in milliseconds"},
        {"Last Seen", dialog->AttrEdit(), "To change, enter time in milliseconds"},
        {"Wait", dialog->AttrEdit(), "To change, enter time in seconds"},
        // A class name shows in the edit, with no hint left from an earlier cell.
        {"Kind", dialog->AttrEdit(), ""},
        {"Aliases", dialog->AttrCombo(), ""},
        {"Locked", dialog->AttrCheckBox(), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.attribute);
        dialog->Load(Cell(row.attribute));
        ASSERT_TRUE(EditPanelShown());
        for (QWidget* control :
             {static_cast<QWidget*>(dialog->AttrEdit()), static_cast<QWidget*>(dialog->AttrCombo()),
              static_cast<QWidget*>(dialog->AttrCheckBox())}) {
            EXPECT_EQ(control->isVisibleTo(dialog), control == row.control);
        }
        EXPECT_EQ(row.control->toolTip(), row.hint);
        EXPECT_FALSE(ButtonsEnabled());
        if (row.control == dialog->AttrEdit()) {
            EXPECT_EQ(dialog->AttrEdit()->text().toStdString(), dialog->State().valueText);
        }
    }
    dialog->Load(Cell("Aliases"));
    ASSERT_EQ(dialog->AttrCombo()->count(), 1);
    EXPECT_EQ(dialog->AttrCombo()->itemText(0), "one");
    dialog->Load(Cell("Locked"));
    EXPECT_EQ(dialog->AttrCheckBox()->text(), "Locked");
    EXPECT_TRUE(dialog->AttrCheckBox()->isChecked());
    AttrDetailState mixedCase = Cell("Locked");
    mixedCase.valueText = "tRuE";
    dialog->Load(mixedCase);
    EXPECT_TRUE(dialog->AttrCheckBox()->isChecked());
    // The box follows what the directory holds, not a cell from an older run.
    mixedCase.valueText = "FALSE";
    dialog->Load(mixedCase);
    EXPECT_TRUE(dialog->AttrCheckBox()->isChecked());

    // No edit panel: an octet string, a read-only attribute, several values,
    // editing switched off, a definition that cannot be read.
    for (const std::string attribute : {"Blob", "Serial", "Description"}) {
        dialog->Load(Cell(attribute));
        EXPECT_FALSE(EditPanelShown()) << attribute;
    }
    dialog->Load(Cell("Note", false));
    EXPECT_FALSE(EditPanelShown());
    AttrDetailState missing = Cell("Nothing Such");
    missing.valueText = "x";
    dialog->Load(missing);
    EXPECT_FALSE(EditPanelShown());
    EXPECT_EQ(dialog->Definition().syntax, 0u);
    EXPECT_EQ(dialog->MemoDetail()->toPlainText(), ".probe.Corp\nNothing Such\n\nx");
    // A cell from an older run (the directory changed since, or the formats
    // did) is not what the edit starts from: the value as it reads now is,
    // and a cell of one value that now holds two offers no edit that would
    // replace them both.
    AttrDetailState stale = Cell("Note");
    stale.valueText = "hello from an older run";
    dialog->Load(stale);
    ASSERT_TRUE(EditPanelShown());
    EXPECT_EQ(dialog->AttrEdit()->text(), "hello");
    stale = Cell("Description");
    stale.valueText = "first";
    dialog->Load(stale);
    EXPECT_FALSE(EditPanelShown());
    // An empty cell whose attribute has a value now shows that value; one the
    // object still lacks offers an empty edit for its first value.
    stale = Cell("Note");
    stale.valueText.clear();
    dialog->Load(stale);
    ASSERT_TRUE(EditPanelShown());
    EXPECT_EQ(dialog->AttrEdit()->text(), "hello");
    dialog->Load(Cell("Title"));
    ASSERT_TRUE(EditPanelShown());
    EXPECT_EQ(dialog->AttrEdit()->text(), "");
}

TEST_F(TFormAttrDetailTest, MemoAndCaptionFollowTheTwoDetailSettings) {
    AttrDetailState state = Cell("Description");
    dialog->Load(state);
    EXPECT_EQ(dialog->windowTitle(), "Attribute Detail: \"Description\" (Tester: .probe.Corp)");
    const QStringList lines = dialog->MemoDetail()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 7);
    EXPECT_TRUE(lines[0].startsWith("CI_STRING")) << lines[0].toStdString();
    EXPECT_EQ(lines.mid(1), (QStringList{"", ".probe.Corp", "Description", "", "first", "second"}));

    state.showAttrInfo = false;
    state.showNames = false;
    dialog->Load(state);
    EXPECT_EQ(dialog->MemoDetail()->toPlainText(), "first\nsecond");
    EXPECT_TRUE(dialog->MemoDetail()->isReadOnly());
}

// The window's font reaches the dialog: a large one makes it as large as its
// controls then need, with the buttons' captions whole and the edit whole.
TEST_F(TFormAttrDetailTest, ALargeFontLeavesTheButtonsAndTheEditWhole) {
    QFont large = dialog->font();
    large.setPointSize(24);
    dialog->setFont(large);
    testing::WhenModal([this] {
        for (const QWidget* control : std::initializer_list<const QWidget*>{
                 dialog->BitBtnAttrSave(), dialog->BitBtnCancel(), dialog->AttrEdit()}) {
            EXPECT_GE(control->width(), control->sizeHint().width())
                << control->objectName().toStdString();
            EXPECT_GE(control->height(), control->sizeHint().height())
                << control->objectName().toStdString();
        }
        dialog->reject();
    });
    EXPECT_FALSE(dialog->Open(Cell("Note")));
}

TEST_F(TFormAttrDetailTest, SavedEditsReachTheDirectoryAndTheCellIsRefreshed) {
    std::string cell;
    const auto refresh = [&](const std::string& attribute) {
        return [&, attribute] { cell = Read(attribute); };
    };

    // A text: the first keystroke enables both buttons, Save writes.
    testing::WhenModal([this] {
        testing::TypeText(dialog->AttrEdit(), " world");
        EXPECT_TRUE(ButtonsEnabled());
        dialog->BitBtnAttrSave()->click();
    });
    EXPECT_TRUE(dialog->Open(Cell("Note"), refresh("Note")));
    EXPECT_EQ(cell, "hello world");
    EXPECT_FALSE(ButtonsEnabled());

    // A boolean: only a click enables saving.
    testing::WhenModal([this] {
        EXPECT_FALSE(ButtonsEnabled());
        dialog->AttrCheckBox()->click();
        dialog->BitBtnAttrSave()->click();
    });
    EXPECT_TRUE(dialog->Open(Cell("Locked"), refresh("Locked")));
    EXPECT_EQ(cell, "FALSE");

    // A list: a typed text becomes an item when the combo is left; all items are written.
    testing::WhenModal([this] {
        dialog->AttrCombo()->lineEdit()->clear();
        testing::TypeText(dialog->AttrCombo()->lineEdit(), "two");
        testing::LeaveControl(dialog->AttrCombo());
        EXPECT_EQ(dialog->AttrCombo()->count(), 2);
        dialog->BitBtnAttrSave()->click();
    });
    EXPECT_TRUE(dialog->Open(Cell("Aliases"), refresh("Aliases")));
    EXPECT_EQ(cell, "one\r\ntwo");

    // An interval in seconds.
    testing::WhenModal([this] {
        dialog->AttrEdit()->clear();
        testing::TypeText(dialog->AttrEdit(), "90");
        dialog->BitBtnAttrSave()->click();
    });
    EXPECT_TRUE(dialog->Open(Cell("Wait"), refresh("Wait")));
    EXPECT_EQ(cell, "1 min, 30 sec");
    EXPECT_TRUE(DialogScript::ShownBoxes().empty());
}

TEST_F(TFormAttrDetailTest, ACutOrAnnotatedCellIsEditedAsTheValueItself) {
    std::string note;
    for (int i = 0; i < 100; ++i)
        note += "note " + std::to_string(1000 + i) + "|";
    ASSERT_EQ(note.size(), 1000u);
    ASSERT_EQ(session->Access().DSWriteAttr(tree.objectContext, ".probe.Corp", "Note",
                                            directory::ModifyType::ReplaceAll, note),
              0);
    // Lines cut to 512 characters, value flags and time stamps in front.
    settings.MaxAttrSizeIndex = 0;
    settings.ShowValueFlags = true;
    settings.ShowTimeStamps = true;
    const AttrDetailState cut = Cell("Note");
    ASSERT_TRUE(cut.valueText.starts_with("[ ")) << cut.valueText;
    ASSERT_TRUE(cut.valueText.ends_with("...")) << cut.valueText;

    testing::WhenModal([this, note] {
        EXPECT_EQ(dialog->AttrEdit()->text().toStdString(), note);
        testing::TypeText(dialog->AttrEdit(), "X");
        dialog->BitBtnAttrSave()->click();
    });
    EXPECT_TRUE(dialog->Open(cut));
    // The memo still shows the cell as the grid had it.
    EXPECT_TRUE(dialog->MemoDetail()->toPlainText().endsWith("..."));
    settings.MaxAttrSizeIndex = 3;
    settings.ShowValueFlags = false;
    settings.ShowTimeStamps = false;
    EXPECT_EQ(Read("Note"), note + "X");

    // Annotated values start the other controls as they are, too.
    settings.ShowValueFlags = true;
    dialog->Load(Cell("Grace"));
    EXPECT_EQ(dialog->AttrEdit()->text(), "5");
    dialog->Load(Cell("Locked"));
    EXPECT_TRUE(dialog->AttrCheckBox()->isChecked());
    dialog->Load(Cell("Aliases"));
    ASSERT_EQ(dialog->AttrCombo()->count(), 1);
    EXPECT_EQ(dialog->AttrCombo()->itemText(0), "one");

    // A cell made under other settings than those now in force.
    AttrDetailState stale = Cell("Grace");
    settings.ShowValueFlags = false;
    stale.TakeSettings(settings);
    dialog->Load(stale);
    EXPECT_EQ(dialog->AttrEdit()->text(), "5");
}

TEST_F(TFormAttrDetailTest, RefusedSavesShowTheErrorAndChangeNothing) {
    bool refreshed = false;
    // Not a number: the parser refuses with -702, and the dialog stays open
    // with the text typed, to be put right or cancelled.
    testing::WhenModal([this] {
        dialog->AttrEdit()->clear();
        testing::TypeText(dialog->AttrEdit(), "abc");
        dialog->BitBtnAttrSave()->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->AttrEdit()->text(), "abc");
        EXPECT_TRUE(dialog->BitBtnCancel()->isEnabled());
        dialog->BitBtnCancel()->click();
    });
    EXPECT_FALSE(dialog->Open(Cell("Grace"), [&] { refreshed = true; }));
    EXPECT_EQ(dialog->LastResult(), -702);
    auto errors = DialogScript::Texts(Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Save Attribute returned error ", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find("(The text does not fit the syntax)"), std::string::npos) << errors[0];
    EXPECT_EQ(Read("Grace"), "5");

    // A class name is shown but never written: -1.
    testing::WhenModal([this] {
        testing::TypeText(dialog->AttrEdit(), "x");
        dialog->BitBtnAttrSave()->click();
        dialog->BitBtnCancel()->click();
    });
    const std::string classes = Read("Kind");
    EXPECT_FALSE(dialog->Open(Cell("Kind"), [&] { refreshed = true; }));
    EXPECT_EQ(dialog->LastResult(), -1);
    errors = DialogScript::Texts(Kind::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].rfind("Save Attribute returned error ", 0), 0u) << errors[1];
    EXPECT_EQ(Read("Kind"), classes);

    // Cancel after a change writes nothing.
    testing::WhenModal([this] {
        testing::TypeText(dialog->AttrEdit(), "!");
        dialog->BitBtnCancel()->click();
    });
    EXPECT_FALSE(dialog->Open(Cell("Note"), [&] { refreshed = true; }));
    EXPECT_EQ(Read("Note"), "hello");
    EXPECT_FALSE(refreshed);
}

}  // namespace
}  // namespace vellrun::ui
