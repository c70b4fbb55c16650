// Entry names, attributes and times.
#include "zip/zip_entry_info.h"

#include <cstring>

#include "zip/zip_bytes.h"
#include "zip/zip_paths.h"

namespace {

const int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in FILETIME ticks
const int64_t kTicksPerSecond = 10000000;

// Drops everything up to and including the first occurrence of pattern.
bool DropThrough(char* name, const char* pattern) {
  char* hit = std::strstr(name, pattern);
  if (!hit) return false;
  char* rest = hit + std::strlen(pattern);
  std::memmove(name, rest, std::strlen(rest) + 1);
  return true;
}

void DropFirst(char* name, size_t count) {
  std::memmove(name, name + count, std::strlen(name + count) + 1);
}

FILETIME UnixToFileTime(int32_t seconds) {
  uint64_t ticks = static_cast<uint64_t>(seconds * kTicksPerSecond + kUnixEpochTicks);
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

}  // namespace

void CleanEntryName(char* name) {
  for (;;) {
    if (name[0] && name[1] == ':') {
      DropFirst(name, 2);
    } else if (IsSeparator(name[0])) {
      DropFirst(name, 1);
    } else if (DropThrough(name, "\\..\\") || DropThrough(name, "\\../") ||
               DropThrough(name, "/../") || DropThrough(name, "/..\\")) {
    } else if (name[0] == '.' && name[1] == '.' && IsSeparator(name[2])) {
      DropFirst(name, 3);
    } else {
      return;
    }
  }
}

DWORD MapEntryAttributes(uint16_t versionMadeBy, uint32_t external) {
  switch (versionMadeBy >> 8) {
    case 0:   // MS-DOS and FAT
    case 7:   // Macintosh
    case 11:  // NTFS
    case 14:  // VFAT
      return external & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
    default: {
      // A Unix mode in the high half: directory type bit, owner write bit.
      DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
      if (external & 0x40000000) attributes |= FILE_ATTRIBUTE_DIRECTORY;
      if (!(external & 0x00800000)) attributes |= FILE_ATTRIBUTE_READONLY;
      return attributes;
    }
  }
}

void EntryTimes(uint16_t dosDate, uint16_t dosTime, const unsigned char* extra,
                uint32_t extraLength, FILETIME* access, FILETIME* creation,
                FILETIME* modification) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(1980 + (dosDate >> 9));
  st.wMonth = static_cast<WORD>((dosDate >> 5) & 0x0F);
  st.wDay = static_cast<WORD>(dosDate & 0x1F);
  st.wHour = static_cast<WORD>(dosTime >> 11);
  st.wMinute = static_cast<WORD>((dosTime >> 5) & 0x3F);
  st.wSecond = static_cast<WORD>((dosTime & 0x1F) * 2);
  FILETIME local = {}, utc = {};
  // An impossible DOS date (month 0, say) leaves the times at zero.
  if (SystemTimeToFileTime(&st, &local)) LocalFileTimeToFileTime(&local, &utc);
  *access = *creation = *modification = utc;

  for (uint32_t p = 0; p + 4 < extraLength;) {
    uint32_t size = Get16(extra + p + 2);
    if (extra[p] != 'U' || extra[p + 1] != 'T') {
      p += 4 + size;
      continue;
    }
    // Times must lie inside both the block and the field.
    uint32_t end = p + 4 + size < extraLength ? p + 4 + size : extraLength;
    unsigned char flags = extra[p + 4];
    p += 5;
    FILETIME* targets[] = {modification, access, creation};
    for (int bit = 0; bit < 3; ++bit) {
      if (!(flags & (1 << bit))) continue;
      if (p + 4 > end) break;
      *targets[bit] = UnixToFileTime(static_cast<int32_t>(Get32(extra + p)));
      p += 4;
    }
    return;
  }
}
