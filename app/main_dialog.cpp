#include "app/main_dialog.h"

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
