#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/win32_handles.h"

TScratchDir::TScratchDir(const std::string& what) {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  std::string base(temp, n < sizeof temp ? n : 0);
  if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
  // Suites run side by side: a name another process took is tried again with
  // the next number, since only CreateDirectoryA itself decides atomically.
  static unsigned serial = 0;
  std::string stamp = std::to_string(GetTickCount());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string dir = base + "iz_" + what + "_" + stamp + "_" + std::to_string(++serial);
    if (CreateDirectoryA(dir.c_str(), nullptr)) {
      Dir = dir;
      Made = true;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  DWORD error = GetLastError();
  ADD_FAILURE() << "no scratch folder could be made below '" << base << "' (error " << error
                << ")";
  // Paths below a folder that is not there: what the test writes fails
  // instead of landing somewhere else.
  Dir = base + "iz_" + what + "_not_made\\missing";
}

TScratchDir::~TScratchDir() {
  if (Made) RemoveTree(Dir);
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path) {
  TKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (!file.IsOpen()) return bytes;
  char block[65536];
  DWORD got = 0;
  while (ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got > 0)
    bytes.append(block, got);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  TKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr);
  return ok && written == bytes.size();
}

std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
#else
  return unixPath;
#endif
}

std::string TestDataFile(const std::string& relativePath) {
  return HostPath(std::string(IZ_TEST_DATA) + "/" + relativePath);
}

std::map<std::string, std::string> ReadServerInfo(const char* variable) {
  std::map<std::string, std::string> info;
  const char* file = getenv(variable);
  if (!file || !*file) return info;
  std::istringstream in(ReadFileBytes(HostPath(file)));
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) info[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return info;
}

bool PutSiteFile(const std::string& root, const std::string& relativePath, const std::string& bytes) {
  std::string path = root + "\\" + relativePath;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '/') path[i] = '\\';
    // Past the drive ("Z:\") every separator ends a folder that may be new.
    if (path[i] == '\\' && i > 2) CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
  return WriteFileBytes(path, bytes);
}
