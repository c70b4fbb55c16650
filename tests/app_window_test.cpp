// The real main window made by the application's own start-up, driven with
// real messages: the dialog template, the frame, close rules, the keyboard in
// the framework's loop and the background.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app_window_helper.h"
#include "treeview/my_tree_wnd.h"

namespace {

// The live controls: classes, GBK captions, the styles that decide how they
// behave, and dialog units converted with the dialog's font, 9-point 宋体.
// (WS_BORDER is not checked: the common controls trade it for an edge of
// their own once made.)
TEST_F(AppWindow, ControlsFollowTheTemplate) {
  const struct {
    int id;
    const char* cls;
    const char* text;
    RECT dlu;  // left, top, right, bottom
    LONG has, lacks;
    LONG buttonType;  // -1: not a button
  } rows[] = {
      {103, "SysTreeView32", "", {4, 4, 284, 220},
       TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_TABSTOP, TVS_CHECKBOXES, -1},
      // Long lines wrap, and the user may type (the next refresh drops it).
      {104, "Edit", "", {4, 226, 284, 268},
       ES_MULTILINE | WS_VSCROLL | WS_TABSTOP, ES_READONLY | ES_AUTOHSCROLL | WS_HSCROLL, -1},
      {101, "msctls_progress32", "", {4, 269, 284, 281}, 0, WS_TABSTOP, -1},
      {102, "Button", "下载安装", {294, 158, 344, 172}, BS_CENTER | WS_TABSTOP, 0,
       BS_DEFPUSHBUTTON},
      {107, "Button", "取消下载", {294, 175, 344, 189}, BS_CENTER | WS_TABSTOP, 0, BS_PUSHBUTTON},
      {109, "Button", "卸载未选项", {294, 227, 344, 241}, BS_CENTER | WS_TABSTOP, 0, BS_PUSHBUTTON},
      {105, "Button", "帮  助", {294, 245, 344, 259}, BS_CENTER | WS_TABSTOP, 0, BS_PUSHBUTTON},
      // Exit has no BS_CENTER.
      {2, "Button", "退  出", {294, 265, 344, 279}, WS_TABSTOP, BS_LEFT | BS_RIGHT, BS_PUSHBUTTON},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    HWND c = App->Control(row.id);
    ASSERT_NE(nullptr, c);
    char cls[64], text[64];
    GetClassNameA(c, cls, sizeof cls);
    GetWindowTextA(c, text, sizeof text);
    EXPECT_STRCASEEQ(row.cls, cls);
    EXPECT_STREQ(row.text, text);  // GBK bytes, as the ANSI API gives them
    // The dialog manager converts position and size each on its own, so
    // the right and bottom edges carry the rounding of both.
    RECT expected = {row.dlu.left, row.dlu.top, row.dlu.right - row.dlu.left,
                     row.dlu.bottom - row.dlu.top};
    MapDialogRect(App->Dlg(), &expected);
    RECT actual;
    GetWindowRect(c, &actual);
    MapWindowPoints(nullptr, App->Dlg(), reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.left + expected.right, actual.right);
    EXPECT_EQ(expected.top + expected.bottom, actual.bottom);

    LONG style = GetWindowLongA(c, GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(row.has, style & row.has);
    EXPECT_EQ(0, style & row.lacks);
    if (row.buttonType >= 0) {
      EXPECT_EQ(row.buttonType, style & BS_TYPEMASK);
    }
  }
  EXPECT_EQ(MAKELONG(102, DC_HASDEFID), SendMessageA(App->Dlg(), DM_GETDEFID, 0, 0));
  // Tab reaches the tree and follows the template's order.
  const int order[] = {103, 104, 102, 107, 109, 105, 2, 103};
  HWND at = App->Control(order[0]);
  for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
    at = GetNextDlgTabItem(App->Dlg(), at, FALSE);
    EXPECT_EQ(order[i], GetDlgCtrlID(at)) << "after " << order[i - 1];
  }
  int children = 0;
  for (HWND c = GetWindow(App->Dlg(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++children;
  EXPECT_EQ(8, children);

  LOGFONTA font = {};
  ASSERT_NE(0, GetObjectA(reinterpret_cast<HFONT>(SendMessageA(App->Dlg(), WM_GETFONT, 0, 0)),
                          sizeof font, &font));
  EXPECT_STREQ("宋体", font.lfFaceName);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(-MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72), font.lfHeight);
  ReleaseDC(nullptr, screen);
}

TEST_F(AppWindow, FrameIsFixedSizeAndFitsTheDialog) {
  HWND frame = App->Frame(), dlg = App->Dlg();
  LONG style = GetWindowLongA(frame, GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(kFrameStylesAdded), style & static_cast<LONG>(kFrameStylesAdded));
  EXPECT_EQ(0, style & ~static_cast<LONG>(kFrameStylesMask));  // no child, sizing border, maximise box
  EXPECT_TRUE(IsWindowVisible(frame));
  char caption[64];
  GetWindowTextA(frame, caption, sizeof caption);
  EXPECT_STREQ("沃蒙在线安装", caption);
  EXPECT_NE(0, SendMessageA(frame, WM_GETICON, ICON_BIG, 0));
  EXPECT_NE(0, SendMessageA(frame, WM_GETICON, ICON_SMALL, 0));

  LONG dlgStyle = GetWindowLongA(dlg, GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_BORDER),
            dlgStyle & (WS_CHILD | WS_VISIBLE | WS_BORDER | WS_POPUP | WS_DLGFRAME | WS_THICKFRAME));
  EXPECT_EQ(0, GetWindowLongA(dlg, GWL_EXSTYLE) &
                   (WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE));

  RECT size = {0, 0, 353, 287};
  MapDialogRect(dlg, &size);
  RECT frameClient, dlgClient;
  GetClientRect(frame, &frameClient);
  GetClientRect(dlg, &dlgClient);
  EXPECT_EQ(size.right, dlgClient.right);
  EXPECT_EQ(size.bottom, dlgClient.bottom);
  EXPECT_EQ(dlgClient.right, frameClient.right);
  EXPECT_EQ(dlgClient.bottom, frameClient.bottom);
  // The real dialog, once the frame shows: its border just outside the
  // frame's client area.
  POINT origin = {0, 0};
  ClientToScreen(frame, &origin);
  RECT placed;
  GetWindowRect(dlg, &placed);
  EXPECT_EQ(origin.x - GetSystemMetrics(SM_CXBORDER), placed.left);
  EXPECT_EQ(origin.y - GetSystemMetrics(SM_CYBORDER), placed.top);
}

TEST(AppShowCommand, MaximisedAndMinimisedStartsOpenNormally) {
  const struct {
    int given, shown;
  } cases[] = {{SW_HIDE, SW_HIDE}, {SW_SHOWNORMAL, SW_SHOWNORMAL}, {SW_SHOWMINIMIZED, SW_SHOWNORMAL},
               {SW_SHOWMAXIMIZED, SW_SHOWNORMAL}, {SW_SHOWNOACTIVATE, SW_SHOWNORMAL},
               {SW_SHOW, SW_SHOWNORMAL}, {SW_MINIMIZE, SW_SHOWNORMAL},
               {SW_SHOWMINNOACTIVE, SW_SHOWMINNOACTIVE}, {SW_SHOWNA, SW_SHOWNORMAL},
               {SW_RESTORE, SW_SHOWNORMAL}, {SW_SHOWDEFAULT, SW_SHOWNORMAL}};
  for (const auto& c : cases) EXPECT_EQ(c.shown, AdjustShowCommand(c.given)) << c.given;

  const struct {
    int given;
    bool visible, iconic, zoomed;
  } starts[] = {{SW_SHOWMAXIMIZED, true, false, false},
                {SW_SHOWMINIMIZED, true, false, false},
                {SW_SHOWMINNOACTIVE, true, true, false},
                {SW_HIDE, false, false, false}};
  for (const auto& s : starts) {
    TTestMainWindow app(s.given);
    ASSERT_TRUE(app.Started);
    EXPECT_EQ(s.visible, IsWindowVisible(app.Frame()) != FALSE) << s.given;
    EXPECT_EQ(s.iconic, IsIconic(app.Frame()) != FALSE) << s.given;
    EXPECT_EQ(s.zoomed, IsZoomed(app.Frame()) != FALSE) << s.given;
  }
  ForgetQuit();
}

// While a transfer or an installer runs, every close request is refused, the
// system's question before a logoff included; once it has ended, a close
// goes through and ends the program with 0.
TEST_F(AppWindow, CloseRequestsAreRefusedDuringATransferOrAnInstaller) {
  HWND frame = App->Frame(), dlg = App->Dlg();
  TInstallZelmDlgClient& d = *App->Dialog;
  for (bool* busy : {&d.Downloading, &d.InstallerRunning}) {
    *busy = true;
    EXPECT_EQ(FALSE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Exit button
    SendMessageA(frame, WM_CLOSE, 0, 0);                                 // close box
    SendMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0);                     // system menu, Alt+F4
    SendMessageA(dlg, WM_CLOSE, 0, 0);                                   // Escape in the log
    PostMessageA(frame, WM_CLOSE, 0, 0);                                 // during the run's pump
    d.PumpMessages();
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_TRUE(d.IsWindowAlive());
    EXPECT_TRUE(d.LogText.empty());
    *busy = false;
  }
  EXPECT_EQ(TRUE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_FALSE(d.IsWindowAlive());
  WPARAM code = 99;
  EXPECT_TRUE(QuitQueued(&code));
  EXPECT_EQ(0u, code);
}

// A key press as the framework's loop gets it from the queue.
void PressKey(HWND focus, WPARAM key) {
  // Focus as the dialog manager moves it, default button included.
  SendMessageA(GetParent(focus), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
  MSG msg = {focus, WM_KEYDOWN, key, 1, GetTickCount(), {}};
  TApplication::ProcessMessage(msg);
  msg.message = WM_KEYUP;
  msg.lParam = 0xC0000001;
  TApplication::ProcessMessage(msg);
  DrainThroughLoop();
}

// In the framework's loop Tab moves the focus, Enter presses the focused
// button and Escape closes unless a transfer runs.
TEST_F(AppWindow, DialogKeysWorkInTheLoop) {
  TInstallZelmDlgClient& d = *App->Dialog;
  PressKey(App->Control(102), VK_TAB);
  EXPECT_EQ(App->Control(107), GetFocus());
  PressKey(App->Control(2), VK_TAB);
  EXPECT_EQ(App->Control(103), GetFocus());
  PressKey(App->Control(107), VK_RETURN);  // the cancel button has the focus
  EXPECT_TRUE(d.CancelRequested);
  PressKey(App->Control(104), VK_RETURN);  // in the log: the default button
  EXPECT_FALSE(d.CancelRequested);         // download-and-install cleared it
  EXPECT_TRUE(IsWindow(App->Frame()));

  d.Downloading = true;
  PressKey(App->Control(107), VK_ESCAPE);
  EXPECT_TRUE(IsWindow(App->Frame()));
  d.Downloading = false;
  PressKey(App->Control(107), VK_ESCAPE);
  EXPECT_FALSE(IsWindow(App->Frame()));
  EXPECT_TRUE(QuitQueued());
}

// The keyboard works also while a run pumps: Tab moves on (past a greyed
// button), Space presses the focused button, Escape is a close request that
// a running installer refuses.
TEST_F(AppWindow, DialogKeysWorkInTheRunsPump) {
  TInstallZelmDlgClient& d = *App->Dialog;
  auto keyInPump = [&](HWND focus, WPARAM key) {
    SendMessageA(App->Dlg(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    d.PumpMessages();
  };
  EnableWindow(App->Control(109), FALSE);
  keyInPump(App->Control(107), VK_TAB);
  EXPECT_EQ(App->Control(105), GetFocus());
  EnableWindow(App->Control(109), TRUE);
  keyInPump(App->Control(107), VK_SPACE);
  EXPECT_TRUE(d.CancelRequested);
  d.InstallerRunning = true;
  keyInPump(App->Control(107), VK_ESCAPE);
  EXPECT_TRUE(d.IsWindowAlive());
  d.InstallerRunning = false;
}

TEST_F(AppWindow, BackgroundIsPaintedInTheDialogColour) {
  HWND dlg = App->Dlg();
  RECT rc;
  GetClientRect(dlg, &rc);
  HDC screen = GetDC(dlg);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, rc.right, rc.bottom);
  HGDIOBJ old = SelectObject(dc, bmp);
  EXPECT_EQ(1, SendMessageA(dlg, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(RGB(234, 230, 217), GetPixel(dc, 0, 0));
  EXPECT_EQ(RGB(234, 230, 217), GetPixel(dc, rc.right - 1, rc.bottom - 1));
  EXPECT_EQ(RGB(234, 230, 217), GetPixel(dc, rc.right / 2, rc.bottom / 2));
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(dlg, screen);
}

// The sample catalogue in the real window: every element but the "Version"
// ones is one item, and opening a closed group and selecting a package, as a
// user would, adds or loses none.
TEST_F(AppWindow, SampleCatalogueShowsEveryItemOnceOpened) {
  TInstallZelmDlgClient& d = *App->Dialog;
  d.TreeWnd->FillTreeItem(&d.CatalogueDoc, TVI_ROOT);
  HTREEITEM bj = d.TreeWnd->GetNextItem(nullptr, TVGN_ROOT);
  HTREEITEM sh = d.TreeWnd->GetNextItem(bj, TVGN_NEXT);
  d.TreeWnd->Expand(sh, TVE_EXPAND);
  HTREEITEM first = d.TreeWnd->GetNextItem(bj, TVGN_CHILD);
  SendMessageA(d.TreeWnd->GetHandle(), TVM_SELECTITEM, TVGN_CARET,
               reinterpret_cast<LPARAM>(d.TreeWnd->GetNextItem(first, TVGN_NEXT)));
  EXPECT_EQ(13, d.TreeWnd->GetCount());
}

}  // namespace
