// What the package tree tests share: the tree over the real dialog template,
// a small catalogue in it, and the items as the control shows them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "markup/markup.h"
#include "support/message_queue.h"
#include "support/node_builder.h"
#include "treeview/my_tree_wnd.h"

// The state image a "state" text shows: its number as strtol reads it
// (white space, a sign, digits), 2 ticked, 3 partly, anything else empty.
inline int ShownState(const char* text) {
  long value = strtol(text, nullptr, 10);
  return value == 2 || value == 3 ? static_cast<int>(value) : 1;
}

inline const char* FindAttributeOr(const TXmlTreeNode* node, const char* name, const char* otherwise) {
  const char* value = node->FindAttribute(name);
  return value ? value : otherwise;
}

// "name" of the node, or "(none)"; what a test prints when it fails.
inline const char* StateOf(const TXmlTreeNode* node) {
  const char* s = node->FindAttribute("state");
  return s ? s : "(none)";
}

// One item as the tree shows it, or as the document says it must be shown.
struct Shown {
  int depth;
  std::string text;
  int image, selected, state;
  bool expanded;
  const TXmlTreeNode* node;
  bool operator==(const Shown& o) const {
    return depth == o.depth && text == o.text && image == o.image && selected == o.selected && state == o.state &&
           expanded == o.expanded && node == o.node;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << s.depth << "|" << s.text << "|" << s.image << "/" << s.selected << "|state " << s.state
             << (s.expanded ? "|expanded" : "");
}

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    Dialog = new TDialog(nullptr, 2000);
    Tree = new TMyTreeWnd(Dialog, 103);
    ASSERT_TRUE(Dialog->Create());
    ShowWindow(Dialog->GetHandle(), SW_SHOW);

    Doc.Name = "InstallFiles";
    Doc.SetAttribute("name", "root");
    Doc.SetAttribute("state", "2");
    RootVersion = AddNode(&Doc, "Version", {{"name", "v1"}});
    G1 = AddNode(&Doc, "Dek", {{"name", "北京定额"}, {"state", "3"}});
    P1 = AddNode(G1, "Dek", {{"name", "北京2012建筑"}, {"fileName", "bj12.exe"}, {"state", "2"}});
    P1Version = AddNode(P1, "Version", {{"name", "1.0"}, {"state", "2"}});
    S1 = AddNode(G1, "Dek", {{"name", "子目录"}});
    P4 = AddNode(S1, "Dek", {{"name", "北京2012市政"}, {"fileName", "bj12sz.exe"}, {"state", "1"}});
    P2 = AddNode(G1, "Dek", {{"name", "北京2012安装"}, {"fileName", ""}});
    G2 = AddNode(&Doc, "Dek", {{"name", "上海定额"}, {"state", "1"}});
    P3 = AddNode(G2, "Dek", {{"name", "上海2016"}, {"fileName", "sh16.exe"}, {"state", "02"}});
    G3 = AddNode(&Doc, "Dek", {{"state", " 2"}});
  }
  void TearDown() override { delete Dialog; }

  HWND TreeHwnd() const { return Tree->GetHandle(); }

  // The item showing node, searched through the whole tree.
  HTREEITEM ItemOf(const TXmlTreeNode* node, HTREEITEM from = nullptr) const {
    HTREEITEM item = from ? Tree->GetNextItem(from, TVGN_CHILD) : Tree->GetNextItem(nullptr, TVGN_ROOT);
    for (; item; item = Tree->GetNextItem(item, TVGN_NEXT)) {
      TVITEMA tv = {};
      tv.mask = TVIF_PARAM;
      tv.hItem = item;
      Tree->GetItem(tv);
      if (reinterpret_cast<const TXmlTreeNode*>(tv.lParam) == node) return item;
      if (HTREEITEM found = ItemOf(node, item)) return found;
    }
    return nullptr;
  }

  TVITEMA Item(HTREEITEM item, char* text, int size) const {
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
    tv.stateMask = 0xFFFF;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = size;
    Tree->GetItem(tv);
    return tv;
  }

  // Where the state icon of item is drawn, in tree client coordinates: the
  // 16-pixel state image stands left of the 16-pixel normal image, which
  // stands left of the text.
  POINT StateIconPoint(HTREEITEM item) const {
    RECT r;
    EXPECT_TRUE(Tree->GetItemRect(item, r, true));
    return POINT{r.left - 16 - 8, (r.top + r.bottom) / 2};
  }

  void Click(POINT p, UINT down = WM_LBUTTONDOWN) {
    // The control's own handling of a press waits for the release.
    PostMessageA(TreeHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    SendMessageA(TreeHwnd(), down, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PumpFor(0);
  }

  void ClickStateIcon(const TXmlTreeNode* node) {
    HTREEITEM item = ItemOf(node);
    ASSERT_NE(nullptr, item);
    POINT p = StateIconPoint(item);
    TVHITTESTINFO hit = {};
    hit.pt = p;
    ASSERT_EQ(item, Tree->HitTest(hit));
    ASSERT_TRUE(hit.flags & TVHT_ONITEMSTATEICON) << std::hex << hit.flags;
    Click(p);
  }

  int StateImage(const TXmlTreeNode* node) const { return Tree->GetStateImage(ItemOf(node)); }

  // What a node shows after clicks: the state image of its item (kAnyImage:
  // not looked at) and its "state" attribute (StateOf).
  static constexpr int kAnyImage = -1;
  struct Shows {
    const TXmlTreeNode* node;
    int image;
    const char* state;
  };
  void ExpectShows(std::initializer_list<Shows> table) const {
    for (const Shows& s : table) {
      const char* name = FindAttributeOr(s.node, "name", s.node->Name.c_str());
      if (s.image != kAnyImage) {
        EXPECT_EQ(s.image, StateImage(s.node)) << name;
      }
      EXPECT_STREQ(s.state, StateOf(s.node)) << name;
    }
  }

  const TXmlTreeNode* NodeOf(HTREEITEM item) const {
    TVITEMA tv = {};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    return item && Tree->GetItem(tv) ? reinterpret_cast<const TXmlTreeNode*>(tv.lParam) : nullptr;
  }

  // The fill done one message at a time, as the tree was first written:
  // insert, set the fields, set the state image, expand a partly chosen
  // item once its children are in. The oracle for where the view ends up.
  void ReferenceFill(TXmlTreeNode* element, HTREEITEM item) {
    for (DListNode* link = element->Children.First(); link != element->Children.End(); link = link->Next) {
      TXmlTreeNode* child = TXmlTreeNode::NodeOf(link);
      if (child->Name == "Version") continue;
      TVINSERTSTRUCTA insert = {};
      insert.hParent = item;
      insert.hInsertAfter = TVI_LAST;
      insert.item.mask = TVIF_TEXT;
      insert.item.pszText = const_cast<char*>("");
      HTREEITEM childItem = Tree->InsertItem(insert);
      TVITEMA tv = {};
      tv.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
      tv.hItem = childItem;
      tv.pszText = const_cast<char*>(child->GetAttribute("name"));
      tv.lParam = reinterpret_cast<LPARAM>(child);
      tv.iImage = child->FindAttribute("fileName") ? 2 : 0;
      tv.iSelectedImage = tv.iImage + 1;
      Tree->SetItem(tv);
      const int state = ShownState(child->GetAttribute("state"));
      Tree->SetStateImage(state, childItem, false);
      ReferenceFill(child, childItem);
      if (state == 3) Tree->Expand(childItem, TVE_EXPAND);
    }
  }

  // Every item from `first` on, with its subtrees, in the order of the tree.
  void ListItems(HTREEITEM first, int depth, std::vector<Shown>& out) const;

  TDialog* Dialog = nullptr;
  TMyTreeWnd* Tree = nullptr;
  TXmlTreeNode Doc{nullptr, false};
  TXmlTreeNode *RootVersion, *G1, *P1, *P1Version, *S1, *P4, *P2, *G2, *P3, *G3;
};
