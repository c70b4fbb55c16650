#include "app/catalogue_archive.h"

#include <windows.h>

int FindArchiveMember(ZipHandle zip, const char* member, ZipEntryInfo* info) {
  int count = ZipGetEntry(zip, -1, info) == ZipOk ? info->Index : 0;
  for (int i = 0; i < count; ++i) {
    if (ZipGetEntry(zip, i, info) != ZipOk) continue;
    if (lstrcmpiA(info->Name, member) == 0) return i;
  }
  return -1;
}

bool ReadArchiveMember(ZipHandle zip, int index, const ZipEntryInfo& info, uint32_t maxSize,
                       std::string* bytes) {
  bytes->clear();
  if (info.UncompressedSize < 0 || static_cast<uint32_t>(info.UncompressedSize) > maxSize)
    return false;
  // One call with room for the whole entry delivers it all; an empty entry
  // still needs a byte of room, as a read of nothing ends nothing.
  std::string data(static_cast<size_t>(info.UncompressedSize) + 1, '\0');
  if (ZipExtractToMemory(zip, index, &data[0], static_cast<unsigned>(data.size())) != ZipOk)
    return false;
  data.resize(static_cast<size_t>(info.UncompressedSize));
  bytes->swap(data);
  return true;
}
