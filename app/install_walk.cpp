#include "app/install_walk.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "markup/markup.h"

namespace {

std::string FromLine(const char* baseUrl) {
  return std::string("from ") + baseUrl + "\r\n";
}

std::string DownloadedLine(float speed, const char* name) {
  char number[64];
  snprintf(number, sizeof number, "%0.2f", static_cast<double>(speed));
  return std::string("下载完成 ") + number + "KB/S\r\n现在安装\"" + name + "\"...\r\n";
}

struct RunLists {
  std::set<std::string> RunSet;         // fileNames whose installer has been started
  std::vector<std::string> FailedList;  // Dek names without a record afterwards
};

// Downloads and installs one chosen package; returns the result line to log
// (null when there is none).
const char* HandlePackage(TXmlTreeNode* element, TInstallRunHost& host, const char* baseUrl1,
                          const char* baseUrl2, RunLists& lists) {
  // Copies: a tree click handled inside a download may add a "state"
  // attribute to this element while we hold on to these.
  const std::string name = element->GetAttribute(kAttrName);
  const std::string fileName = element->GetAttribute(kAttrFileName);
  host.AppendLog((std::string("正在下载\"") + name + "\"...\r\n").c_str());
  host.RefreshLog();

  const bool firstIsOne = host.Draw() % 2 != 0;
  const char* first = firstIsOne ? baseUrl1 : baseUrl2;
  const char* second = firstIsOne ? baseUrl2 : baseUrl1;
  float speed = 0;
  host.AppendLog(FromLine(first).c_str());
  bool downloaded = host.Download(element, speed, first);
  if (!downloaded) {
    // Tried even after a cancel: a current local copy still counts.
    host.AppendLog(FromLine(second).c_str());
    downloaded = host.Download(element, speed, second);
  }
  if (!downloaded) {
    if (host.Cancelled()) {
      host.RefreshLog();
      return nullptr;
    }
    return "下载失败\r\n";
  }

  host.AppendLog(DownloadedLine(speed, name.c_str()).c_str());
  host.RefreshLog();
  if (lists.RunSet.count(fileName)) return "安装完成。\r\n";
  if (!host.RunInstaller(fileName.c_str())) return "安装失败。\r\n";
  lists.RunSet.insert(fileName);
  if (element->Name != kTagDek) return "安装完成。\r\n";
  if (host.IsDekRecorded(name.c_str())) return "安装完成。\r\n";
  lists.FailedList.push_back(name);
  host.RefreshLog();
  return nullptr;
}

}  // namespace

void DownloadAndInstall(TXmlTreeNode& catalogue, TInstallRunHost& host, const char* baseUrl1,
                        const char* baseUrl2) {
  RunLists lists;
  for (TXmlTreeNode* element = catalogue.NextInDocument(); element && !host.Cancelled();
       element = element->NextInDocument()) {
    if (!IsChosen(*element) || !element->FindAttribute(kAttrFileName)) continue;
    host.PackageStarting();
    if (host.Cancelled()) break;
    if (const char* result = HandlePackage(element, host, baseUrl1, baseUrl2, lists)) {
      host.AppendLog(result);
      host.RefreshLog();
    }
    host.PackageEnded();
  }
  if (!lists.FailedList.empty()) {
    host.AppendLog("以下定额库安装失败:\r\n");
    for (const std::string& name : lists.FailedList) host.AppendLog(("    " + name + "\r\n").c_str());
    host.RefreshLog();
  }
}
