// The real main window made by the application's own start-up, driven with
// real messages: the dialog template, the frame, close rules, the keyboard in
// the framework's loop, the log, the pump and the guard against a second run.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app_window_helper.h"
#include "treeview/my_tree_wnd.h"

namespace {

RECT ChildRect(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class AppWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetQuit();
    App = new TTestMainWindow;
    ASSERT_TRUE(App->Started);
  }
  void TearDown() override {
    delete App;
    ForgetQuit();
  }
  TTestMainWindow* App = nullptr;
};

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
  } rows[] = {
      {103, "SysTreeView32", "", {4, 4, 284, 220}},
      {104, "Edit", "", {4, 226, 284, 268}},
      {101, "msctls_progress32", "", {4, 269, 284, 281}},
      {102, "Button", "下载安装", {294, 158, 344, 172}},
      {107, "Button", "取消下载", {294, 175, 344, 189}},
      {109, "Button", "卸载未选项", {294, 227, 344, 241}},
      {105, "Button", "帮  助", {294, 245, 344, 259}},
      {2, "Button", "退  出", {294, 265, 344, 279}},
  };
  for (const auto& row : rows) {
    HWND c = App->Control(row.id);
    ASSERT_NE(nullptr, c) << row.id;
    char cls[64], text[64];
    GetClassNameA(c, cls, sizeof cls);
    GetWindowTextA(c, text, sizeof text);
    EXPECT_STRCASEEQ(row.cls, cls) << row.id;
    EXPECT_STREQ(row.text, text) << row.id;  // GBK bytes, as the ANSI API gives them
    // The dialog manager converts position and size each on its own, so
    // the right and bottom edges carry the rounding of both.
    RECT expected = {row.dlu.left, row.dlu.top, row.dlu.right - row.dlu.left,
                     row.dlu.bottom - row.dlu.top};
    MapDialogRect(App->Dlg(), &expected);
    expected.right += expected.left;
    expected.bottom += expected.top;
    RECT actual = ChildRect(App->Dlg(), c);
    EXPECT_EQ(expected.left, actual.left) << row.id;
    EXPECT_EQ(expected.top, actual.top) << row.id;
    EXPECT_EQ(expected.right, actual.right) << row.id;
    EXPECT_EQ(expected.bottom, actual.bottom) << row.id;
  }
  EXPECT_EQ(MAKELONG(102, DC_HASDEFID), SendMessageA(App->Dlg(), DM_GETDEFID, 0, 0));

  const struct {
    int id;
    LONG has, lacks;
    LONG buttonType;  // -1: not a button
  } styles[] = {
      {103, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_TABSTOP, TVS_CHECKBOXES, -1},
      // Long lines wrap, and the user may type (the next refresh drops it).
      {104, ES_MULTILINE | WS_VSCROLL | WS_TABSTOP, ES_READONLY | ES_AUTOHSCROLL | WS_HSCROLL, -1},
      {101, 0, WS_TABSTOP, -1},
      {102, BS_CENTER | WS_TABSTOP, 0, BS_DEFPUSHBUTTON},
      {107, BS_CENTER | WS_TABSTOP, 0, BS_PUSHBUTTON},
      {109, BS_CENTER | WS_TABSTOP, 0, BS_PUSHBUTTON},
      {105, BS_CENTER | WS_TABSTOP, 0, BS_PUSHBUTTON},
      {2, WS_TABSTOP, BS_LEFT | BS_RIGHT, BS_PUSHBUTTON},  // no BS_CENTER
  };
  for (const auto& want : styles) {
    LONG style = GetWindowLongA(App->Control(want.id), GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE)) << want.id;
    EXPECT_EQ(want.has, style & want.has) << want.id;
    EXPECT_EQ(0, style & want.lacks) << want.id;
    if (want.buttonType >= 0) {
      EXPECT_EQ(want.buttonType, style & BS_TYPEMASK) << want.id;
    }
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

TEST_F(AppWindow, TabReachesTheTreeAndFollowsTheTemplateOrder) {
  const int order[] = {103, 104, 102, 107, 109, 105, 2, 103};
  HWND at = App->Control(order[0]);
  for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
    at = GetNextDlgTabItem(App->Dlg(), at, FALSE);
    EXPECT_EQ(order[i], GetDlgCtrlID(at)) << "after " << order[i - 1];
  }
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
  EXPECT_EQ(frame, GetParent(dlg));

  RECT size = {0, 0, 353, 287};
  MapDialogRect(dlg, &size);
  RECT frameClient, dlgClient;
  GetClientRect(frame, &frameClient);
  GetClientRect(dlg, &dlgClient);
  EXPECT_EQ(size.right, dlgClient.right);
  EXPECT_EQ(size.bottom, dlgClient.bottom);
  EXPECT_EQ(dlgClient.right, frameClient.right);
  EXPECT_EQ(dlgClient.bottom, frameClient.bottom);
  RECT placed = ChildRect(frame, dlg);
  EXPECT_EQ(-GetSystemMetrics(SM_CXBORDER), placed.left);
  EXPECT_EQ(-GetSystemMetrics(SM_CYBORDER), placed.top);

  // The image lists are attached by the set-up.
  EXPECT_NE(0, SendMessageA(App->Control(103), TVM_GETIMAGELIST, TVSIL_STATE, 0));
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

TEST_F(AppWindow, CloseRequestsAreRefusedDuringATransfer) {
  HWND frame = App->Frame(), dlg = App->Dlg();
  App->Dialog->Downloading = true;
  EXPECT_EQ(FALSE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Exit button
  SendMessageA(frame, WM_CLOSE, 0, 0);                                 // close box
  SendMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0);                     // system menu, Alt+F4
  SendMessageA(dlg, WM_CLOSE, 0, 0);                                   // Escape in the log
  DrainThroughLoop();
  EXPECT_TRUE(IsWindow(frame));
  EXPECT_TRUE(App->Dialog->IsWindowAlive());
  EXPECT_TRUE(App->Dialog->LogText.empty());

  App->Dialog->Downloading = false;
  EXPECT_EQ(TRUE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_FALSE(App->Dialog->IsWindowAlive());
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

TEST_F(AppWindow, EnterPressesTheFocusedButtonAndEscapeCloses) {
  TInstallZelmDlgClient& d = *App->Dialog;
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

TEST_F(AppWindow, TabMovesTheFocusInTheLoop) {
  PressKey(App->Control(102), VK_TAB);
  EXPECT_EQ(App->Control(107), GetFocus());
  PressKey(App->Control(2), VK_TAB);
  EXPECT_EQ(App->Control(103), GetFocus());
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

// The control's whole text, as the user sees it.
std::string ShownLog(HWND log) {
  std::string shown(GetWindowTextLengthA(log) + 1, '\0');
  shown.resize(GetWindowTextA(log, &shown[0], static_cast<int>(shown.size())));
  return shown;
}

// Whether the last line of text (the one before the empty line after the
// final "\r\n") lies inside the control's visible area, the view having
// been scrolled down to it.
::testing::AssertionResult EndIsShown(HWND log) {
  LRESULT lines = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
  LRESULT start = SendMessageA(log, EM_LINEINDEX, lines - 2, 0);
  LRESULT pos = SendMessageA(log, EM_POSFROMCHAR, start, 0);
  RECT client;
  GetClientRect(log, &client);
  int y = static_cast<short>(HIWORD(pos));
  LRESULT first = SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0);
  if (pos == -1 || y < 0 || y >= client.bottom || first == 0) {
    return ::testing::AssertionFailure() << "line " << lines - 2 << " of " << lines << " at y " << y
                                         << ", first visible line " << first;
  }
  return ::testing::AssertionSuccess();
}

void AddLogLines(TInstallZelmDlgClient& d, int from, int count) {
  for (int i = from; i < from + count; ++i) {
    d.LogText += "第" + std::to_string(i) + "行：正在下载北京2012建筑工程预算定额\r\n";
  }
}

TEST_F(AppWindow, LogShowsItsEndAfterEveryRefresh) {
  TInstallZelmDlgClient& d = *App->Dialog;
  HWND log = App->Control(104);
  for (int i = 1; i <= 300; ++i) {
    AddLogLines(d, i, 1);
    if (i % 50 == 0) {
      d.RefreshLog();
      int length = GetWindowTextLengthA(log);
      EXPECT_EQ(static_cast<int>(d.LogText.size()), length);
      EXPECT_TRUE(EndIsShown(log)) << i;
    }
  }
  // What the user typed is gone at the next refresh.
  SetWindowTextA(log, "typed");
  d.RefreshLog();
  EXPECT_EQ(d.LogText, ShownLog(log));
}

// Refreshes a few lines at a time, as a run does, far past the edit control's
// default limit (30,000 or 32,767 characters) and past 64 KB: nothing is cut
// off, the text stays exact and the end stays in view.
TEST_F(AppWindow, LongLogKeepsEveryLine) {
  TInstallZelmDlgClient& d = *App->Dialog;
  HWND log = App->Control(104);
  SetFocus(App->Control(102));  // as after a click on "download and install"
  int line = 0;
  for (int refresh = 1; d.LogText.size() < 200 * 1024; ++refresh) {
    AddLogLines(d, line, 4 + refresh % 5);  // four to eight lines per refresh
    line += 4 + refresh % 5;
    d.RefreshLog();
    if (refresh % 100 == 0) {
      ASSERT_EQ(d.LogText, ShownLog(log)) << line;
      ASSERT_TRUE(EndIsShown(log)) << line;
    }
  }
  EXPECT_EQ(d.LogText, ShownLog(log));
  EXPECT_TRUE(EndIsShown(log));
  // The user can scroll back to the first line.
  SendMessageA(log, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(0, SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0));
  char first[128] = {};
  *reinterpret_cast<WORD*>(first) = sizeof first - 1;
  first[SendMessageA(log, EM_GETLINE, 0, reinterpret_cast<LPARAM>(first))] = 0;
  EXPECT_STREQ("第0行：正在下载北京2012建筑工程预算定额", first);
}

// Whatever the user did to the control between two refreshes, the next
// refresh shows exactly the log, scrolled to its end, and the text the user
// typed is gone.
TEST(AppLog, RefreshAfterTheUserTouchedTheControl) {
  const struct {
    const char* what;
    void (*touch)(HWND log);
  } cases[] = {
      {"nothing", [](HWND) {}},
      {"typed at the end", [](HWND log) {
         for (char c : std::string("typed")) SendMessageA(log, WM_CHAR, c, 0);
       }},
      // Same length as before: only the modify flag tells.
      {"overtyped the first character", [](HWND log) {
         SendMessageA(log, EM_SETSEL, 0, 1);
         SendMessageA(log, WM_CHAR, 'x', 0);
       }},
      {"deleted the last line", [](HWND log) {
         LRESULT lines = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
         SendMessageA(log, EM_SETSEL, SendMessageA(log, EM_LINEINDEX, lines - 2, 0), 0x7FFFFFFE);
         SendMessageA(log, WM_CLEAR, 0, 0);
       }},
      {"typed, then undid it", [](HWND log) {
         SendMessageA(log, WM_CHAR, 'x', 0);
         SendMessageA(log, EM_UNDO, 0, 0);
       }},
      {"undid the last refresh", [](HWND log) { SendMessageA(log, EM_UNDO, 0, 0); }},
      {"set other text", [](HWND log) { SetWindowTextA(log, "other text\r\n"); }},
      {"emptied it", [](HWND log) { SetWindowTextA(log, ""); }},
      {"selected text", [](HWND log) { SendMessageA(log, EM_SETSEL, 3, 40); }},
      {"selected everything", [](HWND log) { SendMessageA(log, EM_SETSEL, 0, -1); }},
      {"scrolled to the top", [](HWND log) { SendMessageA(log, WM_VSCROLL, SB_TOP, 0); }},
      {"scrolled up a little", [](HWND log) { SendMessageA(log, EM_LINESCROLL, 0, -3); }},
      {"clicked into the first line", [](HWND log) {
         SendMessageA(log, WM_VSCROLL, SB_TOP, 0);
         SendMessageA(log, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
         SendMessageA(log, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
       }},
  };
  // With the focus in the log, where the caret shows, and elsewhere.
  for (bool focused : {true, false}) {
    for (const auto& c : cases) {
      ForgetQuit();
      TTestMainWindow app;
      ASSERT_TRUE(app.Started);
      TInstallZelmDlgClient& d = *app.Dialog;
      HWND log = app.Control(104);
      SetFocus(focused ? log : app.Control(102));
      const std::string what = std::string(c.what) + (focused ? ", focus in the log" : "");
      for (int i = 0; i < 40; i += 10) {
        AddLogLines(d, i, 10);
        d.RefreshLog();
      }
      c.touch(log);
      d.RefreshLog();  // nothing new: the same log, shown again
      EXPECT_EQ(d.LogText, ShownLog(log)) << what;
      EXPECT_TRUE(EndIsShown(log)) << what;
      c.touch(log);
      AddLogLines(d, 40, 3);
      d.RefreshLog();
      EXPECT_EQ(d.LogText, ShownLog(log)) << what;
      EXPECT_TRUE(EndIsShown(log)) << what;
      AddLogLines(d, 43, 1);
      d.RefreshLog();
      EXPECT_EQ(d.LogText, ShownLog(log)) << what;
      EXPECT_TRUE(EndIsShown(log)) << what;
      EXPECT_FALSE(SendMessageA(log, EM_GETMODIFY, 0, 0)) << what;
      if (GetFocus() == log) {
        // The caret is where setting the whole text leaves it: at the start,
        // out of view, not blinking below the last line.
        DWORD start = 1, end = 1;
        SendMessageA(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(0u, start) << what;
        EXPECT_EQ(0u, end) << what;
      }
    }
  }
  ForgetQuit();
}

// Once the window is gone, a refresh shows nothing and keeps the log.
TEST_F(AppWindow, RefreshAfterTheWindowClosedKeepsTheLog) {
  TInstallZelmDlgClient& d = *App->Dialog;
  AddLogLines(d, 0, 5);
  d.RefreshLog();
  PostMessageA(App->Frame(), WM_CLOSE, 0, 0);
  d.PumpMessages();
  ASSERT_FALSE(d.IsWindowAlive());
  AddLogLines(d, 5, 5);
  d.RefreshLog();
  d.RefreshLog();
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += "第" + std::to_string(i) + "行：正在下载北京2012建筑工程预算定额\r\n";
  EXPECT_EQ(expected, d.LogText);
  ForgetQuit();
}

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
  d.LogText += "下载中止。\r\n";
  d.RefreshLog();
  d.PumpMessages();
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

// While an installer runs, every close request is refused, the system's
// question before a logoff included; once it has ended, a close goes through.
TEST_F(AppWindow, NoCloseWhileAnInstallerRuns) {
  TInstallZelmDlgClient& d = *App->Dialog;
  d.InstallerRunning = true;
  PostMessageA(App->Frame(), WM_CLOSE, 0, 0);
  SendMessageA(App->Dlg(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  d.PumpMessages();
  EXPECT_TRUE(d.IsWindowAlive());
  EXPECT_EQ(FALSE, SendMessageA(App->Frame(), WM_QUERYENDSESSION, 0, 0));
  d.InstallerRunning = false;
  PostMessageA(App->Frame(), WM_CLOSE, 0, 0);
  d.PumpMessages();
  EXPECT_FALSE(d.IsWindowAlive());
  EXPECT_TRUE(QuitQueued());
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

// What the main window looks like at the moment it first becomes visible.
struct TFirstShow {
  TInstallZelmDlgClient* Dialog = nullptr;  // not owned
  HWND Frame = nullptr;
  bool Seen = false, DownloadDirSet = false, ImageListsAttached = false, Fitted = false;
} FirstShow;

LRESULT CALLBACK WatchFirstShow(int code, WPARAM wParam, LPARAM lParam) {
  const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
  TInstallZelmDlgClient* d = FirstShow.Dialog;
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
  struct TWatchedApp : TInstallZelmApp {
    void InitMainWindow() override {
      TInstallZelmApp::InitMainWindow();
      FirstShow.Dialog = static_cast<TInstallZelmDlgClient*>(GetMainWindow()->GetClientWindow());
      AddSampleCatalogue(FirstShow.Dialog->CatalogueDoc);
    }
    bool Start() { return InitInstance(); }
  };
  FirstShow = TFirstShow();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchFirstShow, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, hook);
  {
    TWatchedApp app;
    app.CmdShow = SW_SHOWNORMAL;
    EXPECT_TRUE(app.Start());
    UnhookWindowsHookEx(hook);
    ASSERT_TRUE(FirstShow.Seen);
    EXPECT_TRUE(FirstShow.DownloadDirSet);
    EXPECT_TRUE(FirstShow.ImageListsAttached);
    EXPECT_TRUE(FirstShow.Fitted);
  }
  FirstShow = TFirstShow();
  ForgetQuit();
}

TEST(AppRun, ClosingTheMainWindowEndsTheRunWithZero) {
  ForgetQuit();
  struct TClosingApp : TInstallZelmApp {
    bool InitInstance() override {
      if (!TInstallZelmApp::InitInstance()) return false;
      PostMessageA(GetMainWindow()->GetHandle(), WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    }
    void InitMainWindow() override {
      TInstallZelmApp::InitMainWindow();
      AddSampleCatalogue(
          static_cast<TInstallZelmDlgClient*>(GetMainWindow()->GetClientWindow())->CatalogueDoc);
    }
  } app;
  app.CmdShow = SW_SHOWNORMAL;
  EXPECT_EQ(0, app.Run());
  EXPECT_FALSE(app.GetMainWindow()->IsWindowAlive());
}

}  // namespace
