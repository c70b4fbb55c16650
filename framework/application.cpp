#include "framework/application.h"

namespace {

int StartupShowCommand() {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

// The dialog (made from a template) that hwnd is, or lies in; null if none.
HWND OwningDialog(HWND hwnd) {
  const ATOM kDialogAtom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(WC_DIALOG));
  for (; hwnd; hwnd = GetParent(hwnd)) {
    if (static_cast<ATOM>(GetClassLongA(hwnd, GCW_ATOM)) == kDialogAtom) return hwnd;
    if (!(GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) break;
  }
  return nullptr;
}

}  // namespace

TApplication::TApplication(const char* name, HINSTANCE module)
    : CmdShow(StartupShowCommand()), Name(name ? name : ""),
      Instance(module ? module : GetModuleHandleA(nullptr)) {}

TApplication::~TApplication() { delete MainWindow; }

void TApplication::InitMainWindow() {}

void TApplication::SetMainWindow(TDecoratedFrame* frame) {
  if (MainWindow == frame) return;
  delete MainWindow;
  MainWindow = frame;
  if (MainWindow) MainWindow->SetIsMainWindow(true);
}

bool TApplication::InitInstance() {
  InitMainWindow();
  if (!MainWindow || !MainWindow->Create()) return false;
  ShowWindow(MainWindow->GetHandle(), CmdShow);
  UpdateWindow(MainWindow->GetHandle());
  return true;
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (msg.message == WM_QUIT) return false;
  HWND dialog = OwningDialog(msg.hwnd);
  if (dialog && IsDialogMessageA(dialog, &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

int TApplication::MessageLoop() {
  MSG msg;
  for (;;) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!ProcessMessage(msg)) return static_cast<int>(msg.wParam);
    }
    WaitMessage();
  }
}

int TApplication::Run() {
  if (!InitInstance()) return -1;
  return MessageLoop();
}
