// Composing extraction targets and making their folders. Over-long paths are
// refused before any folder is made, never cut short.
#include "zip/zip_paths.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const size_t kPathSize = 260;

bool IsAbsolute(const char* p) { return IsSeparator(p[0]) || (p[0] && p[1] == ':'); }

// A failing CreateDirectoryA is ignored: creating the file shows the failure.
void EnsureFolder(const char* folder) {
  if (folder[0] && GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
    CreateDirectoryA(folder, nullptr);
}

// Makes root (when given) and every folder of folder[0, length), each up to
// a separator, plus the whole when withLast is set.
bool MakeFolders(const char* root, const char* folder, size_t length, bool withLast) {
  size_t rootLength = root ? std::strlen(root) : 0;
  if (rootLength + length >= kPathSize) return false;
  char path[kPathSize];
  std::memcpy(path, root ? root : "", rootLength);
  path[rootLength] = 0;
  if (root) EnsureFolder(path);
  for (size_t i = 0; i < length; ++i) {
    bool last = i + 1 == length && withLast && !IsSeparator(folder[i]);
    if (!IsSeparator(folder[i]) && !last) continue;
    size_t end = last ? i + 1 : i;
    std::memcpy(path + rootLength, folder, end);
    path[rootLength + end] = 0;
    EnsureFolder(path);
  }
  return true;
}

}  // namespace

bool MakeFolderPath(const char* baseFolder, const char* path) {
  const char* root = IsAbsolute(path) ? nullptr : baseFolder;
  return MakeFolders(root, path, std::strlen(path), true);
}

bool PrepareTargetPath(const char* baseFolder, const char* path, char* full, size_t size) {
  size_t folderLength = 0;
  for (size_t i = 0; path[i]; ++i)
    if (IsSeparator(path[i])) folderLength = i + 1;
  bool absolute = folderLength > 0 && IsAbsolute(path);
  const char* root = absolute ? "" : baseFolder;
  if (std::strlen(root) + std::strlen(path) >= size || size > kPathSize) return false;
  if (!MakeFolders(absolute ? nullptr : baseFolder, path, folderLength, false)) return false;
  std::snprintf(full, size, "%s%s", root, path);
  return true;
}
