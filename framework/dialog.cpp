#include "framework/dialog.h"

TDialog::TDialog(TWindow* parent, int templateId, HINSTANCE module)
    : TWindow(parent, nullptr, module), TemplateId(templateId) {}

TDialog::~TDialog() { Destroy(); }

INT_PTR CALLBACK TDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
  // Only the first message matters here: from then on the window procedure is
  // our thunk, which sees every message before the dialog manager does.
  if (msg == WM_INITDIALOG) {
    reinterpret_cast<TDialog*>(lParam)->Attach(hwnd);
    return TRUE;
  }
  return FALSE;
}

bool TDialog::Create() {
  if (HWindow) return true;
  HWND parentHwnd = Parent ? Parent->GetHandle() : nullptr;
  HWND hwnd = CreateDialogParamA(Module, MAKEINTRESOURCEA(TemplateId), parentHwnd,
                                 &TDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (!hwnd) return false;
  SetupWindow();
  return HWindow != nullptr;
}

void TDialog::CloseRequest() {
  if (Parent && Parent->GetHandle()) {
    SendMessageA(Parent->GetHandle(), WM_CLOSE, 0, 0);
  } else if (CanClose()) {
    Destroy();
  }
}

bool TDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  static const TMessageEntry kTable[] = {
      {WM_COMMAND, IDCANCEL,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         static_cast<TDialog&>(w).CloseRequest();
         return true;
       }},
      {WM_CLOSE, 0,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         static_cast<TDialog&>(w).CloseRequest();
         return true;
       }},
  };
  return SearchMessageTable(kTable, *this, msg, wParam, lParam, result) ||
         TWindow::Dispatch(msg, wParam, lParam, result);
}
