#include "app/held_file.h"

bool THeldFile::Hold(const char* path) {
  // Read sharing only: every open for writing or deleting (a rename or a
  // replace is one) fails while this handle lives. Starting the file as a
  // program still works: the loader asks only to read and execute.
  File.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File.IsOpen()) return false;
  if (GetFileType(File.Get()) != FILE_TYPE_DISK) {
    File.Close();
    return false;
  }
  return true;
}

bool THeldFile::Info(unsigned long long* size, FILETIME* lastWrite) const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!File.IsOpen() || !GetFileInformationByHandle(File.Get(), &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = static_cast<unsigned long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  *lastWrite = info.ftLastWriteTime;
  return true;
}

THeldFile::TCheck THeldFile::Check(unsigned long long size, const TSha256Digest* digest,
                                   TRunHost* host) const {
  unsigned long long actual = 0;
  FILETIME lastWrite;
  if (!Info(&actual, &lastWrite) || actual != size) return kDiffers;
  if (!digest) return kSame;
  TSha256Digest found;
  switch (HashOpenFileSha256(File.Get(), &found, host)) {
    case kHashFileOk:
      return found == *digest ? kSame : kDiffers;
    case kHashFileStopped:
      return kStopped;
    default:
      return kDiffers;
  }
}

TMoveResult MoveIntoPlaceAndHold(const char* from, const char* to, unsigned long long size,
                                 const TSha256Digest* digest, TRunHost* host, THeldFile& held) {
  held.Release();
  if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(from);
    return kMoveFailed;
  }
  if (held.Hold(to)) {
    THeldFile::TCheck check = held.Check(size, digest, host);
    if (check == THeldFile::kSame) return kMoveHeld;
    held.Release();
    if (check == THeldFile::kStopped) return kMoveStopped;
  }
  // Someone opened or changed the file between the move and the hold: what
  // lies there now was never checked, and must not be started later either.
  DeleteFileA(to);
  return kMoveCheckFailed;
}
