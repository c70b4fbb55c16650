// The package tree over the real dialog template: filling from a document,
// the images per element, and clicks on the state icons at their real
// positions writing "state" into the document.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/dialog.h"
#include "markup/markup.h"
#include "support/message_queue.h"
#include "support/node_builder.h"
#include "treeview/my_tree_wnd.h"

namespace {

// "name" of the node, or "(none)"; what a test prints when it fails.
const char* StateOf(const TXmlTreeNode* node) {
  const char* s = node->FindAttribute("state");
  return s ? s : "(none)";
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

  TDialog* Dialog = nullptr;
  TMyTreeWnd* Tree = nullptr;
  TXmlTreeNode Doc{nullptr, false};
  TXmlTreeNode *RootVersion, *G1, *P1, *P1Version, *S1, *P4, *P2, *G2, *P3, *G3;
};

TEST_F(TreeTest, ImageListsComeFromTheBitmaps) {
  HIMAGELIST normal = reinterpret_cast<HIMAGELIST>(SendMessageA(TreeHwnd(), TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
  HIMAGELIST state = reinterpret_cast<HIMAGELIST>(SendMessageA(TreeHwnd(), TVM_GETIMAGELIST, TVSIL_STATE, 0));
  ASSERT_NE(nullptr, normal);
  ASSERT_NE(nullptr, state);
  EXPECT_EQ(6, ImageList_GetImageCount(normal));
  EXPECT_EQ(4, ImageList_GetImageCount(state));
  int cx = 0, cy = 0;
  ImageList_GetIconSize(state, &cx, &cy);
  EXPECT_EQ(16, cx);
  EXPECT_EQ(16, cy);
}

TEST_F(TreeTest, FillShowsEveryElementButVersionsWithItsImages) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  struct Row {
    const TXmlTreeNode* node;
    const char* text;
    int image, selected, state;
    bool expanded;
  } rows[] = {
      {G1, "北京定额", 0, 1, 3, true},       {P1, "北京2012建筑", 2, 3, 2, false},
      {S1, "子目录", 0, 1, 1, false},        {P4, "北京2012市政", 2, 3, 1, false},
      {P2, "北京2012安装", 2, 3, 1, false},  {G2, "上海定额", 0, 1, 1, false},
      {P3, "上海2016", 2, 3, 1, false},      {G3, "", 0, 1, 1, false},
  };
  EXPECT_EQ(8, Tree->GetCount());
  EXPECT_EQ(nullptr, ItemOf(RootVersion));
  EXPECT_EQ(nullptr, ItemOf(P1Version));
  for (const Row& row : rows) {
    HTREEITEM item = ItemOf(row.node);
    ASSERT_NE(nullptr, item) << row.text;
    char text[64] = {};
    TVITEMA tv = Item(item, text, sizeof text);
    EXPECT_STREQ(row.text, text);
    EXPECT_EQ(row.image, tv.iImage) << row.text;
    EXPECT_EQ(row.selected, tv.iSelectedImage) << row.text;
    EXPECT_EQ(row.state, static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12)) << row.text;
    EXPECT_EQ(row.expanded, (tv.state & TVIS_EXPANDED) != 0) << row.text;
  }
  // Document order, top level: G1, G2, G3.
  HTREEITEM first = Tree->GetNextItem(nullptr, TVGN_ROOT);
  EXPECT_EQ(ItemOf(G1), first);
  EXPECT_EQ(ItemOf(G2), Tree->GetNextItem(first, TVGN_NEXT));
  EXPECT_EQ(ItemOf(P1), Tree->GetNextItem(ItemOf(G1), TVGN_CHILD));
}

TEST_F(TreeTest, StateTextIsComparedExactly) {
  const struct {
    const char* text;  // null: no attribute
    int image;
  } cases[] = {{"2", 2}, {"3", 3}, {"1", 1}, {"0", 1}, {"", 1},   {"02", 1},
               {" 2", 1}, {"2 ", 1}, {"3x", 1}, {"-2", 1}, {nullptr, 1}};
  TXmlTreeNode doc(nullptr, false);
  std::vector<TXmlTreeNode*> nodes;
  for (const auto& c : cases) {
    nodes.push_back(AddNode(&doc, "Dek", {{"name", "x"}}));
    if (c.text) nodes.back()->SetAttribute("state", c.text);
  }
  Tree->FillTreeItem(&doc, TVI_ROOT);
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_EQ(cases[i].image, StateImage(nodes[i])) << "state \"" << (cases[i].text ? cases[i].text : "(none)") << "\"";
  }
  Tree->FillTreeItem(&Doc, TVI_ROOT);  // before `doc` goes
}

TEST_F(TreeTest, RefillReplacesTheItems) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  EXPECT_EQ(8, Tree->GetCount());

  TXmlTreeNode onlyVersions(nullptr, false);
  AddNode(&onlyVersions, "Version", {{"name", "1"}});
  Tree->FillTreeItem(&onlyVersions, TVI_ROOT);
  EXPECT_EQ(0, Tree->GetCount());
}

TEST_F(TreeTest, ClickOnAPackageChangesItsSubtreeAndGreysItsGroups) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  Tree->Expand(ItemOf(S1), TVE_EXPAND);
  ClickStateIcon(P4);
  EXPECT_EQ(2, StateImage(P4));
  EXPECT_STREQ("2", StateOf(P4));
  EXPECT_EQ(3, StateImage(S1));
  EXPECT_EQ(3, StateImage(G1));
  // Ancestors only change their picture; siblings and later groups nothing.
  EXPECT_STREQ("(none)", StateOf(S1));
  EXPECT_STREQ("3", StateOf(G1));
  EXPECT_STREQ("(none)", StateOf(P2));
  EXPECT_EQ(1, StateImage(P2));
  EXPECT_STREQ("1", StateOf(G2));
  EXPECT_STREQ("02", StateOf(P3));
  EXPECT_STREQ(" 2", StateOf(G3));

  ClickStateIcon(P1);  // chosen -> not chosen, with its hidden Version
  EXPECT_EQ(1, StateImage(P1));
  EXPECT_STREQ("1", StateOf(P1));
  EXPECT_STREQ("1", StateOf(P1Version));
  ClickStateIcon(P1);
  EXPECT_STREQ("2", StateOf(P1));
  EXPECT_STREQ("2", StateOf(P1Version));
}

TEST_F(TreeTest, ClickOnAGroupSetsEverythingBelowIt) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  ClickStateIcon(G1);  // grey tick -> not chosen
  for (const TXmlTreeNode* n : {G1, P1, S1, P4, P2}) EXPECT_EQ(1, StateImage(n));
  for (const TXmlTreeNode* n : {G1, P1, P1Version, S1, P4, P2}) EXPECT_STREQ("1", StateOf(n));
  EXPECT_STREQ("1", StateOf(G2));
  EXPECT_STREQ("(none)", StateOf(RootVersion));
  EXPECT_STREQ("2", StateOf(&Doc));

  ClickStateIcon(G2);  // the last member of its level: nothing after it changes
  EXPECT_EQ(2, StateImage(G2));
  EXPECT_EQ(2, StateImage(P3));
  EXPECT_STREQ("2", StateOf(G2));
  EXPECT_STREQ("2", StateOf(P3));
  EXPECT_STREQ(" 2", StateOf(G3));
  EXPECT_EQ(1, StateImage(G3));
}

TEST_F(TreeTest, ClicksElsewhereAreLeftToTheControl) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  HTREEITEM g2 = ItemOf(G2);
  RECT text;
  ASSERT_TRUE(Tree->GetItemRect(g2, text, true));
  Click(POINT{(text.left + text.right) / 2, (text.top + text.bottom) / 2});
  EXPECT_EQ(g2, Tree->GetNextItem(nullptr, TVGN_CARET));  // selected by the control
  EXPECT_EQ(1, StateImage(G2));
  EXPECT_STREQ("1", StateOf(G2));
  // A click on the state icon does not select.
  ClickStateIcon(G3);
  EXPECT_EQ(g2, Tree->GetNextItem(nullptr, TVGN_CARET));
  EXPECT_STREQ("2", StateOf(G3));
}

TEST_F(TreeTest, DoubleClickOnAStateIconTogglesOnce) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  HTREEITEM item = ItemOf(G2);
  POINT p = StateIconPoint(item);
  Click(p);
  Click(p, WM_LBUTTONDBLCLK);
  EXPECT_EQ(2, StateImage(G2));
  EXPECT_STREQ("2", StateOf(G2));
}

}  // namespace
