// Reaching into the running program's window from another process, for the
// end-to-end driver and the scale benchmark's driver (bench/app_driver.cpp).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>

// Lower-case hex of the bytes and back: GBK text survives the line-based pipes.
std::string Hex(const std::string& bytes);
std::string Unhex(const std::string& hex);

// The child of dialog (at any depth) whose control ID is id, or nullptr.
HWND FindControl(HWND dialog, int id);

// The ID of the process that owns window; 0 when window is not one.
DWORD WindowProcessId(HWND window);

// A 4 KiB page in another process, for the tree-view messages that take
// pointers (not carried across processes). Ok() is false when none was had.
class RemotePage {
 public:
  explicit RemotePage(DWORD processId);
  ~RemotePage();
  RemotePage(const RemotePage&) = delete;
  RemotePage& operator=(const RemotePage&) = delete;

  bool Ok() const { return Base != nullptr; }
  // The page's address at offset, in the other process, as a message takes it.
  LPARAM At(size_t offset) const { return reinterpret_cast<LPARAM>(Base + offset); }
  void Write(size_t offset, const void* data, size_t size);
  void Read(size_t offset, void* data, size_t size);

 private:
  HANDLE Process = nullptr;
  char* Base = nullptr;  // in the other process
};

struct ItemInfo {
  std::string text;
  int stateImage = 0;
};

// The text (at most 1023 bytes) and state image of a tree item. Uses the
// page's first 1.5 KiB.
ItemInfo GetItem(HWND tree, RemotePage& page, HTREEITEM item);

// Makes item visible and finds a point a few pixels inside its state icon,
// in the tree's client coordinates, into *at. Answers nullptr, or why there
// is none: "no rect" or "no state icon". Uses the page's first 128 bytes.
const char* FindStateIcon(HWND tree, RemotePage& page, HTREEITEM item, POINT* at);

// True when the point at of the tree's client area lies on item's state
// icon, by the tree's own hit test. Uses the page's bytes 64 to 127.
bool OnStateIcon(HWND tree, RemotePage& page, HTREEITEM item, POINT at);

// A left click at a point of window's client area, sent (not posted), so that
// the window has handled it on return.
void ClickAt(HWND window, POINT at);

// The whole text of window, WM_GETTEXTLENGTH and WM_GETTEXT sent with
// SendMessageTimeout's flags and time-out; false, *text untouched, on none.
bool ReadText(HWND window, UINT flags, UINT timeoutMs, std::string* text);

// The message watch: a thread sends WM_NULL to window every 100 ms (allowing
// a minute each) and times the answers, as Windows tells a hung window. One
// at a time: Start answers false while one runs, Stop false when none does.
struct MessageWatchResult {
  double longestMs = 0;  // the longest time one message took to be answered
  int sends = 0;         // messages answered
};
bool StartMessageWatch(HWND window);
bool StopMessageWatch(MessageWatchResult* result);
