// The package tree over the real dialog template: filling from a document,
// the images per element, and clicks on the state icons at their real
// positions writing "state" into the document.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "framework/dialog.h"
#include "markup/markup.h"
#include "support/message_queue.h"
#include "support/node_builder.h"
#include "treeview/my_tree_wnd.h"

namespace {

// The state image a "state" text shows: its number as strtol reads it
// (white space, a sign, digits), 2 ticked, 3 partly, anything else empty.
int ShownState(const char* text) {
  long value = strtol(text, nullptr, 10);
  return value == 2 || value == 3 ? static_cast<int>(value) : 1;
}

const char* FindAttributeOr(const TXmlTreeNode* node, const char* name, const char* otherwise) {
  const char* value = node->FindAttribute(name);
  return value ? value : otherwise;
}

// "name" of the node, or "(none)"; what a test prints when it fails.
const char* StateOf(const TXmlTreeNode* node) {
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

std::ostream& operator<<(std::ostream& out, const Shown& s) {
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

// Builds a big catalogue: groups of packages at the top, nested groups, a
// long flat run of top-level packages, and "Version" elements first, last,
// between siblings and below packages.
void AddBigCatalogue(TXmlTreeNode& doc, int groups, int perGroup, int flat) {
  AddNode(&doc, "Version", {{"name", "首个版本"}});
  for (int g = 0; g < groups; ++g) {
    const std::string name = "地区" + std::to_string(g);
    TXmlTreeNode* group = AddNode(&doc, "Group", {{"name", name.c_str()}});
    if (g % 4 == 0) group->SetAttribute("state", "3");
    if (g % 4 == 1) group->SetAttribute("state", "1");
    if (g % 8 == 2) AddNode(group, "Version", {{"name", "组版本"}});
    for (int i = 0; i < perGroup; ++i) {
      const std::string pname = name + "定额" + std::to_string(i);
      TXmlTreeNode* package = AddNode(group, "Dek", {{"name", pname.c_str()}, {"fileName", "p.exe"}});
      if (i % 3 == 0) package->SetAttribute("state", "2");
      if (i % 5 == 0) AddNode(package, "Version", {{"name", "1.0"}});
    }
    if (g % 4 == 0) {
      // A partly chosen group inside a collapsed and inside an expanded one.
      TXmlTreeNode* inner = AddNode(group, "Group", {{"name", "子目录"}, {"state", "3"}});
      AddNode(inner, "Dek", {{"name", "子定额"}, {"fileName", ""}, {"state", "2"}});
    }
  }
  for (int i = 0; i < flat; ++i) {
    const std::string name = "顶层" + std::to_string(i);
    AddNode(&doc, "Tool", {{"name", name.c_str()}, {"fileName", "t.exe"}, {"state", i % 2 ? "2" : "02"}});
  }
  AddNode(&doc, "Version", {{"name", "末个版本"}});
}

void TreeTest::ListItems(HTREEITEM first, int depth, std::vector<Shown>& out) const {
  for (HTREEITEM item = first; item; item = Tree->GetNextItem(item, TVGN_NEXT)) {
    char text[256] = {};
    TVITEMA tv = Item(item, text, sizeof text);
    out.push_back(Shown{depth, text, tv.iImage, tv.iSelectedImage, static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12),
                        (tv.state & TVIS_EXPANDED) != 0, reinterpret_cast<const TXmlTreeNode*>(tv.lParam)});
    ListItems(Tree->GetNextItem(item, TVGN_CHILD), depth + 1, out);
  }
}

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

TEST_F(TreeTest, ClickOnAPackageChangesItsSubtreeAndGreysItsGroups) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  Tree->Expand(ItemOf(S1), TVE_EXPAND);
  ClickStateIcon(P4);
  // Ancestors only change their picture; siblings and later groups nothing.
  ExpectShows({{P4, 2, "2"}, {S1, 3, "(none)"}, {G1, 3, "3"}, {P2, 1, "(none)"},
               {G2, kAnyImage, "1"}, {P3, kAnyImage, "02"}, {G3, kAnyImage, " 2"}});

  ClickStateIcon(P1);  // chosen -> not chosen, with its hidden Version
  ExpectShows({{P1, 1, "1"}, {P1Version, kAnyImage, "1"}});
  ClickStateIcon(P1);
  ExpectShows({{P1, kAnyImage, "2"}, {P1Version, kAnyImage, "2"}});
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
  ExpectShows({{G2, 2, "2"}, {P3, 2, "2"}, {G3, 2, " 2"}});
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
  // A click on the state icon does not select. G3's " 2" shows ticked, so
  // the click clears it and writes "1".
  ClickStateIcon(G3);
  EXPECT_EQ(g2, Tree->GetNextItem(nullptr, TVGN_CARET));
  EXPECT_STREQ("1", StateOf(G3));
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

// Space on the selected item is the keyboard's click on its box: the same
// "state" in the document, the same pictures on the item, below and above it.
TEST_F(TreeTest, SpaceOnTheSelectedItemActsAsAClickOnItsBox) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  Tree->Expand(ItemOf(S1), TVE_EXPAND);
  std::vector<Shown> clicked;
  ClickStateIcon(P4);
  ClickStateIcon(G2);
  ListItems(Tree->GetNextItem(nullptr, TVGN_ROOT), 0, clicked);
  const std::string clickedStates = std::string(StateOf(P4)) + StateOf(G2) + StateOf(P3) + StateOf(G1);

  // The same catalogue again, as the fill first showed it.
  P4->SetAttribute("state", "1");
  G2->SetAttribute("state", "1");
  P3->SetAttribute("state", "02");
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  Tree->Expand(ItemOf(S1), TVE_EXPAND);
  for (const TXmlTreeNode* node : {P4, G2}) {
    SendMessageA(TreeHwnd(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(ItemOf(node)));
    SetFocus(TreeHwnd());
    // What a key press brings: the key, then the character TranslateMessage makes of it.
    SendMessageA(TreeHwnd(), WM_KEYDOWN, VK_SPACE, 0x00390001);
    SendMessageA(TreeHwnd(), WM_CHAR, ' ', 0x00390001);
    SendMessageA(TreeHwnd(), WM_KEYUP, VK_SPACE, 0xC0390001);
  }
  std::vector<Shown> spaced;
  ListItems(Tree->GetNextItem(nullptr, TVGN_ROOT), 0, spaced);
  EXPECT_EQ(clicked, spaced);
  EXPECT_EQ(clickedStates, std::string(StateOf(P4)) + StateOf(G2) + StateOf(P3) + StateOf(G1));
  EXPECT_EQ(ItemOf(G2), Tree->GetNextItem(nullptr, TVGN_CARET));  // no search for a blank
}

// While a run reads the choices, neither a click on a box nor Space changes
// one; a click on a box still does not select the item.
TEST_F(TreeTest, LockedChoicesRefuseClicksAndSpace) {
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  HTREEITEM g1 = ItemOf(G1);
  SendMessageA(TreeHwnd(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(g1));
  Tree->SetChoicesLocked(true);
  ClickStateIcon(G2);
  SendMessageA(TreeHwnd(), WM_KEYDOWN, VK_SPACE, 0x00390001);
  ExpectShows({{G2, 1, "1"}, {P3, kAnyImage, "02"}, {G1, 3, "3"}, {P1, kAnyImage, "2"}});
  EXPECT_EQ(g1, Tree->GetNextItem(nullptr, TVGN_CARET));

  Tree->SetChoicesLocked(false);
  ClickStateIcon(G2);
  ExpectShows({{G2, 2, "2"}, {P3, kAnyImage, "2"}});
}

}  // namespace
