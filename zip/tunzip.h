// TUnzip: one open archive behind a ZipHandle. Callers use the Zip* free
// operations of zip/unzip.h; this class is theirs to call, not the program's.
#pragma once

#include <memory>
#include <string>

#include "zip/unzip.h"
#include "zip/zip_archive.h"

class TUnzip {
 public:
  TUnzip();
  ~TUnzip();
  TUnzip(const TUnzip&) = delete;
  TUnzip& operator=(const TUnzip&) = delete;

  ZipResult Open(ZipSourceKind kind, HANDLE handle, const char* path, const void* data,
                 uint32_t length, const char* password);
  ZipResult GetEntry(int index, ZipEntryInfo* info);
  ZipResult FindEntry(const char* name, bool ignoreCase, int* index, ZipEntryInfo* info);
  ZipResult ExtractToFile(int index, const char* path);
  ZipResult ExtractToHandle(int index, HANDLE file);
  ZipResult ExtractToMemory(int index, void* buffer, uint32_t length);
  ZipResult SetBaseFolder(const char* folder);

 private:
  bool InRange(int index) const;
  void EndPiecewise();
  ZipResult ReachEntry(int index);
  ZipResult ReadEntryInfo(int index, ZipEntryInfo* info);
  ZipResult Extract(int index, const char* path, HANDLE target);
  ZipResult CopyData(HANDLE target);
  const char* GivenPassword() const { return HasPassword ? Password.c_str() : nullptr; }

  std::unique_ptr<ZipArchive> Archive;  // absent until the open succeeded
  int PiecewiseIndex = -1;  // the entry being extracted to memory piece by piece
  ZipEntryInfo Cached;      // the information of entry CachedIndex, last read
  int CachedIndex = -1;
  std::string Password;
  bool HasPassword = false;
  std::unique_ptr<unsigned char[]> Buffer;  // extraction buffer, made on first use
  char BaseFolder[260];
};
