// The catalogue's schema helpers: the bounded path buffers, the integer
// reading of "state" and the rule that makes a "fileName" a bare file name.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/catalogue.h"

namespace {

TEST(ReadIntegerTest, ReadsLikeTheCatalogueAndHeaders) {
  const struct { const char* text; int value; } cases[] = {
      {"2", 2}, {" 2", 2}, {"\t\r\n2", 2}, {"02", 2}, {"+2", 2}, {"2x", 2}, {"2 3", 2},
      {"-2", -2}, {"", 0}, {"x2", 0}, {"+", 0}, {"- 2", 0}, {"3", 3},
      {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadInteger(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(ReadInteger(nullptr), 0);
}

TEST(BareFileName, OnlyNamesThatStayInTheirFolderPass) {
  const char* good[] = {
      "a.exe", "InstallFiles.zip", "tj 2012.exe", "北京定额2008.exe", "a..b.exe", ".hidden",
      "con1.exe", "com0.exe", "com10.exe", "lpt.exe", "console.exe", "nul_ok.exe", "auxiliary",
      "x.nul", "a-b_c(1)[2]{3}~$&'+,;=@.exe",
      // GBK characters whose second byte is 0x5C ("\") or 0x7C ("|").
      "墊層定額.exe", "億元.exe", "\x81\x5C\x81\x7C.exe",
  };
  for (const char* name : good) EXPECT_TRUE(IsBareFileName(name)) << name;

  const char* bad[] = {
      "", ".", "..", "..\\x.exe", "..\\..\\..\\x.exe", "../x.exe", "a\\b.exe", "a/b.exe",
      "C:x.exe", "C:\\x.exe", "\\\\server\\share\\x.exe", "a*.exe", "a?.exe", "a\".exe",
      "a<b.exe", "a>b.exe", "a|b.exe", "a:stream", "tab\t.exe", "\x01.exe", "line\n.exe",
      "a.exe.", "a.exe ", "a ", "x...",
      "CON", "con", "Con.exe", "PRN.txt", "aux", "NUL", "nul.exe", "nul.tar.gz", "NUL .txt",
      "COM1", "com9.exe", "LPT1", "lpt9.dat",
      "\x81",  // a lead byte with nothing after it
  };
  for (const char* name : bad) EXPECT_FALSE(IsBareFileName(name)) << name;
  EXPECT_FALSE(IsBareFileName(nullptr));
}

TEST(PathBuffer, AppendsAndJoinsOnlyWhatFits) {
  TPathBuffer path = "C:\\dl";
  EXPECT_TRUE(AppendPath(path, "\\a.exe"));
  EXPECT_STREQ("C:\\dl\\a.exe", path);
  std::string fill(kPathSize - 1 - strlen(path), 'x');
  EXPECT_TRUE(AppendPath(path, fill.c_str()));  // exactly 255 characters
  EXPECT_EQ(kPathSize - 1, strlen(path));
  std::string before = path;
  EXPECT_FALSE(AppendPath(path, "y"));
  EXPECT_EQ(before, path);  // unchanged, never cut

  EXPECT_TRUE(JoinPath(path, "C:\\dl", "a.exe"));
  EXPECT_STREQ("C:\\dl\\a.exe", path);
  std::string folder(250, 'f');
  EXPECT_TRUE(JoinPath(path, folder.c_str(), "a.ex"));  // 250 + 1 + 4 = 255
  EXPECT_FALSE(JoinPath(path, folder.c_str(), "ab.ex"));
  EXPECT_STREQ("", path);
}

}  // namespace
