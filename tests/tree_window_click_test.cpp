// The package tree over the real dialog template: clicks on the state icons
// at their real positions and the space bar, writing "state" into the
// document.
#include <gtest/gtest.h>

#include "tree_window_fixture.h"

namespace {

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
