// The package tree over the real dialog template: the fill from a document,
// the images per element, and clicks on the state icons at their real
// positions and the space bar, which write "state" into the document.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "framework/dialog.h"
#include "markup/markup.h"
#include "support/catalogues.h"
#include "support/message_queue.h"
#include "support/node_builder.h"
#include "treeview/my_tree_wnd.h"

namespace {

// One item as the tree shows it.
struct Shown {
  int depth;
  std::string text;
  int image, selected, state;
  bool expanded;
  auto Key() const { return std::tie(depth, text, image, selected, state, expanded); }
  bool operator==(const Shown& o) const { return Key() == o.Key(); }
};

std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << s.depth << "|" << s.text << "|" << s.image << "/" << s.selected << "|state " << s.state
             << (s.expanded ? "|expanded" : "");
}

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
    Tree->FillTreeItem(&Doc, TVI_ROOT);
  }
  void TearDown() override { delete Dialog; }

  HWND TreeHwnd() const { return Tree->GetHandle(); }

  HTREEITEM ItemOf(const TXmlTreeNode* node, HTREEITEM from = nullptr) const {
    HTREEITEM item = from ? Tree->GetNextItem(from, TVGN_CHILD) : Tree->GetNextItem(nullptr, TVGN_ROOT);
    for (; item; item = Tree->GetNextItem(item, TVGN_NEXT)) {
      if (reinterpret_cast<const TXmlTreeNode*>(Item(item).lParam) == node) return item;
      if (HTREEITEM found = ItemOf(node, item)) return found;
    }
    return nullptr;
  }

  TVITEMA Item(HTREEITEM item, char* text = nullptr, int size = 0) const {
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
    tv.stateMask = 0xFFFF;
    tv.hItem = item;
    char ignored[8];
    tv.pszText = text ? text : ignored;
    tv.cchTextMax = text ? size : sizeof ignored;
    Tree->GetItem(tv);
    return tv;
  }

  // Every item from `first` on, with its subtrees, in the order of the tree.
  // Each item must carry the element whose name it shows, a child of the
  // element its parent item carries.
  std::vector<Shown> List(HTREEITEM first = nullptr, int depth = 0,
                          const TXmlTreeNode* parent = nullptr) const {
    std::vector<Shown> out;
    if (!first) first = Tree->GetNextItem(nullptr, TVGN_ROOT);
    for (HTREEITEM item = first; item; item = Tree->GetNextItem(item, TVGN_NEXT)) {
      char text[256] = {};
      TVITEMA tv = Item(item, text, sizeof text);
      const auto* node = reinterpret_cast<const TXmlTreeNode*>(tv.lParam);
      EXPECT_TRUE(node && strcmp(node->GetAttribute("name"), text) == 0) << text;
      if (parent) {
        EXPECT_TRUE(node && node->Parent == parent) << text;
      }
      out.push_back(Shown{depth, text, tv.iImage, tv.iSelectedImage,
                          static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12),
                          (tv.state & TVIS_EXPANDED) != 0});
      HTREEITEM child = Tree->GetNextItem(item, TVGN_CHILD);
      if (!child) continue;
      std::vector<Shown> below = List(child, depth + 1, node);
      out.insert(out.end(), below.begin(), below.end());
    }
    return out;
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
    PumpWaiting();
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
      SCOPED_TRACE(*s.node->GetAttribute("name") ? s.node->GetAttribute("name") : s.node->Name.c_str());
      if (s.image != kAnyImage) {
        EXPECT_EQ(s.image, StateImage(s.node));
      }
      EXPECT_STREQ(s.state, StateOf(s.node));
    }
  }

  TDialog* Dialog = nullptr;
  TMyTreeWnd* Tree = nullptr;
  TXmlTreeNode Doc{nullptr, false};
  TXmlTreeNode *RootVersion, *G1, *P1, *P1Version, *S1, *P4, *P2, *G2, *P3, *G3;
};

// Every element but "Version" ones, in document order; a folder picture (0/1)
// for groups, a package picture (2/3) for elements with "fileName" even when
// empty; partly chosen groups expanded.
TEST_F(TreeTest, FillShowsEveryElementButVersionsWithItsImages) {
  auto list = [&](WPARAM which) {
    return reinterpret_cast<HIMAGELIST>(SendMessageA(TreeHwnd(), TVM_GETIMAGELIST, which, 0));
  };
  HIMAGELIST state = list(TVSIL_STATE);
  EXPECT_EQ(6, ImageList_GetImageCount(list(TVSIL_NORMAL)));
  EXPECT_EQ(4, ImageList_GetImageCount(state));
  int cx = 0, cy = 0;
  ImageList_GetIconSize(state, &cx, &cy);
  EXPECT_EQ(16, cx);
  EXPECT_EQ(16, cy);

  const std::vector<Shown> expected = {
      {0, "北京定额", 0, 1, 3, true},         {1, "北京2012建筑", 2, 3, 2, false},
      {1, "子目录", 0, 1, 1, false},          {2, "北京2012市政", 2, 3, 1, false},
      {1, "北京2012安装", 2, 3, 1, false},    {0, "上海定额", 0, 1, 1, false},
      {1, "上海2016", 2, 3, 2, false},        {0, "", 0, 1, 2, false},  // "02" and " 2" read as 2
  };
  TreeView_DeleteAllItems(TreeHwnd());  // as the dialog first fills it
  Tree->FillTreeItem(&Doc, TVI_ROOT);
  EXPECT_EQ(expected, List());
  Tree->FillTreeItem(&Doc, TVI_ROOT);  // a refill replaces the items
  EXPECT_EQ(expected, List());
  EXPECT_EQ(8, Tree->GetCount());

  TXmlTreeNode onlyVersions(nullptr, false);
  AddNode(&onlyVersions, "Version", {{"name", "1"}});
  Tree->FillTreeItem(&onlyVersions, TVI_ROOT);
  EXPECT_EQ(0, Tree->GetCount());
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
    EXPECT_EQ(cases[i].image, StateImage(nodes[i]))
        << "state \"" << (cases[i].text ? cases[i].text : "(none)") << "\"";
  }
  Tree->FillTreeItem(&Doc, TVI_ROOT);  // before `doc` goes
}

// A big catalogue: every item where it belongs, and the control draws and
// hit-tests the items in view after the fill.
TEST_F(TreeTest, BigCatalogueIsShownItemForItem) {
  TXmlTreeNode doc(nullptr, false);
  AddBigCatalogue(doc, 30, 40, 300);
  Tree->FillTreeItem(&doc, TVI_ROOT);
  const std::vector<Shown> shown = List();
  ASSERT_EQ(1546u, shown.size());  // 30 groups, 1200 packages, 8 inner pairs, 300 at the top
  EXPECT_EQ(1546, Tree->GetCount());
  const struct {
    size_t index;
    Shown item;
  } spots[] = {
      {0, {0, "地区0", 0, 1, 3, true}},         {1, {1, "地区0定额0", 2, 3, 2, false}},
      {2, {1, "地区0定额1", 2, 3, 1, false}},   {41, {1, "子目录", 0, 1, 3, true}},
      {42, {2, "子定额", 2, 3, 2, false}},      {43, {0, "地区1", 0, 1, 1, false}},
      {84, {0, "地区2", 0, 1, 1, false}},       {85, {1, "地区2定额0", 2, 3, 2, false}},
      {1245, {1, "地区29定额39", 2, 3, 2, false}}, {1246, {0, "顶层0", 2, 3, 2, false}},
      {1545, {0, "顶层299", 2, 3, 2, false}},
  };
  for (const auto& spot : spots) EXPECT_EQ(spot.item, shown[spot.index]) << "item " << spot.index;
  // Every item, counted: 1508 packages and 38 groups; a third of the grouped
  // packages, the 8 inner ones and all 300 at the top ticked; 16 groups partly.
  int packages = 0, ticked = 0, partly = 0;
  for (const Shown& item : shown) {
    packages += item.image == 2 && item.selected == 3;
    ticked += item.state == 2;
    partly += item.state == 3;
  }
  EXPECT_EQ(1508, packages);
  EXPECT_EQ(30 * 14 + 8 + 300, ticked);
  EXPECT_EQ(16, partly);

  // Expanding a group scrolls its children into view, so the view ends at
  // the last group expanded; the control draws again, and takes a click.
  HTREEITEM top = Tree->GetNextItem(nullptr, TVGN_FIRSTVISIBLE);
  char text[64] = {};
  Item(top, text, sizeof text);
  EXPECT_STREQ("地区28", text);
  const TXmlTreeNode* first = reinterpret_cast<const TXmlTreeNode*>(Item(top).lParam);
  ClickStateIcon(first);
  EXPECT_STREQ("1", StateOf(first));
  Tree->FillTreeItem(&Doc, TVI_ROOT);  // before `doc` goes
}

// Filling an item that is already there: its own fields are replaced, its
// old children go, and it is expanded when its new element is partly chosen.
TEST_F(TreeTest, FillingAnItemReplacesItAndItsChildren) {
  HTREEITEM g2 = ItemOf(G2);
  ASSERT_NE(nullptr, g2);
  Tree->FillTreeItem(G1, g2);
  const std::vector<Shown> expected = {  // from G2's item on: G1 in its place, then G3
      {0, "北京定额", 0, 1, 3, true},      {1, "北京2012建筑", 2, 3, 2, false},
      {1, "子目录", 0, 1, 1, false},       {2, "北京2012市政", 2, 3, 1, false},
      {1, "北京2012安装", 2, 3, 1, false}, {0, "", 0, 1, 2, false}};
  EXPECT_EQ(expected, List(g2));
  EXPECT_EQ(reinterpret_cast<LPARAM>(G1), Item(g2).lParam);
  EXPECT_EQ(nullptr, ItemOf(P3));  // G2's old child
  Tree->FillTreeItem(&Doc, TVI_ROOT);
}

TEST_F(TreeTest, ClickOnAPackageChangesItsSubtreeAndGreysItsGroups) {
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
  ClickStateIcon(G1);  // grey tick -> not chosen
  ExpectShows({{G1, 1, "1"}, {P1, 1, "1"}, {P1Version, kAnyImage, "1"}, {S1, 1, "1"}, {P4, 1, "1"},
               {P2, 1, "1"}, {G2, kAnyImage, "1"}, {RootVersion, kAnyImage, "(none)"},
               {&Doc, kAnyImage, "2"}});

  ClickStateIcon(G2);  // the last member of its level: nothing after it changes
  ExpectShows({{G2, 2, "2"}, {P3, 2, "2"}, {G3, 2, " 2"}});
}

TEST_F(TreeTest, ClicksElsewhereAreLeftToTheControl) {
  HTREEITEM g2 = ItemOf(G2);
  RECT text;
  ASSERT_TRUE(Tree->GetItemRect(g2, text, true));
  Click(POINT{(text.left + text.right) / 2, (text.top + text.bottom) / 2});
  EXPECT_EQ(g2, Tree->GetNextItem(nullptr, TVGN_CARET));  // selected by the control
  ExpectShows({{G2, 1, "1"}});
  // A click on the state icon does not select. G3's " 2" shows ticked, so
  // the click clears it and writes "1".
  ClickStateIcon(G3);
  EXPECT_EQ(g2, Tree->GetNextItem(nullptr, TVGN_CARET));
  EXPECT_STREQ("1", StateOf(G3));

  Click(StateIconPoint(g2));  // a double click toggles once
  Click(StateIconPoint(g2), WM_LBUTTONDBLCLK);
  ExpectShows({{G2, 2, "2"}});
}

// Space on the selected item is the keyboard's click on its box: the same
// "state" in the document, the same pictures on the item, below and above it.
TEST_F(TreeTest, SpaceOnTheSelectedItemActsAsAClickOnItsBox) {
  Tree->Expand(ItemOf(S1), TVE_EXPAND);
  ClickStateIcon(P4);
  ClickStateIcon(G2);
  const std::vector<Shown> clicked = List();
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
  EXPECT_EQ(clicked, List());
  EXPECT_EQ(clickedStates, std::string(StateOf(P4)) + StateOf(G2) + StateOf(P3) + StateOf(G1));
  EXPECT_EQ(ItemOf(G2), Tree->GetNextItem(nullptr, TVGN_CARET));  // no search for a blank
}

// While a run reads the choices, neither a click on a box nor Space changes
// one; a click on a box still does not select the item.
TEST_F(TreeTest, LockedChoicesRefuseClicksAndSpace) {
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
