// Where an archive's bytes come from: a caller's file handle, a file the
// core opens itself, or a caller's block of memory. Positions are 64-bit so
// that offsets added from a hostile archive cannot wrap around.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/win32_handles.h"

enum class ZipSourceKind { Handle, File, Memory };

class ZipSource {
 public:
  ZipSource() = default;
  ZipSource(const ZipSource&) = delete;
  ZipSource& operator=(const ZipSource&) = delete;

  // Reads exactly length bytes at the current position; a short read fails.
  bool Read(void* buffer, uint32_t length);
  // Seeks to position (counted from the start offset), then reads as Read.
  bool ReadAt(int64_t position, void* buffer, uint32_t length);
  // Seeks relative to the start offset (FILE_BEGIN), the current position or
  // the end. A position before the start or past the end of memory fails.
  bool Seek(int64_t distance, DWORD method);
  // The current position counted from the start offset, or -1.
  int64_t Tell();
  // Closes a file source's handle; a handle or memory source is left alone.
  void Close();

  bool CanSeek() const { return Seekable; }
  bool ReadError() const { return ReadFailed; }

 private:
  friend bool OpenZipSource(ZipSource& source, ZipSourceKind kind, HANDLE handle,
                            const char* path, const void* data, uint32_t length);
  bool SeekHandle(int64_t position);

  ZipSourceKind Kind = ZipSourceKind::Memory;
  TKernelHandle OwnedFile;  // file sources only: the handle opened here
  HANDLE Handle = INVALID_HANDLE_VALUE;  // not owned: the caller's, or OwnedFile's
  bool Seekable = false;
  bool ReadFailed = false;  // a ReadFile call failed, as opposed to coming up short
  int64_t Start = 0;  // handle position when the source was made
  const unsigned char* Data = nullptr;  // not owned
  uint32_t Length = 0;
  int64_t Position = 0;  // memory sources only
};

// Makes source of the given kind: from handle (Handle), by opening path with
// CreateFileA (File; false when that fails) or over data/length (Memory).
bool OpenZipSource(ZipSource& source, ZipSourceKind kind, HANDLE handle, const char* path,
                   const void* data, uint32_t length);
