#include "e2e/window_probe.h"

#include <vector>

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

namespace {

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

}  // namespace

HWND FindControl(HWND dialog, int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(dialog, MatchControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD WindowProcessId(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

RemotePage::RemotePage(DWORD processId) {
  Process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (Process) Base = static_cast<char*>(VirtualAllocEx(Process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
}

RemotePage::~RemotePage() {
  if (Base) VirtualFreeEx(Process, Base, 0, MEM_RELEASE);
  if (Process) CloseHandle(Process);
}

void RemotePage::Write(size_t offset, const void* data, size_t size) {
  WriteProcessMemory(Process, Base + offset, data, size, nullptr);
}

void RemotePage::Read(size_t offset, void* data, size_t size) {
  ReadProcessMemory(Process, Base + offset, data, size, nullptr);
}

ItemInfo GetItem(HWND tree, RemotePage& page, HTREEITEM item) {
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_STATE;
  tv.hItem = item;
  tv.stateMask = TVIS_STATEIMAGEMASK;
  tv.pszText = reinterpret_cast<char*>(page.At(512));
  tv.cchTextMax = 1024;
  page.Write(0, &tv, sizeof tv);
  SendMessageA(tree, TVM_GETITEMA, 0, page.At(0));
  page.Read(0, &tv, sizeof tv);
  char text[1024] = "";
  page.Read(512, text, sizeof text - 1);
  return ItemInfo{text, static_cast<int>((tv.state & TVIS_STATEIMAGEMASK) >> 12)};
}

const char* FindStateIcon(HWND tree, RemotePage& page, HTREEITEM item, POINT* at) {
  SendMessageA(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  // TVM_GETITEMRECT takes the item in the first bytes of the RECT.
  page.Write(0, &item, sizeof item);
  RECT rect;
  if (!SendMessageA(tree, TVM_GETITEMRECT, TRUE, page.At(0))) return "no rect";
  page.Read(0, &rect, sizeof rect);
  const int y = (rect.top + rect.bottom) / 2;
  // The state icon lies left of the item's own icon, which lies left of the
  // text: walk left until the control's hit test says we are on it.
  for (int x = rect.left - 1; x >= 0; --x) {
    if (!OnStateIcon(tree, page, item, {x, y})) continue;
    *at = {x - 3, y};  // a few pixels inside the icon, not on its edge
    return nullptr;
  }
  return "no state icon";
}

bool OnStateIcon(HWND tree, RemotePage& page, HTREEITEM item, POINT at) {
  TVHITTESTINFO hit = {};
  hit.pt = at;
  page.Write(64, &hit, sizeof hit);
  SendMessageA(tree, TVM_HITTEST, 0, page.At(64));
  page.Read(64, &hit, sizeof hit);
  return hit.hItem == item && (hit.flags & TVHT_ONITEMSTATEICON);
}

void ClickAt(HWND window, POINT at) {
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

bool ReadText(HWND window, UINT flags, UINT timeoutMs, std::string* text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, flags, timeoutMs, &length)) return false;
  std::vector<char> buffer(length + 2);
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), flags,
                           timeoutMs, &got)) {
    return false;
  }
  text->assign(buffer.data(), got);
  return true;
}

namespace {

struct Watch {
  HANDLE thread = nullptr;
  HWND window = nullptr;
  volatile LONG stop = 0;
  MessageWatchResult result;
} Watcher;

double NowMs() {
  LARGE_INTEGER f, now;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(f.QuadPart);
}

DWORD WINAPI WatchLoop(void*) {
  while (!Watcher.stop) {
    const double start = NowMs();
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(Watcher.window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer) &&
        !IsWindow(Watcher.window)) {
      break;  // the window is gone: nothing left to time
    }
    const double spent = NowMs() - start;
    if (spent > Watcher.result.longestMs) Watcher.result.longestMs = spent;
    ++Watcher.result.sends;
    Sleep(100);
  }
  return 0;
}

}  // namespace

bool StartMessageWatch(HWND window) {
  if (Watcher.thread) return false;
  Watcher.window = window;
  Watcher.stop = 0;
  Watcher.result = MessageWatchResult();
  Watcher.thread = CreateThread(nullptr, 0, WatchLoop, nullptr, 0, nullptr);
  return Watcher.thread != nullptr;
}

bool StopMessageWatch(MessageWatchResult* result) {
  if (!Watcher.thread) return false;
  InterlockedExchange(&Watcher.stop, 1);
  WaitForSingleObject(Watcher.thread, INFINITE);
  CloseHandle(Watcher.thread);
  Watcher.thread = nullptr;
  *result = Watcher.result;
  return true;
}
