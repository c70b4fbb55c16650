// The window framework over real Win32 windows: message-table dispatch order,
// detaching on destruction, ownership of child objects, frames fitted to
// their client, close requests and the application's run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/decorated_frame.h"
#include "framework/window.h"

namespace {

const UINT kMsgBoth = WM_APP + 1;      // in the base and the derived table
const UINT kMsgBaseOnly = WM_APP + 2;  // only in the base table
const UINT kMsgPassOn = WM_APP + 3;    // derived handler declines
const UINT kMsgNone = WM_APP + 4;      // in no table
const UINT kCmd = 300;

std::vector<std::string> Calls;

bool Took(const char* call, LRESULT result, LRESULT& res) {
  Calls.push_back(call);
  res = result;
  return true;
}

class TBaseWin : public TWindow {
 public:
  TBaseWin() : TWindow(nullptr, "base") { Attr.Style = WS_OVERLAPPEDWINDOW; }

 protected:
  bool Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
    static const TMessageEntry kTable[] = {
        {kMsgBoth, 0, [](TWindow&, WPARAM, LPARAM, LRESULT& res) { return Took("base-both", 1, res); }},
        {kMsgBaseOnly, 0, [](TWindow&, WPARAM, LPARAM, LRESULT& res) { return Took("base-only", 2, res); }},
        {kMsgPassOn, 0, [](TWindow&, WPARAM, LPARAM, LRESULT& res) { return Took("base-passon", 3, res); }},
        // Sets no result: the window procedure's own 0 must stand.
        {WM_COMMAND, kCmd, [](TWindow&, WPARAM, LPARAM, LRESULT&) {
           Calls.push_back("base-cmd");
           return true;
         }},
    };
    return SearchMessageTable(kTable, *this, msg, wp, lp, r) || TWindow::Dispatch(msg, wp, lp, r);
  }
};

class TDerivedWin : public TBaseWin {
 protected:
  bool Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
    static const TMessageEntry kTable[] = {
        {kMsgBoth, 0, [](TWindow&, WPARAM, LPARAM, LRESULT& res) { return Took("derived-both", 10, res); }},
        {kMsgPassOn, 0, [](TWindow&, WPARAM, LPARAM, LRESULT&) {
           Calls.push_back("derived-passon");
           return false;
         }},
    };
    return SearchMessageTable(kTable, *this, msg, wp, lp, r) || TBaseWin::Dispatch(msg, wp, lp, r);
  }
};

TEST(FrameworkDispatch, DerivedTableIsSearchedBeforeTheBase) {
  struct Case {
    UINT msg;
    WPARAM wParam;
    LRESULT result;
    std::vector<std::string> calls;
  } cases[] = {
      {kMsgBoth, 0, 10, {"derived-both"}},
      {kMsgBaseOnly, 0, 2, {"base-only"}},
      {kMsgPassOn, 0, 3, {"derived-passon", "base-passon"}},
      {kMsgNone, 0, 0, {}},
      {WM_COMMAND, MAKEWPARAM(kCmd, BN_CLICKED), 0, {"base-cmd"}},
      // Other notifications of the same control are not commands.
      {WM_COMMAND, MAKEWPARAM(kCmd, EN_CHANGE), 0, {}},
      {WM_COMMAND, MAKEWPARAM(kCmd + 1, BN_CLICKED), 0, {}},
  };
  TDerivedWin win;
  ASSERT_TRUE(win.Create());
  for (const Case& c : cases) {
    Calls.clear();
    LRESULT r = SendMessageA(win.GetHandle(), c.msg, c.wParam, 0);
    EXPECT_EQ(c.calls, Calls) << "message " << c.msg;
    EXPECT_EQ(c.result, r) << "message " << c.msg;
  }
  // WM_SETTEXT / WM_GETTEXT are in no table: DefWindowProc keeps the text.
  SetWindowTextA(win.GetHandle(), "沃蒙");
  char text[32] = {};
  GetWindowTextA(win.GetHandle(), text, sizeof text);
  EXPECT_STREQ("沃蒙", text);
}

int Destroyed = 0;
class TCounted : public TWindow {
 public:
  using TWindow::TWindow;
  ~TCounted() override { ++Destroyed; }
};

TEST(FrameworkWindow, DestroyDetachesAndOwnerDeletesChildren) {
  Destroyed = 0;
  auto* parent = new TCounted(nullptr, "parent");
  auto* child = new TCounted(parent, "child");
  child->Attr.Style = WS_CHILD | WS_VISIBLE;
  child->Attr.X = child->Attr.Y = 0;
  child->Attr.W = child->Attr.H = 20;
  ASSERT_TRUE(parent->Create());
  HWND childHwnd = child->GetHandle();
  ASSERT_TRUE(IsWindow(childHwnd));
  EXPECT_EQ(parent->GetHandle(), GetParent(childHwnd));

  parent->Destroy();
  EXPECT_FALSE(parent->IsWindowAlive());
  EXPECT_FALSE(child->IsWindowAlive());  // destroyed with its parent window
  EXPECT_FALSE(IsWindow(childHwnd));

  delete parent;
  EXPECT_EQ(2, Destroyed);
}

class TStubborn : public TWindow {
 public:
  using TWindow::TWindow;
  bool CanClose() override { return Allow; }
  bool Allow = false;
};

// A frame around a client made as a captioned popup of 200 by 120 client
// pixels, as a dialog template would make it.
struct FrameFixture {
  TDecoratedFrame* Frame;
  TStubborn* Client;
  FrameFixture() {
    Client = new TStubborn(nullptr, "client");
    Client->Attr.Style = WS_POPUP | WS_CAPTION;
    RECT r = {0, 0, 200, 120};
    AdjustWindowRectEx(&r, Client->Attr.Style, FALSE, 0);
    Client->Attr.X = Client->Attr.Y = 0;
    Client->Attr.W = r.right - r.left;
    Client->Attr.H = r.bottom - r.top;
    Frame = new TDecoratedFrame(nullptr, "frame", Client);
    Frame->Attr.Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    Frame->SetShrinkToClient(true);
  }
  ~FrameFixture() { delete Frame; }
};

// Every window of this thread that some message found visible while it had
// no parent but the desktop.
std::vector<HWND> VisibleTopLevel;

LRESULT CALLBACK NoteVisibleTopLevel(int code, WPARAM wParam, LPARAM lParam) {
  HWND window = reinterpret_cast<const CWPSTRUCT*>(lParam)->hwnd;
  if (code == HC_ACTION && IsWindowVisible(window) && GetAncestor(window, GA_PARENT) == GetDesktopWindow())
    VisibleTopLevel.push_back(window);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(FrameworkFrame, ClientBecomesABorderedChildThatFillsTheFrameAndDecidesClosing) {
  FrameFixture f;
  // Made from a popup, the client is a child before it is visible: it never
  // shows as a window of its own with the frame's caption.
  VisibleTopLevel.clear();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, NoteVisibleTopLevel, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(hook);
  bool created = f.Frame->Create();
  UnhookWindowsHookEx(hook);
  ASSERT_TRUE(created);
  EXPECT_TRUE(VisibleTopLevel.empty()) << VisibleTopLevel.size() << " messages to a visible top-level window";
  HWND frame = f.Frame->GetHandle(), client = f.Client->GetHandle();
  EXPECT_EQ(frame, GetParent(client));
  LONG style = GetWindowLongA(client, GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_BORDER),
            style & (WS_CHILD | WS_POPUP | WS_VISIBLE | WS_BORDER | WS_DLGFRAME));
  EXPECT_FALSE(IsWindowVisible(frame));  // shown by the application, not by Create

  RECT frameClient, childClient, childWindow;
  GetClientRect(frame, &frameClient);
  GetClientRect(client, &childClient);
  EXPECT_EQ(200, frameClient.right);
  EXPECT_EQ(120, frameClient.bottom);
  EXPECT_EQ(200, childClient.right);
  EXPECT_EQ(120, childClient.bottom);
  // The child's thin border lies just outside the frame's client area.
  GetWindowRect(client, &childWindow);
  POINT origin = {0, 0};
  ClientToScreen(frame, &origin);
  EXPECT_EQ(origin.x - GetSystemMetrics(SM_CXBORDER), childWindow.left);
  EXPECT_EQ(origin.y - GetSystemMetrics(SM_CYBORDER), childWindow.top);

  // The frame follows when the client changes its size.
  SetWindowPos(client, nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(frame, &frameClient);
  GetClientRect(client, &childClient);
  EXPECT_EQ(childClient.right, frameClient.right);
  EXPECT_EQ(childClient.bottom, frameClient.bottom);

  // Close and the question before a logoff ask the client.
  EXPECT_EQ(FALSE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
  SendMessageA(frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(frame));

  f.Client->Allow = true;
  EXPECT_EQ(TRUE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
  SendMessageA(frame, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_FALSE(f.Frame->IsWindowAlive());
  EXPECT_FALSE(f.Client->IsWindowAlive());
  // Not the main window: no quit request.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

class TTestApp : public TApplication {
 public:
  TTestApp() : TApplication("test app") {}
  TDecoratedFrame* Made = nullptr;
  HWND Shown = nullptr;

 protected:
  void InitMainWindow() override {
    FrameFixture f;
    f.Client->Allow = true;
    SetMainWindow(Made = f.Frame);
    f.Frame = nullptr;  // the application owns it now
  }
  bool InitInstance() override {
    if (!TApplication::InitInstance()) return false;
    Shown = GetMainWindow()->GetHandle();
    // The user closes the window as soon as the loop runs.
    PostMessageA(Shown, WM_CLOSE, 0, 0);
    return true;
  }
};

TEST(FrameworkApplication, RunShowsTheMainWindowAndEndsWhenItIsClosed) {
  TTestApp app;
  app.CmdShow = SW_SHOWNORMAL;
  EXPECT_EQ(0, app.Run());
  ASSERT_NE(nullptr, app.Shown);
  EXPECT_FALSE(IsWindow(app.Shown));
  EXPECT_EQ(app.Made, app.GetMainWindow());
  EXPECT_FALSE(app.Made->IsWindowAlive());
}

}  // namespace
