// TDialog: a modeless dialog made from a template resource.
//
// The dialog is either top-level or the client of a frame (TDecoratedFrame),
// which turns it into a plain child window. Command IDCANCEL (the Escape key,
// a button with id 2) and WM_CLOSE are close requests: they close the frame
// the dialog lives in, or the dialog itself when it has no parent; the frame
// asks CanClose first.
#pragma once

#include "framework/window.h"

class TDialog : public TWindow {
 public:
  // templateId: the DIALOG resource; module: where it lives (null: the program).
  TDialog(TWindow* parent, int templateId, HINSTANCE module = nullptr);
  ~TDialog() override;

  // CreateDialogParamA, then SetupWindow. The window starts hidden unless the
  // template says WS_VISIBLE.
  bool Create() override;

 protected:
  bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void CloseRequest();

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  int TemplateId;
};
