#include "ui/TTreeFrame.h"

#include "directory/DirectoryNames.h"
#include "platform/BusyCursorScope.h"

#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

namespace vellrun::ui {

namespace {

// A tree's top node carries its tree number; every other node its full name.
constexpr int kTreeNumberRole = Qt::UserRole;
constexpr int kFullNameRole = Qt::UserRole + 1;
constexpr int kIndentation = 19;
constexpr char kRootName[] = "[Root]";

directory::NodeHandle Handle(QTreeWidgetItem* node) {
    return reinterpret_cast<directory::NodeHandle>(node);
}

QTreeWidgetItem* NodeOf(int64_t number) {
    return reinterpret_cast<QTreeWidgetItem*>(static_cast<directory::NodeHandle>(number));
}

std::string NodeText(const QTreeWidgetItem* node) {
    return node->text(0).toStdString();
}

}  // namespace

TTreeFrame::TTreeFrame(directory::DirectoryAccess& access, QWidget* parent)
    : QWidget(parent), access_(access), treeView_(new QTreeWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(treeView_);

    treeView_->setObjectName(QStringLiteral("TreeView"));
    treeView_->setColumnCount(1);
    treeView_->setHeaderHidden(true);
    treeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treeView_->setSelectionMode(QAbstractItemView::SingleSelection);
    treeView_->setIndentation(kIndentation);
    treeView_->setUniformRowHeights(true);

    connect(treeView_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node, int) { TreeViewClicked(node); });
    connect(treeView_, &QTreeWidget::itemExpanded, this, &TTreeFrame::TreeViewExpanded);
    connect(treeView_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* node, int) { TreeViewDoubleClicked(node); });
}

TTreeFrame::~TTreeFrame() {
    ReleaseTrees();
}

void TTreeFrame::Initialize(platform::StringList* entryLines) {
    if (busy_) {
        SearchCancel();
        return;
    }
    platform::StringList names;
    access_.DSScanTrees(names);
    InitializeWithTreeList(names, entryLines);
}

void TTreeFrame::InitializeWithTree(const std::string& treeName, platform::StringList* entryLines) {
    platform::StringList names;
    names.Add(treeName);
    InitializeWithTreeList(names, entryLines);
}

void TTreeFrame::InitializeWithTreeList(const platform::StringList& treeNames,
                                        platform::StringList* entryLines) {
    if (busy_) {
        SearchCancel();
        return;
    }
    entryLines_ = entryLines != nullptr ? entryLines : &ownEntryLines_;
    current_ = {};
    deferred_.reset();
    treeView_->clear();
    ReleaseTrees();
    treeNames_ = treeNames;

    treeCount_ = std::min(treeNames.Count(), kMaxTrees);
    for (size_t k = 0; k < treeCount_; ++k) {
        directory::TTreeInfo& tree = trees_[k];
        // A tree that cannot be reached still gets its node; listing it yields nothing.
        access_.OpenTreeInfo(tree, treeNames.Text(k), typeLessNames_);
        tree.nodes.SetSorted(true);
        QTreeWidgetItem* root =
            AddTreeNode(tree, nullptr, NodeKind::Tree, kRootName, tree.treeName);
        root->setData(0, kTreeNumberRole, static_cast<qulonglong>(k));
        root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        tree.rootNode = Handle(root);
        // Expanding lists the tree's top through the expansion handler.
        if (treeNames.Count() < 2) treeView_->expandItem(root);
    }
    if (QTreeWidgetItem* top = treeView_->topLevelItem(0)) treeView_->setCurrentItem(top);
}

void TTreeFrame::SearchCancel() {
    if (busy_) cancel_.Set();
}

TNodeInfo TTreeFrame::GetNodeInfo(QTreeWidgetItem* node) {
    TNodeInfo info;
    if (node == nullptr) return info;
    QTreeWidgetItem* root = node;
    while (root->parent() != nullptr)
        root = root->parent();
    bool ok = false;
    const qulonglong number = root->data(0, kTreeNumberRole).toULongLong(&ok);
    if (!ok || number >= treeCount_) return info;

    info.node = node;
    info.text = NodeText(node);
    info.fullName = node == root ? std::string(kRootName)
                                 : node->data(0, kFullNameRole).toString().toStdString();
    info.tree = &trees_[number];
    return info;
}

QTreeWidgetItem* TTreeFrame::GetCurrentNode() const {
    return treeView_->currentItem();
}

void TTreeFrame::SetTypeLessNames(bool on) {
    typeLessNames_ = on;
    for (size_t k = 0; k < treeCount_; ++k)
        access_.SetTreeTypeless(trees_[k], on);
}

void TTreeFrame::TreeViewClicked(QTreeWidgetItem* node) {
    SearchCancel();
    access_.Feedback().ProcessPendingEvents();
    SelectNode(node);
    // Current even when a running listing kept it from being listed yet.
    current_ = GetNodeInfo(node);
    emit TreeViewClick();
}

void TTreeFrame::TreeViewExpanded(QTreeWidgetItem* node) {
    treeView_->setCurrentItem(node);
    SearchCancel();
    access_.Feedback().ProcessPendingEvents();
    SelectNode(node);
    current_ = GetNodeInfo(node);
}

void TTreeFrame::TreeViewDoubleClicked(QTreeWidgetItem* node) {
    SearchCancel();
    access_.Feedback().ProcessPendingEvents();
    current_ = GetNodeInfo(node);
    emit TreeViewDblClick();
}

void TTreeFrame::SelectNode(QTreeWidgetItem* node) {
    const TNodeInfo info = GetNodeInfo(node);
    if (info.tree == nullptr) return;
    if (busy_) {
        deferred_ = DeferredNode{static_cast<size_t>(info.tree - trees_.data()), info.fullName};
        return;
    }
    current_ = info;
    // Relative names of the listing are taken from this container.
    access_.DSSetContext(info.tree->objectContext, info.tree->treeName, info.fullName);
    platform::BusyCursorScope busyCursor(access_.Feedback());
    FillTreeNodes(*info.tree, info.fullName, node);
}

void TTreeFrame::FillTreeNodes(directory::TTreeInfo& tree, const std::string& container,
                               QTreeWidgetItem* node) {
    // Busy before the first pump: a click handled there must not start a
    // listing of its own while this one holds the node.
    busy_ = true;
    cancel_.Clear();
    const bool firstListing = node->childCount() == 0;
    platform::StringList containerNames(true);

    entryLines_->Clear();
    emit EntryLinesChanged();
    access_.Feedback().ProcessPendingEvents();

    // A cancel that arrived in the pump above would be lost once the listing
    // clears the flag, so it is honoured here.
    bool cancelled = cancel_.IsSet();
    if (!cancelled) {
        access_.DSListContainer(tree.objectContext, container,
                                firstListing ? &containerNames : nullptr, cancel_, *entryLines_);
        cancelled = cancel_.IsSet();
    }
    busy_ = false;

    // A cancelled listing leaves the node unlisted, so that its next click
    // reads all its containers instead of keeping part of them for good. A
    // failed one keeps what it read: a node that cannot be listed shows so.
    if (firstListing && !cancelled) AddContainerNodes(tree, node, containerNames);
    emit EntryLinesChanged();
    SelectDeferredNode();
}

void TTreeFrame::AddContainerNodes(directory::TTreeInfo& tree, QTreeWidgetItem* node,
                                   const platform::StringList& containerNames) {
    node->setChildIndicatorPolicy(containerNames.Empty() ? QTreeWidgetItem::DontShowIndicator
                                                         : QTreeWidgetItem::ShowIndicator);
    for (const platform::StringList::Item& name : containerNames) {
        const std::string fullName =
            directory::DSFullName(access_.DSResolveName(tree.objectContext, name.text));
        QTreeWidgetItem* child = AddTreeNode(tree, node, NodeKind::Container, fullName, name.text);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

QTreeWidgetItem* TTreeFrame::AddTreeNode(directory::TTreeInfo& tree, QTreeWidgetItem* parent,
                                         NodeKind kind, const std::string& fullName,
                                         const std::string& text) {
    if (auto known = tree.nodes.IndexOf(fullName)) return NodeOf(tree.nodes.Number(*known));
    auto* node = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    node->setData(0, kFullNameRole, QString::fromStdString(fullName));
    InsertSorted(parent, node);
    SetNodeImage(node, kind);
    tree.nodes.Add(fullName, static_cast<int64_t>(Handle(node)));
    return node;
}

void TTreeFrame::InsertSorted(QTreeWidgetItem* parent, QTreeWidgetItem* node) {
    // Nodes are ordered by their text without regard to case, like every
    // sorted list of the program; equal texts keep the order they came in.
    const std::string text = NodeText(node);
    const int count = parent ? parent->childCount() : treeView_->topLevelItemCount();
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = (low + high) / 2;
        const QTreeWidgetItem* other =
            parent ? parent->child(middle) : treeView_->topLevelItem(middle);
        if (platform::StringList::CompareText(NodeText(other), text) <= 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (parent != nullptr) {
        parent->insertChild(low, node);
    } else {
        treeView_->insertTopLevelItem(low, node);
    }
}

void TTreeFrame::SetNodeImage(QTreeWidgetItem* node, NodeKind kind) {
    const QStyle::StandardPixmap image =
        kind == NodeKind::Tree ? QStyle::SP_DriveNetIcon : QStyle::SP_DirIcon;
    node->setIcon(0, style()->standardIcon(image));
}

void TTreeFrame::SelectDeferredNode() {
    if (!deferred_) return;
    const DeferredNode wanted = *deferred_;
    deferred_.reset();
    if (wanted.tree >= treeCount_) return;
    directory::TTreeInfo& tree = trees_[wanted.tree];
    const auto index = tree.nodes.IndexOf(wanted.fullName);
    if (!index) return;
    SelectNode(NodeOf(tree.nodes.Number(*index)));
}

void TTreeFrame::ReleaseTrees() {
    for (size_t k = 0; k < treeCount_; ++k)
        access_.ClearTreeInfo(trees_[k]);
    treeCount_ = 0;
}

}  // namespace vellrun::ui
