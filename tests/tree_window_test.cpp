// The package tree over the real dialog template: filling from a document
// and the images per element.
#include <gtest/gtest.h>

#include "support/catalogues.h"
#include "tree_window_fixture.h"

namespace {

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
      {P3, "上海2016", 2, 3, 2, false},      {G3, "", 0, 1, 2, false},  // "02" and " 2" read as 2
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

// "state" is read as the runs read it: white space, a sign, digits up to
// the first non-digit. What shows ticked is what the run installs.
TEST_F(TreeTest, StateIsReadAsANumber) {
  const struct {
    const char* text;  // null: no attribute
    int image;
  } cases[] = {{"2", 2},  {"3", 3},    {"1", 1},  {"0", 1},   {"", 1},   {"02", 2},
               {" 2", 2}, {"\t 3", 3}, {"2 ", 2}, {"3x", 3},  {"+2", 2}, {"-2", 1},
               {"22", 1}, {"x2", 1},    {"4", 1},  {nullptr, 1}};
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

// What the fill must show for the children of element, worked out from the
// document alone: every element but "Version" ones and their subtrees, in
// document order; a group expanded when its "state" reads as 3 (it then
// has children to show in these documents).
void Expected(const TXmlTreeNode* element, int depth, std::vector<Shown>& out) {
  for (const DListNode* link = element->Children.First(); link != element->Children.End(); link = link->Next) {
    const TXmlTreeNode* child = TXmlTreeNode::NodeOf(link);
    if (child->Name == "Version") continue;
    const int state = ShownState(child->GetAttribute("state"));
    const bool package = child->FindAttribute("fileName") != nullptr;
    out.push_back(Shown{depth, child->GetAttribute("name"), package ? 2 : 0, package ? 3 : 1, state,
                        state == 3, child});
    Expected(child, depth + 1, out);
  }
}

}  // namespace

void TreeTest::ListItems(HTREEITEM first, int depth, std::vector<Shown>& out) const {
  for (HTREEITEM item = first; item; item = Tree->GetNextItem(item, TVGN_NEXT)) {
    char text[256] = {};
    TVITEMA tv = Item(item, text, sizeof text);
    out.push_back(Shown{depth, text, tv.iImage, tv.iSelectedImage, static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12),
                        (tv.state & TVIS_EXPANDED) != 0, reinterpret_cast<const TXmlTreeNode*>(tv.lParam)});
    ListItems(Tree->GetNextItem(item, TVGN_CHILD), depth + 1, out);
  }
}

namespace {

TEST_F(TreeTest, BigCatalogueIsShownItemForItem) {
  TXmlTreeNode doc(nullptr, false);
  AddBigCatalogue(doc, 30, 40, 300);
  Tree->FillTreeItem(&doc, TVI_ROOT);
  std::vector<Shown> expected;
  Expected(&doc, 0, expected);
  std::vector<Shown> shown;
  ListItems(Tree->GetNextItem(nullptr, TVGN_ROOT), 0, shown);
  ASSERT_EQ(expected.size(), shown.size());
  EXPECT_EQ(static_cast<int>(expected.size()), Tree->GetCount());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(expected[i], shown[i]) << "item " << i;
  EXPECT_EQ("地区0", shown.front().text);
  EXPECT_EQ("顶层299", shown.back().text);
  // The view is where the item-by-item fill leaves it (the control may
  // scroll when it expands a group), and the control draws and hit-tests
  // the items in view: drawing is on again after the fill.
  const TXmlTreeNode* firstVisible = NodeOf(Tree->GetNextItem(nullptr, TVGN_FIRSTVISIBLE));
  Tree->DeleteItem(TVI_ROOT);
  ReferenceFill(&doc, TVI_ROOT);
  EXPECT_EQ(NodeOf(Tree->GetNextItem(nullptr, TVGN_FIRSTVISIBLE)), firstVisible);
  Tree->FillTreeItem(&doc, TVI_ROOT);
  ASSERT_NE(nullptr, firstVisible);
  EXPECT_EQ(firstVisible, NodeOf(Tree->GetNextItem(nullptr, TVGN_FIRSTVISIBLE)));
  const std::string before = FindAttributeOr(firstVisible, "state", "");
  ClickStateIcon(firstVisible);
  EXPECT_STREQ(ShownState(before.c_str()) == 1 ? "2" : "1", StateOf(firstVisible));
  Tree->FillTreeItem(&Doc, TVI_ROOT);  // before `doc` goes
}

// Filling an item that is already there: its own fields are replaced, its
// old children go, and it is expanded when its new element is partly chosen.
TEST_F(TreeTest, FillingAnItemReplacesItAndItsChildren) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  HTREEITEM g2 = ItemOf(G2);
  ASSERT_NE(nullptr, g2);
  Tree->FillTreeItem(G1, g2);
  std::vector<Shown> shown;
  ListItems(Tree->GetNextItem(g2, TVGN_CHILD), 1, shown);
  std::vector<Shown> expected;
  Expected(G1, 1, expected);
  EXPECT_EQ(expected, shown);
  char text[64] = {};
  TVITEMA tv = Item(g2, text, sizeof text);
  EXPECT_STREQ("北京定额", text);
  EXPECT_EQ(reinterpret_cast<LPARAM>(G1), tv.lParam);
  EXPECT_EQ(3, static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12));
  EXPECT_TRUE(tv.state & TVIS_EXPANDED);
  EXPECT_EQ(nullptr, ItemOf(P3));  // G2's old child
  Tree->FillTreeItem(&Doc, TVI_ROOT);
}

}  // namespace
