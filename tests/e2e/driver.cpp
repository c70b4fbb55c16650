// Drives the running InstallZelm window for the end-to-end tests as a user
// would. One command a line on standard input, one answer line each: "OK
// [hex]" or "ERR message"; text travels as hex of its GBK bytes.
//   find MS          wait up to MS ms for the visible main window
//   items            hex of "depth|state image|text\n" for every tree item
//   tick HEXPATH     click the state icon of the item at a "/"-joined path of
//                    names; answers the state image before and after
//   space HEXPATH    select that item and press Space on it; the same answer
//   press ID         post BM_CLICK to the dialog control ID
//   enabled ID       "OK 1" when control ID is enabled, else "OK 0"
//   log              hex of the activity log (control 104)
//   close            post WM_CLOSE to the main window
//   alive            "OK 1" while the main window exists, else "OK 0"
//   overwrite HEXDST HEXSRC
//                    as another program would: writes SRC's bytes over DST
//                    from its start, opened sharing everything
//   show CMD         ShowWindow(main window, CMD)
//   windows          "OK count iconic foreground" of the visible main windows
//   watch start      time WM_NULL answers (SendMessageTimeout every 100 ms)
//   watch stop       ends that; "OK longest-ms sends"
//   metrics          "OK icon line inside": the first item's state icon width
//                    and line height in pixels, 1 when every control lies in
//                    the dialog's client area and the frame shows all of it
//   suspend, resume  hold the main window's thread (posts wait, in order)
//   quit
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "e2e/window_probe.h"

namespace {

HWND MainWindow = nullptr;

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

void ListItems(HWND tree, RemotePage& page, HTREEITEM first, int depth, std::string& out) {
  for (HTREEITEM item = first; item; item = Next(tree, item, TVGN_NEXT)) {
    ItemInfo info = GetItem(tree, page, item);
    out += std::to_string(depth) + "|" + std::to_string(info.stateImage) + "|" + info.text + "\n";
    ListItems(tree, page, Next(tree, item, TVGN_CHILD), depth + 1, out);
  }
}

// The tree control and a page in its process, for the commands on the tree.
struct Tree {
  HWND window = FindControl(MainWindow, 103);
  RemotePage page{WindowProcessId(window)};
  bool Ok() const { return window && page.Ok(); }
};

std::string Items() {
  Tree tree;
  if (!tree.Ok()) return "ERR no tree";
  std::string out;
  ListItems(tree.window, tree.page, Next(tree.window, nullptr, TVGN_ROOT), 0, out);
  return "OK " + Hex(out);
}

// The item at a path of names joined by "/", its parents expanded; null
// when there is none.
HTREEITEM FindItem(HWND tree, RemotePage& page, const std::string& path) {
  HTREEITEM item = nullptr;
  HTREEITEM level = Next(tree, nullptr, TVGN_ROOT);
  size_t pos = 0;
  while (true) {
    size_t slash = path.find('/', pos);
    std::string name = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    item = nullptr;
    for (HTREEITEM i = level; i; i = Next(tree, i, TVGN_NEXT)) {
      if (GetItem(tree, page, i).text == name) { item = i; break; }
    }
    if (!item || slash == std::string::npos) return item;
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    level = Next(tree, item, TVGN_CHILD);
    pos = slash + 1;
  }
}

// Runs act(tree, page, item) on the item at path; an error answer when
// there is no tree or no such item.
template <typename Act>
std::string OnItem(const std::string& path, Act act) {
  Tree tree;
  if (!tree.Ok()) return "ERR no tree";
  HTREEITEM item = FindItem(tree.window, tree.page, path);
  if (!item) return "ERR no item " + Hex(path);
  return act(tree.window, tree.page, item);
}

std::string Tick(HWND tree, RemotePage& page, HTREEITEM item) {
  POINT icon;
  if (const char* error = FindStateIcon(tree, page, item, &icon)) return std::string("ERR ") + error;
  int before = GetItem(tree, page, item).stateImage;
  ClickAt(tree, icon);
  int after = GetItem(tree, page, item).stateImage;
  return "OK " + std::to_string(before) + " " + std::to_string(after);
}

// Space as the keyboard sends it: posted, so that it goes through the
// program's own message loop (dialog keys, TranslateMessage) as a key does.
std::string Space(HWND tree, RemotePage& page, HTREEITEM item) {
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  int before = GetItem(tree, page, item).stateImage;
  PostMessageA(tree, WM_KEYDOWN, VK_SPACE, 0x00390001);
  PostMessageA(tree, WM_KEYUP, VK_SPACE, 0xC0390001);
  // Sent messages overtake posted ones: look until the key has been handled.
  int after = before;
  for (int i = 0; i < 30 && after == before; ++i) {
    Sleep(100);
    after = GetItem(tree, page, item).stateImage;
  }
  return "OK " + std::to_string(before) + " " + std::to_string(after);
}

std::string WatchCommand(const std::string& arg) {
  if (arg == "start") return StartMessageWatch(MainWindow) ? "OK" : "ERR watching";
  MessageWatchResult result;
  if (!StopMessageWatch(&result)) return "ERR not watching";
  char text[64];
  snprintf(text, sizeof text, "OK %.1f %d", result.longestMs, result.sends);
  return text;
}

std::string Windows() {
  int count = 0;
  for (HWND w = FindWindowA(nullptr, "沃蒙在线安装"); w; w = FindWindowExA(nullptr, w, nullptr, "沃蒙在线安装")) {
    if (IsWindowVisible(w)) ++count;
  }
  return "OK " + std::to_string(count) + " " + (IsIconic(MainWindow) ? "1" : "0") + " " +
         (GetForegroundWindow() == MainWindow ? "1" : "0");
}

// What the tree and the dialog look like in pixels (see "metrics").
std::string Metrics() {
  Tree control;
  HWND tree = control.window;
  RemotePage& page = control.page;
  HTREEITEM item = control.Ok() ? Next(tree, nullptr, TVGN_ROOT) : nullptr;
  if (!item) return "ERR no tree item";
  // The line's height as the distance to the next line: Wine's item
  // rectangle leaves out the line's last pixel row.
  SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
  HTREEITEM below = Next(tree, item, TVGN_NEXTVISIBLE);
  RECT line, next;
  page.Write(0, &item, sizeof item);
  page.Write(32, &below, sizeof below);
  if (!below || !SendMessageA(tree, TVM_GETITEMRECT, FALSE, page.At(0)) ||
      !SendMessageA(tree, TVM_GETITEMRECT, FALSE, page.At(32))) {
    return "ERR no rect";
  }
  page.Read(0, &line, sizeof line);
  page.Read(32, &next, sizeof next);
  POINT inside;
  if (const char* error = FindStateIcon(tree, page, item, &inside)) return std::string("ERR ") + error;
  // FindStateIcon answers a point 3 pixels in from the icon's right edge.
  int width = 0;
  for (int x = inside.x + 3; x >= 0; --x) {
    if (OnStateIcon(tree, page, item, {x, inside.y})) ++width;
    else if (width) break;
  }
  HWND dialog = GetParent(tree);
  RECT client;
  GetClientRect(dialog, &client);
  bool allInside = true;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    if (r.left < client.left || r.top < client.top || r.right > client.right || r.bottom > client.bottom) allInside = false;
  }
  // The frame must show the whole dialog.
  RECT frame;
  GetClientRect(MainWindow, &frame);
  if (frame.right < client.right || frame.bottom < client.bottom) allInside = false;
  return "OK " + std::to_string(width) + " " + std::to_string(next.top - line.top) + " " + (allInside ? "1" : "0");
}

// The program's window thread, held while suspended.
HANDLE Suspended = nullptr;

std::string Suspend(bool suspend) {
  if (suspend) {
    if (Suspended) return "ERR suspended";
    Suspended = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(MainWindow, nullptr));
    if (!Suspended || SuspendThread(Suspended) == static_cast<DWORD>(-1)) return "ERR suspend";
    return "OK";
  }
  if (!Suspended) return "ERR not suspended";
  ResumeThread(Suspended);
  CloseHandle(Suspended);
  Suspended = nullptr;
  return "OK";
}

std::string Log() {
  HWND log = FindControl(MainWindow, 104);
  if (!log) return "ERR no log";
  std::string text;
  if (!ReadText(log, SMTO_ABORTIFHUNG, 2000, &text)) return "ERR busy";
  return "OK " + Hex(text);
}

std::string Find(int ms) {
  DWORD start = GetTickCount();
  do {
    MainWindow = FindWindowA(nullptr, "沃蒙在线安装");
    if (MainWindow && IsWindowVisible(MainWindow)) return "OK";
    Sleep(100);
  } while (GetTickCount() - start < static_cast<DWORD>(ms));
  return "ERR no window";
}

std::string Overwrite(const std::string& arg) {
  std::string target = Unhex(arg.substr(0, arg.find(' ')));
  std::string source = Unhex(arg.find(' ') == std::string::npos ? "" : arg.substr(arg.find(' ') + 1));
  HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return "ERR source " + std::to_string(GetLastError());
  std::string data(GetFileSize(in, nullptr), '\0');
  DWORD got = 0;
  BOOL read = data.empty() || ReadFile(in, &data[0], static_cast<DWORD>(data.size()), &got, nullptr);
  CloseHandle(in);
  if (!read || got != data.size()) return "ERR read";
  HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return "ERR open " + std::to_string(GetLastError());
  DWORD written = 0;
  BOOL ok = WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(out);
  return ok && written == data.size() ? "OK" : "ERR write";
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string command = line.substr(0, line.find(' '));
    std::string arg = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
    std::string answer;
    if (command == "find") answer = Find(atoi(arg.c_str()));
    else if (command == "quit") break;
    else if (command == "overwrite") answer = Overwrite(arg);
    else if (command == "resume") answer = Suspend(false);
    else if (command == "alive") answer = std::string("OK ") + (MainWindow && IsWindow(MainWindow) ? "1" : "0");
    else if (!MainWindow || !IsWindow(MainWindow)) answer = "ERR window gone";
    else if (command == "items") answer = Items();
    else if (command == "tick") answer = OnItem(Unhex(arg), Tick);
    else if (command == "press") {
      HWND button = FindControl(MainWindow, atoi(arg.c_str()));
      answer = button && PostMessageA(button, BM_CLICK, 0, 0) ? "OK" : "ERR no button";
    } else if (command == "log") answer = Log();
    else if (command == "space") answer = OnItem(Unhex(arg), Space);
    else if (command == "enabled") {
      HWND control = FindControl(MainWindow, atoi(arg.c_str()));
      answer = control ? std::string("OK ") + (IsWindowEnabled(control) ? "1" : "0") : "ERR no control";
    } else if (command == "show") {
      ShowWindow(MainWindow, atoi(arg.c_str()));
      answer = "OK";
    } else if (command == "windows") answer = Windows();
    else if (command == "watch") answer = WatchCommand(arg);
    else if (command == "suspend") answer = Suspend(true);
    else if (command == "metrics") answer = Metrics();
    else if (command == "close") answer = PostMessageA(MainWindow, WM_CLOSE, 0, 0) ? "OK" : "ERR";
    else answer = "ERR unknown command";
    std::cout << answer << std::endl;
  }
  return 0;
}
