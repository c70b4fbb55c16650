#include "app/install_walk.h"

#include <map>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/log_text.h"
#include "markup/markup.h"

namespace {

// Codes with which an installer reports success that still needs a restart
// (Windows Installer's ERROR_SUCCESS_REBOOT_REQUIRED) or has already begun
// one (ERROR_SUCCESS_REBOOT_INITIATED); setup programs of every make use them.
constexpr unsigned long kRestartRequired = 3010;
constexpr unsigned long kRestartInitiated = 1641;

// A "sha256" value as the download checks it: exactly 64 hexadecimal
// digits, either case. Without one, a signed catalogue would vouch for a name
// only, and any file of that name would run.
bool IsWellFormedSha256(const char* text) {
  if (!text) return false;
  size_t count = 0;
  for (; text[count]; ++count) {
    const char c = text[count];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex || count == 64) return false;
  }
  return count == 64;
}

struct RunLists {
  std::map<std::string, unsigned long> RunSet;  // fileName whose installer has run -> its exit code
  std::vector<std::string> FailedList;          // Dek names without a record afterwards
  std::vector<std::string> SoftwareFailed;      // other packages whose installer reported failure
  bool RestartNeeded = false;
};

// The result line of a package that is not a quota library, judged by the
// exit code of its installer; a failure is also listed at the end.
std::string SoftwareResult(const std::string& name, unsigned long code, RunLists& lists) {
  if (code == 0 || code == kRestartRequired || code == kRestartInitiated) {
    if (code != 0) lists.RestartNeeded = true;
    return kLogInstalled;
  }
  lists.SoftwareFailed.push_back(name);
  return LogInstallFailedWithCode(code);
}

// Downloads one chosen package from either mirror; false when both failed.
bool DownloadEither(TXmlTreeNode* element, TInstallRunHost& host, const char* baseUrl1,
                    const char* baseUrl2, float& speed) {
  const bool firstIsOne = host.Draw() % 2 != 0;
  const char* first = firstIsOne ? baseUrl1 : baseUrl2;
  const char* second = firstIsOne ? baseUrl2 : baseUrl1;
  host.AppendLog(LogFrom(first).c_str());
  if (host.Download(element, speed, first)) return true;
  // A full disk is full for either mirror.
  if (host.OutOfRoom()) return false;
  // Tried even after a cancel: a current local copy still counts.
  host.AppendLog(LogFrom(second).c_str());
  return host.Download(element, speed, second);
}

// Downloads and installs one chosen package; returns the result line to log
// (empty when there is none).
std::string HandlePackage(TXmlTreeNode* element, TInstallRunHost& host, const char* baseUrl1,
                          const char* baseUrl2, RunLists& lists) {
  // Copies: a tree click handled inside a download may add a "state"
  // attribute to this element while we hold on to these.
  const std::string name = element->GetAttribute(kAttrName);
  const std::string fileName = element->GetAttribute(kAttrFileName);
  host.AppendLog(LogDownloading(name).c_str());
  host.RefreshLog();
  if (host.RequiresPackageHash() && !IsWellFormedSha256(element->FindAttribute(kSha256Attribute)))
    return kLogCheckFailed;

  float speed = 0;
  if (!DownloadEither(element, host, baseUrl1, baseUrl2, speed)) {
    if (host.Cancelled()) {
      host.RefreshLog();
      return std::string();
    }
    return kLogDownloadFailed;
  }

  host.AppendLog(LogDownloaded(speed, host.Resumed(), name).c_str());
  host.RefreshLog();
  // A quota library's installer proves its work by its record in "Dek
  // Files": that stays the judge, whatever code the installer ends with.
  const bool isDek = element->Name == kTagDek;
  auto ran = lists.RunSet.find(fileName);
  if (ran != lists.RunSet.end()) return isDek ? kLogInstalled : SoftwareResult(name, ran->second, lists);
  unsigned long code = 0;
  if (!host.RunInstaller(fileName.c_str(), code)) return kLogInstallFailed;
  lists.RunSet[fileName] = code;
  if (!isDek) return SoftwareResult(name, code, lists);
  if (host.IsDekRecorded(name.c_str())) return kLogInstalled;
  lists.FailedList.push_back(name);
  host.RefreshLog();
  return std::string();
}

// Appends `heading` and one indented line per name; false when there are none.
bool AppendList(TInstallRunHost& host, const char* heading, const std::vector<std::string>& names) {
  if (names.empty()) return false;
  host.AppendLog(heading);
  for (const std::string& name : names) host.AppendLog(LogListed(name).c_str());
  return true;
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
    const std::string result = HandlePackage(element, host, baseUrl1, baseUrl2, lists);
    if (!result.empty()) {
      host.AppendLog(result.c_str());
      host.RefreshLog();
    }
    host.PackageEnded();
  }
  bool closing = AppendList(host, kLogDekFailedHeading, lists.FailedList);
  closing = AppendList(host, kLogSoftwareFailedHeading, lists.SoftwareFailed) || closing;
  if (lists.RestartNeeded) {
    host.AppendLog(kLogRestartNeeded);
    closing = true;
  }
  if (closing) host.RefreshLog();
}
