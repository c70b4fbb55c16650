// The catalogue fetch against nginx, the fault server and a dead port, with
// the real dialog and tree: fall-back to the second mirror, the archive
// variants, signatures and freshness, the clean-up of the two files, and the
// lines the log shows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/catalogue_fetch.h"
#include "app/catalogue_serial_store.h"
#include "app_servers_helper.h"
#include "app_test_keys.h"
#include "treeview/my_tree_wnd.h"

namespace {

const char kFailureLine[] = "无法联网取得配置文件，请检查网络设置。\r\n";
const char kDamaged[] = "配置文件已损坏。\r\n";
const char kBadSignature[] = "配置文件签名无效。\r\n";
const char kExpired[] = "配置文件已过期，请检查本机的日期和时间。\r\n";
const char kOlder[] = "配置文件版本低于已使用的版本。\r\n";

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

  int TreeCount() { return static_cast<int>(TreeView_GetCount(Dialog->TreeWnd->GetHandle())); }

  // Empties tree, document and log for the next fetch.
  void Reset() {
    TreeView_DeleteAllItems(Dialog->TreeWnd->GetHandle());  // items point into the document
    Dialog->CatalogueDoc.Clear();
    Dialog->LogText.clear();
    SetDlgItemTextA(Dialog->GetHandle(), kIdLog, "");
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

// The network line only when no mirror answered; a damaged archive counts
// as a failed download, so the next mirror's catalogue follows its line.
TEST_F(CatalogueFetchTest, MirrorsAndArchiveVariants) {
  const std::string dead = Servers().Dead("download/"), plain = Serve("plain");
  const std::string damaged = kDamaged, failed = kFailureLine;
  struct Case {
    std::string first, second, log;
    bool loads;
  } cases[] = {
      {dead, plain, "", true},
      {plain, Serve("absent"), "", true},  // the first mirror wins when it answers
      {Serve("declared"), dead, "", true},   // declaration and comment before the root
      {Serve("upper"), dead, "", true},      // installfiles.XML: letter case is ignored
      {Serve("later"), dead, "", true},      // the first match in entry order wins
      {Serve("limit"), dead, "", true},      // a member of exactly 64 MiB is read
      {Serve("subfolder"), dead, damaged, false},  // data/InstallFiles.xml is not it
      {Serve("absent"), dead, damaged, false},
      {Serve("garbage"), dead, damaged, false},    // no archive at all
      {Serve("over"), dead, damaged, false},       // one byte more: as if absent
      {Serve("garbage"), plain, damaged, true},
      {Serve("absent"), plain, damaged, true},
      {Serve("subfolder"), plain, damaged, true},
      {Serve("over"), plain, damaged, true},
      {Serve("garbage"), Serve("absent"), damaged + damaged, false},
      {dead, dead, failed, false},
      {Servers().Nginx("missing/download/"), Servers().Fault("nolength/300/download/"), failed,
       false},
      {Servers().Fault("status/503/download/"), Servers().Fault("short/3000/download/"), failed,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first + " then " + c.second);
    Reset();
    FetchCatalogueFrom(*Dialog, c.first.c_str(), c.second.c_str());
    if (c.loads) {
      ExpectPlainCatalogue(*Dialog);
    } else {
      EXPECT_EQ(0u, Dialog->CatalogueDoc.Children.Count());
      EXPECT_EQ(0, TreeCount());
    }
    EXPECT_EQ(c.log, Dialog->LogText);
    EXPECT_EQ(c.log, LogControlText(*Dialog));  // the line reaches the window at once
    ExpectNoLeftovers();
  }
}

TEST_F(CatalogueFetchTest, SecondFetchChangesNothing) {
  FetchCatalogueFrom(*Dialog, Serve("plain").c_str(), Servers().Dead("download/").c_str());
  ASSERT_EQ(3u, Dialog->CatalogueDoc.Children.Count());
  TXmlTreeNode* first = Dialog->CatalogueDoc.FirstChild();
  FetchCatalogueFrom(*Dialog, Servers().Dead("download/").c_str(),
                     Servers().Dead("download/").c_str());
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
// (tests/keys/make_keys.sh), signed as a vendor signs them. The highest
// serial is kept in a registry key of the tests' own, emptied before each case.
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
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, kSerialKey);
    CatalogueFetchTest::TearDown();
  }

  // The fixture's archive <name>.zip under /signed-<name>/download/; "dead"
  // names the port where nothing answers.
  std::string ServeSigned(const std::string& name) {
    if (name == "dead") return Servers().Dead("download/");
    const std::string folder = "signed-" + name + "/download/";
    Servers().PutFile(folder + "InstallFiles.zip", ReadTestKeyFile(name + ".zip"));
    return Servers().Nginx(folder);
  }
  // Fetches with the keys given; none: an unkeyed build.
  void Fetch(const std::string& first, const std::string& second,
             const std::vector<const std::string*>& pems) {
    Reset();
    std::vector<TCatalogueKey> keys;
    for (const std::string* pem : pems) keys.push_back(TCatalogueKey{pem->data(), pem->size()});
    TCatalogueTrust trust;
    trust.Keys = keys.data();
    trust.KeyCount = keys.size();
    trust.Serials = &Serials;
    FetchCatalogueFrom(*Dialog, ServeSigned(first).c_str(), ServeSigned(second).c_str(), trust);
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

TEST_F(SignedCatalogueTest, SignaturesKeysAndFreshness) {
  const std::string* good = &Good;
  const std::string* other = &Other;
  const std::string bad = kBadSignature, expired = kExpired, older = kOlder;
  struct Case {
    const char* first;
    const char* second;
    std::vector<const std::string*> keys;
    std::string log;
    bool loads;
  };
  std::vector<Case> cases = {
      {"signed", "dead", {good}, "", true},
      {"tampered", "signed", {good}, bad, true},
      {"expired", "signed", {good}, expired, true},
      {"unsigned", "other", {good}, bad + bad, false},
      {"truncated", "empty", {good}, bad + bad, false},
      // A changed byte; no archive at all, which is damaged, not unsigned.
      {"tampered", "plainzip", {good}, bad + kDamaged, false},
      {"expired", "noexpiry", {good}, expired + expired, false},
      {"noserial", "tampered", {good}, older + bad, false},
      {"unsigned", "dead", {good}, bad, false},  // a mirror answered: no network line
      {"dead", "dead", {good}, kFailureLine, false},
      // Any built-in key, and any of the signature members.
      {"by-other", "dead", {good, other}, "", true},  // signed by the second key only
      {"by-other", "dead", {other}, "", true},
      {"by-other", "dead", {good}, bad, false},  // a key the build does not carry
      {"other-then-good", "dead", {good}, "", true},  // .sig another key's, .sig2 ours
      {"other-then-good", "dead", {other}, "", true},
      {"good-in-sig4", "dead", {good}, "", true},  // .sig empty, the signature in .SIG4
      {"good-in-sig4", "dead", {other}, bad, false},
  };
  // Without a key nothing is checked or stored, whatever the archive holds.
  for (const char* name : {"tampered", "other", "unsigned", "expired", "noexpiry", "serial100"}) {
    cases.push_back({name, "dead", {}, "", true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " then " + c.second + " with " +
                 std::to_string(c.keys.size()) + " key(s)");
    RegDeleteKeyA(HKEY_CURRENT_USER, kSerialKey);
    Fetch(c.first, c.second, c.keys);
    EXPECT_EQ(c.loads, Loaded());
    EXPECT_EQ(c.log, Dialog->LogText);
    // sign-catalogue's default serial: the Unix time of signing, in this run.
    if (c.loads && !c.keys.empty()) {
      EXPECT_GT(Serials.Load(), 1700000000u);
    } else {
      EXPECT_EQ(0u, Serials.Load());
    }
    ExpectNoLeftovers();
  }
}

// Serials never go back: a catalogue below the highest accepted one is
// refused, one equal to it is taken again, a newer one raises it.
TEST_F(SignedCatalogueTest, OlderSerialIsRefusedAndTheSameOneAccepted) {
  Fetch("serial200", "dead", {&Good});
  ASSERT_TRUE(Loaded());
  EXPECT_EQ(200u, Serials.Load());
  struct Case {
    const char* first;
    const char* second;
    std::string log;
    bool loads;
  } cases[] = {
      {"serial100", "serial200", kOlder, true},
      {"serial200", "serial100", "", true},
      {"serial100", "serial100", std::string(kOlder) + kOlder, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " then " + c.second);
    Fetch(c.first, c.second, {&Good});
    EXPECT_EQ(c.loads, Loaded());
    EXPECT_EQ(c.log, Dialog->LogText);
    EXPECT_EQ(200u, Serials.Load());
  }
  Fetch("signed", "dead", {&Good});
  EXPECT_TRUE(Loaded());
  EXPECT_GT(Serials.Load(), 200u);
}

}  // namespace
