// Markup documents: the in-memory document tree, the tag reader with its
// reference decoding and code-page conversions, the element parser (XML, with
// repairs for word-processor HTML) and the writer.
//
// Text is 8-bit in the system code page (GBK on the target PCs). A document
// marked IsUtf8 is converted to the code page while it is read and back to
// UTF-8 while it is written. The reader and writer share one scratch buffer,
// TagBuffer, so only one parse or write may run at a time (the program does
// all of it on the user-interface thread).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

// The 8-bit text type for names, attribute values, element text and the log.
typedef std::string string;

// Base of the list containers: the item count and two ownership flags.
class TContainer {
 public:
  TContainer() = default;

  // Number of items in the container.
  uint32_t Count() const { return ItemCount; }
  bool IsEmpty() const { return ItemCount == 0; }

  // When set, an item is deleted (its memory freed with ::operator delete,
  // no destructor runs) when DetachAt unlinks it or the list is destroyed.
  // Items of an owning list must therefore be plain data from ::operator new.
  uint8_t OwnsItems = 1;
  // When set, the list frees its links when it is destroyed.
  uint8_t FreesLinks = 1;

 protected:
  uint32_t ItemCount = 0;
};

// One link of a TDblList. The two sentinels carry a null item.
struct DListNode {
  DListNode* Prev;
  DListNode* Next;
  void* Item;
};

// A position in a TDblList: a link and its one-based index. The tail sentinel
// stands after the last item, at index Count() + 1.
struct TDblCursor {
  DListNode* Link;
  int Index;
};

// Doubly linked list of untyped item pointers between two sentinel links that
// belong to the list itself. Empty: Head.Prev = &Head, Head.Next = &Tail,
// Tail.Prev = &Head, Tail.Next = &Tail. Null items are never inserted, so a
// null Item marks a sentinel. Not copyable.
class TDblList : public TContainer {
 public:
  TDblList();
  virtual ~TDblList();
  TDblList(const TDblList&) = delete;
  TDblList& operator=(const TDblList&) = delete;

  // Insert before the first item / after the last item. Null is ignored.
  virtual void AddHead(void* item);
  virtual void AddTail(void* item);
  // Unlink and free the link at the cursor, move the cursor to the following
  // link (its index stays), decrement the count and, with OwnsItems, free the
  // item. Nothing happens on either sentinel.
  virtual void DetachAt(TDblCursor& cursor);

  // Insert an item before the cursor's link (the tail sentinel appends) and
  // set the cursor to the new link. A null item is not inserted.
  void InsertBefore(TDblCursor& cursor, void* item);
  // DetachAt on the first link until the list is empty.
  void Flush();
  // One-based index of the first link holding the item; -1 when absent.
  int IndexOf(const void* item) const;
  // Set the cursor to the given one-based index. Returns false (cursor on the
  // tail sentinel, index Count() + 1) when the index is out of range.
  bool MoveCursor(TDblCursor& cursor, int index) const;
  // Unlink the first link holding the item, without deleting the item.
  // Returns false when the item is not in the list.
  bool Unlink(const void* item);

  // Iteration: for (DListNode* l = list.First(); l != list.End(); l = l->Next)
  DListNode* First() const { return Head.Next; }
  DListNode* Last() const { return Tail.Prev; }
  const DListNode* End() const { return &Tail; }
  const DListNode* Begin() const { return &Head; }
  TDblCursor FirstCursor() const { return TDblCursor{Head.Next, 1}; }

 private:
  void LinkBefore(DListNode* at, void* item);
  void FreeLink(DListNode* link);

  mutable DListNode Head;
  mutable DListNode Tail;
};

// One attribute: name and value.
struct TXmlProperty {
  TXmlProperty() = default;
  TXmlProperty(const string& name, const string& value) : Name(name), Value(value) {}
  string Name;
  string Value;
};

// An element: tag name, attributes in document order (duplicates possible),
// character data and the four flags that steer reading and writing. The
// element owns its TXmlProperty objects (the list's OwnsItems is 0; the
// element deletes them itself). Not copyable: use CopyElement.
class TXmlElement {
 public:
  explicit TXmlElement(bool isUtf8 = false, bool isHtml = false);
  virtual ~TXmlElement();
  TXmlElement(const TXmlElement&) = delete;
  TXmlElement& operator=(const TXmlElement&) = delete;

  // Delete every attribute, empty Name and Text, reset IsClosed and
  // IsDeclaration. IsUtf8 and IsHtml stay: the reader relies on the encoding
  // surviving into the next element read into the same node.
  virtual void Clear();
  // Value of the first attribute named exactly `name`, or "" when there is
  // none. Points into the element; valid until the attribute changes.
  const char* GetAttribute(const char* name) const;
  // As GetAttribute, but null when there is no such attribute, so that a
  // missing attribute and an empty one can be told apart.
  const char* FindAttribute(const char* name) const;
  // Give the first attribute named exactly `name` this value (it keeps its
  // position), or append a new attribute when there is none.
  void SetAttribute(const char* name, const char* value);
  // Replace attributes, Name, Text and the four flags with copies of the
  // source's. Children and Parent of a tree node are not touched.
  void CopyElement(const TXmlElement& source);
  // Delete every attribute and empty the list.
  void DeleteAttributes();
  // The attribute at a link of Attributes.
  static TXmlProperty* PropertyOf(const DListNode* link) {
    return static_cast<TXmlProperty*>(link->Item);
  }

  TDblList Attributes;  // of TXmlProperty*, owned through the element
  string Name;
  string Text;          // decoded character data, line ends "\r\n"
  bool IsUtf8 = false;  // text is UTF-8 on input and output
  bool IsClosed = false;       // nothing more to read for this element
  bool IsDeclaration = false;  // the tag began with "?" or "!"
  bool IsHtml = false;         // the HTML reading and writing rules apply

 private:
  TXmlProperty* FindProperty(const char* name) const;
};

// Element nodes are nested at most this deep below the node handed to
// ParseElement; a deeper element fails like a truncated one. Real catalogues
// are four levels deep and word-processor pages a few dozen; the bound keeps
// a hostile document from overflowing the stack of the recursive parser.
const int kMaxParseDepth = 256;

// A document node: an element with a parent link and an ordered list of
// children. A node owns its attributes and children and deletes them itself;
// deleting a node unlinks it from its parent's Children first. Invariant:
// every node in a parent's Children has that parent in its Parent. Not
// copyable: use CopyTree.
class TXmlTreeNode : public TXmlElement {
 public:
  // A new empty node. It is not added to the parent's Children: callers set
  // Parent and AddTail together (or use AppendChild).
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
  // Next / previous node of a pre-order walk; null past either end.
  TXmlTreeNode* NextInDocument() const;
  TXmlTreeNode* PreviousInDocument() const;
  // The child after this one in its parent's list; null for a last child or
  // a root.
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
  // to the matching end tag, inner tags removed, into Text. True at once for
  // a closed element; false when there is no matching end tag.
  bool ReadInnerText(std::istream& in);
  // Position just after the end tag matching this element (start tags of the
  // same name nest); sets IsClosed when found. -1 when there is none.
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
  bool ReadInnerTextAt(std::istream& in, int depth);
  std::streampos SkipToEndTagAt(std::istream& in, int depth);
  bool IsAncestorOf(const TXmlTreeNode* node) const;
  void DetachFromParent();
  void CopyChildrenFrom(const TXmlTreeNode& source);
};

// Loads a document into a root the way the catalogue fetch does: ParseElement
// once and again while the root holds a declaration (an XML declaration,
// document type line or comment before the root element is read into the
// root and then replaced). The root should be built with IsUtf8 = 1 so that a
// document without a declaration is taken as UTF-8; a declaration's encoding
// stays in force for the root element. Returns the last ParseElement result;
// the tree standing after the calls is usable either way.
bool LoadDocument(TXmlTreeNode& root, std::istream& in);

// ---- Tag reader and text conversions --------------------------------------

const size_t kTagBufferSize = 65536;
// Shared scratch buffer of the reader and writer; makes them non-re-entrant.
extern char TagBuffer[kTagBufferSize];

// Read the next tag into the element: Clear it (IsUtf8 and IsHtml carry
// over), skip to the next "<", split name, attributes and flags. False when
// the input ends inside the tag, the tag has 65,536 characters or more, or
// its name is empty.
bool ReadTag(TXmlElement& element, std::istream& in);
// Append one attribute from a token "name=value" (spaces allowed around "=",
// a double-quoted value loses its quotes). A token without "=" is dropped.
void ParseAttribute(TXmlElement& element, const char* token);

// The conversions below write at most `capacity` bytes into dst, terminator
// included, whatever the input, and always terminate dst when capacity > 0.

// Copy src replacing the references &quot; &lt; &gt; &amp; &apos; &nbsp;
// &#N; and &#xN; (one byte, value modulo 256); an unknown &name; becomes its
// lowered name. False, with dst ending where the "&" stood, when an "&" has
// no ";" among the next 8 characters.
bool DecodeEntities(const char* src, char* dst, size_t capacity);
// DecodeEntities, then (only when it succeeded) Utf8ToAnsi in place on dst.
bool DecodeUtf8Text(const char* src, char* dst, size_t capacity);
// UTF-8 to the system code page. Malformed bytes and four-byte sequences are
// dropped; characters the code page lacks become its default character.
// Text that does not fit is cut at a whole character.
void Utf8ToAnsi(const char* src, char* dst, size_t capacity);
// System code page to UTF-8 (surrogates encoded one by one). Output stops
// before capacity - 4 bytes. src and dst may be the same buffer.
void AnsiToUtf8(const char* src, char* dst, size_t capacity);
// Replace markup characters by references for writing. Without html a
// "\r\n" becomes "\n" and other control characters are dropped; with html
// tab, line feed, carriage return and space become references too. An escape
// that would not fit whole is not started.
void EscapeText(const char* src, char* dst, size_t capacity, bool html);
// EscapeText without html, then AnsiToUtf8 in place.
void EscapeUtf8Text(const char* src, char* dst, size_t capacity);
