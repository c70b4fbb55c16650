// One running copy of the program per logon session.
//
// Two copies would download into the same files and start the same
// installers at once. The first copy holds a named mutex in the session's
// namespace ("Local\"); Windows releases it when the process ends, however
// it ends, so a copy that crashed leaves no stale lock behind.
#pragma once

#include <windows.h>

#include "platform/win32_handles.h"

// The mutex's name: the session namespace and the product.
extern const char kSingleInstanceMutex[];

class TSingleInstance {
 public:
  // Creates or opens the named mutex `name`.
  explicit TSingleInstance(const char* name);
  // True when another process of the session made the mutex first. A mutex
  // that could not be made at all does not stop the program.
  bool AnotherIsRunning() const { return Another; }

 private:
  TKernelHandle Mutex;  // held for the life of the process
  bool Another = false;
};

// Brings the main window of the copy that runs already to the front, and
// restores it when it is minimised. `windowClass` and `caption` name its
// main window. False when there is no such window yet (that copy is still
// fetching its catalogue and shows its window by itself when done).
bool ActivateRunningCopy(const char* windowClass, const char* caption);
