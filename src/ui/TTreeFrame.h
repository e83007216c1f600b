#pragma once

#include "directory/DirectoryAccess.h"
#include "directory/TTreeInfo.h"
#include "platform/CancelFlag.h"
#include "platform/StringList.h"
#include "platform/TextCollator.h"
#include "ui/TNodeInfo.h"

#include <QWidget>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace vellrun::ui {

// The directory tree browser: shows the connected trees as trees of
// containers, lists a container when the user clicks, expands or moves to
// it with the keys, and puts the container's entry lines ("base class: entry
// name") into the owner's list. Containers are read lazily, each on its first click or expansion;
// later clicks only refresh the entry lines.
//
// Owns one TTreeInfo (and its pair of contexts) per shown tree until it shows
// trees again or is destroyed; the DirectoryAccess must outlive it. Listings
// pump the event loop, so a click can arrive while one runs: the busy flag
// keeps it from starting a second listing inside the first; it cancels the
// running listing instead, and the clicked node is listed once the first has
// stopped.
class TTreeFrame : public QWidget {
    Q_OBJECT

public:
    static constexpr size_t kMaxTrees = 31;

    explicit TTreeFrame(directory::DirectoryAccess& access, QWidget* parent = nullptr);
    ~TTreeFrame() override;

    // Shows every tree of the connections. entryLines (not owned; null for the
    // frame's own list) receives the lines of each listed container.
    void Initialize(platform::StringList* entryLines);
    // Shows the given trees (at most kMaxTrees), sorted by name; a single tree
    // is expanded and listed at once. Refused while a listing runs, which is
    // cancelled instead: the nodes it fills must stay.
    void InitializeWithTreeList(const platform::StringList& treeNames,
                                platform::StringList* entryLines);

    // Asks a running listing to stop at its next entry; the cancel timer
    // keeps asking every 100 ms for up to 50 ticks while it still runs, and
    // stops when the next listing begins.
    void SearchCancel();
    static constexpr int kCancelInterval = 100;
    static constexpr int kCancelTicks = 50;
    bool CancelTimerActive() const;
    // Whether a running listing has been asked to stop.
    bool CancelRequested() const { return busy_ && cancel_.IsSet(); }

    // Forgets everything below node, lists it afresh and reports it as a click.
    void NodeReloadSubordinates(QTreeWidgetItem* node);

    // Takes the node of a deleted object, with every node below it, out of
    // the tree; a name the tree does not show changes nothing.
    void RemoveNode(const directory::TTreeInfo* tree, const std::string& fullName);

    // Lists and expands the containers down to fullName ("[Root]" for the
    // top) in the tree named treeName, makes the deepest one found current
    // and reports it as a click; an empty name is the top. False when the
    // tree is not shown or a listing runs.
    bool SelectPath(const std::string& treeName, const std::string& fullName);

    // Also show the non-container objects of a listed container as leaves.
    void SetShowLeafNodes(bool on) { showLeafNodes_ = on; }

    TNodeInfo GetNodeInfo(QTreeWidgetItem* node);
    QTreeWidgetItem* GetCurrentNode() const;
    TNodeInfo GetCurrentNodeInfo() { return GetNodeInfo(GetCurrentNode()); }
    // The node last clicked, expanded, moved to or double-clicked.
    const TNodeInfo& CurrentNode() const { return current_; }

    // Typeless names on both contexts of every tree; applies at once.
    void SetTypeLessNames(bool on);

    // Why the tree's contexts could not be pointed at it (empty when they
    // were): such a tree shows and lists nothing, and nothing may be
    // reported on it, since its contexts are still on another tree.
    const std::string& TreeFault(const directory::TTreeInfo* tree) const;
    // Why the last listing of the current node failed (empty when it did
    // not): the entry lines then hold only what was read before the failure.
    const std::string& ListingFault() const { return listingFault_; }

    bool Busy() const { return busy_; }
    size_t TreeCount() const { return treeCount_; }
    directory::TTreeInfo& Tree(size_t index) { return trees_.at(index); }
    QTreeWidget* TreeView() const { return treeView_; }

signals:
    // After a click, an expansion or a move with the keys has made a node
    // current (and listed it, unless a listing was running).
    void TreeViewClick();
    // After a double click has made the node current; nothing is listed.
    void TreeViewDblClick();
    // The entry lines were emptied or filled.
    void EntryLinesChanged();

private:
    enum class NodeKind { Tree, Container, Object };

    void TreeViewClicked(QTreeWidgetItem* node);
    void TreeViewExpanded(QTreeWidgetItem* node);
    void TreeViewDoubleClicked(QTreeWidgetItem* node);
    void TreeViewCurrentChanged(QTreeWidgetItem* node);
    void PressedNodeReleased();
    // Sets the view's current item without treating it as the person's choice.
    void MakeCurrent(QTreeWidgetItem* node);

    void SelectNode(QTreeWidgetItem* node);
    void FillTreeNodes(directory::TTreeInfo& tree, const std::string& container,
                       QTreeWidgetItem* node);
    void AddContainerNodes(directory::TTreeInfo& tree, QTreeWidgetItem* node,
                           const platform::StringList& containerNames);
    void AddLeafNodes(directory::TTreeInfo& tree, QTreeWidgetItem* node,
                      const platform::StringList& containerNames);
    QTreeWidgetItem* AddTreeNode(directory::TTreeInfo& tree, QTreeWidgetItem* parent, NodeKind kind,
                                 const std::string& fullName, const std::string& text,
                                 const std::string& className = {});
    void InsertSorted(QTreeWidgetItem* parent, QTreeWidgetItem* node);
    void SetNodeImage(directory::TTreeInfo& tree, QTreeWidgetItem* node, NodeKind kind,
                      std::string className, const std::string& fullName);
    void TimerSearchCancelTimer();
    void ForgetDescendants(directory::TTreeInfo& tree, QTreeWidgetItem* node);
    void SelectDeferredNode();
    void ReleaseTrees();
    std::string UnreachableText(const std::string& treeName, client::Result result);

    directory::DirectoryAccess& access_;
    QTreeWidget* treeView_;
    std::array<directory::TTreeInfo, kMaxTrees> trees_;
    std::array<std::string, kMaxTrees> treeFaults_;
    std::string listingFault_;
    size_t treeCount_ = 0;
    platform::StringList treeNames_;
    platform::StringList ownEntryLines_;
    platform::StringList* entryLines_ = &ownEntryLines_;
    TNodeInfo current_;
    bool typeLessNames_ = true;
    bool busy_ = false;
    bool showLeafNodes_ = false;
    bool quietExpansion_ = false;
    bool settingCurrent_ = false;
    // The node a mouse press made current, chosen by its click or release.
    QTreeWidgetItem* pressedNode_ = nullptr;
    // The node whose listing the entry lines hold, while they hold it.
    QTreeWidgetItem* listedNode_ = nullptr;
    platform::CancelFlag cancel_;
    // The order of the nodes under one parent: the sorted lists' order.
    platform::TextCollator collator_;
    QTimer* timerSearchCancel_;
    int cancelCountdown_ = 0;

    // A node clicked or expanded while a listing ran: its tree number and
    // full name, looked up again when the listing is over.
    struct DeferredNode {
        size_t tree;
        std::string fullName;
    };
    std::optional<DeferredNode> deferred_;
};

}  // namespace vellrun::ui
