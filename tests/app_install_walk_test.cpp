// The download-and-install walk against scripted downloads and installers:
// the exact log, the server order, RunSet, FailedList and cancel.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/install_walk.h"
#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

const char kUrl1[] = "http://one.test/download/";
const char kUrl2[] = "http://two.test/download/";

// Two mirrors holding files, a local folder, installers that may or may not
// start and may or may not leave a record.
class FakeHost : public TInstallRunHost {
 public:
  bool Cancelled() override { return Cancel; }
  void AppendLog(const char* text) override { Pending += text; }
  void RefreshLog() override {
    Shown = Pending;
    ++Refreshes;
    Snapshots.push_back(Shown);
  }
  bool Download(TXmlTreeNode* element, float& speed, const char* baseUrl) override {
    speed = 0;
    std::string file = element->GetAttribute("fileName");
    Calls.push_back("get " + std::string(baseUrl == std::string(kUrl1) ? "1 " : "2 ") + file);
    if (OnDownload) OnDownload(element);
    if (++DownloadCount == CancelAtDownload) Cancel = true;
    bool onServer = (baseUrl == std::string(kUrl1) ? Mirror1 : Mirror2).count(file) > 0;
    bool ok = false;
    if (onServer && Local.count(file)) {
      ok = true;  // current local copy: no transfer
    } else if (onServer && !Cancel) {
      Local.insert(file);
      speed = 12.345f;
      ok = true;
    }
    if (Cancel) {
      Pending += "下载中止。\r\n";
      RefreshLog();
    }
    return ok;
  }
  int Draw() override {
    int value = Draws.empty() ? 1 : Draws.front();
    if (!Draws.empty()) Draws.erase(Draws.begin());
    return value;
  }
  bool RunInstaller(const char* fileName) override {
    Calls.push_back(std::string("run ") + fileName);
    if (Unstartable.count(fileName)) return false;
    auto rec = Records.find(fileName);
    if (rec != Records.end()) Recorded.insert(rec->second);
    return true;
  }
  bool IsDekRecorded(const char* name) override {
    Calls.push_back(std::string("check ") + name);
    return Recorded.count(name) > 0;
  }
  void PackageStarting() override {
    if (RecordHooks) Calls.push_back("starting");
    if (++Starts == CancelAtStart) Cancel = true;  // a close taken between packages
  }
  void PackageEnded() override {
    if (RecordHooks) Calls.push_back("ended");
  }

  bool Cancel = false;
  int CancelAtDownload = 0;
  int CancelAtStart = 0;
  bool RecordHooks = false;  // the package hooks go into Calls too
  int Starts = 0;
  int DownloadCount = 0;
  std::string Pending, Shown;
  int Refreshes = 0;
  std::vector<std::string> Snapshots;  // what the window showed after each refresh
  std::vector<std::string> Calls;
  std::set<std::string> Mirror1, Mirror2, Local, Unstartable, Recorded;
  std::map<std::string, std::string> Records;  // fileName -> name its installer records
  std::vector<int> Draws;
  void (*OnDownload)(TXmlTreeNode*) = nullptr;
};

class InstallRunTest : public ::testing::Test {
 protected:
  void Run() {
    DownloadAndInstall(Doc, Host, kUrl1, kUrl2);
    EXPECT_EQ(Host.Shown, Host.Pending) << "every line must be shown by the end of the run";
  }
  TXmlTreeNode Doc{nullptr, true};
  FakeHost Host;
};

TEST_F(InstallRunTest, NothingChosenWritesNothing) {
  TXmlTreeNode* group = AddNode(&Doc, "Group", {{"name", "组"}, {"state", "3"}});
  AddNode(group, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "1"}});
  AddNode(group, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}});
  AddNode(group, "Dek", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "3"}});
  Run();
  EXPECT_EQ(Host.Pending, "");
  EXPECT_TRUE(Host.Calls.empty());
}

TEST_F(InstallRunTest, ChosenPackagesInDocumentOrderWithServerOrderFromTheDraw) {
  // A chosen group without fileName is passed over; its children count alone.
  TXmlTreeNode* group = AddNode(&Doc, "Group", {{"name", "组"}, {"state", "2"}, {"path", "dek"}});
  AddNode(group, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(group, "Tool", {{"name", "工具"}, {"fileName", ""}, {"state", " 2"}});
  AddNode(&Doc, "Dek", {{"fileName", "c.exe"}, {"state", "02"}});
  Host.Mirror1 = {"a.exe", "", "c.exe"};
  Host.Mirror2 = {"a.exe", "", "c.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Draws = {7, 4, 1};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"工具\"...\r\nfrom http://two.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"工具\"...\r\n安装完成。\r\n"
            "正在下载\"\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"\"...\r\n以下定额库安装失败:\r\n    \r\n");
  std::vector<std::string> calls = {"get 1 a.exe", "run a.exe", "check 甲", "get 2 ", "run ",
                                    "get 1 c.exe", "run c.exe", "check "};
  EXPECT_EQ(Host.Calls, calls);
}

TEST_F(InstallRunTest, MissingOnOneMirrorFallsBackAndOnBothFails) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  AddNode(&Doc, "Pkg", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "2"}});
  Host.Mirror2 = {"a.exe", "c.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Draws = {1, 3, 2};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\nfrom http://two.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://one.test/download/\r\nfrom http://two.test/download/\r\n"
            "下载失败\r\n"
            "正在下载\"丙\"...\r\nfrom http://two.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"丙\"...\r\n安装完成。\r\n");
}

TEST_F(InstallRunTest, LinesBecomeVisibleOnlyAtTheRefreshPoints) {
  // "from" lines wait for the next refresh; a missing record refreshes
  // without a line of its own; the closing list is shown in one go.
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  AddNode(&Doc, "Pkg", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "2"}});
  Host.Mirror2 = {"a.exe"};
  Host.Mirror1 = {"b.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Draws = {1, 1, 1};
  Run();
  const std::string from1 = "from http://one.test/download/\r\n", from2 = "from http://two.test/download/\r\n";
  std::vector<std::string> steps = {
      "正在下载\"甲\"...\r\n",
      from1 + from2 + "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n",
      "安装完成。\r\n",
      "正在下载\"乙\"...\r\n",
      from1 + "下载完成 12.35KB/S\r\n现在安装\"乙\"...\r\n",
      "",
      "正在下载\"丙\"...\r\n",
      from1 + from2 + "下载失败\r\n",
      "以下定额库安装失败:\r\n    乙\r\n",
  };
  std::vector<std::string> expected;
  std::string shown;
  for (const std::string& step : steps) expected.push_back(shown += step);
  EXPECT_EQ(Host.Snapshots, expected);
}

TEST_F(InstallRunTest, SameFileTwiceRunsTheInstallerOnce) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "same.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "same.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"same.exe"};
  Host.Records = {{"same.exe", "甲"}};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 0.00KB/S\r\n现在安装\"乙\"...\r\n安装完成。\r\n");
  std::vector<std::string> calls = {"get 1 same.exe", "run same.exe", "check 甲", "get 1 same.exe"};
  EXPECT_EQ(Host.Calls, calls) << "no second installer and no record check for 乙";
}

TEST_F(InstallRunTest, UnstartableInstallerFailsAndIsTriedAgainForTheSameFile) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "bad.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "bad.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"bad.exe"};
  Host.Unstartable = {"bad.exe"};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装失败。\r\n"
            "正在下载\"乙\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 0.00KB/S\r\n现在安装\"乙\"...\r\n安装失败。\r\n");
}

TEST_F(InstallRunTest, UnconfirmedQuotaLibrariesAreListedOnlyAtTheEnd) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "工具"}, {"fileName", "t.exe"}, {"state", "2"}});  // not a Dek: no check
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  AddNode(&Doc, "dek", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "2"}});  // tag case matters
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "t.exe", "b.exe", "c.exe"};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n"
            "正在下载\"工具\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"工具\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"乙\"...\r\n"
            "正在下载\"丙\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"丙\"...\r\n安装完成。\r\n"
            "以下定额库安装失败:\r\n    甲\r\n    乙\r\n");
}

TEST_F(InstallRunTest, CancelDuringADownloadEndsTheRunAfterTheSecondAttempt) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "b.exe", "c.exe"};
  Host.CancelAtDownload = 2;  // the transfer of b.exe from the first server
  Host.Draws = {2, 2, 2};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://two.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n"
            "正在下载\"乙\"...\r\nfrom http://two.test/download/\r\n下载中止。\r\n"
            "from http://one.test/download/\r\n下载中止。\r\n"
            "以下定额库安装失败:\r\n    甲\r\n");
}

TEST_F(InstallRunTest, CancelledSecondAttemptStillCountsACurrentLocalCopy) {
  AddNode(&Doc, "Pkg", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Pkg", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "b.exe"};
  Host.Local = {"a.exe"};
  Host.Mirror1.erase("a.exe");
  Host.CancelAtDownload = 1;
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\n下载中止。\r\n"
            "from http://two.test/download/\r\n下载中止。\r\n"
            "下载完成 0.00KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n");
}

TEST_F(InstallRunTest, ChoicesMadeDuringTheRunAheadOfTheWalkAreHonoured) {
  AddNode(&Doc, "Pkg", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Pkg", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "1"}});
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "b.exe"};
  // A click in the tree while a.exe is transferred chooses 乙.
  Host.OnDownload = [](TXmlTreeNode* element) {
    if (TXmlTreeNode* next = element->NextSibling()) next->SetAttribute("state", "2");
  };
  Run();
  EXPECT_NE(Host.Pending.find("正在下载\"乙\""), std::string::npos);
}

}  // namespace

namespace {

// The host hears of each chosen package before anything of it happens and
// after its lines; a stop between two packages leaves no line of the next
// one, and the closing list still comes.
TEST_F(InstallRunTest, HooksFrameEachPackageAndAStopBetweenThemEndsTheRun) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "1"}});
  AddNode(&Doc, "Dek", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "c.exe"};
  Host.CancelAtStart = 2;
  Host.RecordHooks = true;
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://one.test/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n以下定额库安装失败:\r\n    甲\r\n");
  const std::vector<std::string> calls = {"starting", "get 1 a.exe", "run a.exe", "check 甲", "ended", "starting"};
  EXPECT_EQ(calls, Host.Calls);
}

}  // namespace
