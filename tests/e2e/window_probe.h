// Reaching into the running program's window from another process: what the
// end-to-end driver (tests/e2e/driver.cpp) and the scale benchmark's driver
// (bench/app_driver.cpp) both need to find controls, read the tree and the
// log, and click a tree item's state icon as a user would.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>

// Lower-case hex of the bytes, two digits a byte, and back. The drivers pass
// GBK text this way so that it survives their line-based pipes.
std::string Hex(const std::string& bytes);
std::string Unhex(const std::string& hex);

// The child of dialog (at any depth) whose control ID is id, or nullptr.
HWND FindControl(HWND dialog, int id);

// The ID of the process that owns window; 0 when window is not one.
DWORD WindowProcessId(HWND window);

// A page of memory (4 KiB) in another process, for the tree-view messages
// that take pointers, which the system does not carry across processes.
// Ok() is false when the process could not be opened or the page not had.
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

// The whole text of window (the system carries WM_GETTEXT across processes
// itself), each of the two messages sent with SendMessageTimeout's flags and
// time-out. False, with *text untouched, when the window did not answer.
bool ReadText(HWND window, UINT flags, UINT timeoutMs, std::string* text);

// The message watch: a thread that sends WM_NULL to window every 100 ms
// with SendMessageTimeout (allowing a minute) and times each answer, as
// Windows does to tell a hung window. One watch at a time; Start answers
// false while one runs, Stop false when none does.
struct MessageWatchResult {
  double longestMs = 0;  // the longest time one message took to be answered
  int sends = 0;         // messages answered
};
bool StartMessageWatch(HWND window);
bool StopMessageWatch(MessageWatchResult* result);
