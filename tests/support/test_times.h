// FILETIME and SYSTEMTIME for tests: tick counts that compare and subtract,
// dates written in one line, times as text that a failure message can show,
// and the write time of a file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A FILETIME as one count of 100 ns ticks since 1601-01-01, and back.
int64_t Ticks(const FILETIME& time);
FILETIME FromTicks(int64_t ticks);
// The ticks of a count of seconds since 1970-01-01 UTC (negative: before).
int64_t UnixTicks(int64_t seconds);

// A SYSTEMTIME with the fields given; the day of the week stays 0. Values are
// not checked, so that tests can hand on dates that do not exist.
SYSTEMTIME Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                int milliseconds = 0);

// "2021-03-04 05:06:08.000": every field but the day of the week.
std::string TimeText(const SYSTEMTIME& time);
// A UTC FILETIME as local time in TimeText's form; "invalid" when it does
// not convert.
std::string LocalTimeText(const FILETIME& utc);

// The last-write time of a file in ticks, or 0 when it cannot be read.
int64_t FileWriteTicks(const std::string& path);
// Sets the last-write time of a file (read-only ones too); false on failure.
bool SetFileWriteTime(const std::string& path, const SYSTEMTIME& utc);
