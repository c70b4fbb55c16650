#include "treeview/my_tree_wnd.h"

#include <cstring>

namespace {

const int kNormalBitmap = 2;
const int kStateBitmap = 400;
const COLORREF kMaskColour = RGB(255, 0, 255);

}  // namespace

TMyTreeWnd::TMyTreeWnd(TWindow* parent, int id, HINSTANCE module)
    : TTreeWindow(parent, id, module),
      NormalImages(GetModule(), kNormalBitmap, 16, 1, kMaskColour),
      StateImages(GetModule(), kStateBitmap, 16, 1, kMaskColour) {}

TMyTreeWnd::~TMyTreeWnd() {
  // Drop the image lists from the control before they are destroyed.
  if (HWindow) {
    SetImageList(TVSIL_NORMAL, nullptr);
    SetImageList(TVSIL_STATE, nullptr);
  }
}

void TMyTreeWnd::SetupWindow() {
  TTreeWindow::SetupWindow();
  SetImageList(TVSIL_NORMAL, NormalImages.GetHandle());
  SetImageList(TVSIL_STATE, StateImages.GetHandle());
}

bool TMyTreeWnd::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  static const TMessageEntry kTable[] = {
      {WM_LBUTTONDOWN, 0,
       [](TWindow& w, WPARAM wp, LPARAM lp, LRESULT&) {
         POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
         return static_cast<TMyTreeWnd&>(w).ToggleOnStateIcon(static_cast<UINT>(wp), p);
       }},
  };
  return SearchMessageTable(kTable, *this, msg, wParam, lParam, result) ||
         TTreeWindow::Dispatch(msg, wParam, lParam, result);
}

void TMyTreeWnd::FillTreeItem(TXmlTreeNode* element, HTREEITEM item) {
  if (!element) return;
  const bool isRoot = item == TVI_ROOT;
  int state = kStateUnchecked;
  if (!isRoot) {
    const bool isPackage = element->FindAttribute("fileName") != nullptr;
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    tv.pszText = const_cast<char*>(element->GetAttribute("name"));
    tv.lParam = reinterpret_cast<LPARAM>(element);
    tv.iImage = isPackage ? kImagePackage : kImageGroup;
    tv.iSelectedImage = tv.iImage + 1;
    SetItem(tv);

    // Exact text only: " 2" or "02" show the empty box.
    const char* text = element->GetAttribute("state");
    if (std::strcmp(text, "2") == 0) state = kStateChecked;
    else if (std::strcmp(text, "3") == 0) state = kStatePartial;
    SetStateImage(state, item, false);
  }

  HTREEITEM parentItem = isRoot ? nullptr : item;
  while (HTREEITEM child = GetNextItem(parentItem, TVGN_CHILD)) {
    if (!DeleteItem(child)) break;  // a control that refuses would loop forever
  }

  for (DListNode* link = element->Children.First(); link != element->Children.End();
       link = link->Next) {
    TXmlTreeNode* child = TXmlTreeNode::NodeOf(link);
    if (child->Name == "Version") continue;
    TVINSERTSTRUCTA insert = {};
    insert.hParent = isRoot ? TVI_ROOT : item;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>("");
    HTREEITEM childItem = InsertItem(insert);
    if (childItem) FillTreeItem(child, childItem);
  }

  if (!isRoot && state == kStatePartial) Expand(item, TVE_EXPAND);
}

void TMyTreeWnd::SetStateImage(int value, HTREEITEM item, bool withDescendants) {
  TVITEMA tv = {};
  tv.mask = TVIF_STATE;
  tv.hItem = item;
  tv.state = INDEXTOSTATEIMAGEMASK(value);
  tv.stateMask = TVIS_STATEIMAGEMASK;
  SetItem(tv);
  if (!withDescendants) return;
  for (HTREEITEM child = GetNextItem(item, TVGN_CHILD); child;
       child = GetNextItem(child, TVGN_NEXT)) {
    SetStateImage(value, child, true);
  }
}

int TMyTreeWnd::GetStateImage(HTREEITEM item) const {
  TVITEMA tv = {};
  tv.mask = TVIF_STATE;
  tv.hItem = item;
  tv.stateMask = TVIS_STATEIMAGEMASK;
  GetItem(tv);
  return static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12);
}

bool TMyTreeWnd::ToggleOnStateIcon(UINT, POINT point) {
  TVHITTESTINFO hit = {};
  hit.pt = point;
  HTREEITEM item = HitTest(hit);
  if (!item || !(hit.flags & TVHT_ONITEMSTATEICON)) return false;

  const int value = GetStateImage(item) == kStateUnchecked ? kStateChecked : kStateUnchecked;
  SetStateImage(value, item, true);

  TVITEMA tv = {};
  tv.mask = TVIF_PARAM;
  tv.hItem = item;
  GetItem(tv);
  if (auto* node = reinterpret_cast<TXmlTreeNode*>(tv.lParam)) {
    const char* text = value == kStateChecked ? "2" : "1";
    node->SetAttribute("state", text);
    // The whole subtree in document order, hidden "Version" elements too;
    // the walk ends at the first node that is not below `node`.
    for (TXmlTreeNode* n = node->NextInDocument(); n; n = n->NextInDocument()) {
      TXmlTreeNode* up = n->Parent;
      while (up && up != node) up = up->Parent;
      if (!up) break;
      n->SetAttribute("state", text);
    }
  }

  for (HTREEITEM up = GetNextItem(item, TVGN_PARENT); up; up = GetNextItem(up, TVGN_PARENT)) {
    SetStateImage(kStatePartial, up, false);
  }
  return true;
}
