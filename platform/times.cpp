// FILETIME arithmetic and file times. FILETIME counts 100 ns ticks since
// 1601-01-01 UTC; Unix time starts 11,644,473,600 seconds later.
#include <windows.h>

#include <sys/stat.h>
#include <time.h>

int NativeDescriptor(HANDLE file);

namespace {

const int64_t kTicksPerSecond = 10000000;
const int64_t kUnixEpochSeconds = 11644473600LL;

int64_t Ticks(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME FromTicks(int64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
  t.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return t;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian).
int64_t DaysSince1601(int y, int m, int d) {
  int64_t years = y - 1601;
  int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
  for (int i = 1; i < m; ++i) days += DaysInMonth(y, i);
  return days + d - 1;
}

struct timespec ToTimespec(const FILETIME& t) {
  int64_t ticks = Ticks(t);
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond - kUnixEpochSeconds);
  ts.tv_nsec = static_cast<long>(ticks % kTicksPerSecond * 100);
  return ts;
}

FILETIME FromTimespec(const struct timespec& ts) {
  return FromTicks((static_cast<int64_t>(ts.tv_sec) + kUnixEpochSeconds) * kTicksPerSecond +
                   ts.tv_nsec / 100);
}

// Like Windows, the conversion between local and UTC time uses today's bias.
int64_t LocalBiasTicks() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return static_cast<int64_t>(local.tm_gmtoff) * kTicksPerSecond;
}

}  // namespace

FILETIME NativeFileTime(const struct timespec& ts) { return FromTimespec(ts); }

BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* access,
                 const FILETIME* modification) {
  int fd = NativeDescriptor(file);
  if (fd < 0) return FALSE;
  // POSIX keeps no creation time; it is accepted and dropped.
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (access) times[0] = ToTimespec(*access);
  if (modification) times[1] = ToTimespec(*modification);
  if (futimens(fd, times) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME modification) {
  int fd = NativeDescriptor(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return FALSE;
  if (creation) *creation = FromTimespec(st.st_mtim);
  if (access) *access = FromTimespec(st.st_atim);
  if (modification) *modification = FromTimespec(st.st_mtim);
  return TRUE;
}

void GetSystemTime(LPSYSTEMTIME time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  FILETIME t = FromTimespec(now);
  FileTimeToSystemTime(&t, time);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* s, LPFILETIME file) {
  if (!s || !file || s->wYear < 1601 || s->wYear > 30827 || s->wMonth < 1 || s->wMonth > 12 ||
      s->wDay < 1 || s->wDay > DaysInMonth(s->wYear, s->wMonth) || s->wHour > 23 ||
      s->wMinute > 59 || s->wSecond > 59 || s->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t seconds = DaysSince1601(s->wYear, s->wMonth, s->wDay) * 86400 + s->wHour * 3600 +
                    s->wMinute * 60 + s->wSecond;
  *file = FromTicks(seconds * kTicksPerSecond + s->wMilliseconds * 10000LL);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* file, LPSYSTEMTIME s) {
  int64_t ticks = Ticks(*file);
  if (ticks < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = ticks / kTicksPerSecond / 86400;
  int64_t rest = ticks / kTicksPerSecond % 86400;
  s->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
  s->wHour = static_cast<WORD>(rest / 3600);
  s->wMinute = static_cast<WORD>(rest / 60 % 60);
  s->wSecond = static_cast<WORD>(rest % 60);
  s->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  int y = 1601;
  while (days >= (IsLeap(y) ? 366 : 365)) days -= IsLeap(y++) ? 366 : 365;
  int m = 1;
  while (days >= DaysInMonth(y, m)) days -= DaysInMonth(y, m++);
  s->wYear = static_cast<WORD>(y);
  s->wMonth = static_cast<WORD>(m);
  s->wDay = static_cast<WORD>(days + 1);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc) {
  *utc = FromTicks(Ticks(*local) - LocalBiasTicks());
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local) {
  *local = FromTicks(Ticks(*utc) + LocalBiasTicks());
  return TRUE;
}

DWORD GetTickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}
