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
//   quit
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

HWND MainWindow = nullptr;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM p) {
  auto* search = reinterpret_cast<ControlSearch*>(p);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

HWND FindControl(int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(MainWindow, MatchControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A page of memory in the program's process, for the tree-view messages
// that take pointers (the system does not carry those across processes).
class RemotePage {
 public:
  explicit RemotePage(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    Process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (Process) Base = static_cast<char*>(VirtualAllocEx(Process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
  }
  ~RemotePage() {
    if (Base) VirtualFreeEx(Process, Base, 0, MEM_RELEASE);
    if (Process) CloseHandle(Process);
  }
  bool Ok() const { return Base != nullptr; }
  char* At(size_t offset) const { return Base + offset; }
  void Write(size_t offset, const void* data, size_t size) {
    WriteProcessMemory(Process, Base + offset, data, size, nullptr);
  }
  void Read(size_t offset, void* data, size_t size) {
    ReadProcessMemory(Process, Base + offset, data, size, nullptr);
  }

 private:
  HANDLE Process = nullptr;
  char* Base = nullptr;
};

struct ItemInfo {
  std::string text;
  int stateImage = 0;
};

ItemInfo GetItem(HWND tree, RemotePage& page, HTREEITEM item) {
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_STATE;
  tv.hItem = item;
  tv.stateMask = TVIS_STATEIMAGEMASK;
  tv.pszText = page.At(512);
  tv.cchTextMax = 1024;
  page.Write(0, &tv, sizeof tv);
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(page.At(0)));
  page.Read(0, &tv, sizeof tv);
  char text[1024] = "";
  page.Read(512, text, sizeof text - 1);
  return ItemInfo{text, static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12)};
}

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
  HWND tree = FindControl(103);
  RemotePage page(tree);
  if (!tree || !page.Ok()) return "ERR no tree";
  std::string out;
  ListItems(tree, page, Next(tree, nullptr, TVGN_ROOT), 0, out);
  return "OK " + Hex(out);
}

std::string Tick(const std::string& path) {
  HWND tree = FindControl(103);
  RemotePage page(tree);
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
  SendMessageA(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  // TVM_GETITEMRECT takes the item in the first bytes of the RECT.
  page.Write(0, &item, sizeof item);
  RECT rect;
  if (!SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(page.At(0)))) return "ERR no rect";
  page.Read(0, &rect, sizeof rect);
  int y = (rect.top + rect.bottom) / 2;
  // The state icon lies left of the text (and of the item's own icon): walk
  // left until the control's hit test says we are on it.
  for (int x = rect.left - 1; x >= 0; --x) {
    TVHITTESTINFO hit = {};
    hit.pt = {x, y};
    page.Write(64, &hit, sizeof hit);
    SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(page.At(64)));
    page.Read(64, &hit, sizeof hit);
    if (hit.hItem == item && (hit.flags & TVHT_ONITEMSTATEICON)) {
      int before = GetItem(tree, page, item).stateImage;
      x -= 3;  // a few pixels inside the icon, not on its edge
      SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
      SendMessageA(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
      int after = GetItem(tree, page, item).stateImage;
      return "OK " + std::to_string(before) + " " + std::to_string(after);
    }
  }
  return "ERR no state icon";
}

std::string Log() {
  HWND log = FindControl(104);
  if (!log) return "ERR no log";
  // The system carries WM_GETTEXT across processes itself.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(log, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return "ERR busy";
  std::vector<char> text(length + 2);
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           2000, &got)) {
    return "ERR busy";
  }
  return "OK " + Hex(std::string(text.data(), got));
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
    else if (command == "alive") answer = std::string("OK ") + (MainWindow && IsWindow(MainWindow) ? "1" : "0");
    else if (!MainWindow || !IsWindow(MainWindow)) answer = "ERR window gone";
    else if (command == "items") answer = Items();
    else if (command == "tick") answer = Tick(Unhex(arg));
    else if (command == "press") {
      HWND button = FindControl(atoi(arg.c_str()));
      answer = button && PostMessageA(button, BM_CLICK, 0, 0) ? "OK" : "ERR no button";
    } else if (command == "log") answer = Log();
    else if (command == "close") answer = PostMessageA(MainWindow, WM_CLOSE, 0, 0) ? "OK" : "ERR";
    else answer = "ERR unknown command";
    std::cout << answer << std::endl;
  }
  return 0;
}
