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
  source.kind_ = kind;
  source.readError_ = false;
  source.position_ = 0;
  if (kind == ZipSourceKind::Memory) {
    source.data_ = static_cast<const unsigned char*>(data);
    source.length_ = data ? length : 0;
    source.canSeek_ = true;
    source.start_ = 0;
    return true;
  }
  if (kind == ZipSourceKind::File) {
    handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
  }
  source.handle_ = handle;
  int64_t here = MoveFilePointer(handle, 0, FILE_CURRENT);
  source.canSeek_ = here >= 0;
  source.start_ = here >= 0 ? here : 0;
  return true;
}

void ZipSource::Close() {
  if (kind_ == ZipSourceKind::File && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  data_ = nullptr;
  length_ = 0;
  kind_ = ZipSourceKind::Memory;
}

bool ZipSource::Read(void* buffer, uint32_t length) {
  if (length == 0) return true;
  if (kind_ == ZipSourceKind::Memory) {
    if (position_ < 0 || position_ > length_ || length > length_ - position_) return false;
    std::memcpy(buffer, data_ + position_, length);
    position_ += length;
    return true;
  }
  DWORD done = 0;
  if (!ReadFile(handle_, buffer, length, &done, nullptr)) {
    readError_ = true;
    return false;
  }
  return done == length;
}

bool ZipSource::SeekHandle(int64_t position) {
  return position >= 0 && MoveFilePointer(handle_, position, FILE_BEGIN) == position;
}

bool ZipSource::Seek(int64_t distance, DWORD method) {
  if (!canSeek_) return false;
  // A hostile offset can be anything: keep the sums far from overflow.
  const int64_t kLimit = INT64_C(1) << 48;
  if (distance > kLimit || distance < -kLimit) return false;
  if (kind_ == ZipSourceKind::Memory) {
    int64_t base = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? position_ : length_;
    int64_t target = base + distance;
    if (target < 0 || target > length_) return false;
    position_ = target;
    return true;
  }
  switch (method) {
    case FILE_BEGIN: return SeekHandle(start_ + distance);
    case FILE_CURRENT: {
      int64_t here = MoveFilePointer(handle_, 0, FILE_CURRENT);
      return here >= 0 && SeekHandle(here + distance);
    }
    case FILE_END: {
      int64_t end = MoveFilePointer(handle_, 0, FILE_END);
      return end >= 0 && end + distance >= start_ && SeekHandle(end + distance);
    }
    default: return false;
  }
}

int64_t ZipSource::Tell() {
  if (kind_ == ZipSourceKind::Memory) return position_;
  if (!canSeek_) return -1;
  int64_t here = MoveFilePointer(handle_, 0, FILE_CURRENT);
  return here < 0 ? -1 : here - start_;
}
