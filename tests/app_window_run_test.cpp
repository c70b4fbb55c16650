// The real main window during and around a run: the pump, the guard against
// a second run, the help button and the first show after the set-up.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app_window_helper.h"

namespace {

TEST_F(AppWindow, PumpDispatchesEverythingWaitingAndKeepsTheQuitRequest) {
  TInstallZelmDlgClient& d = *App->Dialog;
  PostMessageA(App->Dlg(), WM_COMMAND, MAKEWPARAM(107, BN_CLICKED), 0);
  d.PumpMessages();
  EXPECT_TRUE(d.CancelRequested);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

  // Closed between two transfers: the window goes, the object and its fields
  // stay usable, and the quit request outlives the pump.
  d.CancelRequested = false;
  PostMessageA(App->Frame(), WM_CLOSE, 0, 0);
  d.PumpMessages();
  EXPECT_FALSE(d.IsWindowAlive());
  EXPECT_EQ(nullptr, d.GetHandle());
  // A refresh then shows nothing and keeps the log.
  d.LogText += "下载中止。\r\n";
  d.RefreshLog();
  d.RefreshLog();
  d.PumpMessages();
  EXPECT_EQ("下载中止。\r\n", d.LogText);
  EXPECT_EQ(0, SendDlgItemMessageA(d.GetHandle(), 101, PBM_SETPOS, 50, 0));
  EXPECT_TRUE(QuitQueued());
}

TEST_F(AppWindow, ASecondRunCannotStartInsideARunningOne) {
  TInstallZelmDlgClient& d = *App->Dialog;
  d.RunInProgress = true;
  d.CancelRequested = true;
  SendMessageA(App->Dlg(), WM_COMMAND, MAKEWPARAM(102, BN_CLICKED), 0);
  EXPECT_TRUE(d.CancelRequested);  // the run that clears it never started
  std::string before = d.LogText;
  SendMessageA(App->Dlg(), WM_COMMAND, MAKEWPARAM(109, BN_CLICKED), 0);
  EXPECT_EQ(before, d.LogText);

  d.RunInProgress = false;
  SendMessageA(App->Dlg(), WM_COMMAND, MAKEWPARAM(102, BN_CLICKED), 0);
  EXPECT_FALSE(d.CancelRequested);
  EXPECT_FALSE(d.RunInProgress);  // released when the run returns
}

// The help button with no help file beside the program (the tests run from
// a folder without InstallZelm.chm): nothing is logged and the program goes
// on as before.
TEST_F(AppWindow, HelpWithoutTheHelpFileChangesNothing) {
  TInstallZelmDlgClient& d = *App->Dialog;
  ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("InstallZelm.chm"));
  SendMessageA(App->Dlg(), WM_COMMAND, MAKEWPARAM(105, BN_CLICKED), 0);
  DrainThroughLoop();
  EXPECT_TRUE(d.LogText.empty());
  EXPECT_FALSE(d.CancelRequested);
  EXPECT_FALSE(d.Downloading);
  EXPECT_TRUE(IsWindow(App->Frame()));
  EXPECT_TRUE(d.IsWindowAlive());
}

// What the main window looks like at the moment it first becomes visible.
struct TFirstShow {
  bool Seen = false, DownloadDirSet = false, ImageListsAttached = false, Fitted = false;
} FirstShow;

LRESULT CALLBACK WatchFirstShow(int code, WPARAM wParam, LPARAM lParam) {
  const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
  TInstallZelmDlgClient* d = TTestMainWindow::LastMade;
  if (code == HC_ACTION && !FirstShow.Seen && d && cwp->message == WM_SHOWWINDOW && cwp->wParam &&
      d->GetParentObject() && cwp->hwnd == d->GetParentObject()->GetHandle()) {
    FirstShow.Seen = true;
    FirstShow.DownloadDirSet = d->DownloadDir[0] != 0;
    HWND tree = GetDlgItem(d->GetHandle(), 103);
    FirstShow.ImageListsAttached = SendMessageA(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0) &&
                                   SendMessageA(tree, TVM_GETIMAGELIST, TVSIL_STATE, 0);
    RECT frameClient, dlgClient;
    GetClientRect(cwp->hwnd, &frameClient);
    GetClientRect(d->GetHandle(), &dlgClient);
    FirstShow.Fitted = GetParent(d->GetHandle()) == cwp->hwnd &&
                       frameClient.right == dlgClient.right && frameClient.bottom == dlgClient.bottom;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Nothing is on screen before the dialog's set-up (download folder, image
// lists) has run and the frame has been fitted around the dialog.
TEST(AppStart, MainWindowIsShownOnlyAfterTheSetUp) {
  ForgetQuit();
  TTestMainWindow::LastMade = nullptr;
  FirstShow = TFirstShow();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchFirstShow, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, hook);
  {
    TTestMainWindow app;
    UnhookWindowsHookEx(hook);
    EXPECT_TRUE(app.Started);
    ASSERT_TRUE(FirstShow.Seen);
    EXPECT_TRUE(FirstShow.DownloadDirSet);
    EXPECT_TRUE(FirstShow.ImageListsAttached);
    EXPECT_TRUE(FirstShow.Fitted);
  }
  ForgetQuit();
}

}  // namespace
