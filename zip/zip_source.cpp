// Data sources of the zip core: reads, seeks and tells on a Win32 handle or
// on a memory block, never outside the block.
#include "zip/zip_source.h"

#include <cstring>

namespace {

// SetFilePointer with a 64-bit distance; -1 on failure. INVALID_SET_FILE_POINTER
// is also a valid low half, so the last error tells a real failure.
int64_t MoveFilePointer(HANDLE handle, int64_t distance, DWORD method) {
  LONG high = static_cast<LONG>(distance >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle, static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return (static_cast<int64_t>(high) << 32) | low;
}

}  // namespace

bool OpenZipSource(ZipSource& source, ZipSourceKind kind, HANDLE handle, const char* path,
                   const void* data, uint32_t length) {
  source.Close();
  source.Kind = kind;
  source.ReadFailed = false;
  source.Position = 0;
  if (kind == ZipSourceKind::Memory) {
    source.Data = static_cast<const unsigned char*>(data);
    source.Length = data ? length : 0;
    source.Seekable = true;
    source.Start = 0;
    return true;
  }
  if (kind == ZipSourceKind::File) {
    source.OwnedFile.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.OwnedFile.IsOpen()) return false;
    handle = source.OwnedFile.Get();
  }
  source.Handle = handle;
  int64_t here = MoveFilePointer(handle, 0, FILE_CURRENT);
  source.Seekable = here >= 0;
  source.Start = here >= 0 ? here : 0;
  return true;
}

void ZipSource::Close() {
  OwnedFile.Close();
  Handle = INVALID_HANDLE_VALUE;
  Data = nullptr;
  Length = 0;
  Kind = ZipSourceKind::Memory;
}

bool ZipSource::Read(void* buffer, uint32_t length) {
  if (length == 0) return true;
  if (Kind == ZipSourceKind::Memory) {
    if (Position < 0 || Position > Length || length > Length - Position) return false;
    std::memcpy(buffer, Data + Position, length);
    Position += length;
    return true;
  }
  DWORD done = 0;
  if (!ReadFile(Handle, buffer, length, &done, nullptr)) {
    ReadFailed = true;
    return false;
  }
  return done == length;
}

bool ZipSource::ReadAt(int64_t position, void* buffer, uint32_t length) {
  return Seek(position, FILE_BEGIN) && Read(buffer, length);
}

bool ZipSource::SeekHandle(int64_t position) {
  return position >= 0 && MoveFilePointer(Handle, position, FILE_BEGIN) == position;
}

bool ZipSource::Seek(int64_t distance, DWORD method) {
  if (!Seekable) return false;
  // A hostile offset can be anything: keep the sums far from overflow.
  const int64_t kLimit = INT64_C(1) << 48;
  if (distance > kLimit || distance < -kLimit) return false;
  if (Kind == ZipSourceKind::Memory) {
    int64_t base = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? Position : Length;
    int64_t target = base + distance;
    if (target < 0 || target > Length) return false;
    Position = target;
    return true;
  }
  switch (method) {
    case FILE_BEGIN: return SeekHandle(Start + distance);
    case FILE_CURRENT: {
      int64_t here = MoveFilePointer(Handle, 0, FILE_CURRENT);
      return here >= 0 && SeekHandle(here + distance);
    }
    case FILE_END: {
      int64_t end = MoveFilePointer(Handle, 0, FILE_END);
      return end >= 0 && end + distance >= Start && SeekHandle(end + distance);
    }
    default: return false;
  }
}

int64_t ZipSource::Tell() {
  if (Kind == ZipSourceKind::Memory) return Position;
  if (!Seekable) return -1;
  int64_t here = MoveFilePointer(Handle, 0, FILE_CURRENT);
  return here < 0 ? -1 : here - Start;
}
