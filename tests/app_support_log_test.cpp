// The support log file on its own: stamps, the UTF-8 conversion of GBK text,
// the byte-order mark, lines and their bounds, the move to ".1" at 1 MiB,
// and folders and files that cannot be written.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/support_log.h"
#include "support/test_files.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string Stamp(const SYSTEMTIME& t) {
  char stamp[kUtcStampLength + 1];
  FormatUtcStamp(t, stamp);
  return stamp;
}

std::string NowStamp() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return Stamp(now);
}

// The lines of a log file after its byte-order mark, without their "\r\n";
// fails the test when the mark is missing or the last line is unfinished.
std::vector<std::string> FileLines(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(kBom, bytes.substr(0, 3)) << path;
  std::vector<std::string> lines;
  for (size_t at = 3, end; at < bytes.size(); at = end + 2) {
    end = bytes.find("\r\n", at);
    EXPECT_NE(std::string::npos, end) << "unfinished line in " << path;
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(at, end - at));
  }
  return lines;
}

// The text of each line after its stamp, which must read like
// "2026-01-31T08:05:09.042Z ".
std::vector<std::string> Unstamped(const std::vector<std::string>& lines) {
  static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z )");
  std::vector<std::string> texts;
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line.substr(0, kUtcStampLength + 1), stamp)) << line;
    texts.push_back(line.substr(kUtcStampLength + 1));
  }
  return texts;
}

class SupportLogTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Log.Start(Dir.Path().c_str())); }
  std::string LogPath() const { return Dir.File(kSupportLogName); }
  std::string OldPath() const { return Dir.File(kSupportLogOldName); }

  TScratchDir Dir{"support-log"};
  TSupportLog Log;
};

TEST_F(SupportLogTest, NoPackageMayBeStoredUnderItsNames) {
  for (const char* name : {"InstallZelm.log", "installzelm.LOG", "INSTALLZELM.LOG.1"}) {
    EXPECT_TRUE(IsSupportLogName(name)) << name;
    EXPECT_FALSE(IsBareFileName(name)) << name;
  }
  for (const char* name : {"InstallZelm.log.2", "InstallZelm.exe", "a.log"}) {
    EXPECT_FALSE(IsSupportLogName(name)) << name;
    EXPECT_TRUE(IsBareFileName(name)) << name;
  }
}

TEST_F(SupportLogTest, StampsAreIso8601UtcWithMilliseconds) {
  const struct {
    SYSTEMTIME Time;  // year, month, day of week, day, hour, minute, second, ms
    const char* Expected;
  } cases[] = {
      {{2026, 1, 6, 31, 8, 5, 9, 42}, "2026-01-31T08:05:09.042Z"},
      {{1999, 12, 5, 31, 23, 59, 59, 999}, "1999-12-31T23:59:59.999Z"},
      {{2030, 10, 0, 1, 0, 0, 0, 0}, "2030-10-01T00:00:00.000Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Expected, Stamp(c.Time));
}

// GBK becomes UTF-8 (the narrow literals are GBK bytes, as all text of the
// program is); control characters, which could start a line of their own
// or colour a terminal, become "?".
TEST_F(SupportLogTest, TextIsUtf8WithoutControlCharacters) {
  const struct {
    std::string Gbk, Utf8, Logged;
  } cases[] = {
      {"正在下载\"北京定额2008\"...", u8"正在下载\"北京定额2008\"...", u8"正在下载\"北京定额2008\"..."},
      {"下载完成 12.50KB/S", u8"下载完成 12.50KB/S", u8"下载完成 12.50KB/S"},
      {"http://127.0.0.1/download/a.exe", "http://127.0.0.1/download/a.exe",
       "http://127.0.0.1/download/a.exe"},
      {"", "", ""},
      {"a\x01" "b\x1b[31m\tc\x7f", "a\x01" "b\x1b[31m\tc\x7f", "a?b?[31m\tc?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Utf8, AnsiToUtf8(c.Gbk.data(), c.Gbk.size())) << c.Logged;
    EXPECT_EQ(c.Logged, SupportLogText(c.Gbk.data(), c.Gbk.size())) << c.Logged;
  }
}

TEST_F(SupportLogTest, LongTextIsCutAtACharacter) {
  std::string gbk;
  for (int i = 0; i < 1500; ++i) gbk += "定";  // 3000 bytes of GBK, 4500 of UTF-8
  std::string line = SupportLogText(gbk.data(), gbk.size());
  ASSERT_LE(line.size(), kSupportLogMaxLine);
  EXPECT_GT(line.size(), kSupportLogMaxLine - 6);
  ASSERT_EQ("...", line.substr(line.size() - 3));
  std::string body = line.substr(0, line.size() - 3);
  ASSERT_EQ(0u, body.size() % 3);  // whole characters only
  for (size_t i = 0; i < body.size(); i += 3) ASSERT_EQ(u8"定", body.substr(i, 3)) << i;
}

// Every line break in a text starts a stamped line of its kind (a closing
// one adds none); a later run appends to the same file, and the mark stays
// the first bytes only.
TEST_F(SupportLogTest, LinesCarryTheTimeAndKindInUtf8AfterOneByteOrderMark) {
  const std::string before = NowStamp();
  ASSERT_TRUE(Log.Write("window", "正在下载\"北京定额2008\"...\r\nfrom http://127.0.0.1:1/download/\r\n"));
  ASSERT_TRUE(Log.Write("http", "GET http://127.0.0.1:1/download/a.exe status 200 length 5"));
  for (const char* text : {"a\r\nb\nc\rd", "a\r\n\r\nb", "a\r\n", ""}) ASSERT_TRUE(Log.Write("k", text));
  TSupportLog later;
  ASSERT_TRUE(later.Start(Dir.Path().c_str()));
  ASSERT_TRUE(later.Write("start", "InstallZelm"));
  const std::string after = NowStamp();

  EXPECT_EQ(std::string::npos, ReadFileBytes(LogPath()).find(kBom, 1));
  std::vector<std::string> lines = FileLines(LogPath());
  for (const std::string& line : lines) {
    std::string stamp = line.substr(0, kUtcStampLength);
    EXPECT_LE(before, stamp);  // the form sorts as the time does
    EXPECT_GE(after, stamp);
  }
  std::vector<std::string> expected = {u8"window 正在下载\"北京定额2008\"...",
                                       "window from http://127.0.0.1:1/download/",
                                       "http GET http://127.0.0.1:1/download/a.exe status 200 length 5",
                                       "k a", "k b", "k c", "k d", "k a", "k", "k b", "k a", "k",
                                       "start InstallZelm"};
  EXPECT_EQ(expected, Unstamped(lines));
}

// The window's lines go in once each, only when complete, and a long log
// (about 170 KiB: several writes) goes in whole and in order.
TEST_F(SupportLogTest, WindowLinesAreTakenOnceAndOnlyWhenComplete) {
  std::string window = "正在下载\"a\"...\r\nfrom http://127.0.0.1:1/download/";
  size_t saved = 0;
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));
  EXPECT_EQ(window.find("from"), saved);
  window += "\r\n下载完成 0.00KB/S\r\n";
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));  // nothing new
  EXPECT_EQ(window.size(), saved);
  std::vector<std::string> expected = {u8"window 正在下载\"a\"...", "window from http://127.0.0.1:1/download/",
                                       u8"window 下载完成 0.00KB/S"};
  for (int i = 0; i < 6000; ++i) {
    std::string line = "卸载: 定额" + std::to_string(i) + "...";
    window += line + "\r\n";
    expected.push_back("window " + AnsiToUtf8(line.data(), line.size()));
  }
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));
  EXPECT_EQ(window.size(), saved);
  EXPECT_EQ(expected, Unstamped(FileLines(LogPath())));
}

TEST_F(SupportLogTest, AWriteThatWouldPassOneMebibyteStartsANewFile) {
  const std::string line = "k 0123456789";  // 24 + 1 + 12 + 2 = 39 bytes a line
  const size_t lineBytes = kUtcStampLength + 1 + line.size() + 2;
  const struct {
    size_t Existing;  // bytes of the file before the write
    bool Moved;
  } cases[] = {
      {kSupportLogMaxBytes - lineBytes, false},  // exactly full afterwards
      {kSupportLogMaxBytes - lineBytes + 1, true},
      {kSupportLogMaxBytes + 5000, true},  // made by another program
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Existing);
    std::string existing = kBom + std::string(c.Existing - 3, 'x');
    ASSERT_TRUE(WriteFileBytes(LogPath(), existing));
    ASSERT_TRUE(WriteFileBytes(OldPath(), "the generation before"));
    ASSERT_TRUE(Log.Write("k", "0123456789"));
    std::string now = ReadFileBytes(LogPath());
    if (c.Moved) {
      EXPECT_EQ(existing, ReadFileBytes(OldPath()));  // one generation kept
      EXPECT_EQ(3 + lineBytes, now.size());
      EXPECT_EQ(std::vector<std::string>{line}, Unstamped(FileLines(LogPath())));
    } else {
      EXPECT_EQ("the generation before", ReadFileBytes(OldPath()));
      EXPECT_EQ(kSupportLogMaxBytes, now.size());
    }
  }
}

TEST_F(SupportLogTest, NoFileEverPassesTheLimit) {
  std::string block(1000, 'y');
  for (int i = 0; i < 2500; ++i) ASSERT_TRUE(Log.Write("k", block.c_str())) << i;  // 2.5 MB
  for (const std::string& path : {LogPath(), OldPath()}) {
    std::string bytes = ReadFileBytes(path);
    EXPECT_LE(bytes.size(), kSupportLogMaxBytes) << path;
    EXPECT_EQ(kBom, bytes.substr(0, 3)) << path;
    EXPECT_EQ(std::string::npos, bytes.find(kBom, 1)) << path;
  }
  // The old generation was full: it went only when the next line did not fit.
  EXPECT_GT(ReadFileBytes(OldPath()).size(), kSupportLogMaxBytes - 1100);
  EXPECT_FALSE(FileExists(LogPath() + ".2"));
}

TEST_F(SupportLogTest, WhatCannotBeWrittenFailsOnlyTheWrite) {
  const std::string missing = Dir.File("no such folder"), busy = Dir.File("busy");
  ASSERT_TRUE(CreateDirectoryA(busy.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((busy + "\\" + kSupportLogName).c_str(), nullptr));  // a folder in its place
  for (const std::string& folder : {missing, busy}) {
    SCOPED_TRACE(folder);
    ASSERT_TRUE(Log.Start(folder.c_str()));
    SetLastError(1234);
    EXPECT_FALSE(Log.Write("k", "text"));
    size_t saved = 0;
    EXPECT_FALSE(Log.WriteWindowLines("line\r\n", saved));
    EXPECT_EQ(6u, saved);              // dropped, never written twice
    EXPECT_EQ(1234u, GetLastError());  // the caller's error is kept
  }
  EXPECT_FALSE(FileExists(missing));

  // A full file that cannot be moved aside stays as it is.
  ASSERT_TRUE(CreateDirectoryA(OldPath().c_str(), nullptr));
  const std::string full = kBom + std::string(kSupportLogMaxBytes - 10, 'x');
  ASSERT_TRUE(WriteFileBytes(LogPath(), full));
  ASSERT_TRUE(Log.Start(Dir.Path().c_str()));
  EXPECT_FALSE(Log.Write("k", "more text than fits"));
  EXPECT_EQ(full, ReadFileBytes(LogPath()));

  // Never started, stopped, or refused a folder whose name would not fit:
  // nothing is written.
  TSupportLog fresh;
  EXPECT_FALSE(fresh.IsStarted());
  EXPECT_FALSE(fresh.Write("k", "text"));
  ASSERT_TRUE(DeleteFileA(LogPath().c_str()));
  Log.Stop();
  EXPECT_FALSE(Log.IsStarted());
  EXPECT_FALSE(Log.Write("k", "text"));
  EXPECT_FALSE(FileExists(LogPath()));
  const std::string longFolder = "C:\\" + std::string(245, 'f');
  EXPECT_FALSE(Log.Start(longFolder.c_str()));
  EXPECT_FALSE(Log.IsStarted());
  EXPECT_FALSE(Log.Write("k", "text"));
}

}  // namespace
