// DownloadFile against https mirrors on loopback: nginx with certificates
// from a test CA that run_download_tests.py makes for the run and that Wine
// trusts only inside the run's private mount namespace. A good mirror
// delivers the file; a certificate that fails validation, or a redirect
// that leaves https, is a failed attempt that writes and logs nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "app/download.h"
#include "app_servers_helper.h"
#include "markup/markup.h"

namespace {

// Ports and document root of the servers, read from the file that
// IZ_HTTPS_INFO names. All four serve the same folder.
struct THttpsServers {
  bool Ok = false;
  int GoodPort = 0;        // certificate for 127.0.0.1 from the test CA
  int OtherHostPort = 0;   // certificate for another host name from the test CA
  int SelfSignedPort = 0;  // certificate for 127.0.0.1 signed by itself
  int PlainPort = 0;       // http
  std::string Www;         // Windows path of the document root

  std::string Good(const std::string& path) const { return Url("https", GoodPort, path); }
  std::string OtherHost(const std::string& path) const { return Url("https", OtherHostPort, path); }
  std::string SelfSigned(const std::string& path) const { return Url("https", SelfSignedPort, path); }
  std::string Plain(const std::string& path) const { return Url("http", PlainPort, path); }

  static std::string Url(const char* scheme, int port, const std::string& path) {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/" + path;
  }

  void PutFile(const std::string& relativePath, const std::string& content) const {
    PutSiteFile(Www, relativePath, content);
  }
};

THttpsServers LoadHttpsServers() {
  std::map<std::string, std::string> info = ReadServerInfo("IZ_HTTPS_INFO");
  THttpsServers s;
  s.GoodPort = atoi(info["GOOD_PORT"].c_str());
  s.OtherHostPort = atoi(info["OTHER_HOST_PORT"].c_str());
  s.SelfSignedPort = atoi(info["SELF_SIGNED_PORT"].c_str());
  s.PlainPort = atoi(info["PLAIN_PORT"].c_str());
  s.Www = info["WWW_WIN"];
  s.Ok = s.GoodPort && s.OtherHostPort && s.SelfSignedPort && s.PlainPort && !s.Www.empty();
  return s;
}

const THttpsServers& Https() {
  static const THttpsServers servers = LoadHttpsServers();
  return servers;
}

// Bytes that differ from block to block, so a shifted or partial body shows.
std::string Pattern(size_t n, int seed) {
  std::string body(n, '\0');
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>((i * 7 + seed) % 253);
  return body;
}

// The file holds exactly `expected`; on a mismatch says where, not the
// whole of two bodies.
::testing::AssertionResult HoldsExactly(const std::string& path, const std::string& expected) {
  if (!FileExists(path)) return ::testing::AssertionFailure() << path << " does not exist";
  const std::string actual = ReadFileBytes(path);
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << path << " holds " << actual.size() << " bytes, "
                                       << expected.size() << " expected, first difference at " << at;
}

class HttpsDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Https().Ok) {
      FAIL() << "the https servers are not running: run the suite through ctest, whose command "
                "(tests/https/run_download_tests.py) makes the test CA and starts them";
    }
    Dialog = MakeDialog();
    ASSERT_TRUE(Dialog->IsWindowAlive());
  }

  TXmlTreeNode* Package(const char* fileName, const char* path = nullptr) {
    TXmlTreeNode* node = new TXmlTreeNode(nullptr, true);
    node->Name = "Dek";
    node->SetAttribute("fileName", fileName);
    if (path) node->SetAttribute("path", path);
    Root.AppendChild(node);
    return node;
  }

  bool Get(TXmlTreeNode* element, const std::string& baseUrl) {
    return DownloadFile(*Dialog, Local.Path().c_str(), element, Speed, baseUrl.c_str());
  }

  std::unique_ptr<TInstallZelmDlgClient> Dialog;
  TScratchDir Local;
  TXmlTreeNode Root{nullptr, true};
  float Speed = -1;
};

TEST_F(HttpsDownloadTest, GoodMirrorDeliversTheExactFile) {
  // Several blocks and a part block, below an inherited sub-directory.
  const std::string content = Pattern(123457, 1);
  Https().PutFile("good/download/dek/2008/a.exe", content);
  TXmlTreeNode* pkg = Package("a.exe", "dek/2008");
  EXPECT_TRUE(Get(pkg, Https().Good("good/download/")));
  EXPECT_TRUE(HoldsExactly(Local.File("a.exe"), content));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(HttpsDownloadTest, RedirectsThatStayOnHttpsAreFollowed) {
  // The good server answers /to-https/REST with a 302 to https on itself.
  const std::string content = Pattern(30000, 2);
  Https().PutFile("moved/download/m.exe", content);
  TXmlTreeNode* pkg = Package("m.exe");
  const std::string bases[] = {Https().Good("to-https/moved/download/"),
                               Https().Good("to-https/to-https/moved/download/")};
  for (const std::string& base : bases) {
    DeleteFileA(Local.File("m.exe").c_str());
    EXPECT_TRUE(Get(pkg, base)) << base;
    EXPECT_TRUE(HoldsExactly(Local.File("m.exe"), content)) << base;
  }
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(HttpsDownloadTest, RefusedMirrorsWriteNothingAndLogNothing) {
  // Every server below has the file, and the http target of the redirects
  // hands it out to anyone who asks in the clear (checked first): each
  // refusal is the certificate's or the redirect's doing.
  const std::string content = Pattern(20000, 3);
  Https().PutFile("refused/download/r.exe", content);
  TXmlTreeNode* pkg = Package("r.exe");
  ASSERT_TRUE(Get(pkg, Https().Plain("refused/download/")));
  ASSERT_TRUE(HoldsExactly(Local.File("r.exe"), content));

  struct Case {
    const char* what;
    std::string baseUrl;
  } cases[] = {
      {"certificate for another host name", Https().OtherHost("refused/download/")},
      {"self-signed certificate", Https().SelfSigned("refused/download/")},
      {"302 from https to http", Https().Good("to-http/refused/download/")},
      {"302 within https, then to http", Https().Good("to-https/to-http/refused/download/")},
      {"302 to https with a certificate for another host name",
       Https().Good("to-other-host/refused/download/")},
      {"302 to https with a self-signed certificate", Https().Good("to-self-signed/refused/download/")},
  };
  const std::string stale = "an older copy";
  for (const Case& c : cases) {
    // Without a local copy none may appear; an existing one stays as it was.
    DeleteFileA(Local.File("r.exe").c_str());
    EXPECT_FALSE(Get(pkg, c.baseUrl)) << c.what;
    EXPECT_FALSE(FileExists(Local.File("r.exe"))) << c.what;
    WriteFileBytes(Local.File("r.exe"), stale);
    EXPECT_FALSE(Get(pkg, c.baseUrl)) << c.what;
    EXPECT_TRUE(HoldsExactly(Local.File("r.exe"), stale)) << c.what;
    EXPECT_FALSE(Dialog->Downloading) << c.what;
    EXPECT_EQ("", Dialog->LogText) << c.what;
  }
}

}  // namespace
