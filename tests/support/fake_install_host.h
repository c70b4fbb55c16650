// The one stand-in for the program around the download-and-install walk:
// two mirrors holding files, a download folder, installers that may or may
// not start, end with a code and leave a record. Free of Win32, so that the
// catalogue fuzz target builds it natively as well.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/install_walk.h"
#include "markup/markup.h"

const char kFakeMirror1[] = "http://127.0.0.1:1/download/";
const char kFakeMirror2[] = "http://127.0.0.1:2/download/";

class TFakeInstallHost : public TInstallRunHost {
 public:
  // The walk over doc with the two fake mirrors.
  void Run(TXmlTreeNode& doc) { DownloadAndInstall(doc, *this, kFakeMirror1, kFakeMirror2); }

  bool Cancelled() override { return Cancel; }
  bool Pump() override { return true; }
  bool CancelAsked() override { return Cancel; }
  void ShowProgress(unsigned) override {}
  void AppendLog(const char* text) override { Log += text; }
  // Keeps how much was shown, not a copy: a fuzzed catalogue may log megabytes.
  void RefreshLog() override { ShownLengths.push_back(Log.size()); }
  bool Download(TXmlTreeNode* element, float& speed, const char* baseUrl) override {
    const bool first = std::string(baseUrl) == kFakeMirror1;
    const std::string file = element->GetAttribute("fileName");
    Calls.push_back(std::string(first ? "get 1 " : "get 2 ") + file);
    if (OnDownload) OnDownload(element);
    if (++Downloads == CancelAtDownload) Cancel = true;
    const bool onServer = (first ? Mirror1 : Mirror2).count(file) > 0;
    NoRoom = onServer && TooBig.count(file) > 0;
    if (NoRoom) Log += "磁盘空间不足。\r\n";
    const bool current = Local.count(file) > 0;  // a current local copy is not transferred again
    const bool ok = onServer && !NoRoom && (current || !Cancel);
    speed = ok && !current ? 12.345f : 0;
    if (ok) Local.insert(file);
    LastResumed = speed != 0 && Resumes.count(file) > 0;
    if (Cancel) {
      Log += "下载中止。\r\n";
      RefreshLog();
    }
    return ok;
  }
  bool OutOfRoom() override { return NoRoom; }
  bool Resumed() override { return LastResumed; }
  int Draw() override { return NextDraw < Draws.size() ? Draws[NextDraw++] : 1; }
  bool RunInstaller(const char* fileName, unsigned long& exitCode) override {
    Calls.push_back(std::string("run ") + fileName);
    if (Unstartable.count(fileName)) return false;
    auto code = Codes.find(fileName);
    exitCode = code == Codes.end() ? 0 : code->second;
    auto record = Records.find(fileName);
    if (record != Records.end()) Recorded.insert(record->second);
    return true;
  }
  bool IsDekRecorded(const char* name) override {
    Calls.push_back(std::string("check ") + name);
    return Recorded.count(name) > 0;
  }
  bool RequiresPackageHash() override { return Keyed; }
  void PackageStarting() override {
    if (RecordHooks) Calls.push_back("starting");
    if (++Starts == CancelAtStart) Cancel = true;  // a close taken between packages
  }
  void PackageEnded() override {
    if (RecordHooks) Calls.push_back("ended");
  }

  // What the window showed after each refresh, and after the last one.
  std::vector<std::string> Snapshots() const {
    std::vector<std::string> shown;
    for (size_t length : ShownLengths) shown.push_back(Log.substr(0, length));
    return shown;
  }
  std::string Shown() const {
    return ShownLengths.empty() ? std::string() : Log.substr(0, ShownLengths.back());
  }

  std::string Log;                 // everything appended
  std::vector<std::string> Calls;  // "get 1 a.exe", "run a.exe", "check 甲", the hooks
  std::set<std::string> Mirror1, Mirror2, Local;
  std::set<std::string> TooBig;       // files that do not fit on the disk
  std::set<std::string> Resumes;      // files whose transfer finishes a kept part
  std::set<std::string> Unstartable;  // installers that cannot be started
  std::set<std::string> Recorded;     // quota libraries with a record
  std::map<std::string, std::string> Records;  // fileName -> name its installer records
  std::map<std::string, unsigned long> Codes;  // fileName -> its exit code (else 0)
  std::vector<int> Draws;                      // then 1 for ever
  bool Keyed = false;                          // a build with catalogue keys
  bool Cancel = false;
  int CancelAtDownload = 0;    // the download (counted from 1) during which cancel is pressed
  int CancelAtStart = 0;       // the package hook at which a close comes in
  bool RecordHooks = false;    // the package hooks go into Calls too
  void (*OnDownload)(TXmlTreeNode*) = nullptr;

 private:
  std::vector<size_t> ShownLengths;
  size_t NextDraw = 0;
  int Downloads = 0;
  int Starts = 0;
  bool NoRoom = false;
  bool LastResumed = false;
};
