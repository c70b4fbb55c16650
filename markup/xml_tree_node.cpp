// TXmlTreeNode: the document tree, its walks and its editing operations.
#include "markup/xml_tree_node.h"

#include <windows.h>

#include <cstring>

namespace {

// Source of link epochs: every value is handed out once.
uint64_t LastLinkEpoch = 0;

uint64_t NewLinkEpoch() { return ++LastLinkEpoch; }

}  // namespace

TXmlTreeNode::TXmlTreeNode(TXmlTreeNode* parent, bool isUtf8)
    : TXmlElement(isUtf8, false), Parent(parent), ChildLinkEpoch(NewLinkEpoch()) {
  Children.OwnsItems = 0;
}

TXmlTreeNode::~TXmlTreeNode() {
  // Deleting any node, not only through its parent, must leave the parent's
  // list without a dangling pointer.
  if (Parent && !Parent->Children.IsEmpty()) Parent->UnlinkChild(LinkInParent());
  Parent = nullptr;
  DeleteChildren();
}

// ---- Link bookkeeping --------------------------------------------------------

bool TXmlTreeNode::HoldsLink(const DListNode* link) const {
  return OwnLink == link && Parent && OwnLinkEpoch == Parent->ChildLinkEpoch;
}

DListNode* TXmlTreeNode::LinkInParent() const {
  if (!Parent) return nullptr;
  // While no link was freed behind the nodes' backs, a remembered link is
  // alive and only links made behind their backs can be unknown.
  if (Parent->ChildLinksFreed == Parent->Children.FreedLinks()) {
    if (HoldsLink(OwnLink) && OwnLink->Item == this) return OwnLink;
    Parent->AdoptEndLinks();
    if (HoldsLink(OwnLink) && OwnLink->Item == this) return OwnLink;
    // Every link of the list is known, and none is this node's.
    if (Parent->ChildLinksMade == Parent->Children.MadeLinks()) return nullptr;
  }
  Parent->RememberChildLinks();
  return HoldsLink(OwnLink) ? OwnLink : nullptr;
}

// Links made behind the nodes' backs by the usual AddTail (or AddHead) of
// a caller sit at the ends of the list: they are taken up from there, up to
// the first known link, without a pass over the whole list. When that finds
// as many as were made, every link is known again.
void TXmlTreeNode::AdoptEndLinks() const {
  const uint32_t unknown = Children.MadeLinks() - ChildLinksMade;
  uint32_t found = 0;
  for (DListNode* link = Children.Last(); found < unknown && AdoptLink(link);
       link = link->Prev)
    ++found;
  for (DListNode* link = Children.First(); found < unknown && AdoptLink(link);
       link = link->Next)
    ++found;
  if (found == unknown) ChildLinksMade = Children.MadeLinks();
}

// Gives the child at `link` that link in the current epoch; false for a
// sentinel or a child that holds it already.
bool TXmlTreeNode::AdoptLink(DListNode* link) const {
  if (!link->Item) return false;
  TXmlTreeNode* child = NodeOf(link);
  if (child->OwnLink == link && child->OwnLinkEpoch == ChildLinkEpoch) return false;
  child->OwnLink = link;
  child->OwnLinkEpoch = ChildLinkEpoch;
  return true;
}

// One pass over Children gives every child its link in a new epoch; a node
// that has left the list keeps an older epoch and is known to be gone.
void TXmlTreeNode::RememberChildLinks() const {
  ChildLinkEpoch = NewLinkEpoch();
  ChildLinksMade = Children.MadeLinks();
  ChildLinksFreed = Children.FreedLinks();
  for (DListNode* link = Children.First(); link != Children.End(); link = link->Next) {
    TXmlTreeNode* child = NodeOf(link);
    if (child->OwnLinkEpoch == ChildLinkEpoch) continue;  // listed twice: the first counts
    child->OwnLink = link;
    child->OwnLinkEpoch = ChildLinkEpoch;
  }
}

// The node operations account for each link they make or free, so the
// counts stay level with the list's while nobody else changes it, and their
// difference counts the changes made by others.
void TXmlTreeNode::LinkLastChild(TXmlTreeNode* child) {
  child->Parent = this;
  Children.AddTail(child);
  ++ChildLinksMade;
  child->OwnLink = Children.Last();
  child->OwnLinkEpoch = ChildLinkEpoch;
}

void TXmlTreeNode::LinkChildBefore(DListNode* at, TXmlTreeNode* child) {
  TDblCursor cursor{at, 0};
  child->Parent = this;
  Children.InsertBefore(cursor, child);
  ++ChildLinksMade;
  child->OwnLink = cursor.Link;
  child->OwnLinkEpoch = ChildLinkEpoch;
}

void TXmlTreeNode::UnlinkChild(DListNode* link) {
  if (!link) return;
  NodeOf(link)->OwnLink = nullptr;
  Children.UnlinkAt(link);
  ++ChildLinksFreed;
}

DListNode* TXmlTreeNode::DeleteChildAt(DListNode* link) {
  DListNode* next = link->Next;
  TXmlTreeNode* child = NodeOf(link);
  UnlinkChild(link);
  child->Parent = nullptr;  // unlinked already: nothing to search
  delete child;
  return next;
}

// ---- Tree operations ---------------------------------------------------------

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
  // Nothing is left to hold a link; a node that left the list behind the
  // nodes' backs keeps an older epoch and is searched for.
  RememberChildLinks();
}

void TXmlTreeNode::DetachFromParent() {
  if (Parent) Parent->UnlinkChild(LinkInParent());
  Parent = nullptr;
}

void TXmlTreeNode::AppendChild(TXmlTreeNode* child) {
  if (!child || child == this || child->IsAncestorOf(this)) return;
  child->DetachFromParent();
  LinkLastChild(child);
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

TXmlTreeNode* TXmlTreeNode::NextSibling() const {
  DListNode* link = LinkInParent();
  if (!link || link->Next == Parent->Children.End()) return nullptr;
  return NodeOf(link->Next);
}

TXmlTreeNode* TXmlTreeNode::PreviousSibling() const {
  DListNode* link = LinkInParent();
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
  DListNode* link = LinkInParent();
  if (link) Parent->LinkChildBefore(link, node);
}

void TXmlTreeNode::InsertAfter(TXmlTreeNode* node) {
  if (!Parent || !node || node->IsAncestorOf(this)) return;
  node->DetachFromParent();
  DListNode* link = LinkInParent();
  if (link) Parent->LinkChildBefore(link->Next, node);
}

void TXmlTreeNode::MoveTo(TXmlTreeNode* newParent) {
  if (!newParent || IsAncestorOf(newParent)) return;
  DetachFromParent();
  newParent->LinkLastChild(this);
}

void TXmlTreeNode::RemoveLastChild() {
  if (Children.IsEmpty()) return;
  DeleteChildAt(Children.Last());
}

void TXmlTreeNode::CopyChildrenFrom(const TXmlTreeNode& source) {
  for (DListNode* link = source.Children.First(); link != source.Children.End();
       link = link->Next) {
    const TXmlTreeNode* sourceChild = NodeOf(link);
    TXmlTreeNode* child = new TXmlTreeNode(nullptr, sourceChild->IsUtf8);
    child->CopyElement(*sourceChild);
    child->CopyChildrenFrom(*sourceChild);
    LinkLastChild(child);
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
  if (Parent && !LinkInParent()) Parent = nullptr;
  DeleteChildren();
  while (!copy.Children.IsEmpty()) {
    DListNode* first = copy.Children.First();
    TXmlTreeNode* child = NodeOf(first);
    copy.UnlinkChild(first);
    LinkLastChild(child);
  }
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
