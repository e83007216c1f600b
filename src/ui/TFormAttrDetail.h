#pragma once

#include "directory/DirectoryAccess.h"
#include "values/AttrDetail.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

namespace vellrun::ui {

// The attribute detail dialog: one cell of the results shown in full with
// the attribute's definition and, when the settings allow editing, one edit
// control for a single value that "&Save" writes back to the directory.
//
// One instance lives as long as the program and is reused; the main window
// opens it with Open, handing over what the cell is, and refreshes the cell
// (GetAttrValue) in the callback when a save succeeded. It holds a reference
// to the directory access and owns its controls. What it shows and writes is
// decided in values::AttrDetail; this class only draws and forwards.
class TFormAttrDetail : public QDialog {
    Q_OBJECT

public:
    explicit TFormAttrDetail(directory::DirectoryAccess& access, QWidget* parent = nullptr);

    // Runs the dialog modally for the cell; onSaved is called after it closed
    // when a value was saved. Returns whether a value was saved.
    bool Open(const values::AttrDetailState& state, const std::function<void()>& onSaved = {});
    // Takes the cell and builds the view without showing it (Open does this first).
    void Load(const values::AttrDetailState& state);

    const values::AttrDetailState& State() const { return state_; }
    const client::AttrDefRecord& Definition() const { return definition_; }
    bool Saved() const { return saved_; }
    client::Result LastResult() const { return lastResult_; }

    QPlainTextEdit* MemoDetail() const { return memoDetail_; }
    QWidget* PanelAttrEdit() const { return panelAttrEdit_; }
    QLineEdit* AttrEdit() const { return attrEdit_; }
    QComboBox* AttrCombo() const { return attrCombo_; }
    QCheckBox* AttrCheckBox() const { return attrCheckBox_; }
    QPushButton* BitBtnAttrSave() const { return bitBtnAttrSave_; }
    QPushButton* BitBtnCancel() const { return bitBtnCancel_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void AttrControlHide();
    void AttrControlRead();
    client::Result AttrControlWrite();
    void AttrEditChange();
    void AttrComboChange();
    void BitBtnAttrSaveClick();
    void BitBtnSet(bool enabled);

    directory::DirectoryAccess& access_;
    values::AttrDetailState state_;
    client::AttrDefRecord definition_;
    std::string definitionText_;
    client::Result lastResult_ = 0;
    bool saved_ = false;

    QPlainTextEdit* memoDetail_;
    QWidget* panelAttrEdit_;
    QLineEdit* attrEdit_;
    QComboBox* attrCombo_;
    QCheckBox* attrCheckBox_;
    QPushButton* bitBtnAttrSave_;
    QPushButton* bitBtnCancel_;
};

}  // namespace vellrun::ui
