// Where an archive's bytes come from: a caller's file handle, a file the
// core opens itself, or a caller's block of memory. Positions are 64-bit so
// that offsets added from a hostile archive cannot wrap around.
#pragma once

#include <windows.h>

#include <cstdint>

enum class ZipSourceKind { Handle, File, Memory };

class ZipSource {
 public:
  ZipSource() = default;
  ~ZipSource() { Close(); }
  ZipSource(const ZipSource&) = delete;
  ZipSource& operator=(const ZipSource&) = delete;

  // Reads exactly length bytes at the current position; a short read fails.
  bool Read(void* buffer, uint32_t length);
  // Seeks relative to the start offset (FILE_BEGIN), the current position or
  // the end. A position before the start or past the end of memory fails.
  bool Seek(int64_t distance, DWORD method);
  // The current position counted from the start offset, or -1.
  int64_t Tell();
  // Closes a file source's handle; a handle or memory source is left alone.
  void Close();

  bool CanSeek() const { return canSeek_; }
  bool ReadError() const { return readError_; }

 private:
  friend bool OpenZipSource(ZipSource& source, ZipSourceKind kind, HANDLE handle,
                            const char* path, const void* data, uint32_t length);
  bool SeekHandle(int64_t position);

  ZipSourceKind kind_ = ZipSourceKind::Memory;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool canSeek_ = false;
  bool readError_ = false;
  int64_t start_ = 0;  // handle position when the source was made
  const unsigned char* data_ = nullptr;  // not owned
  uint32_t length_ = 0;
  int64_t position_ = 0;  // memory sources only
};

// Makes source of the given kind: from handle (Handle), by opening path with
// CreateFileA (File; false when that fails) or over data/length (Memory).
bool OpenZipSource(ZipSource& source, ZipSourceKind kind, HANDLE handle, const char* path,
                   const void* data, uint32_t length);
