#include "app/single_instance.h"

const char kSingleInstanceMutex[] = "Local\\InstallZelm.OnlineInstaller.SingleInstance";

TSingleInstance::TSingleInstance(const char* name) : Mutex(CreateMutexA(nullptr, FALSE, name)) {
  Another = Mutex.IsOpen() && GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ActivateRunningCopy(const char* windowClass, const char* caption) {
  HWND window = FindWindowA(windowClass, caption);
  // Before it is shown the window is still being set up; it comes to the
  // front by itself when it appears.
  if (!window || !IsWindowVisible(window)) return false;
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  // The copy started by the user may hand the foreground on; the window it
  // gives it to is the one the user wanted.
  SetForegroundWindow(window);
  return true;
}
