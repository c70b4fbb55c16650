#include "app/main_dialog.h"

#include <htmlhelp.h>

#include <cstdlib>
#include <ctime>

#include "treeview/my_tree_wnd.h"

TInstallZelmDlgClient::TInstallZelmDlgClient(TWindow* parent, int templateId, HINSTANCE module)
    : TDialog(parent, templateId, module),
      CatalogueDoc(nullptr, true),
      TreeWnd(new TMyTreeWnd(this, kIdTree, module)) {}

TInstallZelmDlgClient::~TInstallZelmDlgClient() {
  // The window goes first, so that no tree item outlives the document that
  // its item data points into.
  Destroy();
}

void TInstallZelmDlgClient::SetupWindow() {
  TDialog::SetupWindow();  // attaches TreeWnd and its image lists
  srand(static_cast<unsigned>(time(nullptr)));
  ResolveDownloadDir();
  FetchCatalogue();
}

bool TInstallZelmDlgClient::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  static const TMessageEntry kTable[] = {
      {WM_COMMAND, kIdCancelDownload,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         static_cast<TInstallZelmDlgClient&>(w).CmCancelDownload();
         return true;
       }},
      {WM_COMMAND, kIdDownloadInstall,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         static_cast<TInstallZelmDlgClient&>(w).RunExclusive(
             &TInstallZelmDlgClient::CmDownloadInstall);
         return true;
       }},
      {WM_ERASEBKGND, 0,
       [](TWindow& w, WPARAM wp, LPARAM, LRESULT& r) {
         r = static_cast<TInstallZelmDlgClient&>(w).EraseBackground(reinterpret_cast<HDC>(wp));
         return true;
       }},
      {WM_COMMAND, kIdUninstallUnselected,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         static_cast<TInstallZelmDlgClient&>(w).RunExclusive(
             &TInstallZelmDlgClient::CmUninstallUnselected);
         return true;
       }},
      {WM_COMMAND, kIdHelp,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         static_cast<TInstallZelmDlgClient&>(w).CmHelp();
         return true;
       }},
  };
  return SearchMessageTable(kTable, *this, msg, wParam, lParam, result) ||
         TDialog::Dispatch(msg, wParam, lParam, result);
}

void TInstallZelmDlgClient::RunExclusive(void (TInstallZelmDlgClient::*command)()) {
  // A click handled by the pump of a running command would start a second
  // run over the same document and flags; such clicks are dropped.
  if (RunInProgress) return;
  RunInProgress = true;
  (this->*command)();
  RunInProgress = false;
}

bool TInstallZelmDlgClient::EraseBackground(HDC dc) {
  HBRUSH brush = CreateSolidBrush(kDialogBackground);
  HGDIOBJ old = SelectObject(dc, brush);
  RECT rc;
  GetClientRect(HWindow, &rc);
  PatBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, PATCOPY);
  SelectObject(dc, old);
  DeleteObject(brush);
  return true;
}

void TInstallZelmDlgClient::CmCancelDownload() { CancelRequested = true; }

void TInstallZelmDlgClient::CmHelp() {
  HtmlHelpA(HWindow, "InstallZelm.chm::/html/main.htm>simple", HH_DISPLAY_TOPIC, 0);
}

bool TInstallZelmDlgClient::CanClose() { return !Downloading && TDialog::CanClose(); }

void TInstallZelmDlgClient::RefreshLog() {
  if (!HWindow) return;  // closed during a run: LogText keeps the lines
  SetDlgItemTextA(HWindow, kIdLog, LogText.c_str());
  LRESULT lines = SendDlgItemMessageA(HWindow, kIdLog, EM_GETLINECOUNT, 0, 0);
  SendDlgItemMessageA(HWindow, kIdLog, EM_LINESCROLL, 0, lines);
}

void TInstallZelmDlgClient::PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The main window was closed between two steps of a run. Leave the
      // request in the queue for the application's loop, which ends the
      // program once the run has returned.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}
