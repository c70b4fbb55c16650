// Edits a document tree by a script of arbitrary bytes, through the node
// operations and straight on the child lists (unlink, detach at a cursor,
// flush, insert by hand), and checks after every edit that the sibling
// steps and both document walks agree with the lists themselves. A node
// that trusted a link it no longer holds would give a different answer or
// read freed memory (AddressSanitizer).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "markup/markup.h"

namespace {

const size_t kMaxNodes = 64;

void PreOrder(TXmlTreeNode* node, std::vector<TXmlTreeNode*>& out) {
  out.push_back(node);
  for (DListNode* l = node->Children.First(); l != node->Children.End(); l = l->Next)
    PreOrder(TXmlTreeNode::NodeOf(l), out);
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckWalks(TXmlTreeNode* root, const std::vector<TXmlTreeNode*>& order) {
  for (TXmlTreeNode* node : order) {
    const TDblList& children = node->Children;
    for (DListNode* l = children.First(); l != children.End(); l = l->Next) {
      TXmlTreeNode* child = TXmlTreeNode::NodeOf(l);
      Check(child->Parent == node);
      Check(child->NextSibling() ==
            (l->Next == children.End() ? nullptr : TXmlTreeNode::NodeOf(l->Next)));
      Check(child->PreviousSibling() ==
            (l->Prev == children.Begin() ? nullptr : TXmlTreeNode::NodeOf(l->Prev)));
    }
  }
  size_t i = 0;
  for (TXmlTreeNode* n = root; n; n = n->NextInDocument(), ++i) Check(i < order.size() && order[i] == n);
  Check(i == order.size());
  i = order.size();
  for (TXmlTreeNode* n = order.back(); n; n = n->PreviousInDocument()) Check(i > 0 && order[--i] == n);
  Check(i == 0);
}

// Whether `node` is `top` or lies below it.
bool Within(const TXmlTreeNode* node, const TXmlTreeNode* top) {
  for (; node; node = node->Parent)
    if (node == top) return true;
  return false;
}

// A node taken out of its parent's list by hand still names the parent; it
// must look unlinked to the walks. It is then put back by hand somewhere.
void PutBackByHand(TXmlTreeNode* node, TXmlTreeNode* parent, uint8_t how) {
  Check(!node->NextSibling() && !node->PreviousSibling());
  node->Parent = parent;
  TDblList& list = parent->Children;
  if (how % 3 == 0) {
    list.AddTail(node);
  } else if (how % 3 == 1) {
    list.AddHead(node);
  } else {
    TDblCursor cursor;
    list.MoveCursor(cursor, 1 + how / 3 % (list.Count() + 1));
    list.InsertBefore(cursor, node);
  }
}

TXmlTreeNode* Fresh(uint8_t name) {
  TXmlTreeNode* node = new TXmlTreeNode(nullptr, false);
  node->Name.assign(1, static_cast<char>('a' + name % 26));
  return node;
}

void Edit(TXmlTreeNode* root, std::vector<TXmlTreeNode*>& nodes, const uint8_t* op) {
  TXmlTreeNode* x = nodes[op[1] % nodes.size()];
  TXmlTreeNode* y = nodes[op[2] % nodes.size()];
  const bool room = nodes.size() < kMaxNodes;
  switch (op[0] % 14) {
    case 0: if (room) x->AppendChild(Fresh(op[2])); break;
    case 1: if (room && x != root) x->InsertBefore(Fresh(op[2])); break;
    case 2: if (room && x != root) x->InsertAfter(Fresh(op[2])); break;
    case 3: x->InsertBefore(y); break;
    case 4: x->InsertAfter(y); break;
    case 5: x->MoveTo(y); break;
    case 6: x->AppendChild(y); break;
    case 7: if (x != root) delete x; break;
    case 8: x->RemoveLastChild(); break;
    case 9: if (x != root || op[2] % 4 == 0) x->DeleteChildren(); break;
    case 10:  // the source may lie inside the copy's own subtree
      if (nodes.size() + static_cast<size_t>(y->CountNodes()) <= 4 * kMaxNodes) x->CopyTree(*y);
      break;
    case 11:  // unlink by hand, put back under a node outside its subtree
      if (x != root && !Within(y, x) && x->Parent->Children.Unlink(x)) PutBackByHand(x, y, op[2]);
      break;
    case 12: {  // detach at a cursor by hand, put back into the same list
      if (x->Children.IsEmpty()) break;
      TDblCursor cursor;
      x->Children.MoveCursor(cursor, 1 + op[2] % x->Children.Count());
      TXmlTreeNode* child = TXmlTreeNode::NodeOf(cursor.Link);
      x->Children.DetachAt(cursor);
      PutBackByHand(child, x, op[2] / 7);
      break;
    }
    case 13: {  // flush by hand, then put the children back in reverse
      std::vector<TXmlTreeNode*> children;
      for (DListNode* l = x->Children.First(); l != x->Children.End(); l = l->Next)
        children.push_back(TXmlTreeNode::NodeOf(l));
      x->Children.Flush();
      for (TXmlTreeNode* child : children) PutBackByHand(child, x, 1);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TXmlTreeNode* root = Fresh(0);
  std::vector<TXmlTreeNode*> nodes;
  for (size_t at = 0; at + 3 <= size; at += 3) {
    nodes.clear();
    PreOrder(root, nodes);
    Edit(root, nodes, data + at);
    nodes.clear();
    PreOrder(root, nodes);
    CheckWalks(root, nodes);
  }
  if (size % 3 == 1) root->HtmlCleanup();
  nodes.clear();
  PreOrder(root, nodes);
  CheckWalks(root, nodes);
  delete root;
  return 0;
}
