#include "framework/tree_window.h"

TTreeWindow::TTreeWindow(TWindow* parent, int id, HINSTANCE module)
    : TWindow(parent, nullptr, module) {
  Attr.Id = id;
}

HTREEITEM TTreeWindow::GetNextItem(HTREEITEM item, UINT code) const {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(HWindow, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM TTreeWindow::InsertItem(const TVINSERTSTRUCTA& insert) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(HWindow, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool TTreeWindow::DeleteItem(HTREEITEM item) {
  return SendMessageA(HWindow, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != 0;
}

bool TTreeWindow::SetItem(const TVITEMA& item) {
  return SendMessageA(HWindow, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

bool TTreeWindow::GetItem(TVITEMA& item) const {
  return SendMessageA(HWindow, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

bool TTreeWindow::Expand(HTREEITEM item, UINT code) {
  return SendMessageA(HWindow, TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)) != 0;
}

HTREEITEM TTreeWindow::HitTest(TVHITTESTINFO& info) const {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(HWindow, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}

HIMAGELIST TTreeWindow::SetImageList(int which, HIMAGELIST list) {
  return reinterpret_cast<HIMAGELIST>(
      SendMessageA(HWindow, TVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
}

bool TTreeWindow::GetItemRect(HTREEITEM item, RECT& rect, bool textOnly) const {
  // TVM_GETITEMRECT takes the item handle in the rectangle it fills.
  *reinterpret_cast<HTREEITEM*>(&rect) = item;
  return SendMessageA(HWindow, TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(&rect)) != 0;
}

int TTreeWindow::GetCount() const {
  return static_cast<int>(SendMessageA(HWindow, TVM_GETCOUNT, 0, 0));
}
