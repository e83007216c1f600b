#include "ui/TTreeFrame.h"

#include "client/NameSyntax.h"
#include "client/ResultCodes.h"
#include "directory/DirectoryNames.h"
#include "platform/BusyCursorScope.h"
#include "ui/ClassImages.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::ui {

namespace {

// A tree's top node carries its tree number; every other node its full name.
constexpr int kTreeNumberRole = Qt::UserRole;
constexpr int kFullNameRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
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

// The tree view says when a mouse press is being handled and when a release
// has been: a node made current by a press is chosen by the click that
// follows, not by the change of the current item. It adds no signals and
// keeps the class name its accessibility interface is found by.
class TreeWidget final : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

    bool Pressing() const { return pressing_; }
    std::function<void()> pressStarted;
    std::function<void()> releaseHandled;

    // The view scrolls sideways by whole columns: a node indented beyond the
    // view's width would stay out of sight as it becomes current. It is
    // brought into the view here, its left edge kept on view.
    void scrollTo(const QModelIndex& index, ScrollHint hint) override {
        QTreeWidget::scrollTo(index, hint);
        if (!index.isValid()) return;
        // The column's width and the scroll bar's range follow the nodes
        // just listed only once the view's geometry is brought up to date.
        updateGeometries();
        const QRect item = visualRect(index);
        const int width = viewport()->width();
        QScrollBar* bar = horizontalScrollBar();
        if (item.left() < 0) {
            bar->setValue(bar->value() + item.left());
        } else if (item.right() >= width) {
            bar->setValue(bar->value() + std::min(item.right() - width + 1, item.left()));
        }
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (pressStarted) pressStarted();
        pressing_ = true;
        QTreeWidget::mousePressEvent(event);
        pressing_ = false;
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QTreeWidget::mouseReleaseEvent(event);
        if (releaseHandled) releaseHandled();
    }

private:
    bool pressing_ = false;
};

}  // namespace

TTreeFrame::TTreeFrame(directory::DirectoryAccess& access, QWidget* parent)
    : QWidget(parent),
      access_(access),
      treeView_(new TreeWidget(this)),
      timerSearchCancel_(new QTimer(this)) {
    timerSearchCancel_->setObjectName(QStringLiteral("TimerSearchCancel"));
    timerSearchCancel_->setInterval(kCancelInterval);
    connect(timerSearchCancel_, &QTimer::timeout, this, &TTreeFrame::TimerSearchCancelTimer);
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
    // The one column is as wide as its widest shown node, so that deep
    // containers are reached through the horizontal scroll bar.
    treeView_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    treeView_->header()->setStretchLastSection(false);
    treeView_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto* view = static_cast<TreeWidget*>(treeView_);
    view->pressStarted = [this] { pressedNode_ = nullptr; };
    view->releaseHandled = [this] { PressedNodeReleased(); };
    connect(treeView_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node, int) {
        pressedNode_ = nullptr;
        TreeViewClicked(node);
    });
    connect(treeView_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { TreeViewCurrentChanged(node); });
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

void TTreeFrame::InitializeWithTreeList(const platform::StringList& treeNames,
                                        platform::StringList* entryLines) {
    if (busy_) {
        SearchCancel();
        return;
    }
    entryLines_ = entryLines != nullptr ? entryLines : &ownEntryLines_;
    current_ = {};
    deferred_.reset();
    pressedNode_ = nullptr;
    listedNode_ = nullptr;
    {
        const QScopedValueRollback quiet(settingCurrent_, true);
        treeView_->clear();
    }
    ReleaseTrees();
    treeNames_ = treeNames;

    treeCount_ = std::min(treeNames.Count(), kMaxTrees);
    for (size_t k = 0; k < treeCount_; ++k) {
        directory::TTreeInfo& tree = trees_[k];
        // A tree whose contexts cannot be pointed at it still gets its node,
        // which stays empty: its contexts stay on the tree they started on.
        const client::Result opened = access_.OpenTreeInfo(tree, treeNames.Text(k), typeLessNames_);
        treeFaults_[k] = opened == 0 ? std::string() : UnreachableText(tree.treeName, opened);
        tree.nodes.SetSorted(true);
        QTreeWidgetItem* root =
            AddTreeNode(tree, nullptr, NodeKind::Tree, kRootName, tree.treeName);
        root->setData(0, kTreeNumberRole, static_cast<qulonglong>(k));
        root->setChildIndicatorPolicy(opened == 0 ? QTreeWidgetItem::ShowIndicator
                                                  : QTreeWidgetItem::DontShowIndicator);
        tree.rootNode = Handle(root);
        // A single tree is listed and expanded at once. The program chose
        // it, not the person: no click is reported, the owner places itself.
        if (treeNames.Count() < 2) {
            MakeCurrent(root);
            SelectNode(root);
            const QScopedValueRollback quiet(quietExpansion_, true);
            treeView_->expandItem(root);
        }
    }
    if (QTreeWidgetItem* top = treeView_->topLevelItem(0)) MakeCurrent(top);
}

void TTreeFrame::SearchCancel() {
    if (!busy_) return;
    cancel_.Set();
    cancelCountdown_ = kCancelTicks;
    timerSearchCancel_->start();
}

bool TTreeFrame::CancelTimerActive() const {
    return timerSearchCancel_->isActive();
}

void TTreeFrame::TimerSearchCancelTimer() {
    // The listing sees the flag at its next entry; the timer keeps it set
    // until the listing has stopped or five seconds have passed.
    if (busy_) cancel_.Set();
    --cancelCountdown_;
    if (!busy_ || cancelCountdown_ <= 0) timerSearchCancel_->stop();
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

const std::string& TTreeFrame::TreeFault(const directory::TTreeInfo* tree) const {
    static const std::string kNone;
    for (size_t k = 0; k < treeCount_; ++k) {
        if (tree == &trees_[k]) return treeFaults_[k];
    }
    return kNone;
}

std::string TTreeFrame::UnreachableText(const std::string& treeName, client::Result result) {
    return "The tree \"" + treeName + "\" cannot be shown: Set Context returned error " +
           access_.DSErrorText(result);
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
    if (quietExpansion_) return;
    // The current node was listed when it became current (by key, click or
    // expansion): expanding it has nothing to add.
    if (!busy_ && node == listedNode_ && node == treeView_->currentItem()) return;
    MakeCurrent(node);
    TreeViewClicked(node);
}

void TTreeFrame::TreeViewCurrentChanged(QTreeWidgetItem* node) {
    if (node == nullptr || settingCurrent_ || quietExpansion_) return;
    // A press leaves the choice to its click, which lists the node once;
    // keys (and anything else that moves the current item) choose at once.
    if (static_cast<TreeWidget*>(treeView_)->Pressing()) {
        pressedNode_ = node;
        return;
    }
    TreeViewClicked(node);
}

void TTreeFrame::PressedNodeReleased() {
    // A press that made a node current but ended in no click (released
    // elsewhere) still chooses that node.
    QTreeWidgetItem* node = pressedNode_;
    pressedNode_ = nullptr;
    if (node != nullptr && node == treeView_->currentItem()) TreeViewClicked(node);
}

void TTreeFrame::MakeCurrent(QTreeWidgetItem* node) {
    const QScopedValueRollback quiet(settingCurrent_, true);
    treeView_->setCurrentItem(node);
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
    listingFault_.clear();
    if (busy_) {
        deferred_ = DeferredNode{static_cast<size_t>(info.tree - trees_.data()), info.fullName};
        return;
    }
    current_ = info;
    const size_t number = static_cast<size_t>(info.tree - trees_.data());
    // Relative names of the listing are taken from this container. A
    // context not pointed at the tree would list another tree's objects.
    if (treeFaults_[number].empty()) {
        const client::Result result =
            access_.DSSetContext(info.tree->objectContext, info.tree->treeName, info.fullName);
        if (result != 0) treeFaults_[number] = UnreachableText(info.tree->treeName, result);
    }
    if (!treeFaults_[number].empty()) {
        listedNode_ = nullptr;
        entryLines_->Clear();
        emit EntryLinesChanged();
        return;
    }
    platform::BusyCursorScope busyCursor(access_.Feedback());
    FillTreeNodes(*info.tree, info.fullName, node);
}

void TTreeFrame::FillTreeNodes(directory::TTreeInfo& tree, const std::string& container,
                               QTreeWidgetItem* node) {
    // Busy before the first pump: a click handled there must not start a
    // listing of its own while this one holds the node. An exception out of
    // the listing must not leave the tree refusing every later click.
    busy_ = true;
    const struct NotBusy {
        bool& busy;
        ~NotBusy() { busy = false; }
    } notBusy{busy_};
    // A cancel still being repeated was meant for the listing before this
    // one: its timer stops too, or its next tick would cancel this listing.
    cancel_.Clear();
    timerSearchCancel_->stop();
    const bool firstListing = node->childCount() == 0;
    // Collected in the order listed and sorted once at the end: kept sorted
    // while listed, every name would move the names after its place.
    platform::StringList containerNames(false);
    listedNode_ = nullptr;

    entryLines_->Clear();
    emit EntryLinesChanged();
    access_.Feedback().ProcessPendingEvents();

    // A cancel that arrived in the pump above would be lost once the listing
    // clears the flag, so it is honoured here.
    bool cancelled = cancel_.IsSet();
    client::Result listed = 0;
    if (!cancelled) {
        listed = access_.DSListContainer(tree.objectContext, container,
                                         firstListing ? &containerNames : nullptr, cancel_,
                                         *entryLines_);
        cancelled = cancel_.IsSet();
    }
    // A listing that failed (the server went away, the container with it)
    // must not pass for an empty container.
    const bool failed = listed != 0 && !cancelled;
    if (failed) {
        // A server's size or time limit cuts the listing; what came before it shows.
        const bool cut =
            listed == client::Err::SizeLimitExceeded || listed == client::Err::TimeLimitExceeded;
        listingFault_ =
            std::string(cut ? "The listing stopped early" : "The container could not be listed") +
            ": the directory returned error " + access_.DSErrorText(listed);
    }
    busy_ = false;
    containerNames.SetSorted(true);
    // Entries that show the same name (over LDAP "ou=X" beside "cn=X") make
    // one node, as a list kept sorted while it was filled made them.
    for (size_t k = containerNames.Count(); k-- > 1;) {
        if (platform::StringList::CompareText(containerNames[k].text, containerNames[k - 1].text) ==
            0)
            containerNames.Delete(k);
    }

    // A cancelled listing leaves the node unlisted, so that its next click
    // reads all its containers instead of keeping part of them for good. A
    // failed one keeps the containers it read; one that read none leaves the
    // node unlisted too, so that a click lists it again once it can be.
    if (firstListing && !cancelled && !(failed && containerNames.Empty())) {
        AddContainerNodes(tree, node, containerNames);
        if (showLeafNodes_) AddLeafNodes(tree, node, containerNames);
    }
    if (!cancelled) listedNode_ = node;
    emit EntryLinesChanged();
    SelectDeferredNode();
}

void TTreeFrame::AddContainerNodes(directory::TTreeInfo& tree, QTreeWidgetItem* node,
                                   const platform::StringList& containerNames) {
    node->setChildIndicatorPolicy(containerNames.Empty() ? QTreeWidgetItem::DontShowIndicator
                                                         : QTreeWidgetItem::ShowIndicator);
    // The entry lines name every subordinate's class ("class: name"), so a
    // container's image needs no read of its own. A container may hold tens
    // of thousands of containers: the classes are sorted by name once and
    // each container's is found by halving.
    using NameAndClass = std::pair<std::string_view, std::string_view>;
    std::vector<NameAndClass> classes;
    if (!containerNames.Empty()) {
        classes.reserve(containerNames.Count());
        for (const platform::StringList::Item& line : *entryLines_) {
            const auto prefix = static_cast<size_t>(line.number);
            if (prefix < 2 || prefix >= line.text.size()) continue;
            const std::string_view text(line.text);
            const std::string_view name = text.substr(prefix);
            if (containerNames.Contains(name))
                classes.emplace_back(name, text.substr(0, prefix - 2));
        }
    }
    const auto nameLess = [](const NameAndClass& a, const NameAndClass& b) {
        return platform::StringList::CompareText(a.first, b.first) < 0;
    };
    std::stable_sort(classes.begin(), classes.end(), nameLess);
    for (const platform::StringList::Item& name : containerNames) {
        const std::string fullName =
            directory::DSFullName(access_.DSResolveName(tree.objectContext, name.text));
        std::string className;
        const auto known =
            std::lower_bound(classes.begin(), classes.end(), NameAndClass(name.text, {}), nameLess);
        if (known != classes.end() &&
            platform::StringList::CompareText(known->first, name.text) == 0)
            className = std::string(known->second);
        QTreeWidgetItem* child =
            AddTreeNode(tree, node, NodeKind::Container, fullName, name.text, className);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

void TTreeFrame::AddLeafNodes(directory::TTreeInfo& tree, QTreeWidgetItem* node,
                              const platform::StringList& containerNames) {
    for (const platform::StringList::Item& line : *entryLines_) {
        const auto prefix = static_cast<size_t>(line.number);
        if (prefix < 2 || prefix >= line.text.size()) continue;
        const std::string name = line.text.substr(prefix);
        if (containerNames.Contains(name)) continue;
        const std::string fullName =
            directory::DSFullName(access_.DSResolveName(tree.objectContext, name));
        QTreeWidgetItem* leaf = AddTreeNode(tree, node, NodeKind::Object, fullName, name,
                                            line.text.substr(0, prefix - 2));
        leaf->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    }
}

QTreeWidgetItem* TTreeFrame::AddTreeNode(directory::TTreeInfo& tree, QTreeWidgetItem* parent,
                                         NodeKind kind, const std::string& fullName,
                                         const std::string& text, const std::string& className) {
    if (auto known = tree.nodes.IndexOf(fullName)) return NodeOf(tree.nodes.Number(*known));
    auto* node = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    node->setData(0, kFullNameRole, QString::fromStdString(fullName));
    InsertSorted(parent, node);
    SetNodeImage(tree, node, kind, kind == NodeKind::Tree ? std::string("Top") : className,
                 fullName);
    tree.nodes.Add(fullName, static_cast<int64_t>(Handle(node)));
    return node;
}

void TTreeFrame::InsertSorted(QTreeWidgetItem* parent, QTreeWidgetItem* node) {
    // Nodes are ordered by their text in the user's locale without regard
    // to case, like every sorted list of the program; equal texts keep the
    // order they came in.
    const std::string text = NodeText(node);
    const int count = parent ? parent->childCount() : treeView_->topLevelItemCount();
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = (low + high) / 2;
        const QTreeWidgetItem* other =
            parent ? parent->child(middle) : treeView_->topLevelItem(middle);
        if (collator_.Order(NodeText(other), text) <= 0) {
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

void TTreeFrame::SetNodeImage(directory::TTreeInfo& tree, QTreeWidgetItem* node, NodeKind kind,
                              std::string className, const std::string& fullName) {
    // A class that cannot be read gives the fallback image.
    if (className.empty()) access_.DSEntryClass(tree.rootContext, fullName, className);
    const int image = ClassImages::IndexOf(className, kind == NodeKind::Container);
    if (node->data(0, kImageRole).isValid() && node->data(0, kImageRole).toInt() == image) return;
    node->setData(0, kImageRole, image);
    node->setIcon(0, ClassImages::Icon(image));
}

void TTreeFrame::ForgetDescendants(directory::TTreeInfo& tree, QTreeWidgetItem* node) {
    // Deepest first, last child first, each leaving its tree's node list.
    for (int k = node->childCount() - 1; k >= 0; --k) {
        QTreeWidgetItem* child = node->child(k);
        ForgetDescendants(tree, child);
        if (auto index = tree.nodes.IndexOf(child->data(0, kFullNameRole).toString().toStdString()))
            tree.nodes.Delete(*index);
        delete node->takeChild(k);
    }
}

void TTreeFrame::NodeReloadSubordinates(QTreeWidgetItem* node) {
    const TNodeInfo info = GetNodeInfo(node);
    if (info.tree == nullptr || busy_) return;
    {
        const QScopedValueRollback quiet(quietExpansion_, true);
        treeView_->collapseItem(node);
        pressedNode_ = nullptr;
        listedNode_ = nullptr;
        ForgetDescendants(*info.tree, node);
        MakeCurrent(node);
        current_ = info;
        SelectNode(node);
        treeView_->expandItem(node);
    }
    node->setChildIndicatorPolicy(node->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                         : QTreeWidgetItem::DontShowIndicator);
    // The owner's list now shows this node's entries: it is chosen as by a click.
    emit TreeViewClick();
}

void TTreeFrame::RemoveNode(const directory::TTreeInfo* tree, const std::string& fullName) {
    // Only a tree shown here has nodes (a saved report's tree has none).
    directory::TTreeInfo* shown = nullptr;
    for (size_t k = 0; k < treeCount_; ++k) {
        if (tree == &trees_[k]) shown = &trees_[k];
    }
    if (shown == nullptr) return;
    const auto index = shown->nodes.IndexOf(fullName);
    if (!index) return;
    QTreeWidgetItem* node = NodeOf(shown->nodes.Number(*index));
    QTreeWidgetItem* parent = node->parent();
    if (parent == nullptr) return;  // a tree's top stays
    const auto within = [node](const QTreeWidgetItem* item) {
        for (; item != nullptr; item = item->parent()) {
            if (item == node) return true;
        }
        return false;
    };
    // Nothing may point at a node that is gone; the parent stands in for
    // the current one without being listed.
    if (within(listedNode_)) listedNode_ = nullptr;
    if (within(pressedNode_)) pressedNode_ = nullptr;
    if (within(treeView_->currentItem())) MakeCurrent(parent);
    if (within(current_.node)) current_ = GetNodeInfo(parent);
    ForgetDescendants(*shown, node);
    if (auto own = shown->nodes.IndexOf(fullName)) shown->nodes.Delete(*own);
    delete parent->takeChild(parent->indexOfChild(node));
    if (parent->childCount() == 0)
        parent->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool TTreeFrame::SelectPath(const std::string& treeName, const std::string& fullName) {
    if (busy_) return false;
    size_t number = treeCount_;
    for (size_t k = 0; k < treeCount_; ++k) {
        if (platform::StringList::CompareText(trees_[k].treeName, treeName) == 0) number = k;
    }
    if (number == treeCount_) return false;
    directory::TTreeInfo& tree = trees_[number];
    QTreeWidgetItem* node = NodeOf(static_cast<int64_t>(tree.rootNode));
    if (node == nullptr) return false;

    // ".Sales.Corp": the containers .Corp, then .Sales.Corp, each listed
    // (which adds its children) and expanded on the way down. A dot that a
    // backslash escapes belongs to its name (".A\.B.Corp" is A\.B in Corp).
    const std::string_view rest = std::string_view(fullName).substr(fullName.starts_with('.'));
    std::vector<std::string_view> parts;
    if (!fullName.empty() && fullName != kRootName) parts = client::SplitFullName(rest);
    quietExpansion_ = true;
    for (size_t depth = 0; depth <= parts.size(); ++depth) {
        if (depth > 0) {
            std::string name;
            for (size_t k = parts.size() - depth; k < parts.size(); ++k) {
                name += '.';
                name += parts[k];
            }
            const auto index = tree.nodes.IndexOf(name);
            if (!index) break;
            node = NodeOf(tree.nodes.Number(*index));
        }
        MakeCurrent(node);
        if (depth < parts.size()) {
            if (node->childCount() == 0) SelectNode(node);
            treeView_->expandItem(node);
        }
    }
    quietExpansion_ = false;
    MakeCurrent(node);
    SelectNode(node);
    current_ = GetNodeInfo(node);
    emit TreeViewClick();
    return true;
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
