// TXmlTreeNode: the document tree, its walks and its editing operations.
#include "markup/xml_tree_node.h"

#include <windows.h>

#include <cstring>

TXmlTreeNode::TXmlTreeNode(TXmlTreeNode* parent, bool isUtf8)
    : TXmlElement(isUtf8, false), Parent(parent) {
  Children.OwnsItems = 0;
}

TXmlTreeNode::~TXmlTreeNode() {
  // Deleting any node, not only through its parent, must leave the parent's
  // list without a dangling pointer.
  if (Parent && !Parent->Children.IsEmpty()) Parent->Children.Unlink(this);
  Parent = nullptr;
  DeleteChildren();
}

void TXmlTreeNode::Clear() {
  TXmlElement::Clear();
  DeleteChildren();
}

void TXmlTreeNode::DeleteChildren() {
  for (DListNode* link = Children.First(); link != Children.End(); link = link->Next) {
    TXmlTreeNode* child = NodeOf(link);
    // Cleared first so that the child does not search (and change) the list
    // that is being walked here.
    child->Parent = nullptr;
    delete child;
  }
  Children.Flush();
}

void TXmlTreeNode::DetachFromParent() {
  if (Parent) Parent->Children.Unlink(this);
  Parent = nullptr;
}

void TXmlTreeNode::AppendChild(TXmlTreeNode* child) {
  if (!child || child == this || child->IsAncestorOf(this)) return;
  child->DetachFromParent();
  child->Parent = this;
  Children.AddTail(child);
}

bool TXmlTreeNode::IsAncestorOf(const TXmlTreeNode* node) const {
  for (; node; node = node->Parent)
    if (node == this) return true;
  return false;
}

namespace {

// Length of the first step of a path ("a/b" -> 1).
size_t StepLength(const char* path) {
  const char* slash = std::strchr(path, '/');
  return slash ? static_cast<size_t>(slash - path) : std::strlen(path);
}

bool StepMatches(const string& name, const char* path, size_t length) {
  return name.size() == length && std::memcmp(name.data(), path, length) == 0;
}

// The first node below `node` matching the path, backtracking to later
// siblings when the rest of the path fails; each level is scanned from the
// first child on, or with fromLast from the last child back.
TXmlTreeNode* FindPath(const TXmlTreeNode& node, const char* path, bool fromLast) {
  if (!path) return nullptr;
  size_t length = StepLength(path);
  const char* rest = path[length] == '/' ? path + length + 1 : nullptr;
  const TDblList& children = node.Children;
  const DListNode* end = fromLast ? children.Begin() : children.End();
  for (DListNode* link = fromLast ? children.Last() : children.First(); link != end;
       link = fromLast ? link->Prev : link->Next) {
    TXmlTreeNode* child = TXmlTreeNode::NodeOf(link);
    if (!StepMatches(child->Name, path, length)) continue;
    if (!rest) return child;
    if (TXmlTreeNode* found = FindPath(*child, rest, fromLast)) return found;
  }
  return nullptr;
}

}  // namespace

TXmlTreeNode* TXmlTreeNode::FindChild(const char* path) const {
  return FindPath(*this, path, false);
}

TXmlTreeNode* TXmlTreeNode::FindLastChild(const char* path) const {
  return FindPath(*this, path, true);
}

TXmlTreeNode* TXmlTreeNode::FindChildByAttribute(const char* name, const char* value) const {
  if (!value) return nullptr;
  for (DListNode* link = Children.First(); link != Children.End(); link = link->Next) {
    TXmlTreeNode* child = NodeOf(link);
    if (lstrcmpA(child->GetAttribute(name), value) == 0) return child;
  }
  return nullptr;
}

TXmlTreeNode* TXmlTreeNode::FirstChild() const {
  return Children.IsEmpty() ? nullptr : NodeOf(Children.First());
}

TXmlTreeNode* TXmlTreeNode::LastChild() const {
  return Children.IsEmpty() ? nullptr : NodeOf(Children.Last());
}

namespace {

// The link holding `node` in `list`, or null.
DListNode* LinkOf(const TDblList& list, const TXmlTreeNode* node) {
  for (DListNode* link = list.First(); link != list.End(); link = link->Next)
    if (link->Item == node) return link;
  return nullptr;
}

}  // namespace

TXmlTreeNode* TXmlTreeNode::NextSibling() const {
  if (!Parent) return nullptr;
  DListNode* link = LinkOf(Parent->Children, this);
  if (!link || link->Next == Parent->Children.End()) return nullptr;
  return NodeOf(link->Next);
}

TXmlTreeNode* TXmlTreeNode::PreviousSibling() const {
  if (!Parent) return nullptr;
  DListNode* link = LinkOf(Parent->Children, this);
  if (!link || link->Prev == Parent->Children.Begin()) return nullptr;
  return NodeOf(link->Prev);
}

TXmlTreeNode* TXmlTreeNode::NextInDocument() const {
  if (TXmlTreeNode* child = FirstChild()) return child;
  for (const TXmlTreeNode* node = this; node; node = node->Parent)
    if (TXmlTreeNode* sibling = node->NextSibling()) return sibling;
  return nullptr;
}

TXmlTreeNode* TXmlTreeNode::PreviousInDocument() const {
  TXmlTreeNode* node = PreviousSibling();
  if (!node) return Parent;
  while (TXmlTreeNode* last = node->LastChild()) node = last;
  return node;
}

void TXmlTreeNode::InsertBefore(TXmlTreeNode* node) {
  if (!Parent || !node || node->IsAncestorOf(this)) return;
  node->DetachFromParent();
  TDblCursor cursor{LinkOf(Parent->Children, this), 0};
  if (!cursor.Link) return;
  node->Parent = Parent;
  Parent->Children.InsertBefore(cursor, node);
}

void TXmlTreeNode::InsertAfter(TXmlTreeNode* node) {
  if (!Parent || !node || node->IsAncestorOf(this)) return;
  node->DetachFromParent();
  DListNode* link = LinkOf(Parent->Children, this);
  if (!link) return;
  TDblCursor cursor{link->Next, 0};
  node->Parent = Parent;
  Parent->Children.InsertBefore(cursor, node);
}

void TXmlTreeNode::MoveTo(TXmlTreeNode* newParent) {
  if (!newParent || IsAncestorOf(newParent)) return;
  DetachFromParent();
  Parent = newParent;
  newParent->Children.AddTail(this);
}

void TXmlTreeNode::RemoveLastChild() {
  TXmlTreeNode* child = LastChild();
  if (!child) return;
  TDblCursor last{Children.Last(), static_cast<int>(Children.Count())};
  Children.DetachAt(last);
  child->Parent = nullptr;
  delete child;
}

void TXmlTreeNode::CopyChildrenFrom(const TXmlTreeNode& source) {
  for (DListNode* link = source.Children.First(); link != source.Children.End();
       link = link->Next) {
    const TXmlTreeNode* sourceChild = NodeOf(link);
    TXmlTreeNode* child = new TXmlTreeNode(nullptr, sourceChild->IsUtf8);
    child->CopyElement(*sourceChild);
    child->CopyChildrenFrom(*sourceChild);
    child->Parent = this;
    Children.AddTail(child);
  }
}

void TXmlTreeNode::CopyTree(const TXmlTreeNode& source) {
  // Copy into a scratch node first: the source may be this node or lie in
  // its subtree, which DeleteChildren would free under our feet.
  TXmlTreeNode copy(nullptr, source.IsUtf8);
  copy.CopyElement(source);
  copy.CopyChildrenFrom(source);

  CopyElement(copy);
  // A node still linked in its parent's list keeps its Parent: clearing it
  // would leave that list holding a node that no longer unlinks itself.
  if (Parent && !LinkOf(Parent->Children, this)) Parent = nullptr;
  DeleteChildren();
  while (TXmlTreeNode* child = copy.FirstChild()) child->MoveTo(this);
}

void TXmlTreeNode::SetUtf8Deep(bool isUtf8) {
  IsUtf8 = isUtf8;
  for (DListNode* link = Children.First(); link != Children.End(); link = link->Next)
    NodeOf(link)->SetUtf8Deep(isUtf8);
}

int TXmlTreeNode::CountNodes() const {
  int count = 1;
  for (DListNode* link = Children.First(); link != Children.End(); link = link->Next)
    count += NodeOf(link)->CountNodes();
  return count;
}
