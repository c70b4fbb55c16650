// The download-and-install walk against scripted downloads and installers:
// the exact log, the server order, RunSet, FailedList, exit codes and cancel.
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

const char kUrl1[] = "http://127.0.0.1:1/download/";
const char kUrl2[] = "http://127.0.0.1:2/download/";

// Two mirrors holding files, a local folder, installers that may or may not
// start and may or may not leave a record.
class FakeHost : public TInstallRunHost {
 public:
  bool Cancelled() override { return Cancel; }
  bool Pump() override { return true; }
  bool CancelAsked() override { return Cancel; }
  void ShowProgress(unsigned) override {}
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
    NoRoom = onServer && TooBig.count(file) > 0;
    if (NoRoom) {
      Pending += "磁盘空间不足。\r\n";
    } else if (onServer && Local.count(file)) {
      ok = true;  // current local copy: no transfer
    } else if (onServer && !Cancel) {
      Local.insert(file);
      speed = 12.345f;
      ok = true;
    }
    LastResumed = ok && speed != 0 && Resumes.count(file) > 0;
    if (Cancel) {
      Pending += "下载中止。\r\n";
      RefreshLog();
    }
    return ok;
  }
  bool OutOfRoom() override { return NoRoom; }
  bool Resumed() override { return LastResumed; }
  int Draw() override {
    int value = Draws.empty() ? 1 : Draws.front();
    if (!Draws.empty()) Draws.erase(Draws.begin());
    return value;
  }
  bool RunInstaller(const char* fileName, unsigned long& exitCode) override {
    Calls.push_back(std::string("run ") + fileName);
    if (Unstartable.count(fileName)) return false;
    auto code = Codes.find(fileName);
    exitCode = code == Codes.end() ? 0 : code->second;
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
  std::set<std::string> TooBig;  // files that do not fit on the disk
  bool NoRoom = false;
  std::set<std::string> Resumes;  // files whose transfer finishes a kept part
  bool LastResumed = false;
  std::map<std::string, std::string> Records;  // fileName -> name its installer records
  std::map<std::string, unsigned long> Codes;  // fileName -> its installer's exit code (else 0)
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"工具\"...\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"工具\"...\r\n安装完成。\r\n"
            "正在下载\"\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"\"...\r\n以下定额库安装失败:\r\n    \r\n");
  std::vector<std::string> calls = {"get 1 a.exe", "run a.exe", "check 甲", "get 2 ", "run ",
                                    "get 1 c.exe", "run c.exe", "check "};
  EXPECT_EQ(Host.Calls, calls);
}

// A file that does not fit on the disk would not fit from the other server
// either: that one is not asked, and the run goes on with the next package.
TEST_F(InstallRunTest, NoRoomOnTheDiskSkipsTheOtherServer) {
  AddNode(&Doc, "Dek", {{"name", "大"}, {"fileName", "big.exe"}, {"state", "2"}});
  AddNode(&Doc, "Pkg", {{"name", "小"}, {"fileName", "small.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"big.exe", "small.exe"};
  Host.TooBig = {"big.exe"};
  Host.Draws = {2, 1};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"大\"...\r\nfrom http://127.0.0.1:2/download/\r\n磁盘空间不足。\r\n下载失败\r\n"
            "正在下载\"小\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"小\"...\r\n安装完成。\r\n");
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"get 2 big.exe", "get 1 small.exe", "run small.exe"}));
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://127.0.0.1:1/download/\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载失败\r\n"
            "正在下载\"丙\"...\r\nfrom http://127.0.0.1:2/download/\r\n"
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
  const std::string from1 = "from http://127.0.0.1:1/download/\r\n", from2 = "from http://127.0.0.1:2/download/\r\n";
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n安装失败。\r\n"
            "正在下载\"乙\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n"
            "正在下载\"工具\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"工具\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"乙\"...\r\n"
            "正在下载\"丙\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n"
            "正在下载\"乙\"...\r\nfrom http://127.0.0.1:2/download/\r\n下载中止。\r\n"
            "from http://127.0.0.1:1/download/\r\n下载中止。\r\n"
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\n下载中止。\r\n"
            "from http://127.0.0.1:2/download/\r\n下载中止。\r\n"
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

// One package per exit code, all chosen and on both mirrors; the log of
// each is its download lines and then `result`.
struct CodeCase {
  const char* tag;
  const char* name;
  unsigned long code;
  bool recorded;  // whether its installer leaves a "Dek Files" record
  const char* result;
};

std::string DownloadLines(const char* name) {
  return std::string("正在下载\"") + name + "\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
         "下载完成 12.35KB/S\r\n现在安装\"" + name + "\"...\r\n";
}

TEST_F(InstallRunTest, ExitCodesJudgeOtherSoftwareButNotQuotaLibraries) {
  const CodeCase cases[] = {
      {"Tool", "成功", 0, false, "安装完成。\r\n"},
      {"Tool", "失败", 1603, false, "安装失败，返回值 1603。\r\n"},
      {"Tool", "需重启", 3010, false, "安装完成。\r\n"},
      {"Tool", "已重启", 1641, false, "安装完成。\r\n"},
      {"Tool", "一", 1, false, "安装失败，返回值 1。\r\n"},
      {"Tool", "崩溃", 0xC0000005ul, false, "安装失败，返回值 3221225477。\r\n"},
      {"Tool", "近似", 3011, false, "安装失败，返回值 3011。\r\n"},
      // The record decides for a quota library, whatever the code says.
      {"Dek", "有记录", 1603, true, "安装完成。\r\n"},
      {"Dek", "无记录", 0, false, ""},
      {"Dek", "重启定额", 3010, false, ""},
  };
  std::string expected;
  int index = 0;
  for (const CodeCase& c : cases) {
    std::string file = "p" + std::to_string(index++) + ".exe";
    AddNode(&Doc, c.tag, {{"name", c.name}, {"fileName", file.c_str()}, {"state", "2"}});
    Host.Mirror1.insert(file);
    Host.Codes[file] = c.code;
    if (c.recorded) Host.Records[file] = c.name;
    expected += DownloadLines(c.name) + c.result;
  }
  Run();
  const std::string closing =
      "以下定额库安装失败:\r\n    无记录\r\n    重启定额\r\n"
      "以下软件安装失败:\r\n    失败\r\n    一\r\n    崩溃\r\n    近似\r\n"
      "需要重新启动计算机才能完成安装。\r\n";
  EXPECT_EQ(Host.Pending, expected + closing);
  ASSERT_GE(Host.Snapshots.size(), 2u);
  EXPECT_EQ(Host.Snapshots[Host.Snapshots.size() - 2] + closing, Host.Snapshots.back())
      << "the closing lines are shown together";
}

TEST_F(InstallRunTest, RestartIsAskedOnlyByOtherSoftware) {
  // A quota library's code goes unheeded even when it asks for a restart.
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  Host.Mirror1 = {"a.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Codes = {{"a.exe", 1641}};
  Run();
  EXPECT_EQ(Host.Pending, DownloadLines("甲") + "安装完成。\r\n");
}

TEST_F(InstallRunTest, SameFileTwiceKeepsTheVerdictOfItsOneRun) {
  AddNode(&Doc, "Tool", {{"name", "甲"}, {"fileName", "bad.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "乙"}, {"fileName", "bad.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "丙"}, {"fileName", "boot.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "丁"}, {"fileName", "boot.exe"}, {"state", "2"}});
  Host.Mirror1 = {"bad.exe", "boot.exe"};
  Host.Codes = {{"bad.exe", 1603}, {"boot.exe", 3010}};
  Run();
  std::string repeat = "正在下载\"乙\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
                       "下载完成 0.00KB/S\r\n现在安装\"乙\"...\r\n";
  std::string repeat2 = "正在下载\"丁\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
                        "下载完成 0.00KB/S\r\n现在安装\"丁\"...\r\n";
  EXPECT_EQ(Host.Pending, DownloadLines("甲") + "安装失败，返回值 1603。\r\n" + repeat +
                              "安装失败，返回值 1603。\r\n" + DownloadLines("丙") + "安装完成。\r\n" +
                              repeat2 + "安装完成。\r\n" + "以下软件安装失败:\r\n    甲\r\n    乙\r\n" +
                              "需要重新启动计算机才能完成安装。\r\n");
  std::vector<std::string> calls = {"get 1 bad.exe", "run bad.exe", "get 1 bad.exe",
                                    "get 1 boot.exe", "run boot.exe", "get 1 boot.exe"};
  EXPECT_EQ(Host.Calls, calls) << "each installer runs once";
}

TEST_F(InstallRunTest, CancelStillEndsWithTheFailuresAndTheRestartSoFar) {
  AddNode(&Doc, "Tool", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "丙"}, {"fileName", "c.exe"}, {"state", "2"}});
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "b.exe", "c.exe"};
  Host.Codes = {{"a.exe", 3010}, {"b.exe", 2}};
  Host.CancelAtDownload = 3;
  Run();
  EXPECT_EQ(Host.Pending, DownloadLines("甲") + "安装完成。\r\n" + DownloadLines("乙") +
                              "安装失败，返回值 2。\r\n正在下载\"丙\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
                              "下载中止。\r\nfrom http://127.0.0.1:2/download/\r\n下载中止。\r\n"
                              "以下软件安装失败:\r\n    乙\r\n需要重新启动计算机才能完成安装。\r\n");
}

// A download that finished a kept part says so after its speed; the next
// package's line is plain again, and so is a copy found current.
TEST_F(InstallRunTest, ResumedTransferIsMarkedAfterItsSpeed) {
  AddNode(&Doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}});
  AddNode(&Doc, "Tool", {{"name", "丙"}, {"fileName", "a.exe"}, {"state", "2"}});
  Host.Mirror2 = {"a.exe", "b.exe"};
  Host.Resumes = {"a.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Draws = {1, 2, 2};
  Run();
  EXPECT_EQ(Host.Pending,
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载完成 12.35KB/S(续传)\r\n现在安装\"甲\"...\r\n安装完成。\r\n"
            "正在下载\"乙\"...\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"乙\"...\r\n安装完成。\r\n"
            "正在下载\"丙\"...\r\nfrom http://127.0.0.1:2/download/\r\n"
            "下载完成 0.00KB/S\r\n现在安装\"丙\"...\r\n安装完成。\r\n");
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
            "正在下载\"甲\"...\r\nfrom http://127.0.0.1:1/download/\r\n"
            "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n以下定额库安装失败:\r\n    甲\r\n");
  const std::vector<std::string> calls = {"starting", "get 1 a.exe", "run a.exe", "check 甲", "ended", "starting"};
  EXPECT_EQ(calls, Host.Calls);
}

}  // namespace
