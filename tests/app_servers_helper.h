// Shared by the download and catalogue tests: the loopback servers that the
// CTest fixture started (tests/servers/servers.py) and a real main dialog.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/main_dialog.h"
#include "markup/markup.h"
#include "support/message_queue.h"
#include "support/test_files.h"

// Ports and folders of the running servers, from the file IZ_SERVERS_INFO
// names. Ok is false without the fixture (the tests that need them then fail).
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
  // The same log once done(log) holds, or as it stands after ms: the server
  // notes an answer once its body is sent, which can be just after the
  // program has read all of it.
  std::string FaultLogOnce(const std::function<bool(const std::string&)>& done, DWORD ms) const;
};

const TTestServers& Servers();  // loaded once

// Fails the calling test when the servers are not running: a download test
// that cannot reach its servers has tested nothing.
#define IZ_REQUIRE_SERVERS()                                                             \
  do {                                                                                   \
    if (!Servers().Ok)                                                                   \
      FAIL() << "the loopback servers are not running: run the suite through ctest, "    \
                "whose fixture starts nginx and the fault server (tests/servers)";       \
  } while (0)

// A main dialog made from template 2000 whose set-up does not fetch the
// catalogue from the built-in servers. It stays hidden: Wine takes two seconds
// to unmap a shown top-level window under a bare Xvfb.
std::unique_ptr<TInstallZelmDlgClient> MakeDialog();

// What the progress bar (position, upper end of its range) and log control show.
int ProgressPos(TInstallZelmDlgClient& d);
int ProgressHigh(TInstallZelmDlgClient& d);
std::string LogControlText(TInstallZelmDlgClient& d);

// "<scheme>://127.0.0.1:<port>/" + path.
std::string LoopbackUrl(const char* scheme, int port, const std::string& path);

// The bytes the fault server sends for a body of n bytes: they differ from
// block to block, so a shifted or partial body shows.
std::string FaultBody(size_t n);

// The SHA-256 of data in 64 lower-case hex digits, as a catalogue gives it.
std::string Sha256Hex(const std::string& data);
std::string Upper(std::string text);  // ASCII letters only

// A test with a main dialog, a scratch folder to download into and a root for
// the package elements it makes. Transfer limits a test shortens hold until it ends.
class TDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dialog = MakeDialog();
    ASSERT_TRUE(Dialog->IsWindowAlive());
  }
  void TearDown() override;

  // DownloadFile of the element into Local from baseUrl.
  bool Get(TXmlTreeNode* element, const std::string& baseUrl);
  // A package element below Root.
  TXmlTreeNode* Package(const char* fileName);

  std::unique_ptr<TInstallZelmDlgClient> Dialog;
  TScratchDir Local;
  TXmlTreeNode Root{nullptr, true};
  float Speed = -1;
};

// The same with the loopback servers running.
class TServedDialogTest : public TDialogTest {
 protected:
  void SetUp() override {
    IZ_REQUIRE_SERVERS();
    TDialogTest::SetUp();
  }
};
using DownloadTest = TServedDialogTest;
