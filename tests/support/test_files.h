// Files and folders for tests, over the Win32 calls that the native stand-in
// also provides, so that the same helpers serve the native build and the
// Windows build under Wine: scratch folders, whole files, and the paths of
// the test data.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// A fresh empty folder below the temporary folder, removed with everything in
// it (read-only files too) when the object goes. The name holds `what`, so a
// folder left by a crash tells which test made it. A folder that cannot be
// made fails the running test, and paths below it then name nothing.
class TScratchDir {
 public:
  explicit TScratchDir(const std::string& what = "scratch");
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  // The folder, without a separator at the end.
  const std::string& Path() const { return Dir; }
  // A path below the folder: Path() + "\" + relativePath.
  std::string File(const std::string& relativePath) const { return Dir + "\\" + relativePath; }

 private:
  std::string Dir;
  bool Made = false;
};

// Deletes a folder with everything below it; read-only files are made
// writable first. Nothing happens for a folder that is not there.
void RemoveTree(const std::string& folder);

// True when a file or folder of that name exists.
bool FileExists(const std::string& path);

// The bytes of a file, or "" when it cannot be opened: a caller that must
// tell an empty file from a missing one asks FileExists as well.
std::string ReadFileBytes(const std::string& path);

// Replaces (or makes) a file with the bytes given; false when the file cannot
// be made or not all bytes were written.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// A path that the build or the environment gives in Unix form ("/tmp/x") as
// the program sees it: under Windows (Wine) the Unix root is drive Z, so it
// becomes "Z:\tmp\x"; natively it stays as it is, fit for a shell command
// too. Paths that do not start at the Unix root pass unchanged.
std::string HostPath(const std::string& unixPath);

// The path of a file below tests/data, named with '/' ("zip/p7zip.zip").
std::string TestDataFile(const std::string& relativePath);

// The KEY=VALUE lines of the file that the environment variable `variable`
// names: the ports and folders that a server script (tests/servers,
// tests/https) wrote when it started. The name is a Unix path, read through
// HostPath. Empty when the variable is unset or the file cannot be read.
std::map<std::string, std::string> ReadServerInfo(const char* variable);

// Writes a file below a document root, relativePath separated by '/' or
// '\', making the folders on the way; false when the file cannot be written.
bool PutSiteFile(const std::string& root, const std::string& relativePath, const std::string& bytes);
