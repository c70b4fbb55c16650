// TWindow: the base of every window object of the program.
//
// A window object wraps one HWND. Every window kind reaches its object through
// the one static thunk TWindow::WindowProc, which finds `this` in a window
// property and calls the virtual Dispatch. Dispatch searches the class's own
// message table and then the base class's, so a derived class overrides a
// message by listing it; what no table takes goes to the window's original
// procedure (DefaultProcessing).
//
// A window object owns its child window objects and deletes them with itself.
// The HWND dies first: WM_NCDESTROY detaches the object (HWindow becomes null),
// so code that runs after a window was destroyed sees IsWindowAlive() false
// and never talks to a stale handle.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TWindow;

// One entry of a message table. Msg is the window message; for WM_COMMAND
// entries Id is the command (control) identifier, and the entry takes only the
// click/menu (0) and accelerator (1) notifications. Handler returns false to
// pass the message on to the next table or to the default processing; it sets
// result for messages whose answer matters.
struct TMessageEntry {
  UINT Msg;
  UINT Id;
  bool (*Handler)(TWindow& window, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

// Searches table[0..count) for msg (and the command id); runs the handler.
// True when a handler took the message.
bool SearchMessageTable(const TMessageEntry* table, size_t count, TWindow& window,
                        UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

template <size_t N>
bool SearchMessageTable(const TMessageEntry (&table)[N], TWindow& window, UINT msg,
                        WPARAM wParam, LPARAM lParam, LRESULT& result) {
  return SearchMessageTable(table, N, window, msg, wParam, lParam, result);
}

class TWindow {
 public:
  // Creation attributes, used by Create for windows this object makes itself.
  struct TAttr {
    DWORD Style = WS_OVERLAPPEDWINDOW;
    DWORD ExStyle = 0;
    int X = CW_USEDEFAULT, Y = CW_USEDEFAULT, W = CW_USEDEFAULT, H = CW_USEDEFAULT;
    int Id = 0;  // control id of a window that a dialog template makes
  };

  // parent: the owning window object (it deletes this one), or null.
  TWindow(TWindow* parent, const char* title = nullptr, HINSTANCE module = nullptr);
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  // The class of the windows that window objects make themselves (frames).
  static const char* FrameClassName();

  HWND GetHandle() const { return HWindow; }
  // False before the window is made and after it was destroyed.
  bool IsWindowAlive() const { return HWindow != nullptr; }
  TWindow* GetParentObject() const { return Parent; }
  // Moves this object to a new owner (or to none); windows are not touched.
  void SetParentObject(TWindow* parent);
  HINSTANCE GetModule() const { return Module; }

  // Makes the window (for windows of a dialog template: attaches to the
  // control) and runs SetupWindow. False when the window could not be made.
  virtual bool Create();
  // Destroys the window if it exists; the object stays.
  void Destroy();
  // Whether the window may close now; the base asks every child.
  virtual bool CanClose();

  TAttr Attr;

 protected:
  friend class TApplication;
  // Runs once the window exists: makes or attaches the child windows and runs
  // their set-up.
  virtual void SetupWindow();
  // The message lookup: own table, then the base class's. True when handled.
  virtual bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The window's original procedure (class procedure or DefWindowProcA).
  LRESULT DefaultProcessing(UINT msg, WPARAM wParam, LPARAM lParam);
  // Called by a child whose window changed size.
  virtual void ChildResized(TWindow& child);
  // Links this object to an existing window, replacing its procedure.
  void Attach(HWND hwnd);
  // Registers (once) the window class that this object creates windows of.
  static const char* RegisterFrameClass(HINSTANCE module);

  HWND HWindow = nullptr;
  TWindow* Parent;  // not owned
  std::string Title;
  HINSTANCE Module;
  std::vector<TWindow*> Children;  // owned

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  void Detach();
  WNDPROC OldProc = nullptr;
};
