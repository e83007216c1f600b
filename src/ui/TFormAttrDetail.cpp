#include "ui/TFormAttrDetail.h"

#include "values/SchemaDefinitions.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vellrun::ui {

namespace {

constexpr QSize kDefaultSize(567, 392);

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string StdText(const QString& text) {
    return text.toUtf8().toStdString();
}

// The memo shows lines; the program's texts break them with CR LF.
QString MemoText(std::string_view text) {
    QString shown = Text(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

TFormAttrDetail::TFormAttrDetail(directory::DirectoryAccess& access, QWidget* parent)
    : QDialog(parent), access_(access) {
    setObjectName(QStringLiteral("FormAttrDetail"));
    setWindowTitle(QStringLiteral("Attribute Detail"));
    // The size at the usual font; Open widens it to what a larger font needs.
    resize(kDefaultSize);

    // The panels keep their usual height and width at least and take what
    // their controls need at a larger font.
    panelAttrEdit_ = new QWidget(this);
    panelAttrEdit_->setObjectName(QStringLiteral("PanelAttrEdit"));
    panelAttrEdit_->setMinimumHeight(57);
    panelAttrEdit_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* panelAttrEditControl = new QWidget(panelAttrEdit_);
    panelAttrEditControl->setObjectName(QStringLiteral("PanelAttrEditControl"));
    attrEdit_ = new QLineEdit(panelAttrEditControl);
    attrEdit_->setObjectName(QStringLiteral("AttrEdit"));
    attrEdit_->setAccessibleName(QStringLiteral("New value"));
    attrCombo_ = new QComboBox(panelAttrEditControl);
    attrCombo_->setObjectName(QStringLiteral("AttrCombo"));
    attrCombo_->setEditable(true);
    // A typed text becomes an item when the combo is left, not on Enter.
    attrCombo_->setInsertPolicy(QComboBox::NoInsert);
    attrCombo_->setAccessibleName(QStringLiteral("Values"));
    attrCombo_->installEventFilter(this);
    attrCheckBox_ = new QCheckBox(panelAttrEditControl);
    attrCheckBox_->setObjectName(QStringLiteral("AttrCheckBox"));
    auto* controlLayout = new QVBoxLayout(panelAttrEditControl);
    controlLayout->addWidget(attrEdit_);
    controlLayout->addWidget(attrCombo_);
    controlLayout->addWidget(attrCheckBox_);
    controlLayout->addStretch();

    auto* panelAttrSave = new QWidget(panelAttrEdit_);
    panelAttrSave->setObjectName(QStringLiteral("PanelAttrSave"));
    panelAttrSave->setMinimumWidth(199);
    bitBtnAttrSave_ = new QPushButton(QStringLiteral("&Save"), panelAttrSave);
    bitBtnAttrSave_->setObjectName(QStringLiteral("BitBtnAttrSave"));
    bitBtnCancel_ = new QPushButton(QStringLiteral("&Cancel"), panelAttrSave);
    bitBtnCancel_->setObjectName(QStringLiteral("BitBtnCancel"));
    auto* saveLayout = new QHBoxLayout(panelAttrSave);
    saveLayout->addWidget(bitBtnAttrSave_);
    saveLayout->addWidget(bitBtnCancel_);

    auto* editLayout = new QHBoxLayout(panelAttrEdit_);
    editLayout->setContentsMargins(0, 0, 0, 0);
    editLayout->addWidget(panelAttrEditControl, 1);
    editLayout->addWidget(panelAttrSave);

    memoDetail_ = new QPlainTextEdit(this);
    memoDetail_->setObjectName(QStringLiteral("MemoDetail"));
    memoDetail_->setReadOnly(true);
    memoDetail_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoDetail_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoDetail_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoDetail_->setAccessibleName(QStringLiteral("Attribute detail"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panelAttrEdit_);
    layout->addWidget(memoDetail_, 1);

    connect(attrEdit_, &QLineEdit::textEdited, this, [this] { AttrEditChange(); });
    connect(attrCombo_, &QComboBox::editTextChanged, this, [this] { AttrEditChange(); });
    connect(attrCombo_, &QComboBox::currentIndexChanged, this, [this] { AttrEditChange(); });
    connect(attrCheckBox_, &QCheckBox::clicked, this, [this] { AttrEditChange(); });
    connect(bitBtnAttrSave_, &QPushButton::clicked, this, [this] { BitBtnAttrSaveClick(); });
    connect(bitBtnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFormAttrDetail::Open(const values::AttrDetailState& state,
                           const std::function<void()>& onSaved) {
    Load(state);
    // The font may have grown since the dialog was last shown.
    resize(size().expandedTo(sizeHint()));
    exec();
    if (saved_ && onSaved) onSaved();
    return saved_;
}

void TFormAttrDetail::Load(const values::AttrDetailState& state) {
    state_ = state;
    saved_ = false;
    lastResult_ = 0;
    FormShow();
}

void TFormAttrDetail::FormShow() {
    definition_ = {};
    definitionText_.clear();
    lastResult_ =
        values::ReadAttrDefinition(access_, state_.context, state_.attributeName, definition_);
    if (lastResult_ != 0) {
        // An unreadable definition reads as syntax 0: no edit control, no line.
        definition_ = {};
    } else {
        values::ReadAttrDefinitionText(access_, state_.context, state_.attributeName,
                                       definitionText_);
    }
    // The edit starts from the values themselves, not from the cell's
    // annotated or cut text; the memo shows the cell.
    state_.editText.reset();
    if (state_.allowEdit && lastResult_ == 0) values::ReadAttrEditText(access_, state_);
    panelAttrEdit_->setVisible(values::AttrEditPanelVisible(state_, definition_));
    setWindowTitle(Text(values::AttrDetailCaption(state_)));
    memoDetail_->setPlainText(MemoText(values::AttrDetailMemo(state_, definitionText_)));
    AttrControlHide();
}

void TFormAttrDetail::AttrControlHide() {
    attrEdit_->hide();
    attrCombo_->hide();
    attrCheckBox_->hide();
    AttrControlRead();
    BitBtnSet(false);
}

void TFormAttrDetail::AttrControlRead() {
    // Filling the controls is no change by the person.
    const QSignalBlocker blockEdit(attrEdit_);
    const QSignalBlocker blockCombo(attrCombo_);
    const QSignalBlocker blockCheck(attrCheckBox_);
    const values::AttrEditChoice choice = values::AttrEditFor(definition_.syntax);
    const QString hint = Text(choice.hint);
    const std::string_view editText = state_.editText ? *state_.editText : std::string_view();
    switch (choice.control) {
        case values::AttrEditControl::Edit:
            attrEdit_->setToolTip(hint);
            attrEdit_->setAccessibleDescription(hint);
            attrEdit_->setText(Text(editText));
            attrEdit_->show();
            break;
        case values::AttrEditControl::Combo:
            attrCombo_->setToolTip(QString());
            attrCombo_->clear();
            for (const QString& line : MemoText(editText).split(QChar('\n'))) {
                if (!line.isEmpty()) attrCombo_->addItem(line);
            }
            attrCombo_->show();
            break;
        case values::AttrEditControl::CheckBox:
            attrCheckBox_->setToolTip(QString());
            attrCheckBox_->setText(Text(state_.attributeName));
            attrCheckBox_->setChecked(values::IsTrueText(editText));
            attrCheckBox_->show();
            break;
        case values::AttrEditControl::None: panelAttrEdit_->hide(); break;
    }
}

void TFormAttrDetail::AttrEditChange() {
    if (state_.allowEdit) BitBtnSet(true);
}

void TFormAttrDetail::AttrComboChange() {
    const QString text = attrCombo_->currentText();
    if (!text.isEmpty() && attrCombo_->findText(text, Qt::MatchExactly) < 0) {
        const QSignalBlocker block(attrCombo_);
        attrCombo_->addItem(text);
        attrCombo_->setCurrentIndex(attrCombo_->count() - 1);
    }
    AttrEditChange();
}

bool TFormAttrDetail::eventFilter(QObject* watched, QEvent* event) {
    if (watched == attrCombo_ && event->type() == QEvent::FocusOut) AttrComboChange();
    return QDialog::eventFilter(watched, event);
}

client::Result TFormAttrDetail::AttrControlWrite() {
    values::AttrEditedValue edited;
    if (attrCombo_->isVisibleTo(this)) {
        edited.control = values::AttrEditControl::Combo;
        for (int i = 0; i < attrCombo_->count(); ++i) {
            edited.items.push_back(StdText(attrCombo_->itemText(i)));
        }
    } else if (attrCheckBox_->isVisibleTo(this)) {
        edited.control = values::AttrEditControl::CheckBox;
        edited.checked = attrCheckBox_->isChecked();
    } else {
        edited.text = StdText(attrEdit_->text());
    }
    return values::AttrControlWrite(access_, state_, definition_.syntax, edited);
}

void TFormAttrDetail::BitBtnAttrSaveClick() {
    // A text typed into the combo counts even when the keyboard pressed Save.
    if (attrCombo_->isVisibleTo(this)) AttrComboChange();
    lastResult_ = AttrControlWrite();
    saved_ = lastResult_ == 0;
    if (lastResult_ != 0) {
        // The dialog stays open with what was typed, to be put right or
        // cancelled: closing would throw the person's text away.
        access_.DSShowError(lastResult_, "Save Attribute");
        return;
    }
    BitBtnSet(false);
    accept();
}

void TFormAttrDetail::BitBtnSet(bool enabled) {
    bitBtnAttrSave_->setEnabled(enabled);
    bitBtnCancel_->setEnabled(enabled);
}

}  // namespace vellrun::ui
