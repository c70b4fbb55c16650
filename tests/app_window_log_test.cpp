// The log control of the real main window: it shows its end after every
// refresh, keeps every line of a long log, and survives a user who touched
// it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app_window_helper.h"

namespace {

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
      SCOPED_TRACE(std::string(c.what) + (focused ? ", focus in the log" : ""));
      for (int i = 0; i < 40; i += 10) {
        AddLogLines(d, i, 10);
        d.RefreshLog();
      }
      // Touched before a refresh with nothing new, and before one with new
      // lines; the refresh after that comes untouched.
      for (int lines : {0, 3, 1}) {
        if (lines != 1) c.touch(log);
        AddLogLines(d, 40, lines);
        d.RefreshLog();
        EXPECT_EQ(d.LogText, ShownLog(log)) << lines;
        EXPECT_TRUE(EndIsShown(log)) << lines;
      }
      EXPECT_FALSE(SendMessageA(log, EM_GETMODIFY, 0, 0));
      if (GetFocus() == log) {
        // The caret is where setting the whole text leaves it: at the start,
        // out of view, not blinking below the last line.
        DWORD start = 1, end = 1;
        SendMessageA(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(0u, start);
        EXPECT_EQ(0u, end);
      }
    }
  }
  ForgetQuit();
}

}  // namespace
