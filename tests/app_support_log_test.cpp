// The support log file on its own: stamps, the UTF-8 conversion of GBK text,
// the byte-order mark, lines and their bounds, the move to ".1" at 1 MiB,
// and folders and files that cannot be written.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/support_log.h"
#include "support/test_files.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

// True when `line` starts with a stamp of the form 2026-01-31T08:05:09.042Z
// and a blank.
bool HasStamp(const std::string& line) {
  const std::string form = "dddd-dd-ddTdd:dd:dd.dddZ ";
  if (line.size() < form.size()) return false;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] == 'd' ? !isdigit(static_cast<unsigned char>(line[i])) : line[i] != form[i]) return false;
  }
  return true;
}

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
  size_t at = 3;
  while (at < bytes.size()) {
    size_t end = bytes.find("\r\n", at);
    EXPECT_NE(std::string::npos, end) << "unfinished line in " << path;
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The text of each line after its stamp.
std::vector<std::string> Unstamped(const std::vector<std::string>& lines) {
  std::vector<std::string> texts;
  for (const std::string& line : lines) {
    EXPECT_TRUE(HasStamp(line)) << line;
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

}  // namespace

TEST(SupportLogName, NoPackageMayBeStoredUnderIt) {
  for (const char* name : {"InstallZelm.log", "installzelm.LOG", "INSTALLZELM.LOG.1"}) {
    EXPECT_TRUE(IsSupportLogName(name)) << name;
    EXPECT_FALSE(IsBareFileName(name)) << name;
  }
  for (const char* name : {"InstallZelm.log.2", "InstallZelm.exe", "a.log"}) {
    EXPECT_FALSE(IsSupportLogName(name)) << name;
    EXPECT_TRUE(IsBareFileName(name)) << name;
  }
}

TEST(SupportLogStamp, IsIso8601UtcWithMilliseconds) {
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

TEST(SupportLogText, ConvertsGbkToUtf8) {
  // The narrow literals are GBK bytes, as all text of the program is.
  const struct {
    std::string Gbk;
    std::string Utf8;
  } cases[] = {
      {"正在下载\"北京定额2008\"...", u8"正在下载\"北京定额2008\"..."},
      {"下载完成 12.50KB/S", u8"下载完成 12.50KB/S"},
      {"http://127.0.0.1/download/a.exe", "http://127.0.0.1/download/a.exe"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Utf8, AnsiToUtf8(c.Gbk.data(), c.Gbk.size())) << c.Utf8;
    EXPECT_EQ(c.Utf8, SupportLogText(c.Gbk.data(), c.Gbk.size())) << c.Utf8;
  }
}

TEST(SupportLogText, ControlCharactersCannotStartALineOfTheirOwn) {
  const std::string text = "a\x01" "b\x1b[31m\tc\x7f";
  EXPECT_EQ("a?b?[31m\tc?", SupportLogText(text.data(), text.size()));
}

TEST(SupportLogText, LongTextIsCutAtACharacter) {
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

TEST_F(SupportLogTest, LinesCarryTheTimeAndKindInUtf8AfterOneByteOrderMark) {
  const std::string before = NowStamp();
  ASSERT_TRUE(Log.Write("window", "正在下载\"北京定额2008\"...\r\nfrom http://127.0.0.1:1/download/\r\n"));
  ASSERT_TRUE(Log.Write("http", "GET http://127.0.0.1:1/download/a.exe status 200 length 5"));
  // A later run appends to the same file: the mark stays the first bytes only.
  TSupportLog later;
  ASSERT_TRUE(later.Start(Dir.Path().c_str()));
  ASSERT_TRUE(later.Write("start", "InstallZelm"));
  const std::string after = NowStamp();

  std::string bytes = ReadFileBytes(LogPath());
  EXPECT_EQ(std::string::npos, bytes.find(kBom, 1));
  std::vector<std::string> lines = FileLines(LogPath());
  for (const std::string& line : lines) {
    std::string stamp = line.substr(0, kUtcStampLength);
    EXPECT_LE(before, stamp);  // the form sorts as the time does
    EXPECT_GE(after, stamp);
  }
  std::vector<std::string> expected = {u8"window 正在下载\"北京定额2008\"...",
                                       "window from http://127.0.0.1:1/download/",
                                       "http GET http://127.0.0.1:1/download/a.exe status 200 length 5",
                                       "start InstallZelm"};
  EXPECT_EQ(expected, Unstamped(lines));
}

TEST_F(SupportLogTest, EveryLineBreakStartsAStampedLine) {
  const struct {
    std::string Text;
    std::vector<std::string> Lines;
  } cases[] = {
      {"a\r\nb\nc\rd", {"k a", "k b", "k c", "k d"}},
      {"a\r\n", {"k a"}},
      {"a\r\n\r\nb", {"k a", "k", "k b"}},
      {"", {"k"}},
  };
  for (const auto& c : cases) {
    DeleteFileA(LogPath().c_str());
    ASSERT_TRUE(Log.Write("k", c.Text.data(), c.Text.size()));
    EXPECT_EQ(c.Lines, Unstamped(FileLines(LogPath()))) << c.Text;
  }
}

TEST_F(SupportLogTest, WindowLinesAreTakenOnceAndOnlyWhenComplete) {
  std::string window = "正在下载\"a\"...\r\nfrom http://127.0.0.1:1/download/";
  size_t saved = 0;
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));
  EXPECT_EQ(window.find("from"), saved);
  window += "\r\n下载完成 0.00KB/S\r\n现在安装\"a\"...\r\n";
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));
  ASSERT_TRUE(Log.WriteWindowLines(window, saved));  // nothing new
  EXPECT_EQ(window.size(), saved);
  std::vector<std::string> expected = {u8"window 正在下载\"a\"...", "window from http://127.0.0.1:1/download/",
                                       u8"window 下载完成 0.00KB/S", u8"window 现在安装\"a\"..."};
  EXPECT_EQ(expected, Unstamped(FileLines(LogPath())));
}

TEST_F(SupportLogTest, ALongWindowLogGoesInWholeAndInOrder) {
  std::string window;
  std::vector<std::string> expected;
  for (int i = 0; i < 6000; ++i) {  // about 170 KiB: several writes
    std::string line = "卸载: 定额" + std::to_string(i) + "...";
    window += line + "\r\n";
    expected.push_back("window " + AnsiToUtf8(line.data(), line.size()));
  }
  size_t saved = 0;
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
    std::string existing = kBom + std::string(c.Existing - 3, 'x');
    ASSERT_TRUE(WriteFileBytes(LogPath(), existing));
    ASSERT_TRUE(WriteFileBytes(OldPath(), "the generation before"));
    ASSERT_TRUE(Log.Write("k", "0123456789"));
    std::string now = ReadFileBytes(LogPath());
    if (c.Moved) {
      EXPECT_EQ(existing, ReadFileBytes(OldPath())) << c.Existing;  // one generation kept
      EXPECT_EQ(3 + lineBytes, now.size()) << c.Existing;
      EXPECT_EQ(std::vector<std::string>{line}, Unstamped(FileLines(LogPath())));
    } else {
      EXPECT_EQ("the generation before", ReadFileBytes(OldPath())) << c.Existing;
      EXPECT_EQ(kSupportLogMaxBytes, now.size()) << c.Existing;
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

TEST(SupportLogFailures, AFolderOrFileThatCannotBeWrittenFailsOnlyTheWrite) {
  TScratchDir dir("support-log-bad");
  const std::string missing = dir.File("no such folder");
  std::string busy = dir.File("busy");
  ASSERT_TRUE(CreateDirectoryA(busy.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((busy + "\\" + kSupportLogName).c_str(), nullptr));  // a folder in its place
  for (const std::string& folder : {missing, busy}) {
    TSupportLog log;
    ASSERT_TRUE(log.Start(folder.c_str()));
    SetLastError(1234);
    EXPECT_FALSE(log.Write("k", "text")) << folder;
    size_t saved = 0;
    EXPECT_FALSE(log.WriteWindowLines("line\r\n", saved)) << folder;
    EXPECT_EQ(6u, saved) << folder;  // dropped, never written twice
    EXPECT_EQ(1234u, GetLastError()) << folder;  // the caller's error is kept
  }
  EXPECT_FALSE(FileExists(missing));
}

TEST(SupportLogFailures, AFullFileThatCannotBeMovedAsideStaysBounded) {
  TScratchDir dir("support-log-stuck");
  ASSERT_TRUE(CreateDirectoryA(dir.File(kSupportLogOldName).c_str(), nullptr));
  const std::string full = kBom + std::string(kSupportLogMaxBytes - 10, 'x');
  ASSERT_TRUE(WriteFileBytes(dir.File(kSupportLogName), full));
  TSupportLog log;
  ASSERT_TRUE(log.Start(dir.Path().c_str()));
  EXPECT_FALSE(log.Write("k", "more text than fits"));
  EXPECT_EQ(full, ReadFileBytes(dir.File(kSupportLogName)));
}

TEST(SupportLogFailures, StoppedOrTooLongAFolderWritesNothing) {
  TSupportLog log;
  EXPECT_FALSE(log.IsStarted());
  EXPECT_FALSE(log.Write("k", "text"));
  const std::string longFolder = "C:\\" + std::string(245, 'f');  // the name would not fit
  EXPECT_FALSE(log.Start(longFolder.c_str()));
  EXPECT_FALSE(log.IsStarted());
  TScratchDir dir("support-log-stop");
  ASSERT_TRUE(log.Start(dir.Path().c_str()));
  log.Stop();
  EXPECT_FALSE(log.Write("k", "text"));
  EXPECT_FALSE(FileExists(dir.File(kSupportLogName)));
}
