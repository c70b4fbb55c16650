#include "support/test_times.h"

#include <cstdio>

#include "platform/win32_handles.h"

namespace {

const int64_t kTicksPerSecond = 10000000;
const int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in FILETIME ticks

}  // namespace

int64_t Ticks(const FILETIME& time) {
  uint64_t bits = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  return static_cast<int64_t>(bits);
}

FILETIME FromTicks(int64_t ticks) {
  uint64_t bits = static_cast<uint64_t>(ticks);
  return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

int64_t UnixTicks(int64_t seconds) { return seconds * kTicksPerSecond + kUnixEpochTicks; }

SYSTEMTIME Date(int year, int month, int day, int hour, int minute, int second,
                int milliseconds) {
  auto field = [](int value) { return static_cast<WORD>(value); };
  return SYSTEMTIME{field(year),   field(month),  0, field(day),
                    field(hour),   field(minute), field(second), field(milliseconds)};
}

std::string TimeText(const SYSTEMTIME& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  return text;
}

std::string LocalTimeText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME time;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time))
    return "invalid";
  return TimeText(time);
}

int64_t FileWriteTicks(const std::string& path) {
  TKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME written;
  if (!file.IsOpen() || !GetFileTime(file.Get(), nullptr, nullptr, &written)) return 0;
  return Ticks(written);
}

bool SetFileWriteTime(const std::string& path, const SYSTEMTIME& utc) {
  FILETIME written;
  if (!SystemTimeToFileTime(&utc, &written)) return false;
  // Write-attributes access, not GENERIC_WRITE: a read-only file takes it.
  TKernelHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsOpen() && SetFileTime(file.Get(), nullptr, nullptr, &written);
}
