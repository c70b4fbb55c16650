// The download-and-install walk over the catalogue, kept apart from the main
// dialog so that tests can drive it with their own downloads and installers.
// CmDownloadInstall (app/main_commands.cpp) supplies the real ones.
#pragma once

#include "app/run_host.h"

class TXmlTreeNode;

// What the walk needs from the program around it, beyond the log.
class TInstallRunHost : public TRunHost {
 public:
  // True when the user pressed cancel (or the run must stop for another
  // reason, such as the main window being gone). Tested before each node.
  virtual bool Cancelled() = 0;
  // DownloadFile for the element from baseUrl; sets speed (bytes per ms).
  virtual bool Download(TXmlTreeNode* element, float& speed, const char* baseUrl) = 0;
  // True when the last Download failed because the file does not fit on the
  // download folder's drive: the other server would fare no better, so it
  // is not asked.
  virtual bool OutOfRoom() { return false; }
  // True when the last Download succeeded by finishing a part that an
  // earlier try had kept: its line then says it was resumed.
  virtual bool Resumed() { return false; }
  // A pseudo-random number; its parity picks the first server.
  virtual int Draw() = 0;
  // Flushes the settings file, then starts the downloaded installer and
  // waits for it (RunInstaller). True when it was started and has ended;
  // then `exitCode` is the code it ended with.
  virtual bool RunInstaller(const char* fileName, unsigned long& exitCode) = 0;
  // Whether the quota library `name` is recorded in "Dek Files".
  virtual bool IsDekRecorded(const char* name) = 0;
  // True in a build with catalogue keys: a package must then carry a
  // well-formed "sha256" (64 hexadecimal digits), or it is neither
  // downloaded nor started and its download lines end in kLogCheckFailed.
  virtual bool RequiresPackageHash() { return false; }
  // Called before each chosen package is begun, and after its lines have
  // been logged. The first may let the window handle what waits for it (a
  // close request, a cancel); the walk then tests Cancelled() again. The
  // second may log what happened while the package was handled.
  virtual void PackageStarting() {}
  virtual void PackageEnded() {}
};

// Walks every node below `catalogue` in document order while the host is not
// cancelled; every chosen element with a "fileName" is downloaded (from the
// two base URLs in a random order, the second as fall-back unless the first
// found no room on the disk) and installed,
// and every step is logged. Quota libraries ("Dek") whose record is missing
// after their installer ran are listed at the end, and so is other software
// whose installer ended with a failure code; a code that asks for a restart
// adds one closing line saying so.
void DownloadAndInstall(TXmlTreeNode& catalogue, TInstallRunHost& host, const char* baseUrl1,
                        const char* baseUrl2);
