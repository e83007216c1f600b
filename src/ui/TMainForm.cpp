#include "ui/TMainForm.h"

#include "ui/ProductInfo.h"

#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace vellrun::ui {

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 650;
constexpr int kTreeWidth = 340;
// The panels' shares of the status bar while the window is idle (web
// address, tree, container).
constexpr std::array<int, TMainForm::kStatusPanels> kPanelShares = {2, 3, 3};
constexpr int kPanelMinimumWidth = 50;

}  // namespace

TMainForm::TMainForm(directory::DirectoryAccess& access, QWidget* parent)
    : QMainWindow(parent),
      access_(access),
      splitter3_(new QSplitter(Qt::Horizontal, this)),
      dsTree_(new TTreeFrame(access, splitter3_)),
      listBoxObjects_(new QListWidget(splitter3_)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(Caption());

    splitter3_->setObjectName(QStringLiteral("Splitter3"));
    splitter3_->setChildrenCollapsible(false);
    dsTree_->setObjectName(QStringLiteral("DSTree"));
    dsTree_->SetTypeLessNames(false);
    listBoxObjects_->setObjectName(QStringLiteral("ListBoxObjects"));
    listBoxObjects_->setUniformItemSizes(true);
    splitter3_->setStretchFactor(0, 0);
    splitter3_->setStretchFactor(1, 1);
    splitter3_->setSizes({kTreeWidth, kWidth - kTreeWidth});
    setCentralWidget(splitter3_);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < kStatusPanels; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setMinimumWidth(kPanelMinimumWidth);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        bar->addWidget(panel, kPanelShares[static_cast<size_t>(i)]);
        statusPanels_[static_cast<size_t>(i)] = panel;
    }

    resize(kWidth, kHeight);

    connect(dsTree_, &TTreeFrame::EntryLinesChanged, this, &TMainForm::ShowObjectLines);
    connect(dsTree_, &TTreeFrame::TreeViewClick, this, &TMainForm::DSTreeTreeViewClick);
}

QString TMainForm::Caption() {
    char caption[128];
    std::snprintf(caption, sizeof caption, "%s %s (%s)", product::kGeneratorName, product::kVersion,
                  product::kVersionDate);
    return QString::fromUtf8(caption);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // After the window has painted: discovering and listing trees pumps events.
    QTimer::singleShot(0, this, [this] {
        ActionRescanClick();
        DSTreeTreeViewClick();
    });
}

void TMainForm::ActionRescanClick() {
    dsTree_->Initialize(&objectLines_);
}

void TMainForm::DSTreeTreeViewClick() {
    const TNodeInfo node = dsTree_->GetCurrentNodeInfo();
    platform::RunFeedback& feedback = access_.Feedback();
    feedback.SetStatus(1, node.tree != nullptr ? node.tree->treeName : std::string());
    feedback.SetStatus(2, node.fullName);
}

void TMainForm::ShowObjectLines() {
    // The list shows the lines in the program's sorted order (case ignored).
    std::vector<const std::string*> lines;
    lines.reserve(objectLines_.Count());
    for (const platform::StringList::Item& line : objectLines_)
        lines.push_back(&line.text);
    std::stable_sort(lines.begin(), lines.end(), [](const std::string* a, const std::string* b) {
        return platform::StringList::CompareText(*a, *b) < 0;
    });
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string* line : lines)
        texts.append(QString::fromStdString(*line));
    listBoxObjects_->clear();
    listBoxObjects_->addItems(texts);
}

}  // namespace vellrun::ui
