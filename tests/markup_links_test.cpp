// Document tree: the walks after every kind of edit, through the node
// operations and straight on the child lists, and on long sibling lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

TXmlTreeNode* Fresh(const char* name, TXmlTreeNode* parent = nullptr) {
  TXmlTreeNode* node = new TXmlTreeNode(parent, false);
  node->Name = name;
  return node;
}

// Built the two-step way (Parent given, then Children.AddTail), so that the
// walks must find links they were not told of.
struct Tree {
  explicit Tree(const char* shape) : root(BuildShape(shape, true)) {}
  ~Tree() { delete root; }
  TXmlTreeNode* Find(const char* path) const {
    TXmlTreeNode* node = root->FindChild(path);
    EXPECT_NE(node, nullptr) << path;
    return node;
  }
  TXmlTreeNode* root;
};

void PreOrder(const TXmlTreeNode* node, std::vector<const TXmlTreeNode*>& out) {
  out.push_back(node);
  for (DListNode* l = node->Children.First(); l != node->Children.End(); l = l->Next)
    PreOrder(TXmlTreeNode::NodeOf(l), out);
}

// Every sibling step and both document walks must agree with the lists
// themselves: a node that trusted a stale link of its own would not.
void ExpectWalksMatchLists(const TXmlTreeNode* root) {
  std::vector<const TXmlTreeNode*> order;
  PreOrder(root, order);
  for (const TXmlTreeNode* node : order) {
    const TDblList& children = node->Children;
    for (DListNode* l = children.First(); l != children.End(); l = l->Next) {
      const TXmlTreeNode* child = TXmlTreeNode::NodeOf(l);
      SCOPED_TRACE(node->Name + " > " + child->Name);
      EXPECT_EQ(child->Parent, node);
      EXPECT_EQ(child->NextSibling(),
                l->Next == children.End() ? nullptr : TXmlTreeNode::NodeOf(l->Next));
      EXPECT_EQ(child->PreviousSibling(),
                l->Prev == children.Begin() ? nullptr : TXmlTreeNode::NodeOf(l->Prev));
    }
  }
  std::vector<const TXmlTreeNode*> forward, backward;
  for (const TXmlTreeNode* n = root; n && forward.size() <= order.size(); n = n->NextInDocument())
    forward.push_back(n);
  EXPECT_EQ(forward, order);
  for (const TXmlTreeNode* n = order.back(); n && backward.size() <= order.size();
       n = n->PreviousInDocument())
    backward.insert(backward.begin(), n);
  EXPECT_EQ(backward, order);
}

TEST(TreeLinks, NodeOperationsKeepTheWalksRight) {
  // Each step runs on a tree whose links were all just used by the walks
  // of the step before, so a link an operation forgot to update is still
  // remembered when the next walk runs.
  const struct {
    const char* what;
    void (*edit)(Tree& t);
    const char* shape;
  } steps[] = {
      {"append", [](Tree& t) { t.root->AppendChild(Fresh("x")); }, "r(a(bc)dex)"},
      {"insert before the first", [](Tree& t) { t.Find("a")->InsertBefore(Fresh("y")); },
       "r(ya(bc)dex)"},
      {"insert after a middle one", [](Tree& t) { t.Find("d")->InsertAfter(Fresh("z")); },
       "r(ya(bc)dzex)"},
      {"insert after the last", [](Tree& t) { t.Find("x")->InsertAfter(Fresh("w")); },
       "r(ya(bc)dzexw)"},
      {"move a sibling back", [](Tree& t) { t.Find("a")->InsertBefore(t.Find("e")); },
       "r(yea(bc)dzxw)"},
      {"move a sibling on", [](Tree& t) { t.Find("x")->InsertAfter(t.Find("y")); },
       "r(ea(bc)dzxyw)"},
      {"move under a cousin", [](Tree& t) { t.Find("z")->MoveTo(t.Find("a/b")); },
       "r(ea(b(z)c)dxyw)"},
      {"append from another parent", [](Tree& t) { t.root->AppendChild(t.Find("a/c")); },
       "r(ea(b(z))dxywc)"},
      {"remove the last child", [](Tree& t) { t.root->RemoveLastChild(); }, "r(ea(b(z))dxyw)"},
      {"delete a middle child", [](Tree& t) { delete t.Find("d"); }, "r(ea(b(z))xyw)"},
      {"delete the first child", [](Tree& t) { delete t.Find("e"); }, "r(a(b(z))xyw)"},
      {"copy a subtree over a child", [](Tree& t) { t.Find("x")->CopyTree(*t.Find("a")); },
       "r(a(b(z))a(b(z))yw)"},
      {"delete grandchildren", [](Tree& t) { t.root->FirstChild()->DeleteChildren(); },
       "r(aa(b(z))yw)"},
      {"copy the root over itself",
       [](Tree& t) { t.root->CopyTree(*t.root); }, "r(aa(b(z))yw)"},
      {"clean up empty HTML elements", [](Tree& t) {
         t.Find("y")->Text = "kept";
         t.root->HtmlCleanup();
       }, "r(a(b)y)"},
      {"refused: under itself, before its child, beside the root", [](Tree& t) {
         TXmlTreeNode* a = t.Find("a");
         a->MoveTo(t.Find("a/b"));
         a->MoveTo(a);
         t.Find("a/b")->InsertBefore(a);
         t.root->InsertBefore(t.Find("y"));
       }, "r(a(b)y)"},
  };
  Tree t("r(a(bc)de)");
  ExpectWalksMatchLists(t.root);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.edit(t);
    EXPECT_EQ(ShapeOf(t.root), step.shape);
    ExpectWalksMatchLists(t.root);
  }
}

TEST(TreeLinks, DirectListEditsAreNoticed) {
  Tree t("r(abcde)");
  ExpectWalksMatchLists(t.root);
  TDblList& children = t.root->Children;

  // Unlinked behind its back, b still names r as its parent. A new link
  // made right after may reuse the memory of b's old one.
  TXmlTreeNode* b = t.Find("b");
  ASSERT_TRUE(children.Unlink(b));
  children.AddTail(Fresh("g", t.root));  // the two-step way of adding a child
  EXPECT_EQ(b->NextSibling(), nullptr);
  EXPECT_EQ(b->PreviousSibling(), nullptr);
  EXPECT_EQ(b->NextInDocument(), nullptr);
  EXPECT_EQ(b->PreviousInDocument(), t.root);
  EXPECT_EQ(t.Find("a")->NextSibling(), t.Find("c"));
  delete b;  // not in the list: must not unlink anything else
  EXPECT_EQ(ShapeOf(t.root), "r(acdeg)");
  ExpectWalksMatchLists(t.root);

  // Detached at a cursor, then put back at the front by hand.
  TXmlTreeNode* d = t.Find("d");
  TDblCursor cursor;
  ASSERT_TRUE(children.MoveCursor(cursor, children.IndexOf(d)));
  children.DetachAt(cursor);
  EXPECT_EQ(d->NextSibling(), nullptr);
  EXPECT_EQ(t.Find("c")->NextSibling(), t.Find("e"));
  children.AddHead(d);
  EXPECT_EQ(d->NextSibling(), t.Find("a"));
  EXPECT_EQ(d->PreviousSibling(), nullptr);
  EXPECT_EQ(ShapeOf(t.root), "r(daceg)");
  ExpectWalksMatchLists(t.root);

  // Inserted by hand in the middle of known links.
  TXmlTreeNode* x = Fresh("x", t.root);
  ASSERT_TRUE(children.MoveCursor(cursor, 3));
  children.InsertBefore(cursor, x);
  EXPECT_EQ(x->PreviousSibling(), t.Find("a"));
  EXPECT_EQ(t.Find("a")->NextSibling(), x);
  EXPECT_EQ(ShapeOf(t.root), "r(daxceg)");
  ExpectWalksMatchLists(t.root);

  // Moved to another parent by hand.
  TXmlTreeNode* e = t.Find("e");
  ASSERT_TRUE(children.Unlink(e));
  e->Parent = t.Find("a");
  e->Parent->Children.AddTail(e);
  EXPECT_EQ(e->PreviousInDocument(), e->Parent);
  EXPECT_EQ(ShapeOf(t.root), "r(da(e)xcg)");
  ExpectWalksMatchLists(t.root);

  // Flushed: every child still names r, none is in its list any more.
  std::vector<TXmlTreeNode*> kids;
  for (DListNode* l = children.First(); l != children.End(); l = l->Next)
    kids.push_back(TXmlTreeNode::NodeOf(l));
  children.Flush();
  for (TXmlTreeNode* kid : kids) {
    SCOPED_TRACE(kid->Name);
    EXPECT_EQ(kid->NextSibling(), nullptr);
    EXPECT_EQ(kid->PreviousSibling(), nullptr);
  }
  EXPECT_EQ(t.root->NextInDocument(), nullptr);
  TXmlTreeNode* c = kids[3];
  ASSERT_EQ(c->Name, "c");
  children.AddTail(c);
  for (TXmlTreeNode* kid : kids)
    if (kid != c) delete kid;  // not in the list: nothing else goes with them
  EXPECT_EQ(ShapeOf(t.root), "r(c)");

  // Node operations go on working after all that.
  t.root->AppendChild(Fresh("h"));
  c->InsertAfter(Fresh("i"));
  t.root->FirstChild()->InsertBefore(Fresh("j"));
  EXPECT_EQ(ShapeOf(t.root), "r(jcih)");
  ExpectWalksMatchLists(t.root);
}

// Long sibling lists: every walk and every deletion must take time in
// proportion to the list, or these would not finish under the test time-out.
const int kSiblings = 200000;

int CountForward(const TXmlTreeNode* root) {
  int count = 0;
  for (const TXmlTreeNode* n = root; n; n = n->NextInDocument()) ++count;
  return count;
}

int CountBackward(const TXmlTreeNode* root) {
  const TXmlTreeNode* last = root;
  while (const TXmlTreeNode* child = last->LastChild()) last = child;
  int count = 0;
  for (const TXmlTreeNode* n = last; n; n = n->PreviousInDocument()) ++count;
  return count;
}

TEST(TreeLinks, LongSiblingListsParsedCopiedAndShrunk) {
  std::string flat = "<r>";
  for (int i = 0; i < kSiblings / 2; ++i) flat += "\r\n <even/><odd/>";
  TXmlTreeNode root(nullptr, false);
  root.ParseString((flat + "</r>").c_str());
  EXPECT_EQ(CountForward(&root), kSiblings + 1);
  EXPECT_EQ(CountBackward(&root), kSiblings + 1);
  {
    TXmlTreeNode copy(nullptr, false);
    copy.CopyTree(root);
    EXPECT_EQ(CountForward(&copy), kSiblings + 1);
    EXPECT_EQ(CountBackward(&copy), kSiblings + 1);
  }

  // Every other child deleted in the middle of a walk.
  for (TXmlTreeNode* n = root.FirstChild(); n;) {
    TXmlTreeNode* next = n->NextSibling();
    if (n->Name == "odd") delete n;
    n = next;
  }
  EXPECT_EQ(root.Children.Count(), static_cast<uint32_t>(kSiblings / 2));
  EXPECT_EQ(root.FindChild("odd"), nullptr);
  EXPECT_EQ(CountForward(&root), kSiblings / 2 + 1);

  // The clean-up drops the empty second half after a kept first half.
  int kept = 0;
  for (TXmlTreeNode* n = root.FirstChild(); n && kept < kSiblings / 4; n = n->NextSibling(), ++kept)
    n->Text = "t";
  root.HtmlCleanup();
  EXPECT_EQ(root.Children.Count(), static_cast<uint32_t>(kSiblings / 4));
  EXPECT_EQ(CountBackward(&root), kSiblings / 4 + 1);

  // Deleted from the end, each node unlinking itself.
  while (TXmlTreeNode* last = root.LastChild()) delete last;
  EXPECT_EQ(CountForward(&root), 1);
}

TEST(TreeLinks, LongSiblingListsBuiltByHand) {
  // The two-step way, with a walk step after each addition.
  TXmlTreeNode root(nullptr, false);
  TXmlTreeNode* previous = nullptr;
  for (int i = 0; i < kSiblings; ++i) {
    TXmlTreeNode* child = new TXmlTreeNode(&root, false);
    root.Children.AddTail(child);
    if (previous) {
      ASSERT_EQ(previous->NextSibling(), child);
    }
    previous = child;
  }
  EXPECT_EQ(CountForward(&root), kSiblings + 1);
  // Fresh nodes that name their parent before they are appended.
  for (int i = 0; i < kSiblings; ++i) root.AppendChild(new TXmlTreeNode(&root, false));
  EXPECT_EQ(root.Children.Count(), static_cast<uint32_t>(2 * kSiblings));
  // One unlink by hand in the middle costs one search, not one per node.
  TXmlTreeNode* middle = root.FirstChild();
  for (int i = 0; i < kSiblings; ++i) middle = middle->NextSibling();
  root.Children.Unlink(middle);
  delete middle;
  EXPECT_EQ(CountForward(&root), 2 * kSiblings);
  EXPECT_EQ(CountBackward(&root), 2 * kSiblings);
}

}  // namespace
