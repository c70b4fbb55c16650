#include "app/installer.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/catalogue.h"
#include "app/message_wait.h"
#include "app/support_records.h"
#include "platform/win32_handles.h"

bool FormatInstallerCommand(const char* folder, const char* fileName, char* commandLine) {
  commandLine[0] = '\0';
  // A name with a quote would end the quoted path and smuggle in arguments;
  // one with a separator or ".." would start a file outside the folder.
  if (!IsBareFileName(fileName) || strchr(folder, '"')) return false;
  int length = snprintf(commandLine, kCommandLineSize, "\"%s\\%s\" /auto /s", folder, fileName);
  if (length < 0 || static_cast<unsigned>(length) >= kCommandLineSize) {
    // A cut line would start the wrong file or drop "/auto /s" and open a
    // wizard that nobody answers while we wait without a time-out.
    commandLine[0] = '\0';
    return false;
  }
  return true;
}

bool RunInstaller(const char* folder, const char* fileName, TRunHost* host, unsigned long* exitCode) {
  char commandLine[kCommandLineSize];
  TPathBuffer application;
  if (!FormatInstallerCommand(folder, fileName, commandLine) || !JoinPath(application, folder, fileName)) {
    RecordInstallerNotStarted(fileName, ERROR_BAD_PATHNAME);
    return false;
  }
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  // The full path as the application name: without it, Windows reads the
  // program's name from the command line, adds ".exe" to a name without an
  // extension and searches for that, so a package "setup" would start a
  // "setup.exe" that anyone may have put beside it.
  const DWORD started = GetTickCount();
  if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    RecordInstallerNotStarted(commandLine, GetLastError());
    return false;
  }
  TKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
  // Real installers run for minutes: the window keeps answering meanwhile.
  WaitPumping(processHandle.Get(), INFINITE, host);
  DWORD code = 0;
  // An ended process always has its code; should Windows still not give
  // it, the run says no more than it knows: the installer ran.
  if (!GetExitCodeProcess(processHandle.Get(), &code)) code = 0;
  RecordInstallerEnded(commandLine, code, GetTickCount() - started);
  if (exitCode) *exitCode = code;
  return true;
}
