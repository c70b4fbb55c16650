// Document tree model: the list container and the node operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

// Walks the list both ways and checks the sentinel links at each end, so a
// list whose links disagree with its count fails here.
std::vector<void*> CheckedItems(const TDblList& list) {
  std::vector<void*> forward, backward;
  const DListNode* head = list.Begin();
  const DListNode* tail = list.End();
  EXPECT_EQ(head->Prev, head);
  EXPECT_EQ(tail->Next, tail);
  EXPECT_EQ(head->Item, nullptr);
  EXPECT_EQ(tail->Item, nullptr);
  for (const DListNode* l = list.First(); l != tail; l = l->Next) {
    EXPECT_EQ(l->Next->Prev, l);
    forward.push_back(l->Item);
    if (forward.size() > list.Count()) break;
  }
  for (const DListNode* l = list.Last(); l != head; l = l->Prev) {
    backward.insert(backward.begin(), l->Item);
    if (backward.size() > list.Count()) break;
  }
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(forward.size(), list.Count());
  return forward;
}

int kA, kB, kC, kD;  // addresses used as items of non-owning lists

TEST(DblList, AddAndDetachKeepSentinelsRight) {
  TDblList list;
  list.OwnsItems = 0;
  EXPECT_TRUE(CheckedItems(list).empty());
  list.AddTail(&kB);
  list.AddHead(&kA);
  list.AddTail(&kC);
  list.AddTail(nullptr);  // never stored: null marks the sentinels
  EXPECT_EQ(CheckedItems(list), (std::vector<void*>{&kA, &kB, &kC}));

  // Detach the last item: the tail sentinel must point back to the new last.
  TDblCursor cursor;
  ASSERT_TRUE(list.MoveCursor(cursor, 3));
  list.DetachAt(cursor);
  EXPECT_EQ(cursor.Link, list.End());
  EXPECT_EQ(CheckedItems(list), (std::vector<void*>{&kA, &kB}));
  EXPECT_EQ(list.Last()->Item, &kB);
  list.DetachAt(cursor);  // on the tail sentinel: nothing
  EXPECT_EQ(list.Count(), 2u);

  // Detach the first: the cursor moves to the following link.
  cursor = list.FirstCursor();
  list.DetachAt(cursor);
  EXPECT_EQ(cursor.Link->Item, &kB);
  EXPECT_EQ(cursor.Index, 1);
  list.DetachAt(cursor);
  EXPECT_TRUE(CheckedItems(list).empty());
  EXPECT_EQ(list.First(), list.End());

  list.AddTail(&kD);  // still usable after emptying
  EXPECT_EQ(CheckedItems(list), (std::vector<void*>{&kD}));
}

TEST(DblList, InsertBeforeCursorIndexAndMove) {
  TDblList list;
  list.OwnsItems = 0;
  list.AddTail(&kA);
  list.AddTail(&kC);
  TDblCursor cursor;
  ASSERT_TRUE(list.MoveCursor(cursor, 2));
  list.InsertBefore(cursor, &kB);
  EXPECT_EQ(cursor.Link->Item, &kB);
  EXPECT_EQ(cursor.Index, 2);
  list.InsertBefore(cursor, nullptr);
  EXPECT_FALSE(list.MoveCursor(cursor, 4));
  EXPECT_EQ(cursor.Link, list.End());
  EXPECT_EQ(cursor.Index, 4);
  list.InsertBefore(cursor, &kD);  // before the tail: appends
  EXPECT_EQ(CheckedItems(list), (std::vector<void*>{&kA, &kB, &kC, &kD}));
  EXPECT_FALSE(list.MoveCursor(cursor, 0));
  EXPECT_FALSE(list.MoveCursor(cursor, -3));

  const struct { void* item; int index; } cases[] = {
      {&kA, 1}, {&kB, 2}, {&kC, 3}, {&kD, 4}, {&cursor, -1}, {nullptr, -1}};
  for (const auto& c : cases) EXPECT_EQ(list.IndexOf(c.item), c.index);
  for (int i = 1; i <= 4; ++i) {
    ASSERT_TRUE(list.MoveCursor(cursor, i));
    EXPECT_EQ(list.IndexOf(cursor.Link->Item), i);
  }
  list.Flush();
  EXPECT_TRUE(CheckedItems(list).empty());
}

TEST(DblList, OwningListFreesItemsOnDetachFlushAndDestruction) {
  // LeakSanitizer reports any item the list forgets to free.
  TDblList list;
  for (int i = 0; i < 5; ++i) list.AddTail(::operator new(16));
  TDblCursor cursor;
  list.MoveCursor(cursor, 5);
  list.DetachAt(cursor);
  list.MoveCursor(cursor, 2);
  list.DetachAt(cursor);
  EXPECT_EQ(CheckedItems(list).size(), 3u);
  list.Flush();
  EXPECT_EQ(list.Count(), 0u);
  auto* kept = new TDblList;
  kept->AddTail(::operator new(8));
  kept->AddTail(::operator new(8));
  delete kept;
}

TEST(XmlElement, AttributeLookupTellsMissingFromEmpty) {
  TXmlElement e;
  e.SetAttribute("name", "one");
  e.SetAttribute("empty", "");
  e.Attributes.AddTail(new TXmlProperty("name", "two"));  // duplicate name
  const struct { const char* name; const char* get; const char* find; } cases[] = {
      {"name", "one", "one"}, {"empty", "", ""}, {"missing", "", nullptr},
      {"Name", "", nullptr},  // names are case-sensitive
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(e.GetAttribute(c.name), c.get);
    if (c.find) EXPECT_STREQ(e.FindAttribute(c.name), c.find);
    else EXPECT_EQ(e.FindAttribute(c.name), nullptr);
  }
  e.SetAttribute("name", "three");  // the first of the two changes, in place
  e.SetAttribute("new", "4");       // a new name goes last
  std::vector<std::string> seen;
  for (DListNode* l = e.Attributes.First(); l != e.Attributes.End(); l = l->Next)
    seen.push_back(TXmlElement::PropertyOf(l)->Name + "=" + TXmlElement::PropertyOf(l)->Value);
  EXPECT_EQ(seen, (std::vector<std::string>{"name=three", "empty=", "name=two", "new=4"}));
}

TEST(XmlElement, ClearKeepsEncodingFlagsAndCopyDuplicates) {
  TXmlElement e(true, true);
  e.Name = "p";
  e.Text = "x";
  e.IsClosed = e.IsDeclaration = true;
  e.SetAttribute("a", "1");
  TXmlElement copy;
  copy.SetAttribute("old", "gone");
  copy.CopyElement(e);
  e.Clear();
  EXPECT_TRUE(e.IsUtf8);
  EXPECT_TRUE(e.IsHtml);
  EXPECT_FALSE(e.IsClosed || e.IsDeclaration);
  EXPECT_TRUE(e.Name.empty() && e.Text.empty() && e.Attributes.IsEmpty());
  // The copy owns its own properties: clearing the source left them intact.
  EXPECT_EQ(copy.Name, "p");
  EXPECT_EQ(copy.Text, "x");
  EXPECT_STREQ(copy.GetAttribute("a"), "1");
  EXPECT_EQ(copy.FindAttribute("old"), nullptr);
  EXPECT_TRUE(copy.IsUtf8 && copy.IsHtml && copy.IsClosed && copy.IsDeclaration);
}

struct Tree {
  explicit Tree(const char* shape) : root(BuildShape(shape)) {}
  ~Tree() { delete root; }
  TXmlTreeNode* root;
};

TEST(XmlTreeNode, FindChildBacktracksAndIsCaseSensitive) {
  Tree t("r(x(a)x(b)y(b)X(c))");
  TXmlTreeNode* first = t.root->FirstChild();
  const struct { const char* path; const char* parentOfHit; bool last; } cases[] = {
      {"x/b", "x", false}, {"x/a", "x", false}, {"X/c", "X", false},
      {"x/c", nullptr, false}, {"X", "r", false}, {"x/b", "x", true},
      {"x/a", "x", true}, {"z", nullptr, false}, {"", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TXmlTreeNode* hit = c.last ? t.root->FindLastChild(c.path) : t.root->FindChild(c.path);
    if (!c.parentOfHit) { EXPECT_EQ(hit, nullptr); continue; }
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->Parent->Name, c.parentOfHit);
  }
  // The second "x" holds "b": the first "x" is passed over.
  EXPECT_EQ(t.root->FindChild("x/b")->Parent, first->NextSibling());
  EXPECT_EQ(t.root->FindChild("x"), first);
  EXPECT_EQ(t.root->FindLastChild("x"), first->NextSibling());
  first->NextSibling()->SetAttribute("k", "v");
  EXPECT_EQ(t.root->FindChildByAttribute("k", "v"), first->NextSibling());
  EXPECT_EQ(t.root->FindChildByAttribute("k", "V"), nullptr);
  EXPECT_EQ(t.root->FindChildByAttribute("k", ""), first);  // missing reads as ""
}

TEST(XmlTreeNode, ClearKeepsFlagsAndParentDeletesChildren) {
  Tree t("r(a(b))");
  TXmlTreeNode* a = t.root->FirstChild();
  a->IsUtf8 = a->IsHtml = true;
  a->Text = "t";
  a->Clear();
  EXPECT_EQ(t.root->CountNodes(), 2);  // b went, a stayed linked
  EXPECT_EQ(t.root->FirstChild(), a);
  EXPECT_TRUE(a->IsUtf8 && a->IsHtml);
  EXPECT_EQ(a->Parent, t.root);
  EXPECT_TRUE(a->Text.empty() && a->Name.empty());
}

TEST(XmlTreeNode, CopyTreeIsDeepAndIndependent) {
  Tree src("s(a(b)c)");
  src.root->FirstChild()->SetAttribute("k", "v");
  src.root->FirstChild()->IsUtf8 = true;
  src.root->Text = "text";
  Tree dst("d(z)");
  dst.root->CopyTree(*src.root);
  EXPECT_EQ(ShapeOf(dst.root), "s(a(b)c)");
  EXPECT_EQ(dst.root->Parent, nullptr);
  EXPECT_EQ(dst.root->Text, "text");
  TXmlTreeNode* a = dst.root->FirstChild();
  EXPECT_NE(a, src.root->FirstChild());
  EXPECT_STREQ(a->GetAttribute("k"), "v");
  EXPECT_TRUE(a->IsUtf8);
  src.root->DeleteChildren();
  EXPECT_EQ(ShapeOf(dst.root), "s(a(b)c)");

  // Copying a node's own subtree over it must not read freed nodes.
  Tree self("r(a(b(c)))");
  self.root->CopyTree(*self.root->FirstChild());
  EXPECT_EQ(ShapeOf(self.root), "a(b(c))");
  TXmlTreeNode* b = self.root->FirstChild();
  b->CopyTree(*self.root);  // b stays linked in its parent
  EXPECT_EQ(b->Parent, self.root);
  EXPECT_EQ(ShapeOf(self.root), "a(a(b(c)))");
  self.root->SetUtf8Deep(true);
  for (TXmlTreeNode* n = self.root; n; n = n->NextInDocument()) EXPECT_TRUE(n->IsUtf8);
}

}  // namespace
