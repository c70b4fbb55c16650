// Folder listings and the temporary folder, natively and under Wine alike,
// and the scratch folders of the tests that rely on both.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "support/test_files.h"
#include "support/test_times.h"

namespace {

// Every entry that FindFirstFileA/FindNextFileA give for a pattern, by name;
// an empty map when the first call fails, its error in *error.
std::map<std::string, WIN32_FIND_DATAA> List(const std::string& pattern, DWORD* error = nullptr) {
  std::map<std::string, WIN32_FIND_DATAA> entries;
  WIN32_FIND_DATAA data;
  SetLastError(12345);
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return entries;
  }
  do {
    EXPECT_TRUE(entries.emplace(data.cFileName, data).second) << "listed twice: " << data.cFileName;
  } while (FindNextFileA(find, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError()) << pattern;
  EXPECT_TRUE(FindClose(find));
  return entries;
}

std::set<std::string> Names(const std::map<std::string, WIN32_FIND_DATAA>& entries) {
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.first);
  return names;
}

class FolderListing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(Dir.File("a.txt"), "abc"));
    ASSERT_TRUE(WriteFileBytes(Dir.File("B.TXT"), ""));
    ASSERT_TRUE(WriteFileBytes(Dir.File("c.dat"), std::string(70000, 'c')));
    ASSERT_TRUE(WriteFileBytes(Dir.File("ro.txt"), "r"));
    ASSERT_TRUE(SetFileAttributesA(Dir.File("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA(Dir.File("sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(Dir.File("sub\\inner.txt"), "i"));
  }
  TScratchDir Dir{"listing"};
};

// Nothing to list is an error, whose code tells a missing folder.
TEST_F(FolderListing, PatternsMatchTheLastPartWithoutRegardToCase) {
  const struct {
    const char* Pattern;
    std::set<std::string> Expected;
    DWORD Error;  // when nothing is listed
  } cases[] = {
      {"*", {".", "..", "a.txt", "B.TXT", "c.dat", "ro.txt", "sub"}, 0},
      {"*.txt", {"a.txt", "B.TXT", "ro.txt"}, 0},
      {"?.dat", {"c.dat"}, 0},
      {"A.TXT", {"a.txt"}, 0},
      {"s*", {"sub"}, 0},
      {"sub\\*.txt", {"inner.txt"}, 0},
      {"x*", {}, ERROR_FILE_NOT_FOUND},
      {"a.txt?x", {}, ERROR_FILE_NOT_FOUND},
      {"missing\\*", {}, ERROR_PATH_NOT_FOUND},
      {"missing\\deeper\\*", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    DWORD error = 0;
    EXPECT_EQ(c.Expected, Names(List(Dir.File(c.Pattern), &error))) << c.Pattern;
    EXPECT_EQ(c.Error, error) << c.Pattern;
  }
}

TEST_F(FolderListing, EntriesCarryAttributesSizesAndTimes) {
  std::map<std::string, WIN32_FIND_DATAA> entries = List(Dir.File("*"));
  const struct { const char* Name; DWORD Attributes, Size; } cases[] = {
      {"a.txt", FILE_ATTRIBUTE_ARCHIVE, 3},
      {"B.TXT", FILE_ATTRIBUTE_ARCHIVE, 0},
      {"c.dat", FILE_ATTRIBUTE_ARCHIVE, 70000},
      {"ro.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, 1},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(1u, entries.count(c.Name)) << c.Name;
    const WIN32_FIND_DATAA& data = entries[c.Name];
    EXPECT_EQ(c.Attributes, data.dwFileAttributes) << c.Name;
    EXPECT_EQ(c.Size, data.nFileSizeLow) << c.Name;
    EXPECT_EQ(0u, data.nFileSizeHigh) << c.Name;
    EXPECT_EQ(FileWriteTicks(Dir.File(c.Name)), Ticks(data.ftLastWriteTime)) << c.Name;
  }
  ASSERT_EQ(1u, entries.count("sub"));
  EXPECT_TRUE(entries["sub"].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(TempFolder, IsAnExistingFolderEndingInASeparator) {
  std::string path(MAX_PATH, '\0');
  DWORD n = GetTempPathA(MAX_PATH, &path[0]);
  ASSERT_TRUE(n > 0 && n < MAX_PATH) << n;
  EXPECT_EQ('\0', path[n]);
  path.resize(n);
  EXPECT_TRUE(path.back() == '\\' || path.back() == '/') << path;
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
            GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) << path;
  // A buffer too small gets the size needed, terminator included.
  std::string buffer(n + 1, 'x');
  EXPECT_EQ(n + 1, GetTempPathA(0, nullptr));
  EXPECT_EQ(n + 1, GetTempPathA(n, &buffer[0]));
  EXPECT_EQ(n, GetTempPathA(n + 1, &buffer[0]));
}

// Scratch folders go with all they hold, so that no run leaves files behind.
TEST(ScratchFolder, IsFreshAndGoesWithEverythingInIt) {
  std::string first, second;
  {
    TScratchDir dir("gone");
    TScratchDir other("gone");
    first = dir.Path();
    second = other.Path();
    EXPECT_NE(first, second);
    EXPECT_EQ(2u, List(dir.File("*")).size()) << "only . and ..";
    ASSERT_TRUE(CreateDirectoryA(dir.File("a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(dir.File("a\\b").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir.File("a\\b\\ro.txt"), "x"));
    ASSERT_TRUE(SetFileAttributesA(dir.File("a\\b\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteFileBytes(dir.File("top.txt"), "y"));
  }
  EXPECT_FALSE(FileExists(first));
  EXPECT_FALSE(FileExists(second));
}

}  // namespace
