// Code-page conversion and comparison: the ANSI code page is GBK (936) on
// the target PCs, in the Wine prefix and in the stand-in.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const WCHAR kDownloadInstall[] = {0x4E0B, 0x8F7D, 0x5B89, 0x88C5, 0};  // 下载安装

TEST(PlatformText, GbkToUtf16AndBack) {
  WCHAR wide[16];
  // -1 counts the terminator in.
  ASSERT_EQ(5, MultiByteToWideChar(CP_ACP, 0, "下载安装", -1, wide, 16));
  EXPECT_EQ(0, std::memcmp(wide, kDownloadInstall, sizeof kDownloadInstall));
  EXPECT_EQ(6, MultiByteToWideChar(CP_ACP, 0, "a下载安装b", 10, nullptr, 0));
  char narrow[16];
  ASSERT_EQ(9, WideCharToMultiByte(CP_ACP, 0, kDownloadInstall, -1, narrow, 16, nullptr, nullptr));
  EXPECT_STREQ("下载安装", narrow);
  EXPECT_EQ(8, WideCharToMultiByte(CP_ACP, 0, kDownloadInstall, 4, nullptr, 0, nullptr, nullptr));
}

TEST(PlatformText, Utf8ToUtf16AndBack) {
  const char* utf8 = u8"下载/安装说明.txt";
  WCHAR wide[32];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 32);
  ASSERT_EQ(12, n);
  EXPECT_EQ(0x4E0B, wide[0]);
  EXPECT_EQ('/', wide[2]);
  char back[64];
  ASSERT_EQ(static_cast<int>(std::strlen(utf8)) + 1,
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, sizeof back, nullptr, nullptr));
  EXPECT_STREQ(utf8, back);
  // UTF-8 to GBK through UTF-16, as the markup layer converts documents.
  char gbk[64];
  ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, wide, 2, gbk, sizeof gbk, nullptr, nullptr), 0);
  EXPECT_EQ(0, std::memcmp(gbk, "下载", 4));
}

TEST(PlatformText, ShortBuffersAndUnmappableCharacters) {
  WCHAR wide[3];
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "下载安装", -1, wide, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  char narrow[3];
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, kDownloadInstall, -1, narrow, 3, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  // A Thai letter has no GBK form: it becomes '?' and is reported.
  const WCHAR thai[] = {'a', 0x0E01, 'b', 0};
  char out[8];
  BOOL usedDefault = FALSE;
  ASSERT_EQ(4, WideCharToMultiByte(CP_ACP, 0, thai, -1, out, sizeof out, nullptr, &usedDefault));
  EXPECT_STREQ("a?b", out);
  EXPECT_TRUE(usedDefault);
  usedDefault = TRUE;
  WideCharToMultiByte(CP_ACP, 0, kDownloadInstall, -1, out, sizeof out, nullptr, &usedDefault);
  EXPECT_FALSE(usedDefault);
}

// Names are compared as the settings file compares its keys
// (CompareStringA): letters without case, GBK characters whole (0x81 0x41
// and 0x81 0x61 are two different characters, not a letter in two cases).
TEST(PlatformText, Comparison) {
  const struct {
    const char* A;
    const char* B;
    int Exact;   // sign of lstrcmpA, 2: only "not equal" is checked
    int Folded;  // sign of lstrcmpiA, the same way; 3: not compared (used on ASCII only)
    bool Equal;  // CompareStringA, case ignored
  } cases[] = {
      {"UTF-8", "UTF-8", 0, 0, true},
      {"utf-8", "UTF-8", 2, 0, true},
      {"MsoNormalTable", "msonormaltable", 2, 0, true},
      {"abc", "abd", -1, -1, false},
      {"abd", "abc", 1, 1, false},
      {"ab", "abc", -1, -1, false},
      {"下载", "下载", 0, 0, true},
      {"下载", "安装", 2, 2, false},
      {"", "", 0, 0, true},
      {"北京2008-b", "北京2008-B", 2, 0, true},
      {"\x81\x41", "\x81\x61", 2, 3, false},
      {"\x81\x41x", "\x81\x61X", 2, 3, false},
  };
  auto expectSign = [](int expected, int result) {
    if (expected >= 2) return expected == 3 || result != 0;
    return expected == (result > 0) - (result < 0);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.A << " " << c.B);
    EXPECT_TRUE(expectSign(c.Exact, lstrcmpA(c.A, c.B))) << lstrcmpA(c.A, c.B);
    EXPECT_TRUE(expectSign(c.Folded, lstrcmpiA(c.A, c.B))) << lstrcmpiA(c.A, c.B);
    EXPECT_EQ(c.Equal, CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT,
                                      c.A, -1, c.B, -1) == CSTR_EQUAL);
  }
  EXPECT_EQ(8, lstrlenA("下载安装"));
  EXPECT_EQ(0, lstrlenA(nullptr));
}

// Walking GBK text by characters: a trail byte of 0x5C ("\\") or 0x7C ("|")
// belongs to its character, as the file-name rule relies on.
TEST(PlatformText, CharNextSkipsWholeGbkCharacters) {
  const char* text = "a\x81\x5C\xB1\xB1|\x81";  // a, a 0x5C-trail character, 北, |, a lone lead byte
  const char* p = text;
  std::vector<int> steps;
  while (*p) {
    const char* next = CharNextA(p);
    steps.push_back(static_cast<int>(next - p));
    p = next;
  }
  EXPECT_EQ((std::vector<int>{1, 2, 2, 1, 1}), steps);
  EXPECT_EQ(p, CharNextA(p));  // the terminator stays
  EXPECT_FALSE(IsDBCSLeadByte('a'));
  EXPECT_FALSE(IsDBCSLeadByte(0x80));
  EXPECT_TRUE(IsDBCSLeadByte(0x81));
  EXPECT_TRUE(IsDBCSLeadByte(0xFE));
  EXPECT_FALSE(IsDBCSLeadByte(0xFF));
}

}  // namespace
