// The download-and-install walk against scripted mirrors and installers:
// the exact log and when it is shown, the server order, which installers
// run, the closing lists, cancel, and the hash rule of a keyed build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_install_host.h"
#include "support/node_builder.h"

namespace {

const char kDone[] = "安装完成。\r\n";
const char kAborted[] = "下载中止。\r\n";

std::string Begin(const char* name) { return std::string("正在下载\"") + name + "\"...\r\n"; }

std::string From(char server) {
  return std::string("from http://127.0.0.1:") + server + "/download/\r\n";
}

// The lines of a package tried on `servers` in that order ("21": the second
// mirror, then the first), downloaded at `speed` and started.
std::string Got(const char* name, const char* servers = "1", const char* speed = "12.35KB/S") {
  std::string lines = Begin(name);
  for (const char* server = servers; *server; ++server) lines += From(*server);
  return lines + "下载完成 " + speed + "\r\n现在安装\"" + name + "\"...\r\n";
}

class InstallRunTest : public ::testing::Test {
 protected:
  TXmlTreeNode* Add(const char* tag, const char* name, const char* file, const char* state = "2",
                    TXmlTreeNode* parent = nullptr) {
    TNodeAttributes attributes = {{"name", name}, {"fileName", file}, {"state", state}};
    return AddNode(parent ? parent : &Doc, tag, attributes);
  }
  void Run() {
    Host.Run(Doc);
    EXPECT_EQ(Host.Shown(), Host.Log) << "every line must be shown by the end of the run";
  }
  TXmlTreeNode Doc{nullptr, true};
  TFakeInstallHost Host;
};

// Only chosen ("2", " 2", "02") elements with a "fileName" count: a chosen
// group without one is passed over, and its children count alone.
TEST_F(InstallRunTest, ChosenPackagesInDocumentOrderWithServerOrderFromTheDraw) {
  TXmlTreeNode* group = AddNode(&Doc, "Group", {{"name", "组"}, {"state", "2"}, {"path", "dek"}});
  Add("Dek", "甲", "a.exe", "2", group);
  Add("Dek", "未选", "x.exe", "1", group);
  AddNode(group, "Dek", {{"name", "无状态"}, {"fileName", "y.exe"}});
  Add("Tool", "工具", "", " 2", group);
  Add("Dek", "部分", "z.exe", "3");
  AddNode(&Doc, "Dek", {{"fileName", "c.exe"}, {"state", "02"}});
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "x.exe", "y.exe", "", "z.exe", "c.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Draws = {7, 4, 1};
  Run();
  EXPECT_EQ(Host.Log, Got("甲") + kDone + Got("工具", "2") + kDone + Got("") +
                          "以下定额库安装失败:\r\n    \r\n");
  std::vector<std::string> calls = {"get 1 a.exe", "run a.exe", "check 甲", "get 2 ", "run ",
                                    "get 1 c.exe", "run c.exe", "check "};
  EXPECT_EQ(Host.Calls, calls);
}

// A file that does not fit on the disk would not fit from the other server
// either: that one is not asked, and the run goes on with the next package.
TEST_F(InstallRunTest, NoRoomOnTheDiskSkipsTheOtherServer) {
  Add("Dek", "大", "big.exe");
  Add("Pkg", "小", "small.exe");
  Host.Mirror1 = Host.Mirror2 = {"big.exe", "small.exe"};
  Host.TooBig = {"big.exe"};
  Host.Draws = {2, 1};
  Run();
  EXPECT_EQ(Host.Log,
            Begin("大") + From('2') + "磁盘空间不足。\r\n下载失败\r\n" + Got("小") + kDone);
  std::vector<std::string> calls = {"get 2 big.exe", "get 1 small.exe", "run small.exe"};
  EXPECT_EQ(Host.Calls, calls);
}

// A file missing on the first server is fetched from the second; missing on
// both, the package fails. "from" lines wait for the next refresh; a missing
// record refreshes without a line of its own; the closing list is shown in
// one go.
TEST_F(InstallRunTest, LinesBecomeVisibleOnlyAtTheRefreshPoints) {
  Add("Dek", "甲", "a.exe");
  Add("Dek", "乙", "b.exe");
  Add("Pkg", "丙", "c.exe");
  Host.Mirror2 = {"a.exe"};
  Host.Mirror1 = {"b.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Run();
  std::vector<std::string> steps = {
      Begin("甲"),
      From('1') + From('2') + "下载完成 12.35KB/S\r\n现在安装\"甲\"...\r\n",
      kDone,
      Begin("乙"),
      From('1') + "下载完成 12.35KB/S\r\n现在安装\"乙\"...\r\n",
      "",
      Begin("丙"),
      From('1') + From('2') + "下载失败\r\n",
      "以下定额库安装失败:\r\n    乙\r\n",
  };
  std::vector<std::string> expected;
  std::string shown;
  for (const std::string& step : steps) expected.push_back(shown += step);
  EXPECT_EQ(Host.Snapshots(), expected);
}

// A quota library's file is installed once however often it is chosen, and
// its installer's code goes unheeded even when it asks for a restart.
TEST_F(InstallRunTest, SameFileTwiceRunsTheInstallerOnce) {
  Add("Dek", "甲", "same.exe");
  Add("Dek", "乙", "same.exe");
  Host.Mirror1 = Host.Mirror2 = {"same.exe"};
  Host.Records = {{"same.exe", "甲"}};
  Host.Codes = {{"same.exe", 1641}};
  Run();
  EXPECT_EQ(Host.Log, Got("甲") + kDone + Got("乙", "1", "0.00KB/S") + kDone);
  std::vector<std::string> calls = {"get 1 same.exe", "run same.exe", "check 甲", "get 1 same.exe"};
  EXPECT_EQ(Host.Calls, calls) << "no second installer and no record check for 乙";
}

// The run ends after the second attempt of the download that was cancelled;
// the lists and the restart line gathered so far still close it.
TEST_F(InstallRunTest, CancelDuringADownloadEndsTheRunWithTheListsSoFar) {
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "b.exe", "c.exe", "d.exe", "e.exe"};
  Host.Codes = {{"a.exe", 3010}, {"c.exe", 2}};
  Add("Tool", "甲", "a.exe");
  Add("Dek", "乙", "b.exe");
  Add("Tool", "丙", "c.exe");
  Add("Dek", "丁", "d.exe");
  Add("Dek", "戊", "e.exe");
  Host.CancelAtDownload = 4;  // the transfer of d.exe from the first server tried
  Host.Draws = {2, 2, 2, 2};
  Run();
  EXPECT_EQ(Host.Log, Got("甲", "2") + kDone + Got("乙", "2") + Got("丙", "2") +
                          "安装失败，返回值 2。\r\n" + Begin("丁") + From('2') + kAborted +
                          From('1') + kAborted + "以下定额库安装失败:\r\n    乙\r\n" +
                          "以下软件安装失败:\r\n    丙\r\n需要重新启动计算机才能完成安装。\r\n");
}

TEST_F(InstallRunTest, CancelledSecondAttemptStillCountsACurrentLocalCopy) {
  Add("Pkg", "甲", "a.exe");
  Add("Pkg", "乙", "b.exe");
  Host.Mirror1 = {"b.exe"};
  Host.Mirror2 = {"a.exe", "b.exe"};
  Host.Local = {"a.exe"};
  Host.CancelAtDownload = 1;
  Run();
  EXPECT_EQ(Host.Log, Begin("甲") + From('1') + kAborted + From('2') + kAborted +
                          "下载完成 0.00KB/S\r\n现在安装\"甲\"...\r\n" + kDone);
}

TEST_F(InstallRunTest, ChoicesMadeDuringTheRunAheadOfTheWalkAreHonoured) {
  Add("Pkg", "甲", "a.exe");
  Add("Pkg", "乙", "b.exe", "1");
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "b.exe"};
  // A click in the tree while a.exe is transferred chooses 乙.
  Host.OnDownload = [](TXmlTreeNode* element) {
    if (TXmlTreeNode* next = element->NextSibling()) next->SetAttribute("state", "2");
  };
  Run();
  EXPECT_NE(Host.Log.find("正在下载\"乙\""), std::string::npos);
}

// One package per row, all chosen; the log of each is its download lines
// and then `result`. A missing record is listed only at the end.
TEST_F(InstallRunTest, ExitCodesJudgeOtherSoftwareButNotQuotaLibraries) {
  const struct {
    const char* tag;
    const char* name;
    unsigned long code;
    bool recorded;  // whether its installer leaves a "Dek Files" record
    const char* result;
  } cases[] = {
      // The record decides for a quota library, whatever the code says.
      {"Dek", "有记录", 1603, true, kDone},
      {"Dek", "无记录", 0, false, ""},
      {"Dek", "重启定额", 3010, false, ""},
      {"dek", "小写", 0, false, kDone},  // the tag's case matters: no quota library
      {"Tool", "成功", 0, false, kDone},
      {"Tool", "失败", 1603, false, "安装失败，返回值 1603。\r\n"},
      {"Tool", "需重启", 3010, false, kDone},
      {"Tool", "已重启", 1641, false, kDone},
      {"Tool", "一", 1, false, "安装失败，返回值 1。\r\n"},
      {"Tool", "崩溃", 0xC0000005ul, false, "安装失败，返回值 3221225477。\r\n"},
      {"Tool", "近似", 3011, false, "安装失败，返回值 3011。\r\n"},
  };
  std::string expected;
  int index = 0;
  for (const auto& c : cases) {
    std::string file = "p" + std::to_string(index++) + ".exe";
    Add(c.tag, c.name, file.c_str());
    Host.Mirror1.insert(file);
    Host.Codes[file] = c.code;
    if (c.recorded) Host.Records[file] = c.name;
    expected += Got(c.name) + c.result;
  }
  Run();
  const std::string closing =
      "以下定额库安装失败:\r\n    无记录\r\n    重启定额\r\n"
      "以下软件安装失败:\r\n    失败\r\n    一\r\n    崩溃\r\n    近似\r\n"
      "需要重新启动计算机才能完成安装。\r\n";
  EXPECT_EQ(Host.Log, expected + closing);
  std::vector<std::string> snapshots = Host.Snapshots();
  ASSERT_GE(snapshots.size(), 2u);
  EXPECT_EQ(snapshots[snapshots.size() - 2] + closing, snapshots.back())
      << "the closing lines are shown together";
}

// Other software's file chosen twice keeps the verdict of its one run; an
// installer that did not start is tried again.
TEST_F(InstallRunTest, SameFileTwiceKeepsTheVerdictOfItsOneRun) {
  Add("Tool", "甲", "bad.exe");
  Add("Tool", "乙", "bad.exe");
  Add("Tool", "丙", "boot.exe");
  Add("Tool", "丁", "boot.exe");
  Add("Dek", "戊", "dead.exe");
  Add("Dek", "己", "dead.exe");
  Host.Mirror1 = {"bad.exe", "boot.exe", "dead.exe"};
  Host.Codes = {{"bad.exe", 1603}, {"boot.exe", 3010}};
  Host.Unstartable = {"dead.exe"};
  Run();
  const std::string failed = "安装失败，返回值 1603。\r\n", dead = "安装失败。\r\n";
  const char* const local = "0.00KB/S";
  EXPECT_EQ(Host.Log, Got("甲") + failed + Got("乙", "1", local) + failed + Got("丙") + kDone +
                          Got("丁", "1", local) + kDone + Got("戊") + dead + Got("己", "1", local) +
                          dead + "以下软件安装失败:\r\n    甲\r\n    乙\r\n" +
                          "需要重新启动计算机才能完成安装。\r\n");
  std::vector<std::string> calls = {"get 1 bad.exe", "run bad.exe", "get 1 bad.exe",
                                    "get 1 boot.exe", "run boot.exe", "get 1 boot.exe",
                                    "get 1 dead.exe", "run dead.exe", "get 1 dead.exe", "run dead.exe"};
  EXPECT_EQ(Host.Calls, calls);
}

// A download that finished a kept part says so after its speed; the next
// package's line is plain again, and so is a copy found current.
TEST_F(InstallRunTest, ResumedTransferIsMarkedAfterItsSpeed) {
  Add("Dek", "甲", "a.exe");
  Add("Tool", "乙", "b.exe");
  Add("Tool", "丙", "a.exe");
  Host.Mirror2 = {"a.exe", "b.exe"};
  Host.Resumes = {"a.exe"};
  Host.Records = {{"a.exe", "甲"}};
  Host.Draws = {1, 2, 2};
  Run();
  EXPECT_EQ(Host.Log, Got("甲", "12", "12.35KB/S(续传)") + kDone + Got("乙", "2") + kDone +
                          Got("丙", "2", "0.00KB/S") + kDone);
}

// The host hears of each chosen package before anything of it happens and
// after its lines; a stop between two packages leaves no line of the next
// one, and the closing list still comes.
TEST_F(InstallRunTest, HooksFrameEachPackageAndAStopBetweenThemEndsTheRun) {
  Add("Dek", "甲", "a.exe");
  Add("Dek", "乙", "b.exe", "1");
  Add("Dek", "丙", "c.exe");
  Host.Mirror1 = Host.Mirror2 = {"a.exe", "c.exe"};
  Host.CancelAtStart = 2;
  Host.RecordHooks = true;
  Run();
  EXPECT_EQ(Host.Log, Got("甲") + "以下定额库安装失败:\r\n    甲\r\n");
  const std::vector<std::string> calls = {"starting", "get 1 a.exe", "run a.exe",
                                          "check 甲", "ended", "starting"};
  EXPECT_EQ(calls, Host.Calls);
}

// In a build with catalogue keys a package without a well-formed "sha256" is
// neither downloaded nor started, and the run goes on with the next one. A
// build without keys runs every one of them.
TEST_F(InstallRunTest, KeyedBuildNeedsAWellFormedHash) {
  const std::string digest = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  const struct {
    const char* name;
    bool present;
    std::string sha256;
    bool runs;
  } cases[] = {
      {"lower case", true, digest, true},
      {"absent", false, "", false},
      {"upper case", true, "9F86D081884C7D659A2FEAA0C55AD015" + digest.substr(32), true},
      {"empty", true, "", false},
      {"63 digits", true, digest.substr(1), false},
      {"65 digits", true, digest + "0", false},
      {"not hexadecimal", true, "9g" + digest.substr(2), false},
      {"a blank before", true, " " + digest.substr(1), false},
      {"bad", true, "bad", false},
  };
  std::string keyed, unkeyed;
  std::vector<std::string> calls, unkeyedCalls;
  int index = 0;
  for (const auto& c : cases) {
    const std::string file = "p" + std::to_string(index++) + ".exe";
    TXmlTreeNode* package = Add("Dek", c.name, file.c_str());
    if (c.present) package->SetAttribute("sha256", c.sha256.c_str());
    Host.Mirror1.insert(file);
    Host.Recorded.insert(c.name);
    keyed += c.runs ? Got(c.name) + kDone : Begin(c.name) + "文件校验失败。\r\n";
    unkeyed += Got(c.name) + kDone;
    const std::vector<std::string> runs = {"get 1 " + file, "run " + file, "check " + std::string(c.name)};
    unkeyedCalls.insert(unkeyedCalls.end(), runs.begin(), runs.end());
    if (c.runs) calls.insert(calls.end(), runs.begin(), runs.end());
  }
  TFakeInstallHost withoutKeys = Host;
  Host.Keyed = true;
  Run();
  EXPECT_EQ(Host.Log, keyed);
  EXPECT_EQ(Host.Calls, calls);
  withoutKeys.Run(Doc);
  EXPECT_EQ(withoutKeys.Log, unkeyed);
  EXPECT_EQ(withoutKeys.Calls, unkeyedCalls);
}

}  // namespace
