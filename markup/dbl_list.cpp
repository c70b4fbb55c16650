// TDblList: a doubly linked list of item pointers between two sentinels.
#include "markup/dbl_list.h"

#include <new>

TDblList::TDblList() {
  Head.Prev = &Head;
  Head.Next = &Tail;
  Head.Item = nullptr;
  Tail.Prev = &Head;
  Tail.Next = &Tail;
  Tail.Item = nullptr;
}

TDblList::~TDblList() {
  if (!FreesLinks || ItemCount == 0) return;
  DListNode* link = Head.Next;
  while (link != &Tail) {
    DListNode* next = link->Next;
    if (OwnsItems) ::operator delete(link->Item);
    delete link;
    link = next;
  }
  Head.Next = &Tail;
  Tail.Prev = &Head;
  ItemCount = 0;
}

void TDblList::LinkBefore(DListNode* at, void* item) {
  DListNode* link = new DListNode{at->Prev, at, item};
  at->Prev->Next = link;
  at->Prev = link;
  ++ItemCount;
  ++LinksMade;
}

void TDblList::FreeLink(DListNode* link) {
  link->Prev->Next = link->Next;
  link->Next->Prev = link->Prev;
  delete link;
  --ItemCount;
  ++LinksFreed;
}

void TDblList::AddHead(void* item) {
  if (item) LinkBefore(Head.Next, item);
}

void TDblList::AddTail(void* item) {
  if (item) LinkBefore(&Tail, item);
}

void TDblList::DetachAt(TDblCursor& cursor) {
  DListNode* link = cursor.Link;
  if (!link || link == &Tail || link == &Head) return;
  void* item = link->Item;
  cursor.Link = link->Next;
  FreeLink(link);
  if (OwnsItems) ::operator delete(item);
}

void TDblList::InsertBefore(TDblCursor& cursor, void* item) {
  if (!item) return;
  // Before the head sentinel means before the first item.
  DListNode* at = cursor.Link == &Head || !cursor.Link ? Head.Next : cursor.Link;
  if (cursor.Link == &Head || !cursor.Link) cursor.Index = 1;
  LinkBefore(at, item);
  cursor.Link = at->Prev;
}

void TDblList::Flush() {
  while (ItemCount > 0) {
    TDblCursor first = FirstCursor();
    DetachAt(first);
  }
}

int TDblList::IndexOf(const void* item) const {
  int index = 1;
  for (DListNode* link = Head.Next; link != &Tail; link = link->Next, ++index)
    if (link->Item == item && item) return index;
  return -1;
}

bool TDblList::MoveCursor(TDblCursor& cursor, int index) const {
  if (index < 1 || static_cast<uint32_t>(index) > ItemCount) {
    cursor.Link = &Tail;
    cursor.Index = static_cast<int>(ItemCount) + 1;
    return false;
  }
  DListNode* link = Head.Next;
  for (int i = 1; i < index; ++i) link = link->Next;
  cursor.Link = link;
  cursor.Index = index;
  return true;
}

void TDblList::UnlinkAt(DListNode* link) {
  if (link && link != &Head && link != &Tail) FreeLink(link);
}

bool TDblList::Unlink(const void* item) {
  if (!item) return false;
  for (DListNode* link = Head.Next; link != &Tail; link = link->Next) {
    if (link->Item == item) {
      FreeLink(link);
      return true;
    }
  }
  return false;
}
