// TApplication: the program's instance start-up and message loop.
//
// Run() calls InitMainWindow (which must make the main window object with
// SetMainWindow), creates the main window, shows it with CmdShow and runs the
// message loop until the quit request; it returns the quit code. The loop
// gives keyboard messages to IsDialogMessageA of the dialog they belong to,
// so Tab, Enter and Escape work in dialogs that are frame clients.
#pragma once

#include <windows.h>

#include <string>

#include "framework/decorated_frame.h"

class TApplication {
 public:
  // name: the application name (the main window's caption by convention);
  // module: the program's module (null: the running executable).
  explicit TApplication(const char* name, HINSTANCE module = nullptr);
  virtual ~TApplication();  // deletes the main window object
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  int Run();
  const std::string& GetName() const { return Name; }
  HINSTANCE GetInstance() const { return Instance; }
  TDecoratedFrame* GetMainWindow() const { return MainWindow; }

  // The show command the program was started with (from the start-up info);
  // InitMainWindow may change it before the main window is shown.
  int CmdShow;

  // One message as the loop handles it: keyboard messages of a dialog go to
  // IsDialogMessageA, the rest are translated and dispatched. False for the
  // quit request, which is left to the caller.
  static bool ProcessMessage(MSG& msg);

 protected:
  virtual void InitMainWindow();
  virtual bool InitInstance();
  // Makes frame the main window; the application owns it from now on.
  void SetMainWindow(TDecoratedFrame* frame);
  int MessageLoop();

 private:
  std::string Name;
  HINSTANCE Instance;
  TDecoratedFrame* MainWindow = nullptr;  // owned
};
