// Drives the running InstallZelm window for the end-to-end tests, as a user
// would: it finds the main window by its caption, ticks packages by clicking
// their state icons in the tree, presses the buttons and reads the log.
//
// Commands come one per line on standard input; each gets one answer line:
// "OK [hex]" or "ERR message". Text travels as hex of its bytes (GBK, with
// its "\r\n" intact).
//   find MS          wait up to MS ms for the visible main window
//   items            hex of "depth|state image|text\n" for every tree item
//   tick HEXPATH     click the state icon of the item at a path of names
//                    joined by "/"; answers the new state image
//   press ID         post BM_CLICK to the dialog control ID
//   log              hex of the activity log (control 104)
//   close            post WM_CLOSE to the main window
//   alive            "OK 1" while the main window exists, else "OK 0"
//   overwrite HEXDST HEXSRC
//                    as another program of the user would: opens the file
//                    DST for writing (sharing everything) and writes SRC's
//                    bytes over it from its start; "ERR <error>" when the
//                    open or the write is refused
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

std::string Items() {
  HWND tree = FindControl(MainWindow, 103);
  RemotePage page(WindowProcessId(tree));
  if (!tree || !page.Ok()) return "ERR no tree";
  std::string out;
  ListItems(tree, page, Next(tree, nullptr, TVGN_ROOT), 0, out);
  return "OK " + Hex(out);
}

std::string Tick(const std::string& path) {
  HWND tree = FindControl(MainWindow, 103);
  RemotePage page(WindowProcessId(tree));
  if (!tree || !page.Ok()) return "ERR no tree";
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
    if (!item) return "ERR no item " + Hex(name);
    if (slash == std::string::npos) break;
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    level = Next(tree, item, TVGN_CHILD);
    pos = slash + 1;
  }
  POINT icon;
  if (const char* error = FindStateIcon(tree, page, item, &icon)) return std::string("ERR ") + error;
  int before = GetItem(tree, page, item).stateImage;
  ClickAt(tree, icon);
  int after = GetItem(tree, page, item).stateImage;
  return "OK " + std::to_string(before) + " " + std::to_string(after);
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
    else if (command == "alive") answer = std::string("OK ") + (MainWindow && IsWindow(MainWindow) ? "1" : "0");
    else if (!MainWindow || !IsWindow(MainWindow)) answer = "ERR window gone";
    else if (command == "items") answer = Items();
    else if (command == "tick") answer = Tick(Unhex(arg));
    else if (command == "press") {
      HWND button = FindControl(MainWindow, atoi(arg.c_str()));
      answer = button && PostMessageA(button, BM_CLICK, 0, 0) ? "OK" : "ERR no button";
    } else if (command == "log") answer = Log();
    else if (command == "close") answer = PostMessageA(MainWindow, WM_CLOSE, 0, 0) ? "OK" : "ERR";
    else answer = "ERR unknown command";
    std::cout << answer << std::endl;
  }
  return 0;
}
