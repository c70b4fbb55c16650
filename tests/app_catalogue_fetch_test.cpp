// The catalogue fetch against nginx and a dead port, with the real dialog and
// tree: fall-back to the second server, the archive variants, the clean-up
// of the two files, and the one failure line.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/catalogue_fetch.h"
#include "app/catalogue_serial_store.h"
#include "app_servers_helper.h"
#include "app_test_keys.h"
#include "markup/markup.h"
#include "treeview/my_tree_wnd.h"

namespace {

const char kFailureLine[] = "无法联网取得配置文件，请检查网络设置。\r\n";
const char kDamaged[] = "配置文件已损坏。\r\n";

class CatalogueFetchTest : public TServedDialogTest {
 protected:
  void SetUp() override {
    TServedDialogTest::SetUp();
    if (HasFatalFailure()) return;
    strcpy(Dialog->DownloadDir, Local.Path().c_str());
  }

  // Serves one of the archives of tests/data/download under /<name>/download/
  // and returns that base URL.
  std::string Serve(const std::string& archive) {
    Servers().PutFile(archive + "/download/InstallFiles.zip",
                      ReadFileBytes(TestDataFile("download/" + archive + ".zip")));
    return Servers().Nginx(archive + "/download/");
  }

  int TreeCount() {
    return static_cast<int>(TreeView_GetCount(Dialog->TreeWnd->GetHandle()));
  }

  void ExpectNoLeftovers() {
    EXPECT_FALSE(FileExists(Local.File("InstallFiles.zip")));
    EXPECT_FALSE(FileExists(Local.File("InstallFiles.xml")));
  }

};

// The catalogue of plain.zip, as the document and the tree must show it.
void ExpectPlainCatalogue(TInstallZelmDlgClient& d) {
  EXPECT_EQ("InstallFiles", d.CatalogueDoc.Name);
  ASSERT_EQ(3u, d.CatalogueDoc.Children.Count());
  TXmlTreeNode* group = d.CatalogueDoc.FirstChild();
  EXPECT_STREQ("定额库", group->GetAttribute("name"));  // UTF-8 read as GBK
  ASSERT_NE(nullptr, group->FirstChild());
  EXPECT_STREQ("北京2008", group->FirstChild()->GetAttribute("name"));
  EXPECT_STREQ("dek/2008", group->FirstChild()->GetAttribute("path"));
  // Group, two Dek and the tool; the Version element and its child stay out.
  EXPECT_EQ(4, static_cast<int>(TreeView_GetCount(d.TreeWnd->GetHandle())));
}

TEST_F(CatalogueFetchTest, FirstServerDownFallsBackToTheSecondSilently) {
  FetchCatalogueFrom(*Dialog, Servers().Dead("download/").c_str(), Serve("plain").c_str());
  ExpectPlainCatalogue(*Dialog);
  EXPECT_EQ("", Dialog->LogText);
  ExpectNoLeftovers();
}

TEST_F(CatalogueFetchTest, FirstServerWinsWhenItAnswers) {
  std::string second = Serve("absent");
  FetchCatalogueFrom(*Dialog, Serve("plain").c_str(), second.c_str());
  ExpectPlainCatalogue(*Dialog);
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(CatalogueFetchTest, BothServersFailingLogsOneLine) {
  struct Case {
    std::string first, second;
  } cases[] = {
      {Servers().Dead("download/"), Servers().Dead("download/")},
      {Servers().Nginx("missing/download/"), Servers().Fault("nolength/300/download/")},
      {Servers().Fault("status/503/download/"), Servers().Fault("short/3000/download/")},
  };
  for (const Case& c : cases) {
    Dialog->LogText.clear();
    FetchCatalogueFrom(*Dialog, c.first.c_str(), c.second.c_str());
    EXPECT_EQ(kFailureLine, Dialog->LogText) << c.first << " " << c.second;
    char shown[256] = {};
    GetDlgItemTextA(Dialog->GetHandle(), kIdLog, shown, sizeof(shown));
    EXPECT_STREQ(kFailureLine, shown);  // the line reaches the window at once
    EXPECT_EQ(0u, Dialog->CatalogueDoc.Children.Count());
    EXPECT_EQ(0, TreeCount());
    EXPECT_FALSE(FileExists(Local.File("InstallFiles.xml")));
  }
}

TEST_F(CatalogueFetchTest, ArchiveVariants) {
  struct Case {
    const char* archive;
    bool loads;
  } cases[] = {
      {"plain", true},
      {"declared", true},    // declaration and comment before the root
      {"upper", true},       // installfiles.XML: letter case is ignored
      {"later", true},       // the first match in entry order wins
      {"subfolder", false},  // data/InstallFiles.xml is not the catalogue
      {"absent", false},
      {"garbage", false},    // no archive at all
      {"limit", true},       // a member of exactly 64 MiB is read
      {"over", false},       // one byte more: not extracted, as if absent
  };
  for (const Case& c : cases) {
    TInstallZelmDlgClient& d = *Dialog;
    TreeView_DeleteAllItems(d.TreeWnd->GetHandle());  // items point into the document
    d.CatalogueDoc.Clear();
    std::string url = Serve(c.archive);
    FetchCatalogueFrom(d, url.c_str(), Servers().Dead("download/").c_str());
    SCOPED_TRACE(c.archive);
    if (c.loads) {
      ExpectPlainCatalogue(d);
      EXPECT_EQ("", d.LogText);
    } else {
      EXPECT_EQ(0u, d.CatalogueDoc.Children.Count());
      EXPECT_EQ(0, TreeCount());
      // A mirror answered, so not the network line: the archive was damaged.
      EXPECT_EQ(kDamaged, d.LogText);
    }
    d.LogText.clear();
    ExpectNoLeftovers();
  }
}

// A damaged archive is treated like a failed download: the next mirror's
// catalogue is shown after one line.
TEST_F(CatalogueFetchTest, DamagedArchiveFallsBackToTheSecondMirror) {
  for (const char* damaged : {"garbage", "absent", "subfolder", "over"}) {
    TreeView_DeleteAllItems(Dialog->TreeWnd->GetHandle());
    Dialog->CatalogueDoc.Clear();
    Dialog->LogText.clear();
    std::string first = Serve(damaged);
    FetchCatalogueFrom(*Dialog, first.c_str(), Serve("plain").c_str());
    SCOPED_TRACE(damaged);
    ExpectPlainCatalogue(*Dialog);
    EXPECT_EQ(kDamaged, Dialog->LogText);
    ExpectNoLeftovers();
  }
  // Both damaged: a line each, and still not the network line.
  TreeView_DeleteAllItems(Dialog->TreeWnd->GetHandle());
  Dialog->CatalogueDoc.Clear();
  Dialog->LogText.clear();
  std::string first = Serve("garbage");
  FetchCatalogueFrom(*Dialog, first.c_str(), Serve("absent").c_str());
  EXPECT_EQ(std::string(kDamaged) + kDamaged, Dialog->LogText);
  EXPECT_EQ(0, TreeCount());
}

TEST_F(CatalogueFetchTest, SecondFetchChangesNothing) {
  FetchCatalogueFrom(*Dialog, Serve("plain").c_str(), Servers().Dead("download/").c_str());
  ASSERT_EQ(3u, Dialog->CatalogueDoc.Children.Count());
  TXmlTreeNode* first = Dialog->CatalogueDoc.FirstChild();
  FetchCatalogueFrom(*Dialog, Servers().Dead("download/").c_str(), Servers().Dead("download/").c_str());
  EXPECT_EQ(first, Dialog->CatalogueDoc.FirstChild());
  EXPECT_EQ(4, TreeCount());
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(CatalogueFetchTest, CurrentLeftoverArchiveIsUsedAndDeleted) {
  // The server holds an archive of the same size but without the catalogue;
  // the local copy, written now, passes the skip test and is read instead.
  std::string local = ReadFileBytes(TestDataFile("download/plain.zip"));
  std::string server = ReadFileBytes(TestDataFile("download/upper.zip"));
  ASSERT_EQ(local.size(), server.size());
  for (size_t at; (at = server.find("installfiles.XML")) != std::string::npos;) {
    server.replace(at, 16, "notthecatalogue!");
  }
  Servers().PutFile("leftover/download/InstallFiles.zip", server);
  WriteFileBytes(Local.File("InstallFiles.zip"), local);
  FetchCatalogueFrom(*Dialog, Servers().Nginx("leftover/download/").c_str(),
                     Servers().Dead("download/").c_str());
  ExpectPlainCatalogue(*Dialog);
  ExpectNoLeftovers();
}

// Signed catalogues: the archives and keys come fresh from the keys fixture
// (tests/keys/make_keys.sh), signed by openssl and scripts/sign-catalogue as
// a vendor signs them. The highest serial is kept in a registry key of the
// tests' own, emptied before each test.
const char kSerialKey[] = "Software\\InstallZelmTests\\FetchSerial";

class SignedCatalogueTest : public CatalogueFetchTest {
 protected:
  void SetUp() override {
    CatalogueFetchTest::SetUp();
    IZ_REQUIRE_TEST_KEYS();
    RegDeleteKeyA(HKEY_CURRENT_USER, kSerialKey);
    Good = ReadTestKeyFile("good.pub.pem");
    Other = ReadTestKeyFile("other.pub.pem");
    ASSERT_FALSE(Good.empty());
    ASSERT_FALSE(Other.empty());
  }
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kSerialKey); }

  // Serves one of the fixture's archives under /signed-<name>/download/.
  std::string ServeSigned(const std::string& name) {
    Servers().PutFile("signed-" + name + "/download/InstallFiles.zip", ReadTestKeyFile(name + ".zip"));
    return Servers().Nginx("signed-" + name + "/download/");
  }
  // Fetches with the given keys (by default the good key alone); none: an
  // unkeyed build.
  void Fetch(const std::string& first, const std::string& second,
             std::vector<const std::string*> pems = {nullptr}) {
    std::vector<TCatalogueKey> keys;
    for (const std::string* pem : pems) {
      if (!pem) pem = &Good;
      keys.push_back(TCatalogueKey{pem->data(), pem->size()});
    }
    TCatalogueTrust trust;
    trust.Keys = keys.data();
    trust.KeyCount = keys.size();
    trust.Serials = &Serials;
    FetchCatalogueFrom(*Dialog, first.c_str(), second.c_str(), trust);
  }
  void Reset() {
    TreeView_DeleteAllItems(Dialog->TreeWnd->GetHandle());
    Dialog->CatalogueDoc.Clear();
    Dialog->LogText.clear();
  }
  // The fixture's catalogue: one Dek named 软件 under the root.
  bool Loaded() {
    TXmlTreeNode* dek = Dialog->CatalogueDoc.FirstChild();
    return Dialog->CatalogueDoc.Children.Count() == 1 && dek &&
           std::string(dek->GetAttribute("name")) == "软件" && TreeCount() == 1;
  }

  std::string Good, Other;
  TCatalogueSerialStore Serials{HKEY_CURRENT_USER, kSerialKey};
};

const char kBadSignature[] = "配置文件签名无效。\r\n";
const char kExpired[] = "配置文件已过期，请检查本机的日期和时间。\r\n";
const char kOlder[] = "配置文件版本低于已使用的版本。\r\n";

TEST_F(SignedCatalogueTest, ValidSignatureLoadsSilentlyAndKeepsItsSerial) {
  Fetch(ServeSigned("signed"), Servers().Dead("download/"));
  EXPECT_TRUE(Loaded());
  EXPECT_EQ("", Dialog->LogText);
  ExpectNoLeftovers();
  // sign-catalogue's default serial: the Unix time of signing, in this run.
  EXPECT_GT(Serials.Load(), 1700000000u);
}

TEST_F(SignedCatalogueTest, TamperedFirstMirrorFallsBackToTheSecond) {
  Fetch(ServeSigned("tampered"), ServeSigned("signed"));
  EXPECT_TRUE(Loaded());
  EXPECT_EQ(kBadSignature, Dialog->LogText);
  ExpectNoLeftovers();
}

TEST_F(SignedCatalogueTest, NoValidCatalogueAnywhereLeavesTheTreeEmpty) {
  struct Case {
    const char* first;
    const char* second;
    std::string log;
  } cases[] = {
      {"unsigned", "other", std::string(kBadSignature) + kBadSignature},
      {"truncated", "empty", std::string(kBadSignature) + kBadSignature},
      // A changed byte; no archive at all, which is damaged, not unsigned.
      {"tampered", "plainzip", std::string(kBadSignature) + kDamaged},
      {"expired", "noexpiry", std::string(kExpired) + kExpired},
      {"noserial", "tampered", std::string(kOlder) + kBadSignature},
  };
  for (const Case& c : cases) {
    Reset();
    Fetch(ServeSigned(c.first), ServeSigned(c.second));
    EXPECT_EQ(c.log, Dialog->LogText) << c.first;
    EXPECT_EQ(0u, Dialog->CatalogueDoc.Children.Count()) << c.first;
    EXPECT_EQ(0, TreeCount()) << c.first;
    EXPECT_EQ(0u, Serials.Load()) << c.first << ": nothing was accepted";
    ExpectNoLeftovers();
  }
  // The network line keeps its meaning: only when no mirror answered.
  Reset();
  Fetch(ServeSigned("unsigned"), Servers().Dead("download/"));
  EXPECT_EQ(kBadSignature, Dialog->LogText);
  Reset();
  Fetch(Servers().Dead("download/"), Servers().Dead("download/"));
  EXPECT_EQ(kFailureLine, Dialog->LogText);
}

TEST_F(SignedCatalogueTest, ExpiredFirstMirrorFallsBackToTheSecond) {
  Fetch(ServeSigned("expired"), ServeSigned("signed"));
  EXPECT_TRUE(Loaded());
  EXPECT_EQ(kExpired, Dialog->LogText);
  ExpectNoLeftovers();
}

// Serials never go back: a catalogue below the highest accepted one is
// refused, one equal to it is taken again.
TEST_F(SignedCatalogueTest, OlderSerialIsRefusedAndTheSameOneAccepted) {
  Fetch(ServeSigned("serial200"), Servers().Dead("download/"));
  ASSERT_TRUE(Loaded());
  EXPECT_EQ(200u, Serials.Load());
  struct Case {
    const char* first;
    const char* second;
    const char* log;
    bool loads;
  } cases[] = {
      {"serial100", "serial200", kOlder, true},
      {"serial200", "serial100", "", true},
      {"serial100", "serial100", "", false},
  };
  for (const Case& c : cases) {
    Reset();
    Fetch(ServeSigned(c.first), ServeSigned(c.second));
    EXPECT_EQ(c.loads, Loaded()) << c.first << " " << c.second;
    if (c.loads) {
      EXPECT_EQ(c.log, Dialog->LogText) << c.first << " " << c.second;
    } else {
      EXPECT_EQ(std::string(kOlder) + kOlder, Dialog->LogText);
    }
    EXPECT_EQ(200u, Serials.Load());
  }
  // A newer one raises it.
  Reset();
  Fetch(ServeSigned("signed"), Servers().Dead("download/"));
  EXPECT_TRUE(Loaded());
  EXPECT_GT(Serials.Load(), 200u);
}

TEST_F(SignedCatalogueTest, AnyBuiltInKeyAndAnySignatureMember) {
  struct Case {
    const char* archive;
    std::vector<const std::string*> keys;
    bool loads;
  } cases[] = {
      {"by-other", {&Good, &Other}, true},       // signed by the second key only
      {"by-other", {&Other}, true},
      {"by-other", {&Good}, false},              // a key the build does not carry
      {"other-then-good", {&Good}, true},        // .sig another key's, .sig2 ours
      {"other-then-good", {&Other}, true},
      {"good-in-sig4", {&Good}, true},           // .sig empty, the signature in .SIG4
      {"good-in-sig4", {&Other}, false},
  };
  for (const Case& c : cases) {
    Reset();
    Fetch(ServeSigned(c.archive), Servers().Dead("download/"), c.keys);
    EXPECT_EQ(c.loads, Loaded()) << c.archive << " with " << c.keys.size() << " key(s)";
    EXPECT_EQ(c.loads ? "" : kBadSignature, Dialog->LogText) << c.archive;
  }
}

// Without a key nothing is checked or stored, whatever the archive holds.
TEST_F(SignedCatalogueTest, BuildWithoutAKeyIgnoresSignaturesAndFreshness) {
  for (const char* name : {"tampered", "other", "unsigned", "expired", "noexpiry", "serial100"}) {
    Reset();
    Fetch(ServeSigned(name), Servers().Dead("download/"), {});
    EXPECT_EQ(1u, Dialog->CatalogueDoc.Children.Count()) << name;
    EXPECT_EQ("", Dialog->LogText) << name;
  }
  EXPECT_EQ(0u, Serials.Load());
}

}  // namespace
