// TXmlTreeNode: a document node, an element with its parent and children, and
// the walks and edits of the document tree. Its reading members live in
// element_parser.cpp and inner_text.cpp, its writing members in writer.cpp.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "markup/dbl_list.h"
#include "markup/xml_element.h"

// A document node: an element with a parent link and an ordered list of
// children. A node owns its attributes and children and deletes them itself;
// deleting a node unlinks it from its parent's Children first. Invariant:
// every node in a parent's Children has that parent in its Parent. Not
// copyable: use CopyTree.
//
// A node remembers the link that holds it in its parent's Children, so that
// the sibling and document walks and the unlink on deletion take constant
// time instead of a search of the parent's list (a flat catalogue of a
// hundred thousand packages would otherwise take seconds to walk). The node
// operations below keep that link right. Code may still change Children
// directly (the two-step "set Parent, then AddTail" of the document model,
// or Unlink, DetachAt and Flush): a remembered link is trusted only while
// the parent's list has freed no link the nodes were not told of, and is
// otherwise found again by one pass over the list, so results never depend
// on it. Walks are then as slow as a search until the pass has run once.
// Documents belong to one thread.
class TXmlTreeNode : public TXmlElement {
 public:
  // A new empty node. It is not added to the parent's Children: callers set
  // Parent and AddTail together, or better use AppendChild, which remembers
  // the node's link at once.
  TXmlTreeNode(TXmlTreeNode* parent, bool isUtf8);
  ~TXmlTreeNode() override;

  // TXmlElement::Clear, then DeleteChildren. Parent stays.
  void Clear() override;
  // Delete every child with its subtree and empty Children.
  void DeleteChildren();
  // Set the child's Parent to this node and append it to Children. A child
  // that is linked elsewhere is unlinked there first.
  void AppendChild(TXmlTreeNode* child);

  // First child matching a path of names joined by "/" (exact case); each
  // step searches children only, backtracking to later siblings when the
  // rest of the path fails. Null when nothing matches.
  TXmlTreeNode* FindChild(const char* path) const;
  // As FindChild, each level scanned from the last child to the first.
  TXmlTreeNode* FindLastChild(const char* path) const;
  // First child whose attribute `name` equals `value` exactly; null if none.
  TXmlTreeNode* FindChildByAttribute(const char* name, const char* value) const;
  // Next / previous node of a pre-order walk; null past either end. A whole
  // walk costs time in proportion to the nodes it visits.
  TXmlTreeNode* NextInDocument() const;
  TXmlTreeNode* PreviousInDocument() const;
  // The child after / before this one in its parent's list; null for a last
  // / first child, for a root, and for a node that is not in its parent's
  // list. Constant time while the remembered link holds.
  TXmlTreeNode* NextSibling() const;
  TXmlTreeNode* PreviousSibling() const;
  TXmlTreeNode* FirstChild() const;
  TXmlTreeNode* LastChild() const;
  // Insert a node into this node's parent just before / after this node.
  // Nothing happens for a root, for null, for this node itself or for an
  // ancestor of this node (that would make a cycle). A node linked elsewhere
  // is unlinked there first.
  void InsertBefore(TXmlTreeNode* node);
  void InsertAfter(TXmlTreeNode* node);
  // Unlink from the current parent and append to the new parent's children.
  // Refused (nothing happens) when newParent is null, this node or one of
  // its descendants.
  void MoveTo(TXmlTreeNode* newParent);
  // Unlink and delete the last child; nothing when there are none.
  void RemoveLastChild();
  // Make this node a deep copy of the source (element and whole subtree).
  // Parent is set to null unless this node is linked in its parent's list
  // (then it stays, so the parent keeps a consistent child). The source may
  // lie inside this node's subtree.
  void CopyTree(const TXmlTreeNode& source);
  // Set IsUtf8 here and on every node below.
  void SetUtf8Deep(bool isUtf8);
  // 1 plus the CountNodes of every child.
  int CountNodes() const;
  static TXmlTreeNode* NodeOf(const DListNode* link) {
    return static_cast<TXmlTreeNode*>(link->Item);
  }

  // Reading (element parser). Reads one element into this node: its start
  // tag (unless tagAlreadyRead, when the caller has put it in the node), its
  // content with all child elements and its end tag, after deleting the
  // node's children. True on success; false when the input ends early, a tag
  // is malformed, the nesting passes kMaxParseDepth or (XML) an end tag does
  // not match. After a failure the node keeps its tag, the children it
  // completed and the text read so far. The stream needs get, peek, tell and
  // seek: open files in binary mode (the parser makes "\r\n" itself).
  bool ParseElement(std::istream& in, bool tagAlreadyRead = false);
  // ParseElement over the given zero-terminated text; the result is dropped.
  void ParseString(const char* text);
  // For an element whose start tag was just read: read its character data up
  // to the matching end tag into Text, leaving out every inner tag and the
  // content of every inner element whose own end tag is found (an inner
  // start tag without one drops only the tag). True at once for a closed
  // element; false when there is no matching end tag. The time grows
  // linearly with the input read, however the inner elements nest or fail
  // to close: each byte is read at most three times (the search for the end
  // tag, one pass over the tags that pairs every start tag with its end tag
  // as it goes, and the text), and that pass reads on to the end of the
  // stream only when an inner element never closes.
  bool ReadInnerText(std::istream& in);
  // Position just after the end tag matching this element (start tags of the
  // same name nest, at most kMaxParseDepth deep); sets IsClosed when found.
  // -1 when there is none.
  std::streampos SkipToEndTag(std::istream& in);
  // Drop every empty child (no children, text or attributes; an HTML "br"
  // stays) throughout the subtree; an HTML "table" of class MsoNormalTable
  // gets border="1".
  void HtmlCleanup();

  // Writing. WriteNode writes this node and its subtree with no white space
  // between tags; WriteDocument writes the top node of a document without
  // its end tag. depth does not change the output. Both return true.
  bool WriteNode(std::ostream& out, int depth);
  bool WriteDocument(std::ostream& out, int depth);

  TXmlTreeNode* Parent;  // not owned; null for a root
  TDblList Children;     // of TXmlTreeNode*, owned through the node

 private:
  bool ParseAt(std::istream& in, bool tagAlreadyRead, int depth);
  bool ParseChild(std::istream& in, const TXmlElement& tag, int depth);
  void AppendSpan(string& text, bool isUtf8, bool isHtml);
  bool IsAncestorOf(const TXmlTreeNode* node) const;
  void DetachFromParent();
  void CopyChildrenFrom(const TXmlTreeNode& source);

  // The link bookkeeping. LinkInParent answers the link holding this node in
  // its parent's Children, or null when the node is not there. The others
  // change Children and keep every remembered link right.
  DListNode* LinkInParent() const;
  bool HoldsLink(const DListNode* link) const;
  void AdoptEndLinks() const;
  bool AdoptLink(DListNode* link) const;
  void RememberChildLinks() const;
  void LinkLastChild(TXmlTreeNode* child);
  void LinkChildBefore(DListNode* at, TXmlTreeNode* child);
  void UnlinkChild(DListNode* link);
  DListNode* DeleteChildAt(DListNode* link);

  // This node's link in its parent's Children, and the parent's link epoch
  // in which it was taken. Trusted only while that epoch is the parent's
  // current one and the parent's list has freed no link beyond those the
  // node operations accounted for (then the link's memory is still alive).
  mutable DListNode* OwnLink = nullptr;  // not owned
  mutable uint64_t OwnLinkEpoch = 0;
  // For this node's Children: the current link epoch (a fresh number from
  // one counter whenever the children's links are found again, so an epoch
  // never repeats, not even in a later node at the same address) and the
  // numbers of links made and freed that the node operations accounted for
  // (and links found again). While both equal the list's own counts, every
  // child in the list holds its link in the current epoch, so a node without
  // one is not there.
  mutable uint64_t ChildLinkEpoch;
  mutable uint32_t ChildLinksMade = 0;
  mutable uint32_t ChildLinksFreed = 0;
};
