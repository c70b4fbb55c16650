// File and folder calls as zip/ and markup/ rely on them: return values and
// last errors. The same tests run against the native stand-in and, under
// Wine, against real Win32, and must agree.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/test_files.h"

namespace {

TEST(PlatformFiles, CreateFileDispositionsAndLastErrors) {
  const struct {
    const char* What;
    DWORD Disposition;
    bool Exists;
    bool Opens;
    DWORD Error;        // checked when the call fails, or for the ALWAYS kinds
    const char* After;  // contents afterwards
  } cases[] = {
      {"CREATE_NEW over a file", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {"CREATE_NEW", CREATE_NEW, false, true, 0, ""},
      {"CREATE_ALWAYS over a file", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {"CREATE_ALWAYS", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {"OPEN_EXISTING", OPEN_EXISTING, true, true, 0, "old"},
      {"OPEN_EXISTING, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<missing>"},
      {"OPEN_ALWAYS over a file", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {"OPEN_ALWAYS", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {"TRUNCATE_EXISTING", TRUNCATE_EXISTING, true, true, 0, ""},
      {"TRUNCATE_EXISTING, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
       "<missing>"},
  };
  TScratchDir folder("create");
  int n = 0;
  for (const auto& c : cases) {
    std::string path = folder.File("f" + std::to_string(n++));
    if (c.Exists) {
      ASSERT_TRUE(WriteFileBytes(path, "old"));
    }
    SetLastError(12345);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, c.Disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    EXPECT_EQ(c.Opens, h != INVALID_HANDLE_VALUE) << c.What;
    if (!c.Opens || c.Disposition == CREATE_ALWAYS || c.Disposition == OPEN_ALWAYS) {
      EXPECT_EQ(c.Error, error) << c.What;
    }
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(h));
    }
    EXPECT_EQ(c.After, FileExists(path) ? ReadFileBytes(path) : "<missing>") << c.What;
  }
  // Missing folders and folders as files.
  const struct {
    std::string Path;
    DWORD Disposition, Error;
  } refused[] = {{folder.File("no\\such"), OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                 {folder.File("no\\such"), CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
                 {folder.Path(), CREATE_ALWAYS, ERROR_ACCESS_DENIED}};
  for (const auto& c : refused) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(c.Path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                c.Disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(c.Error, GetLastError()) << c.Path << " " << c.Disposition;
  }
}

TEST(PlatformFiles, ReadWriteAndSeek) {
  TScratchDir folder("seek");
  std::string path = folder.File("data");
  ASSERT_TRUE(WriteFileBytes(path, "0123456789"));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  const struct {
    LONG Distance;
    DWORD Method;
    DWORD Position;  // INVALID_SET_FILE_POINTER: fails with ERROR_NEGATIVE_SEEK
    const char* Next;  // the next 3 bytes read there
  } cases[] = {
      {4, FILE_BEGIN, 4, "456"},
      {-2, FILE_CURRENT, 5, "567"},
      {-3, FILE_END, 7, "789"},
      {0, FILE_END, 10, ""},
      {5, FILE_END, 15, ""},
      {-1, FILE_BEGIN, INVALID_SET_FILE_POINTER, ""},
      {-20, FILE_END, INVALID_SET_FILE_POINTER, ""},
      {0, FILE_BEGIN, 0, "012"},
  };
  for (const auto& c : cases) {
    SetLastError(12345);
    DWORD position = SetFilePointer(h, c.Distance, nullptr, c.Method);
    EXPECT_EQ(c.Position, position) << c.Distance << " from " << c.Method;
    if (position == INVALID_SET_FILE_POINTER) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
      continue;
    }
    char buffer[3];
    DWORD got = 99;
    // Reading at or past the end succeeds with fewer bytes.
    EXPECT_TRUE(ReadFile(h, buffer, 3, &got, nullptr));
    EXPECT_EQ(c.Next, std::string(buffer, got)) << c.Distance << " from " << c.Method;
  }
  // With the high half, the position comes back in two parts.
  LONG high = 0;
  EXPECT_EQ(3u, SetFilePointer(h, 3, &high, FILE_BEGIN));
  EXPECT_EQ(0, high);
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));  // opened for reading only
  EXPECT_EQ(0u, written);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(CloseHandle(h));
}

TEST(PlatformFiles, AttributesFoldersAndDeletion) {
  TScratchDir folder("attributes");
  ASSERT_TRUE(WriteFileBytes(folder.File("plain"), "x"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE),
            GetFileAttributesA(folder.File("plain").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
            GetFileAttributesA(folder.Path().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("missing").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("missing\\x").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

  // A file made read-only can be written through the handle that made it.
  HANDLE h = CreateFileA(folder.File("ro").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(3u, written);
  CloseHandle(h);
  EXPECT_EQ("abc", ReadFileBytes(folder.File("ro")));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
            GetFileAttributesA(folder.File("ro").c_str()));
  EXPECT_TRUE(SetFileAttributesA(folder.File("ro").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(0u, GetFileAttributesA(folder.File("ro").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFileA(folder.File("ro").c_str()));
  EXPECT_FALSE(DeleteFileA(folder.File("ro").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  EXPECT_TRUE(CreateDirectoryA(folder.File("sub").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(folder.File("sub").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_FALSE(CreateDirectoryA(folder.File("a\\b").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_TRUE(CreateDirectoryA(folder.File("sub/deeper").c_str(), nullptr));  // '/' works too
  EXPECT_FALSE(RemoveDirectoryA(folder.File("sub").c_str()));  // not empty
  EXPECT_TRUE(RemoveDirectoryA(folder.File("sub\\deeper").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(folder.File("sub").c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("sub").c_str()));
}

TEST(PlatformFiles, CurrentDirectory) {
  char path[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof path, path);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, sizeof path);
  EXPECT_EQ(std::string(path).size(), n);
  EXPECT_TRUE(path[0] == '/' || path[0] == '\\' || path[1] == ':') << path;
  // Too small a buffer: the size needed, terminator included, and no copy.
  char small[4] = "xyz";
  EXPECT_EQ(n + 1, GetCurrentDirectoryA(n < 3 ? n : 3, small));
  EXPECT_EQ(n + 1, GetCurrentDirectoryA(n, path));
  EXPECT_EQ(n, GetCurrentDirectoryA(n + 1, path));
  EXPECT_EQ(n + 1, GetCurrentDirectoryA(0, nullptr));
}

}  // namespace
