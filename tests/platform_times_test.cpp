// Time conversions and file times, natively and under Wine alike.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/test_files.h"
#include "support/test_times.h"

namespace {

TEST(PlatformTimes, SystemTimeToFileTimeAndBack) {
  const struct {
    SYSTEMTIME Time;
    int64_t Ticks;  // -1: refused
    int DayOfWeek;
  } cases[] = {
      // No 29 February of a common year: Wine rolls it over to 1 March
      // where Windows refuses it, so callers must not rely on either.
      {Date(1601, 1, 1), 0, 1},
      {Date(1970, 1, 1), 116444736000000000LL, 4},
      {Date(1980, 1, 1), 119600064000000000LL, 2},
      {Date(2020, 2, 29, 12, 34, 56, 789), 132274532967890000LL, 6},
      {Date(2021, 3, 4, 5, 6, 8), 132593079680000000LL, 4},
      {Date(2100, 12, 31, 23, 59, 59, 999), 157784543999990000LL, 5},
      {Date(2021, 13, 1), -1, 0},
      {Date(2021, 0, 1), -1, 0},
      {Date(2021, 1, 0), -1, 0},
      {Date(2021, 1, 1, 24), -1, 0},
      {Date(2021, 1, 1, 0, 60), -1, 0},
      {Date(2021, 1, 1, 0, 0, 60), -1, 0},
      {Date(2021, 1, 1, 0, 0, 0, 1000), -1, 0},
      {Date(1600, 12, 31), -1, 0},
  };
  for (const auto& c : cases) {
    FILETIME ft = {};
    BOOL ok = SystemTimeToFileTime(&c.Time, &ft);
    std::string what = TimeText(c.Time);
    EXPECT_EQ(c.Ticks >= 0, ok != FALSE) << what;
    if (!ok) continue;
    EXPECT_EQ(c.Ticks, Ticks(ft)) << what;
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(what, TimeText(back));
    EXPECT_EQ(c.DayOfWeek, back.wDayOfWeek) << what;
  }
}

TEST(PlatformTimes, LocalAndUtcAreInverses) {
  for (int64_t ticks : {132593079680000000LL, 119600064000000000LL, 150000000000000000LL}) {
    FILETIME utc = FromTicks(ticks), local, back;
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(ticks, Ticks(back));
    // The bias is whole minutes and under a day.
    int64_t bias = Ticks(local) - ticks;
    EXPECT_EQ(0, bias % 600000000LL);
    EXPECT_LT(bias < 0 ? -bias : bias, 864000000000LL);
  }
}

TEST(PlatformTimes, FileTimesRoundTripAndSystemTimeIsNow) {
  TScratchDir folder("times");
  std::string path = folder.File("times.tmp");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME nowFt, created, accessed, modified;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &nowFt));
  ASSERT_TRUE(GetFileTime(h, &created, &accessed, &modified));
  // A new file's write time is about now (UTC on both sides).
  int64_t skew = Ticks(modified) - Ticks(nowFt);
  EXPECT_LT(skew < 0 ? -skew : skew, 600000000LL);  // within a minute

  FILETIME access = FromTicks(132593079680000000LL);        // 2021-03-04 05:06:08
  FILETIME modification = FromTicks(119600064000000000LL);  // 1980-01-01
  ASSERT_TRUE(SetFileTime(h, nullptr, &access, &modification));
  ASSERT_TRUE(GetFileTime(h, nullptr, &accessed, &modified));
  EXPECT_EQ(Ticks(access), Ticks(accessed));
  EXPECT_EQ(Ticks(modification), Ticks(modified));
  // A null time leaves that time alone.
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &access));
  ASSERT_TRUE(GetFileTime(h, nullptr, &accessed, &modified));
  EXPECT_EQ(Ticks(access), Ticks(modified));
  EXPECT_EQ(Ticks(access), Ticks(accessed));
  CloseHandle(h);
}

}  // namespace
