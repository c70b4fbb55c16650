#include "app/main_dialog.h"

#include <commctrl.h>

#include <cstdlib>
#include <ctime>

#include "app/support_log.h"
#include "app/support_records.h"
#include "framework/application.h"
#include "platform/win32_handles.h"
#include "treeview/my_tree_wnd.h"

TInstallZelmDlgClient::TInstallZelmDlgClient(TWindow* parent, int templateId, HINSTANCE module)
    : TDialog(parent, templateId, module),
      CatalogueDoc(nullptr, true),
      TreeWnd(new TMyTreeWnd(this, kIdTree, module)) {}

TInstallZelmDlgClient::~TInstallZelmDlgClient() {
  // The window goes first, so that no tree item outlives the document that
  // its item data points into.
  Destroy();
  SupportLog().WriteWindowLines(LogText, LogSavedBytes);  // lines never refreshed
  SupportLog().Unfollow(&LogText);
}

void TInstallZelmDlgClient::SetupWindow() {
  TDialog::SetupWindow();  // attaches TreeWnd and its image lists
  srand(static_cast<unsigned>(time(nullptr)));
  ResolveDownloadDir();
  RecordProgramStart(DownloadDir);
  SupportLog().Follow(&LogText, &LogSavedBytes);
  FetchCatalogue();
}

bool TInstallZelmDlgClient::EraseBackground(HDC dc) {
  TGdiObject brush(CreateSolidBrush(kDialogBackground));
  HGDIOBJ old = SelectObject(dc, brush.Get());
  RECT rc;
  GetClientRect(HWindow, &rc);
  PatBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, PATCOPY);
  SelectObject(dc, old);
  return true;
}

bool TInstallZelmDlgClient::CanClose() {
  // Closing under a running installer would leave it half done with nobody
  // to report how it ended.
  return !Downloading && !InstallerRunning && TDialog::CanClose();
}

namespace {

// A position past the end of any text: the edit control takes it as the end.
const long kPastTheEnd = 0x7FFFFFFE;

// Puts the caret at the end of the control's text and returns its position,
// which is the text's length in the control's own units. The control works
// that position out from the start of its text.
long MoveCaretToEnd(HWND edit) {
  SendMessageA(edit, EM_SETSEL, kPastTheEnd, kPastTheEnd);
  DWORD end = 0;
  SendMessageA(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
  return static_cast<long>(end);
}

}  // namespace

bool TInstallZelmDlgClient::LogStillShown(HWND log) const {
  // Typing, pasting, cutting and undoing set the modify flag, which every
  // refresh clears.
  if (LogShownEnd <= 0 || LogShownBytes > LogText.size() || SendMessageA(log, EM_GETMODIFY, 0, 0)) return false;
  // Text set from elsewhere puts the caret at the start, so a caret still
  // at the end the last refresh left shows an untouched control.
  DWORD start = 0, end = 0;
  SendMessageA(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start == end && static_cast<long>(end) == LogShownEnd) return true;
  // The caret was moved (a click, a selection, the focus): the length tells.
  return MoveCaretToEnd(log) == LogShownEnd;
}

void TInstallZelmDlgClient::RefreshLog() {
  // Every writer refreshes, so this one place gives the support log every
  // line the window shows, also once the window is gone.
  SupportLog().WriteWindowLines(LogText, LogSavedBytes);
  if (!HWindow) return;  // closed during a run: LogText keeps the lines
  HWND log = GetDlgItem(HWindow, kIdLog);
  if (!log) return;
  // Setting the whole text makes the control lay out the whole log again,
  // so a long run would slow down with every line; adding only the new part
  // at the caret, left at the end, costs that part. That is safe only while
  // the control holds exactly what the last refresh left there.
  if (!LogStillShown(log)) {
    // The default limit (30,000 or 32,767 characters) would cut off the
    // appended lines; the user must be able to scroll back to any of them.
    SendMessageA(log, EM_SETLIMITTEXT, 0, 0);
    SetWindowTextA(log, LogText.c_str());
    MoveCaretToEnd(log);
  } else if (LogShownBytes < LogText.size()) {
    // Not undoable: Ctrl+Z must not take lines out of the log.
    SendMessageA(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(LogText.c_str() + LogShownBytes));
  }
  SendMessageA(log, EM_SETMODIFY, FALSE, 0);
  DWORD end = 0;
  SendMessageA(log, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
  LogShownBytes = LogText.size();
  LogShownEnd = static_cast<long>(end);
  // Setting the whole text leaves the caret at the start, out of view; where
  // the user would see it, it goes back there (moving it scrolls the view,
  // which costs as much as an append, so only then).
  if (GetFocus() == log) SendMessageA(log, EM_SETSEL, 0, 0);
  // The control stops at its last page, so this shows the end of the log.
  LRESULT lines = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
  SendMessageA(log, EM_LINESCROLL, 0, lines);
}

bool TInstallZelmDlgClient::Pump() {
  PumpMessages();
  return IsWindowAlive();
}

void TInstallZelmDlgClient::ShowProgress(unsigned percent) {
  SendDlgItemMessageA(HWindow, kIdProgress, PBM_SETPOS, percent, 0);
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
    // With the dialog's keys too: a run waits for minutes on an installer,
    // and the keyboard must reach the cancel button meanwhile.
    TApplication::ProcessMessage(msg);
  }
}
