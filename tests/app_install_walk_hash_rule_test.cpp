// The download-and-install walk in a build with catalogue keys: a package
// without a well-formed "sha256" is never downloaded or started, and the run
// goes on with the next one. A build without keys runs it as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/install_walk.h"
#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

const char kUrl1[] = "http://127.0.0.1:1/download/";
const char kUrl2[] = "http://127.0.0.1:2/download/";
const std::string kHash(64, 'a');

// Every download succeeds from the first mirror drawn, every installer runs.
class HashRuleHost : public TInstallRunHost {
 public:
  explicit HashRuleHost(bool keyed) : Keyed(keyed) {}
  bool Cancelled() override { return false; }
  bool Pump() override { return true; }
  bool CancelAsked() override { return false; }
  void ShowProgress(unsigned) override {}
  void AppendLog(const char* text) override { Log += text; }
  void RefreshLog() override {}
  bool Download(TXmlTreeNode* element, float& speed, const char*) override {
    speed = 0;
    Calls.push_back(std::string("get ") + element->GetAttribute("fileName"));
    return true;
  }
  int Draw() override { return 1; }
  bool RunInstaller(const char* fileName, unsigned long& exitCode) override {
    Calls.push_back(std::string("run ") + fileName);
    exitCode = 0;
    return true;
  }
  bool IsDekRecorded(const char*) override { return true; }
  bool RequiresPackageHash() override { return Keyed; }

  bool Keyed;
  std::string Log;
  std::vector<std::string> Calls;
};

std::string Installed(const char* name) {
  return std::string("正在下载\"") + name + "\"...\r\nfrom " + kUrl1 + "\r\n下载完成 0.00KB/S\r\n现在安装\"" +
         name + "\"...\r\n安装完成。\r\n";
}

std::string Refused(const char* name) {
  return std::string("正在下载\"") + name + "\"...\r\n文件校验失败。\r\n";
}

TEST(InstallWalkHashRuleTest, KeyedBuildNeedsAWellFormedHash) {
  struct Case {
    const char* Why;
    const char* Sha256;  // null: no attribute
    bool Runs;
  } cases[] = {
      {"lower case", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08", true},
      {"upper case", "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08", true},
      {"absent", nullptr, false},
      {"empty", "", false},
      {"63 digits", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a0", false},
      {"65 digits", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a080", false},
      {"not hexadecimal", "9g86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08", false},
      {"a blank before", " 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a0", false},
  };
  for (const Case& c : cases) {
    TXmlTreeNode doc(nullptr, true);
    TXmlTreeNode* group = AddNode(&doc, "Group", {{"name", "组"}});
    TXmlTreeNode* first = AddNode(group, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
    if (c.Sha256) first->SetAttribute("sha256", c.Sha256);
    AddNode(group, "Tool", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}, {"sha256", kHash.c_str()}});
    HashRuleHost host(true);
    DownloadAndInstall(doc, host, kUrl1, kUrl2);
    SCOPED_TRACE(c.Why);
    // The next package runs either way.
    EXPECT_EQ((c.Runs ? Installed("甲") : Refused("甲")) + Installed("乙"), host.Log);
    std::vector<std::string> calls = {"get b.exe", "run b.exe"};
    if (c.Runs) calls.insert(calls.begin(), {"get a.exe", "run a.exe"});
    EXPECT_EQ(calls, host.Calls);
  }
}

TEST(InstallWalkHashRuleTest, UnkeyedBuildRunsPackagesWithoutAHash) {
  TXmlTreeNode doc(nullptr, true);
  AddNode(&doc, "Dek", {{"name", "甲"}, {"fileName", "a.exe"}, {"state", "2"}});
  AddNode(&doc, "Dek", {{"name", "乙"}, {"fileName", "b.exe"}, {"state", "2"}, {"sha256", "bad"}});
  HashRuleHost host(false);
  DownloadAndInstall(doc, host, kUrl1, kUrl2);
  EXPECT_EQ(Installed("甲") + Installed("乙"), host.Log);
  EXPECT_EQ((std::vector<std::string>{"get a.exe", "run a.exe", "get b.exe", "run b.exe"}), host.Calls);
}

}  // namespace
