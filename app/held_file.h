// A package file held open from its check until its installer has ended.
//
// The program runs as administrator and the download folder belongs to the
// user: any program of the user may write there. A file that was checked
// and then closed could be replaced before it is started, so the check is
// made through a handle that lets nobody else write, rename or delete the
// file, and that handle stays open while the file is used.
#pragma once

#include <windows.h>

#include "app/package_hash.h"
#include "platform/win32_handles.h"

class THeldFile {
 public:
  // Opens the file at `path` for reading and shares it for reading only:
  // while it is held, no process (this one included) can open it for
  // writing or deleting, so it can be neither changed, renamed nor replaced.
  // Releases a file held before. False when the file is missing, is open
  // elsewhere for writing or deleting, or is no ordinary file.
  bool Hold(const char* path);

  // Closes the handle; the file is free again. Harmless when nothing is held.
  void Release() { File.Close(); }

  bool IsHeld() const { return File.IsOpen(); }
  HANDLE Get() const { return File.Get(); }

  // Size and last-write time of the held file, read through the handle.
  // False when nothing is held or the file cannot be queried.
  bool Info(unsigned long long* size, FILETIME* lastWrite) const;

  // Whether the held file has exactly `size` bytes and, when `digest` is
  // not null, that SHA-256, read through the handle with host->KeepGoing()
  // asked after every block (host may be null). Nothing held, or a file that cannot be read, differs.
  enum TCheck { kSame, kDiffers, kStopped /* a cancel or the window gone */ };
  TCheck Check(unsigned long long size, const TSha256Digest* digest, TRunHost* host) const;

 private:
  TKernelHandle File;
};

// Puts a finished download in place and holds it there: moves `from` onto
// `to` (MoveFileExA, replacing an earlier file of that name), holds `to` in
// `held` and checks through the held handle that it still has `size` bytes
// and, when `digest` is not null, that SHA-256, so that a change made by
// anyone between the end of the transfer and the hold is caught.
//
// Returns kMoveHeld with `to` held. Otherwise nothing is held, and:
// * kMoveFailed: `to` is in use or the folder refuses; `from` is deleted and
//   an earlier `to` stays as it was;
// * kMoveCheckFailed: `to` could not be held, or differs from what was
//   received; it is deleted when it can be (it is no longer the earlier
//   file), so that nothing starts it;
// * kMoveStopped: the host stopped the re-check; `to` stays in place.
enum TMoveResult { kMoveHeld, kMoveFailed, kMoveCheckFailed, kMoveStopped };
TMoveResult MoveIntoPlaceAndHold(const char* from, const char* to, unsigned long long size,
                                 const TSha256Digest* digest, TRunHost* host, THeldFile& held);
