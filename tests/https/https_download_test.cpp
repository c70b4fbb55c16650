// DownloadFile against https mirrors on loopback: nginx with certificates
// from a test CA that run_download_tests.py makes for the run and that Wine
// trusts only inside the run's private mount namespace. A good mirror
// delivers the file; a certificate that fails validation, or a redirect
// that leaves https, is a failed attempt that writes and logs nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

#include "app_servers_helper.h"

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

  std::string Good(const std::string& path) const { return LoopbackUrl("https", GoodPort, path); }
  std::string OtherHost(const std::string& path) const {
    return LoopbackUrl("https", OtherHostPort, path);
  }
  std::string SelfSigned(const std::string& path) const {
    return LoopbackUrl("https", SelfSignedPort, path);
  }
  std::string Plain(const std::string& path) const { return LoopbackUrl("http", PlainPort, path); }
};

const THttpsServers& Https() {
  static const THttpsServers servers = [] {
    std::map<std::string, std::string> info = ReadServerInfo("IZ_HTTPS_INFO");
    THttpsServers s;
    s.GoodPort = atoi(info["GOOD_PORT"].c_str());
    s.OtherHostPort = atoi(info["OTHER_HOST_PORT"].c_str());
    s.SelfSignedPort = atoi(info["SELF_SIGNED_PORT"].c_str());
    s.PlainPort = atoi(info["PLAIN_PORT"].c_str());
    s.Www = info["WWW_WIN"];
    s.Ok = s.GoodPort && s.OtherHostPort && s.SelfSignedPort && s.PlainPort && !s.Www.empty();
    return s;
  }();
  return servers;
}

class HttpsDownloadTest : public TDialogTest {
 protected:
  void SetUp() override {
    if (!Https().Ok) {
      FAIL() << "the https servers are not running: run the suite through ctest, whose command "
                "(tests/https/run_download_tests.py) makes the test CA and starts them";
    }
    TDialogTest::SetUp();
  }

  void Put(const std::string& relativePath, const std::string& content) const {
    PutSiteFile(Https().Www, relativePath, content);
  }
};

// Several blocks and a part block, below an inherited sub-directory; the
// good server answers /to-https/REST with a 302 to https on itself.
TEST_F(HttpsDownloadTest, GoodMirrorAndRedirectsThatStayOnHttpsDeliverTheExactFile) {
  const std::string content = FaultBody(123457);
  Put("good/download/dek/2008/a.exe", content);
  TXmlTreeNode* pkg = Package("a.exe");
  pkg->SetAttribute("path", "dek/2008");
  const std::string bases[] = {Https().Good("good/download/"),
                               Https().Good("to-https/good/download/"),
                               Https().Good("to-https/to-https/good/download/")};
  for (const std::string& base : bases) {
    DeleteFileA(Local.File("a.exe").c_str());
    EXPECT_TRUE(Get(pkg, base)) << base;
    EXPECT_TRUE(content == ReadFileBytes(Local.File("a.exe"))) << base;
    EXPECT_FALSE(Dialog->Downloading);
  }
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(HttpsDownloadTest, RefusedMirrorsWriteNothingAndLogNothing) {
  // Every server below has the file, and the http target of the redirects
  // hands it out to anyone who asks in the clear (checked first): each
  // refusal is the certificate's or the redirect's doing.
  const std::string content = FaultBody(20000);
  Put("refused/download/r.exe", content);
  TXmlTreeNode* pkg = Package("r.exe");
  ASSERT_TRUE(Get(pkg, Https().Plain("refused/download/")));
  ASSERT_TRUE(content == ReadFileBytes(Local.File("r.exe")));

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
      {"302 to https with a self-signed certificate",
       Https().Good("to-self-signed/refused/download/")},
  };
  const std::string stale = "an older copy";
  for (const Case& c : cases) {
    // Without a local copy none may appear; an existing one stays as it was.
    DeleteFileA(Local.File("r.exe").c_str());
    EXPECT_FALSE(Get(pkg, c.baseUrl)) << c.what;
    EXPECT_FALSE(FileExists(Local.File("r.exe"))) << c.what;
    WriteFileBytes(Local.File("r.exe"), stale);
    EXPECT_FALSE(Get(pkg, c.baseUrl)) << c.what;
    EXPECT_EQ(stale, ReadFileBytes(Local.File("r.exe"))) << c.what;
    EXPECT_FALSE(Dialog->Downloading) << c.what;
    EXPECT_EQ("", Dialog->LogText) << c.what;
  }
}

}  // namespace
