// Drives the real program for bench/app_scale.py, under Wine, and times it
// from inside Wine so that the figures carry no start-up cost of the driver
// itself. Commands come one per line on standard input; each gets one answer
// line, "OK ..." or "ERR message".
//   launch MS PATH     start PATH, wait up to MS ms until its main window is
//                      visible; answers the milliseconds from the start
//   tick HEXNAME       click the state icon of the top-level tree item with
//                      that name (hex of its GBK bytes); answers the new
//                      state image
//   run LENGTH MS      press "download and install" and wait up to MS ms
//                      until the log (control 104) holds LENGTH characters;
//                      answers the milliseconds and the length reached;
//                      on a time-out the program is ended
//   log                hex of the log
//   watch start|stop   time how long the window takes to answer a message
//                      sent every 100 ms; stop answers "longest-ms sends"
//   close MS           close the main window and wait up to MS ms for the
//                      process to end; answers its exit code
//   quit
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "e2e/window_probe.h"

namespace {

const char kCaption[] = "沃蒙在线安装";
HWND MainWindow = nullptr;
PROCESS_INFORMATION Program = {};

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string Ms(double ms) {
  char text[32];
  snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

// The program's visible main window, if it has one yet.
HWND FindProgramWindow() {
  for (HWND w = FindWindowA(nullptr, kCaption); w; w = FindWindowExA(nullptr, w, nullptr, kCaption)) {
    if (WindowProcessId(w) == Program.dwProcessId && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

std::string Launch(int ms, const std::string& path) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::string line = "\"" + path + "\"";
  const double start = NowMs();
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &Program)) {
    return "ERR CreateProcess " + std::to_string(GetLastError());
  }
  while (NowMs() - start < ms) {
    if ((MainWindow = FindProgramWindow())) return "OK " + Ms(NowMs() - start);
    if (WaitForSingleObject(Program.hProcess, 2) == WAIT_OBJECT_0) return "ERR program ended";
  }
  return "ERR no window";
}

HWND Control(int id) { return FindControl(MainWindow, id); }

std::string Tick(const std::string& name) {
  HWND tree = Control(103);
  RemotePage page(Program.dwProcessId);
  if (!tree || !page.Ok()) return "ERR no tree";
  HTREEITEM item = TreeView_GetRoot(tree);
  while (item && GetItem(tree, page, item).text != name) item = TreeView_GetNextSibling(tree, item);
  if (!item) return "ERR no item";
  POINT icon;
  if (const char* error = FindStateIcon(tree, page, item, &icon)) return std::string("ERR ") + error;
  ClickAt(tree, icon);
  return "OK " + std::to_string(GetItem(tree, page, item).stateImage);
}

// The log's length, or -1 while the program does not answer (it waits in a
// transfer between two drains of its queue).
long LogLength(HWND log) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(log, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 200, &length)) return -1;
  return static_cast<long>(length);
}

std::string Run(long length, int ms) {
  HWND log = Control(104);
  HWND button = Control(102);
  if (!log || !button) return "ERR no controls";
  const double start = NowMs();
  PostMessageA(button, BM_CLICK, 0, 0);
  long reached = 0;
  while (NowMs() - start < ms) {
    long now = LogLength(log);
    if (now >= 0) reached = now;
    if (reached >= length) return "OK " + Ms(NowMs() - start) + " " + std::to_string(reached);
    // Each poll makes the program count the whole log (Wine converts it to
    // the ANSI length): poll sparingly so that the poll does not weigh on
    // the figure it measures.
    Sleep(25);
  }
  // A run that is not done in time would go on eating the machine under the
  // next measurement.
  TerminateProcess(Program.hProcess, 99);
  WaitForSingleObject(Program.hProcess, 10000);
  return "ERR timeout " + std::to_string(reached);
}

std::string Log() {
  HWND log = Control(104);
  if (!log) return "ERR no log";
  std::string text;
  if (!ReadText(log, SMTO_NORMAL, 10000, &text)) return "ERR busy";
  return "OK " + Hex(text);
}

std::string Close(int ms) {
  PostMessageA(MainWindow, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(Program.hProcess, ms) != WAIT_OBJECT_0) {
    TerminateProcess(Program.hProcess, 99);
    return "ERR still running";
  }
  DWORD code = 0;
  GetExitCodeProcess(Program.hProcess, &code);
  return "OK " + std::to_string(code);
}

std::string Watch(const std::string& arg) {
  if (arg == "start") return StartMessageWatch(MainWindow) ? "OK" : "ERR watching";
  MessageWatchResult result;
  if (!StopMessageWatch(&result)) return "ERR not watching";
  return "OK " + Ms(result.longestMs) + " " + std::to_string(result.sends);
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
    const size_t space2 = arg.find(' ');
    const std::string rest = space2 == std::string::npos ? "" : arg.substr(space2 + 1);
    std::string answer;
    if (command == "quit") break;
    if (command == "launch") answer = Launch(atoi(arg.c_str()), rest);
    else if (!MainWindow || !IsWindow(MainWindow)) answer = "ERR no window";
    else if (command == "tick") answer = Tick(Unhex(arg));
    else if (command == "run") answer = Run(atol(arg.c_str()), atoi(rest.c_str()));
    else if (command == "log") answer = Log();
    else if (command == "close") answer = Close(atoi(arg.c_str()));
    else if (command == "watch") answer = Watch(arg);
    else answer = "ERR unknown command";
    std::cout << answer << std::endl;
  }
  if (Program.hProcess) {
    CloseHandle(Program.hProcess);
    CloseHandle(Program.hThread);
  }
  return 0;
}
