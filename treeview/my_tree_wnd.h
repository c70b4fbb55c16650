// TMyTreeWnd: the package tree of the main dialog.
//
// Shows a catalogue document as a tree with a check-state icon on every item
// and writes the user's choices straight into the document's "state"
// attributes: "2" chosen, "1" not chosen ("3", partly chosen, is only ever
// read). The window keeps no choices of its own. Each item's lParam is the
// document node it shows (not owned); the document must outlive the items.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "framework/image_list.h"
#include "framework/tree_window.h"
#include "markup/markup.h"

// Normal images (bitmap 2): index for an unselected item; +1 when selected.
const int kImageGroup = 0;    // closed / open folder
const int kImagePackage = 2;  // computer with a hand
// State images (bitmap 400).
const int kStateNone = 0;
const int kStateUnchecked = 1;
const int kStateChecked = 2;
const int kStatePartial = 3;

class TMyTreeWnd : public TTreeWindow {
 public:
  // parent: the dialog; id: the tree-view control of its template (103).
  // Loads bitmaps 2 and 400 of module (null: the program) as image lists.
  TMyTreeWnd(TWindow* parent, int id, HINSTANCE module = nullptr);
  ~TMyTreeWnd() override;

  // Copies element and everything below it (except "Version" elements and
  // their subtrees) into the tree at item; with TVI_ROOT the element itself
  // gets no item and its children become the top-level items. Items already
  // below `item` are deleted first.
  void FillTreeItem(TXmlTreeNode* element, HTREEITEM item);
  // Shows state image `value` on item, and with withDescendants on every
  // item below it.
  void SetStateImage(int value, HTREEITEM item, bool withDescendants);
  // The state image index of item.
  int GetStateImage(HTREEITEM item) const;
  // WM_LBUTTONDOWN: a click on a state icon toggles the item and its subtree
  // between chosen and not chosen, in the tree and in the document, and shows
  // the grey tick on every ancestor. Returns false for clicks elsewhere, which
  // go to the control's default processing.
  bool ToggleOnStateIcon(UINT modKeys, POINT point);
  // Toggles item exactly as a click on its state icon does: its subtree in
  // the tree and in the document, the grey tick on its ancestors. Refused
  // (false, nothing changes) while the choices are locked.
  bool ToggleItem(HTREEITEM item);
  // While locked (a run reads the choices), clicks on state icons and the
  // Space key change nothing.
  void SetChoicesLocked(bool locked) { ChoicesLocked = locked; }

 protected:
  bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void SetupWindow() override;

 private:
  // Inserts the items for element's children (but "Version" elements) and
  // their subtrees below item; collects the items to expand once the fill
  // is done, in the order the fill finishes them.
  void InsertChildren(TXmlTreeNode* element, HTREEITEM item, std::vector<HTREEITEM>& partlyChosen);

  // WM_KEYDOWN / WM_CHAR: Space on the selected item toggles it, as a click
  // on its box would; true when the key was taken.
  bool OnSpaceKey(UINT msg, WPARAM key);

  TImageList NormalImages;
  TImageList StateImages;
  bool ChoicesLocked = false;
};
