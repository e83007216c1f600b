#pragma once

#include "directory/TTreeInfo.h"

#include <string>

class QTreeWidgetItem;

namespace vellrun::ui {

// One node of the tree browser as its owner sees it: the node, its text, the
// full name of its container ("[Root]" for a tree's top) and its tree. A plain
// value; the node and the tree record belong to the TTreeFrame that made it
// and are valid until that frame shows trees again.
struct TNodeInfo {
    QTreeWidgetItem* node = nullptr;
    std::string text;
    std::string fullName;
    directory::TTreeInfo* tree = nullptr;
};

}  // namespace vellrun::ui
