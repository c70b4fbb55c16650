// TTreeWindow: a tree-view control ("SysTreeView32") that a dialog template
// makes, wrapped by the window object that the dialog owns. The methods send
// the tree-view message of the same name (ANSI variants) and return its
// result unchecked.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/window.h"

class TTreeWindow : public TWindow {
 public:
  // parent: the dialog; id: the control's id in the dialog template.
  TTreeWindow(TWindow* parent, int id, HINSTANCE module = nullptr);

  HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
  HTREEITEM InsertItem(const TVINSERTSTRUCTA& insert);
  bool DeleteItem(HTREEITEM item);
  bool SetItem(const TVITEMA& item);
  bool GetItem(TVITEMA& item) const;
  bool Expand(HTREEITEM item, UINT code);
  HTREEITEM HitTest(TVHITTESTINFO& info) const;
  HIMAGELIST SetImageList(int which, HIMAGELIST list);
  // TVM_GETITEMRECT: textOnly false gives the whole line.
  bool GetItemRect(HTREEITEM item, RECT& rect, bool textOnly) const;
  int GetCount() const;
};
