// The main window with a sample catalogue, as a user sees it after a run.
// With IZ_SCREENSHOT_HOLD_MS set (tests/app_window_screenshot.sh does) the
// window stays up that long at the desktop's top-left corner, and its outer
// size is written to IZ_SCREENSHOT_RECT, so the script can take its picture.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/build_settings.h"
#include "app_window_helper.h"
#include "treeview/my_tree_wnd.h"

namespace {

TEST(AppWindowScreenshot, SampleCatalogueWithAFinishedRun) {
  TTestMainWindow app;
  ASSERT_TRUE(app.Started);
  TInstallZelmDlgClient& d = *app.Dialog;
  d.TreeWnd->FillTreeItem(&d.CatalogueDoc, TVI_ROOT);
  // Open the Shanghai group too and select a package, as a user would.
  HTREEITEM bj = d.TreeWnd->GetNextItem(nullptr, TVGN_ROOT);
  HTREEITEM sh = d.TreeWnd->GetNextItem(bj, TVGN_NEXT);
  d.TreeWnd->Expand(sh, TVE_EXPAND);
  HTREEITEM first = d.TreeWnd->GetNextItem(bj, TVGN_CHILD);
  SendMessageA(d.TreeWnd->GetHandle(), TVM_SELECTITEM, TVGN_CARET,
               reinterpret_cast<LPARAM>(d.TreeWnd->GetNextItem(first, TVGN_NEXT)));
  EXPECT_EQ(13, d.TreeWnd->GetCount());

  d.LogText += std::string("正在下载\"北京2012建筑工程预算定额\"...\r\nfrom ") + BaseUrl1 +
               "\r\n下载完成 812.44KB/S\r\n现在安装\"北京2012建筑工程预算定额\"...\r\n安装完成。\r\n"
               "正在下载\"北京2012安装工程预算定额\"...\r\nfrom " + BaseUrl2 + "\r\n";
  d.RefreshLog();
  SendDlgItemMessageA(d.GetHandle(), 101, PBM_SETPOS, 62, 0);

  const char* hold = getenv("IZ_SCREENSHOT_HOLD_MS");
  if (!hold) return;
  HWND frame = app.Frame();
  SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
  SetForegroundWindow(frame);
  RECT r;
  GetWindowRect(frame, &r);
  if (const char* rectFile = getenv("IZ_SCREENSHOT_RECT")) {
    if (FILE* f = fopen(rectFile, "w")) {
      fprintf(f, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
      fclose(f);
    }
  }
  DWORD end = GetTickCount() + static_cast<DWORD>(atoi(hold));
  while (GetTickCount() < end) {
    DrainThroughLoop();
    Sleep(20);
  }
}

}  // namespace
