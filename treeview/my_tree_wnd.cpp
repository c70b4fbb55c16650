#include "treeview/my_tree_wnd.h"

#include <cstring>
#include <utility>

#include "markup/integer_text.h"
#include "platform/win32_handles.h"
#include "resources/resource.h"
#include "treeview/tree_artwork.h"

namespace {

const int kNormalBitmap = IDB_TREE_IMAGES;
const int kStateBitmap = IDB_TREE_STATES;
const COLORREF kMaskColour = RGB(255, 0, 255);
const int kBitmapFrameSize = 16;

// The state image the fill shows for element. "state" is read as a number,
// as the runs read it, so that " 2" or "02" shows ticked exactly when the
// run will install the package.
int FillState(const TXmlTreeNode* element) {
  switch (ReadIntegerText(element->GetAttribute("state"))) {
    case 2:
      return kStateChecked;
    case 3:
      return kStatePartial;
    default:
      return kStateUnchecked;
  }
}

// Everything an item shows for element: its "name", the element as item
// data, the package or group images (a "fileName", even an empty one, makes
// a package) and the state image.
TVITEMA ItemFields(TXmlTreeNode* element) {
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  tv.pszText = const_cast<char*>(element->GetAttribute("name"));
  tv.lParam = reinterpret_cast<LPARAM>(element);
  tv.iImage = element->FindAttribute("fileName") ? kImagePackage : kImageGroup;
  tv.iSelectedImage = tv.iImage + 1;
  tv.state = INDEXTOSTATEIMAGEMASK(FillState(element));
  tv.stateMask = TVIS_STATEIMAGEMASK;
  return tv;
}

// The vertical DPI of the window's screen; 96 when it cannot be read.
int VerticalDpi(HWND window) {
  TWindowDc dc(window);
  return dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
}

}  // namespace

TMyTreeWnd::TMyTreeWnd(TWindow* parent, int id, HINSTANCE module)
    : TTreeWindow(parent, id, module),
      NormalImages(GetModule(), kNormalBitmap, kBitmapFrameSize, 1, kMaskColour),
      StateImages(GetModule(), kStateBitmap, kBitmapFrameSize, 1, kMaskColour) {}

TMyTreeWnd::~TMyTreeWnd() {
  // Drop the image lists from the control before they are destroyed.
  if (HWindow) {
    SetImageList(TVSIL_NORMAL, nullptr);
    SetImageList(TVSIL_STATE, nullptr);
  }
}

void TMyTreeWnd::SetupWindow() {
  TTreeWindow::SetupWindow();
  // The bitmaps are drawn for 96 DPI; on a denser screen the pictures are
  // drawn again at the size it asks for rather than stretched.
  const int size = TreeImageSize(VerticalDpi(HWindow));
  if (size != kBitmapFrameSize) {
    if (HIMAGELIST normal = DrawNormalImages(size)) NormalImages.Reset(normal);
    if (HIMAGELIST state = DrawStateImages(size)) StateImages.Reset(state);
  }
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
      {WM_KEYDOWN, 0,
       [](TWindow& w, WPARAM wp, LPARAM, LRESULT&) {
         return static_cast<TMyTreeWnd&>(w).OnSpaceKey(WM_KEYDOWN, wp);
       }},
      {WM_CHAR, 0,
       [](TWindow& w, WPARAM wp, LPARAM, LRESULT&) {
         return static_cast<TMyTreeWnd&>(w).OnSpaceKey(WM_CHAR, wp);
       }},
  };
  return SearchMessageTable(kTable, *this, msg, wParam, lParam, result) ||
         TTreeWindow::Dispatch(msg, wParam, lParam, result);
}

void TMyTreeWnd::FillTreeItem(TXmlTreeNode* element, HTREEITEM item) {
  if (!element) return;
  const bool isRoot = item == TVI_ROOT;
  if (!isRoot) {
    TVITEMA tv = ItemFields(element);
    tv.hItem = item;
    SetItem(tv);
  }
  HTREEITEM parentItem = isRoot ? nullptr : item;
  while (HTREEITEM child = GetNextItem(parentItem, TVGN_CHILD)) {
    if (!DeleteItem(child)) break;  // a control that refuses would loop forever
  }

  // With drawing on, the control works out its scroll bars and the order of
  // the visible items again after every insertion, which makes a big
  // catalogue cost the square of its size; it does that once when drawing
  // is switched back on.
  SendMessageA(HWindow, WM_SETREDRAW, FALSE, 0);
  std::vector<HTREEITEM> partlyChosen;
  InsertChildren(element, item, partlyChosen);
  if (!isRoot && FillState(element) == kStatePartial) partlyChosen.push_back(item);
  SendMessageA(HWindow, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(HWindow, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
  // Each group is expanded once its children are there, the innermost
  // first, as the items were filled.
  for (HTREEITEM partly : partlyChosen) Expand(partly, TVE_EXPAND);
}

void TMyTreeWnd::InsertChildren(TXmlTreeNode* element, HTREEITEM item, std::vector<HTREEITEM>& partlyChosen) {
  // All the children first, their subtrees after: the control looks up the
  // parent of every insertion among the items in the order they were made,
  // so parents made early are found early.
  std::vector<std::pair<TXmlTreeNode*, HTREEITEM>> inserted;
  for (DListNode* link = element->Children.First(); link != element->Children.End(); link = link->Next) {
    TXmlTreeNode* child = TXmlTreeNode::NodeOf(link);
    if (child->Name == "Version") continue;
    // Text, item data, images and state image in one message rather than
    // three: each message about an item makes the control look it up.
    TVINSERTSTRUCTA insert = {};
    insert.hParent = item;
    insert.hInsertAfter = TVI_LAST;
    insert.item = ItemFields(child);
    if (HTREEITEM childItem = InsertItem(insert)) inserted.emplace_back(child, childItem);
  }
  // A fresh item has no children to delete first.
  for (const auto& pair : inserted) {
    InsertChildren(pair.first, pair.second, partlyChosen);
    if (FillState(pair.first) == kStatePartial) partlyChosen.push_back(pair.second);
  }
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
  // Taken even while locked: the control would otherwise select the item.
  ToggleItem(item);
  return true;
}

bool TMyTreeWnd::OnSpaceKey(UINT msg, WPARAM key) {
  if (msg == WM_CHAR) {
    // The control would look for an item whose name starts with a blank
    // (and beep when there is none).
    return key == ' ';
  }
  if (key != VK_SPACE) return false;
  if (HTREEITEM item = GetNextItem(nullptr, TVGN_CARET)) ToggleItem(item);
  return true;
}

bool TMyTreeWnd::ToggleItem(HTREEITEM item) {
  if (ChoicesLocked || !item) return false;
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
