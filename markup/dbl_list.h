// TDblList: a doubly linked list of untyped item pointers, the container that
// holds an element's attributes and a node's children.
#pragma once

#include <cstdint>

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
  // Unlink and free the given link of this list (a sentinel or null is
  // ignored), without deleting its item: for a holder that already knows
  // where its item stands.
  void UnlinkAt(DListNode* link);
  // How many links this list has made / freed since it was built, by any
  // operation (counting on past 2^32 from 0). They let a holder of items
  // that remembers their links tell whether the list changed behind its
  // back: while FreedLinks has not moved, a remembered link is still alive.
  uint32_t MadeLinks() const { return LinksMade; }
  uint32_t FreedLinks() const { return LinksFreed; }

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
  uint32_t LinksMade = 0;
  uint32_t LinksFreed = 0;
};
