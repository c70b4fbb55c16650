// Shared by the download and catalogue tests: the loopback servers that the
// CTest fixture started (tests/servers/servers.py), a real main dialog, and
// scratch folders.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/main_dialog.h"

// Ports and folders of the running servers, read from the file that the
// environment variable IZ_SERVERS_INFO names. Ok is false when the tests run
// without the fixture (the tests that need them then fail).
struct TTestServers {
  bool Ok = false;
  int NginxPort = 0;
  int FaultPort = 0;
  int DeadPort = 0;
  std::string Dir;  // Windows path of the servers' folder (logs)
  std::string Www;  // Windows path of nginx's document root

  // "http://127.0.0.1:<port>/" + path for each server.
  std::string Nginx(const std::string& path = "") const;
  std::string Fault(const std::string& path = "") const;
  std::string Dead(const std::string& path = "") const;
  // Writes a file below the nginx root (folders made on the way).
  void PutFile(const std::string& relativePath, const std::string& content) const;
  // The request log of the fault server, one "REQUEST-LINE\tAGENT" per line.
  std::string FaultLog() const;
};

// The servers, loaded once.
const TTestServers& Servers();

// Fails the calling test when the servers are not running: a download test
// that cannot reach its servers has tested nothing.
#define IZ_REQUIRE_SERVERS()                                                             \
  do {                                                                                   \
    if (!Servers().Ok)                                                                   \
      FAIL() << "the loopback servers are not running: run the suite through ctest, "    \
                "whose fixture starts nginx and the fault server (tests/servers)";       \
  } while (0)

// A main dialog made from template 2000, as in the program, except that its
// set-up does not fetch the catalogue from the built-in servers. It stays
// hidden: its buttons and controls work all the same, and Wine takes two
// seconds to unmap a shown top-level window under a bare Xvfb.
std::unique_ptr<TInstallZelmDlgClient> MakeDialog();

// A fresh empty folder below the temporary folder; removed with its files
// when the object goes.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  const std::string& Path() const { return Dir; }
  std::string File(const std::string& name) const { return Dir + "\\" + name; }

 private:
  std::string Dir;
};

// Windows path of a file below tests/data (IZ_TEST_DATA is a Unix path).
std::string TestDataFile(const std::string& relativePath);

// File helpers on Windows paths.
bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& content);
// Sets a file's last-write time (UTC).
void SetWriteTime(const std::string& path, const SYSTEMTIME& utc);
// The bytes the fault server sends for a body of n bytes.
std::string FaultBody(size_t n);
// Runs PumpMessages-style dispatch for ms milliseconds.
void PumpFor(DWORD ms);
