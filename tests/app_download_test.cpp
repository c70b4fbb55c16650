// DownloadFile against real servers on loopback, with the real main dialog:
// the ordinary transfer, "path" inheritance, the skip test, the faults a
// server can commit, time-outs, over-long names and cancel through the button.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "app/download.h"
#include "app/package_hash.h"
#include "app_servers_helper.h"
#include "markup/markup.h"
#include "support/node_builder.h"
#include "support/test_times.h"

namespace {

int ProgressPos(TInstallZelmDlgClient& d) {
  return static_cast<int>(SendDlgItemMessageA(d.GetHandle(), kIdProgress, PBM_GETPOS, 0, 0));
}

// What control 104 shows: the log as the last RefreshLog left it.
std::string LogControlText(TInstallZelmDlgClient& d) {
  char text[1024] = {};
  GetDlgItemTextA(d.GetHandle(), kIdLog, text, sizeof(text));
  return text;
}

int ProgressHigh(TInstallZelmDlgClient& d) {
  return static_cast<int>(SendDlgItemMessageA(d.GetHandle(), kIdProgress, PBM_GETRANGE, FALSE, 0));
}

struct TPumpProbe;

std::string Sha256Hex(const std::string& data);

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IZ_REQUIRE_SERVERS();
    Dialog = MakeDialog();
    ASSERT_TRUE(Dialog->IsWindowAlive());
  }
  void TearDown() override { SetTransferLimits(kTransferLimits); }

  bool Get(TXmlTreeNode* element, const std::string& baseUrl) {
    return DownloadFile(*Dialog, Local.Path().c_str(), element, Speed, baseUrl.c_str());
  }
  // Get, with the probe taking a sample every intervalMs meanwhile.
  bool GetWatched(TPumpProbe& probe, UINT intervalMs, TXmlTreeNode* element,
                  const std::string& baseUrl);
  // A package element below Root.
  TXmlTreeNode* Package(const char* fileName) {
    return AddNode(&Root, "Dek", {{"fileName", fileName}});
  }

  std::unique_ptr<TInstallZelmDlgClient> Dialog;
  TScratchDir Local;
  TXmlTreeNode Root{nullptr, true};
  float Speed = -1;
};

TEST_F(DownloadTest, OrdinaryTransferFillsTheFileAndResetsTheBar) {
  std::string content = FaultBody(123457);  // not a multiple of the block size
  Servers().PutFile("plain/download/a.exe", content);
  TXmlTreeNode* pkg = Package("a.exe");
  EXPECT_TRUE(Get(pkg, Servers().Nginx("plain/download/")));
  EXPECT_EQ(content, ReadFileBytes(Local.File("a.exe")));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_EQ(0, ProgressPos(*Dialog));
  EXPECT_EQ(100, ProgressHigh(*Dialog));
  EXPECT_GE(Speed, 0.0f);
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(DownloadTest, PathIsInheritedFromTheNearestElementThatHasIt) {
  // Each location holds a file of a different size, so the size received
  // tells which URL was asked for.
  Servers().PutFile("inherit/download/p.exe", std::string(11, 'r'));
  Servers().PutFile("inherit/download/dek/2008/p.exe", std::string(22, 'd'));
  Servers().PutFile("inherit/download/own/p.exe", std::string(33, 'o'));
  struct Case {
    const char* rootPath;    // null: no attribute
    const char* groupPath;
    const char* ownPath;
    size_t size;
  } cases[] = {
      {nullptr, nullptr, nullptr, 11},
      {"dek/2008", nullptr, nullptr, 22},
      {nullptr, "dek/2008", nullptr, 22},
      {"own", "dek/2008", nullptr, 22},   // the nearer one wins
      {"dek/2008", "", nullptr, 11},      // an empty nearer path hides it
      {"dek/2008", nullptr, "", 11},
      {"dek/2008", nullptr, "own", 33},
  };
  for (const Case& c : cases) {
    TXmlTreeNode root(nullptr, true);
    TXmlTreeNode* group = AddNode(&root, "Dek");
    TXmlTreeNode* pkg = AddNode(group, "Dek", {{"fileName", "p.exe"}});
    if (c.rootPath) root.SetAttribute("path", c.rootPath);
    if (c.groupPath) group->SetAttribute("path", c.groupPath);
    if (c.ownPath) pkg->SetAttribute("path", c.ownPath);
    DeleteFileA(Local.File("p.exe").c_str());
    EXPECT_TRUE(Get(pkg, Servers().Nginx("inherit/download/")))
        << (c.rootPath ? c.rootPath : "-") << " " << (c.groupPath ? c.groupPath : "-");
    EXPECT_EQ(c.size, ReadFileBytes(Local.File("p.exe")).size());
  }
}

// Midnight at the start of today (UTC), moved by the seconds given.
SYSTEMTIME TodayPlus(int seconds) {
  SYSTEMTIME st;
  GetSystemTime(&st);
  st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  ft = FromTicks(Ticks(ft) + seconds * 10000000LL);
  FileTimeToSystemTime(&ft, &st);
  return st;
}

TEST_F(DownloadTest, SkipTestAtTheDayAndSecondBoundaries) {
  const std::string server(1000, 's');
  Servers().PutFile("skip/download/k.exe", server);
  struct Case {
    const char* modifyDate;  // null: no attribute
    SYSTEMTIME written;
    size_t localSize;
    bool skipped;
  } cases[] = {
      {"2008-5-1 12:00:00", Date(2008, 5, 1, 12, 0, 0), 1000, true},
      {"2008-5-1 12:00:00", Date(2008, 5, 1, 11, 59, 59), 1000, false},
      {"2008-5-1 12:00:00", Date(2009, 1, 1, 0, 0, 0), 999, false},
      {"2008-5-1 12:00:00", Date(2009, 1, 1, 0, 0, 0), 1001, false},
      {"8-5-1 0:0:0", Date(2008, 5, 1, 0, 0, 0), 1000, true},
      {"8-5-1 0:0:0", Date(2008, 4, 30, 23, 59, 59), 1000, false},
      {nullptr, TodayPlus(0), 1000, true},
      {nullptr, TodayPlus(-1), 1000, false},
      {"yesterday", TodayPlus(0), 1000, true},         // unreadable: today
      {"2008-5-1", TodayPlus(0), 1000, true},          // five fields missing: today
      {"2008-13-1 0:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},  // no such month
      {"2008-5-0 0:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},   // no such day
      {"2008-2-30 0:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},
      {"2008-5-1 24:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},
      {"70000-5-1 0:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},
      // Every year below 100 counts from 2000, a negative one too.
      {"0-1-1 0:0:0", Date(2000, 1, 1, 0, 0, 0), 1000, true},
      {"99-1-1 0:0:0", Date(2099, 1, 1, 0, 0, 0), 1000, true},
      {"-5-1-1 0:0:0", Date(1995, 1, 1, 0, 0, 0), 1000, true},
      {"-5-1-1 0:0:0", Date(1994, 12, 31, 23, 59, 59), 1000, false},
      {"100-1-1 0:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},  // year 100: no such time
      {"99999999999999-5-1 0:0:0", Date(2020, 1, 1, 0, 0, 0), 1000, false},  // no overflow
      {"2008-5-1 12:0:99999999999999", Date(2020, 1, 1, 0, 0, 0), 1000, false},
      {"2008-5-1\t\t12:00:00 UTC", Date(2008, 5, 1, 12, 0, 0), 1000, true},  // as sscanf reads it
  };
  for (const Case& c : cases) {
    TXmlTreeNode* pkg = Package("k.exe");
    if (c.modifyDate) pkg->SetAttribute("modifyDate", c.modifyDate);
    const std::string local(c.localSize, 'L');
    ASSERT_TRUE(WriteFileBytes(Local.File("k.exe"), local));
    ASSERT_TRUE(SetFileWriteTime(Local.File("k.exe"), c.written));
    Speed = -1;
    EXPECT_TRUE(Get(pkg, Servers().Nginx("skip/download/"))) << (c.modifyDate ? c.modifyDate : "-");
    EXPECT_EQ(c.skipped ? local : server, ReadFileBytes(Local.File("k.exe")))
        << (c.modifyDate ? c.modifyDate : "-") << " written " << c.written.wYear << "-"
        << c.written.wMonth << "-" << c.written.wDay << " " << c.written.wHour << ":"
        << c.written.wMinute << ":" << c.written.wSecond;
    if (c.skipped) {
      EXPECT_EQ(0.0f, Speed);
    }
  }
}

TEST_F(DownloadTest, FreshDownloadPassesTheSkipTestNextTime) {
  Servers().PutFile("fresh/download/f.exe", std::string(5000, 'f'));
  TXmlTreeNode* pkg = Package("f.exe");
  pkg->SetAttribute("modifyDate", "2008-5-1 12:00:00");
  ASSERT_TRUE(Get(pkg, Servers().Nginx("fresh/download/")));
  WriteFileBytes(Local.File("f.exe"), std::string(5000, 'x'));  // same size, "now"
  EXPECT_TRUE(Get(pkg, Servers().Nginx("fresh/download/")));
  EXPECT_EQ(std::string(5000, 'x'), ReadFileBytes(Local.File("f.exe")));
}

// What a misbehaving server gets: false, and the local file as given.
TEST_F(DownloadTest, ServerFaults) {
  struct Case {
    std::string base;
    bool result;
    const char* file;  // expected local content afterwards; null: untouched
  } cases[] = {
      {Servers().Fault("status/404/"), false, nullptr},
      {Servers().Fault("status/500/"), false, nullptr},
      {Servers().Fault("status/206/"), false, nullptr},
      {Servers().Fault("nolength/5000/"), false, nullptr},
      {Servers().Fault("length/0/"), false, nullptr},
      {Servers().Fault("length/4294967296/"), false, nullptr},
      {Servers().Fault("length/18446744073709551617/"), false, nullptr},
      {Servers().Fault("length/12abc/"), false, nullptr},
      {Servers().Fault("length/-5/"), false, nullptr},
      {Servers().Fault("length/0x40/"), false, nullptr},
      {Servers().Fault("length/abc/"), false, nullptr},
      {Servers().Dead("download/"), false, nullptr},
      {"http://127.0.0.1:0/download/", false, nullptr},
      {"ftp://127.0.0.1/download/", false, nullptr},
      {"not a url/", false, nullptr},
  };
  for (const Case& c : cases) {
    TXmlTreeNode* pkg = Package("x.exe");
    const std::string before = "earlier copy";
    WriteFileBytes(Local.File("x.exe"), before);
    EXPECT_FALSE(Get(pkg, c.base)) << c.base;
    EXPECT_EQ(before, ReadFileBytes(Local.File("x.exe"))) << c.base;
    EXPECT_FALSE(Dialog->Downloading);
  }
  EXPECT_EQ("", Dialog->LogText);
}

// A transfer that fails after it began leaves no part file behind, and a
// file of the same name that was there before keeps every byte: it may be
// the user's own document, or the last good copy of the package.
TEST_F(DownloadTest, FailedTransfersLeaveAnEarlierFileAsItWas) {
  SetTransferLimits({kTransferLimits.ConnectTimeoutMs, kTransferLimits.ReceiveTimeoutMs, 1500,
                     kTransferLimits.CatalogueDeadlineMs});
  const char* bases[] = {
      "short/100000/",        // the connection ends half way
      "long/2000/",           // more than announced (with the head, where WinINet hands it on)
      "flood/2000/",          // a body without end
      "drip/100000/1/100/",   // a trickle: a stall
  };
  const std::string before = "报价单: the user's own bytes\r\n";
  for (const char* base : bases) {
    WriteFileBytes(Local.File("b.xlsx"), before);
    EXPECT_FALSE(Get(Package("b.xlsx"), Servers().Fault(base))) << base;
    EXPECT_EQ(before, ReadFileBytes(Local.File("b.xlsx"))) << base;
    EXPECT_FALSE(FileExists(Local.File("b.xlsx.part"))) << base;
    EXPECT_FALSE(Dialog->Downloading);
  }
  EXPECT_EQ("", Dialog->LogText);
}

// A body that goes on and on after its announced length: reading stops at
// the first block past it, and the server sees the client go.
TEST_F(DownloadTest, EndlessBodyStopsAtTheAnnouncedLength) {
  TXmlTreeNode* pkg = Package("flood.exe");
  EXPECT_FALSE(Get(pkg, Servers().Fault("flood/2000/")));
  EXPECT_FALSE(FileExists(Local.File("flood.exe")));
  EXPECT_FALSE(FileExists(Local.File("flood.exe.part")));
  EXPECT_FALSE(Dialog->Downloading);
  // What the server managed to send before the connection closed: socket
  // buffers hold some megabytes, a body read to its end would be 16 GiB.
  std::string log;
  for (int i = 0; i < 200 && log.find("flood 2000 sent") == std::string::npos; ++i) {
    Sleep(50);
    log = Servers().FaultLog();
  }
  size_t at = log.find("flood 2000 sent ");
  ASSERT_NE(std::string::npos, at) << log;
  EXPECT_LT(std::stoull(log.substr(at + 16)), 64ull << 20);
}

// A trickle never trips the receive time-out: less than kStallMinBytes in a
// stall window fails the transfer like a time-out.
TEST_F(DownloadTest, TrickleFailsLikeATimeOut) {
  SetTransferLimits({kTransferLimits.ConnectTimeoutMs, kTransferLimits.ReceiveTimeoutMs, 1500,
                     kTransferLimits.CatalogueDeadlineMs});
  TXmlTreeNode* pkg = Package("drip.exe");
  // One byte every 100 ms: 15 bytes a window, far below the minimum.
  DWORD start = GetTickCount();
  EXPECT_FALSE(Get(pkg, Servers().Fault("drip/100000/1/100/")));
  EXPECT_LT(GetTickCount() - start, 10000u);  // the whole body would take hours
  EXPECT_FALSE(FileExists(Local.File("drip.exe.part")));
  EXPECT_FALSE(Dialog->Downloading);
  // Above the minimum the same pieces go through: 2 KB every 100 ms.
  TXmlTreeNode* steady = Package("steady.exe");
  EXPECT_TRUE(Get(steady, Servers().Fault("drip/40000/2048/100/")));
  EXPECT_EQ(FaultBody(40000), ReadFileBytes(Local.File("steady.exe")));
}

// The catalogue's attempt has a deadline of its own: a transfer that moves
// fast enough not to stall but never ends is given up when it passes.
TEST_F(DownloadTest, DeadlineEndsATransferThatNeverFinishes) {
  TXmlTreeNode* pkg = Package("InstallFiles.zip");
  float speed = -1;
  // 4 KB every 100 ms of an announced 100 MB: about seven hours to finish.
  EXPECT_FALSE(DownloadFile(*Dialog, Local.Path().c_str(), pkg, speed,
                            Servers().Fault("drip/104857600/4096/100/").c_str(), 2000));
  EXPECT_FALSE(FileExists(Local.File("InstallFiles.zip")));
  EXPECT_FALSE(FileExists(Local.File("InstallFiles.zip.part")));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_EQ(0, ProgressPos(*Dialog));
}

// Names that would reach outside the folder, or open a device, are refused
// before anything is asked: no request, no file, and a failed attempt.
TEST_F(DownloadTest, NamesThatAreNoBareFileNameAreRefusedBeforeAnyRequest) {
  Servers().PutFile("names/download/ok.exe", "ok");
  for (const char* name : {"..\\..\\x.exe", "../x.exe", "sub/x.exe", "C:x.exe", "nul.exe", "x.exe.", ""}) {
    size_t before = Servers().FaultLog().size();
    TXmlTreeNode* pkg = Package(name);
    EXPECT_FALSE(Get(pkg, Servers().Fault("ok/64/download/"))) << name;
    EXPECT_EQ(before, Servers().FaultLog().size()) << name;  // nothing was asked
    EXPECT_FALSE(Dialog->Downloading);
  }
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(Local.File("*").c_str(), &data);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(data.cFileName, ".") && strcmp(data.cFileName, "..")) ++entries;
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  EXPECT_EQ(0, entries);
  // A Chinese name whose second byte is a backslash is a plain file name.
  TXmlTreeNode* chinese = Package("墊層定額.exe");
  EXPECT_TRUE(Get(chinese, Servers().Fault("ok/64/download/")));
  EXPECT_EQ(FaultBody(64), ReadFileBytes(Local.File("墊層定額.exe")));
}

TEST_F(DownloadTest, RequestCarriesTheAgentAndTheBuiltUrl) {
  TXmlTreeNode* pkg = Package("agent-check.exe");
  pkg->SetAttribute("path", "dek/2008");
  EXPECT_TRUE(Get(pkg, Servers().Fault("ok/64/download/")));
  EXPECT_NE(std::string::npos,
            Servers().FaultLog().find("GET /ok/64/download/dek/2008/agent-check.exe HTTP/1.1\tInstallZelm\n"))
      << Servers().FaultLog();
}

TEST_F(DownloadTest, OverLongNamesAreRefusedWhole) {
  // The fault server answers any path below /ok/4/, however long.
  const std::string base = Servers().Fault("ok/4/download/");
  // A URL of exactly 255 characters still works; one more is refused
  // before anything is asked or created.
  std::string padding(255 - base.size() - 6, 'p');
  TXmlTreeNode* fits = Package("n.exe");
  fits->SetAttribute("path", padding.c_str());
  EXPECT_TRUE(Get(fits, base));
  EXPECT_EQ(FaultBody(4), ReadFileBytes(Local.File("n.exe")));
  DeleteFileA(Local.File("n.exe").c_str());
  fits->SetAttribute("path", (padding + "q").c_str());
  EXPECT_FALSE(Get(fits, base));
  EXPECT_FALSE(FileExists(Local.File("n.exe")));
  EXPECT_EQ(std::string::npos, Servers().FaultLog().find(padding + "q"));

  // Local paths: the part file beside the local file must fit in 255
  // characters too, so 250 characters arrive, 251 are refused with nothing
  // made.
  std::string folder = Local.Path();
  while (folder.size() < 240) {
    folder += "\\" + std::string(std::min<size_t>(60, 239 - folder.size()), 'd');
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  ASSERT_EQ(240u, folder.size());
  std::string name(250 - 241 - 4, 'n');
  name += ".exe";
  TXmlTreeNode* local = Package(name.c_str());
  EXPECT_TRUE(DownloadFile(*Dialog, folder.c_str(), local, Speed, base.c_str()));
  EXPECT_EQ(FaultBody(4), ReadFileBytes(folder + "\\" + name));
  local->SetAttribute("fileName", ("m" + name).c_str());
  EXPECT_FALSE(DownloadFile(*Dialog, folder.c_str(), local, Speed, base.c_str()));
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\m*").c_str(), &data);
  EXPECT_EQ(INVALID_HANDLE_VALUE, find);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  EXPECT_FALSE(Dialog->Downloading);
}

TEST_F(DownloadTest, SilentServerEndsInATimeOut) {
  SetTransferLimits({1500, 1500, kTransferLimits.StallWindowMs, kTransferLimits.CatalogueDeadlineMs});
  TXmlTreeNode* pkg = Package("t.exe");
  for (const char* path : {"stall/", "stallbody/5000/"}) {
    DWORD start = GetTickCount();
    EXPECT_FALSE(Get(pkg, Servers().Fault(path))) << path;
    DWORD elapsed = GetTickCount() - start;
    EXPECT_LT(elapsed, 10000u) << path;
    EXPECT_FALSE(Dialog->Downloading);
    EXPECT_EQ(0, ProgressPos(*Dialog));
  }
  EXPECT_EQ("", Dialog->LogText);
}

// Samples taken by a timer while the transfer pumps messages.
struct TPumpProbe {
  TInstallZelmDlgClient* Dialog = nullptr;
  int Ticks = 0;
  int ClickAtTick = 0;  // 0: never press cancel
  bool SawDownloading = false;
  bool SawCanCloseRefused = false;
  int MinPos = 1000, MaxPos = -1;
  int HighDuring = -1;
  bool WentBack = false;  // a sample below the one before
};
TPumpProbe* Probe = nullptr;

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!Probe || !Probe->Dialog->Downloading) return;
  TPumpProbe& p = *Probe;
  ++p.Ticks;
  p.SawDownloading = true;
  p.SawCanCloseRefused |= !p.Dialog->CanClose();
  int pos = ProgressPos(*p.Dialog);
  if (pos < p.MaxPos) p.WentBack = true;
  if (pos < p.MinPos) p.MinPos = pos;
  if (pos > p.MaxPos) p.MaxPos = pos;
  p.HighDuring = ProgressHigh(*p.Dialog);
  if (p.Ticks == p.ClickAtTick) {
    // The real button: BM_CLICK makes it send WM_COMMAND 107 to the dialog.
    SendMessageA(GetDlgItem(p.Dialog->GetHandle(), kIdCancelDownload), BM_CLICK, 0, 0);
  }
}

bool DownloadTest::GetWatched(TPumpProbe& probe, UINT intervalMs, TXmlTreeNode* element,
                              const std::string& baseUrl) {
  probe.Dialog = Dialog.get();
  Probe = &probe;
  UINT_PTR timer = SetTimer(nullptr, 0, intervalMs, ProbeTimer);
  bool ok = Get(element, baseUrl);
  KillTimer(nullptr, timer);
  Probe = nullptr;
  return ok;
}

TEST_F(DownloadTest, ProgressAndFlagsWhileTheTransferPumps) {
  TPumpProbe probe;
  // 400 000 bytes, 4096 every 20 ms: about two seconds.
  bool ok = GetWatched(probe, 50, Package("s.exe"), Servers().Fault("slow/400000/20/"));
  EXPECT_TRUE(ok);
  EXPECT_EQ(FaultBody(400000), ReadFileBytes(Local.File("s.exe")));
  EXPECT_TRUE(probe.SawDownloading);
  EXPECT_TRUE(probe.SawCanCloseRefused);
  EXPECT_EQ(100, probe.HighDuring);
  EXPECT_GT(probe.MaxPos, probe.MinPos);  // it moved
  EXPECT_LE(probe.MaxPos, 100);
  EXPECT_EQ(0, ProgressPos(*Dialog));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_TRUE(Dialog->CanClose());
  EXPECT_GT(Speed, 0.0f);
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(DownloadTest, ProgressOfALargeFileOnlyMovesForward) {
  // Past 42 949 673 bytes a 32-bit received * 100 wraps and the bar would
  // jump back; the percentage must hold for files of any size.
  const size_t size = 48u << 20;
  Servers().PutFile("large/download/big.exe", std::string(size, 'g'));
  TPumpProbe probe;
  bool ok = GetWatched(probe, 20, Package("big.exe"), Servers().Nginx("large/download/"));
  EXPECT_TRUE(ok);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(Local.File("big.exe").c_str(), GetFileExInfoStandard, &data);
  EXPECT_EQ(size, data.nFileSizeLow);
  DeleteFileA((Servers().Www + "\\large\\download\\big.exe").c_str());
  EXPECT_GT(probe.Ticks, 3);
  EXPECT_FALSE(probe.WentBack);
  EXPECT_GE(probe.MaxPos, 75);
  EXPECT_LE(probe.MaxPos, 100);
  EXPECT_EQ(0, ProgressPos(*Dialog));
}

TEST_F(DownloadTest, CancelButtonStopsALiveTransfer) {
  TPumpProbe probe;
  probe.ClickAtTick = 4;
  // About twenty seconds at full length; the cancel comes after a fraction.
  DWORD start = GetTickCount();
  bool ok = GetWatched(probe, 50, Package("c.exe"), Servers().Fault("slow/4000000/20/"));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Dialog->CancelRequested);
  EXPECT_LT(elapsed, 8000u);
  EXPECT_FALSE(FileExists(Local.File("c.exe")));
  EXPECT_FALSE(FileExists(Local.File("c.exe.part")));
  EXPECT_EQ("下载中止。\r\n", Dialog->LogText);
  EXPECT_EQ(Dialog->LogText, LogControlText(*Dialog));  // shown, not only stored
  EXPECT_EQ(0, ProgressPos(*Dialog));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_GT(Speed, 0.0f);
}

// A server that sends the head of its answer a byte at a time never trips a
// time-out. The catalogue's deadline still ends the attempt, and for a
// package the cancel button works while the head is awaited.
TEST_F(DownloadTest, TrickledHeadEndsAtTheDeadlineOrACancel) {
  TXmlTreeNode* pkg = Package("InstallFiles.zip");
  float speed = -1;
  DWORD start = GetTickCount();
  EXPECT_FALSE(DownloadFile(*Dialog, Local.Path().c_str(), pkg, speed,
                            Servers().Fault("trickleheader/200/").c_str(), 2000));
  EXPECT_LT(GetTickCount() - start, 30000u);  // the head alone would take ten minutes
  EXPECT_FALSE(FileExists(Local.File("InstallFiles.zip")));
  EXPECT_FALSE(Dialog->Downloading);
  EXPECT_EQ("", Dialog->LogText);

  TPumpProbe probe;
  probe.Dialog = Dialog.get();
  probe.ClickAtTick = 4;
  Probe = &probe;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, ProbeTimer);
  TXmlTreeNode* package = Package("t.exe");
  start = GetTickCount();
  bool ok = Get(package, Servers().Fault("trickleheader/200/"));
  DWORD elapsed = GetTickCount() - start;
  KillTimer(nullptr, timer);
  Probe = nullptr;
  EXPECT_FALSE(ok);
  EXPECT_TRUE(probe.SawCanCloseRefused);  // the window answered while it waited
  EXPECT_LT(elapsed, 30000u);
  EXPECT_EQ("下载中止。\r\n", Dialog->LogText);
  EXPECT_FALSE(Dialog->Downloading);

  // Nobody cancels and there is no deadline: the head must still have come
  // within the connect and receive time-outs together.
  Dialog->LogText.clear();
  Dialog->CancelRequested = false;
  SetTransferLimits({1000, 1500, kTransferLimits.StallWindowMs, kTransferLimits.CatalogueDeadlineMs});
  start = GetTickCount();
  EXPECT_FALSE(Get(Package("u.exe"), Servers().Fault("trickleheader/200/")));
  EXPECT_LT(GetTickCount() - start, 15000u);
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(DownloadTest, CancelAlreadySetStillAsksButTouchesNothing) {
  Dialog->CancelRequested = true;
  Servers().PutFile("precancel/download/p.exe", std::string(3000, 'p'));
  TXmlTreeNode* pkg = Package("p.exe");
  WriteFileBytes(Local.File("p.exe"), "old");
  EXPECT_FALSE(Get(pkg, Servers().Nginx("precancel/download/")));
  EXPECT_EQ("old", ReadFileBytes(Local.File("p.exe")));
  EXPECT_FALSE(FileExists(Local.File("p.exe.part")));
  EXPECT_EQ("下载中止。\r\n", Dialog->LogText);
  // A copy that is current by size and date, whose hash the cancel stops:
  // not current, and left exactly as it is.
  const std::string copy(3000, 'p');
  TXmlTreeNode* hashed = Package("p.exe");
  hashed->SetAttribute("sha256", Sha256Hex(copy).c_str());
  WriteFileBytes(Local.File("p.exe"), copy);
  EXPECT_FALSE(Get(hashed, Servers().Nginx("precancel/download/")));
  EXPECT_EQ(copy, ReadFileBytes(Local.File("p.exe")));
  // A current local copy is still found current.
  WriteFileBytes(Local.File("p.exe"), std::string(3000, 'q'));
  EXPECT_TRUE(Get(pkg, Servers().Nginx("precancel/download/")));
  EXPECT_EQ("下载中止。\r\n下载中止。\r\n下载中止。\r\n", Dialog->LogText);
  EXPECT_EQ(Dialog->LogText, LogControlText(*Dialog));
}

TEST(ContentLength, OnlyPlainDecimalsWithinThirtyTwoBits) {
  struct Case {
    const char* text;
    bool ok;
    unsigned long size;
  } cases[] = {
      {"1", true, 1},
      {"10240", true, 10240},
      {" \t42 ", true, 42},
      {"\r\n\v\f9\r\n", true, 9},  // any leading white space, as in attribute text
      {"+7", true, 7},
      {"4294967295", true, 4294967295ul},
      {"4294967296", false, 0},
      {"99999999999999999999999", false, 0},
      {"0", false, 0},
      {"", false, 0},
      {" ", false, 0},
      {"-5", false, 0},
      {"12abc", false, 0},
      {"1 2", false, 0},
      {"0x10", false, 0},
      {"++1", false, 0},
  };
  for (const Case& c : cases) {
    unsigned long size = 123;
    EXPECT_EQ(c.ok, ParseContentLength(c.text, &size)) << "'" << c.text << "'";
    EXPECT_EQ(c.size, size) << "'" << c.text << "'";
  }
}

// ---- Package hashes ---------------------------------------------------

std::string Sha256Hex(const std::string& data) {
  TSha256 hash;
  TSha256Digest digest = {};
  EXPECT_TRUE(hash.Open() && hash.Update(data.data(), data.size()) && hash.Finish(&digest));
  char text[2 * kSha256Size + 1];
  FormatSha256(digest, text);
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

const char kVerificationFailed[] = "文件校验失败。\r\n";

TEST_F(DownloadTest, TransferMustMatchItsHash) {
  std::string content = FaultBody(70001);
  Servers().PutFile("hashed/download/h.exe", content);
  std::string right = Sha256Hex(content);
  std::string wrong = right;
  wrong[10] = wrong[10] == '0' ? '1' : '0';
  struct Case {
    std::string sha256;
    bool ok;
  } cases[] = {
      {right, true},
      {Upper(right), true},          // either letter case
      {wrong, false},                // another file's hash
      {right.substr(1), false},      // 63 digits
      {right + "0", false},          // 65 digits
      {" " + right.substr(1), false},
      {"g" + right.substr(1), false},
      {"", false},
  };
  for (const Case& c : cases) {
    TXmlTreeNode* pkg = Package("h.exe");
    pkg->SetAttribute("sha256", c.sha256.c_str());
    DeleteFileA(Local.File("h.exe").c_str());
    Dialog->LogText.clear();
    EXPECT_EQ(c.ok, Get(pkg, Servers().Nginx("hashed/download/"))) << c.sha256;
    if (c.ok) {
      EXPECT_EQ(content, ReadFileBytes(Local.File("h.exe")));
      EXPECT_EQ("", Dialog->LogText);
    } else {
      // Nothing is left that a run could start.
      EXPECT_FALSE(FileExists(Local.File("h.exe"))) << c.sha256;
      EXPECT_EQ(kVerificationFailed, Dialog->LogText) << c.sha256;
    }
    EXPECT_FALSE(Dialog->Downloading);
  }
}

// A local copy of the right size and date, but other bytes, is fetched
// again when the catalogue names the hash; a copy with the right bytes is
// used without a transfer.
TEST_F(DownloadTest, LocalCopyCountsOnlyWithItsHash) {
  std::string content = FaultBody(30000);
  Servers().PutFile("localhash/download/l.exe", content);
  std::string tampered = content;
  tampered[12345] ^= 0x55;
  TXmlTreeNode* pkg = Package("l.exe");

  // Without a hash the old rule holds: same size, written today, kept.
  WriteFileBytes(Local.File("l.exe"), tampered);
  EXPECT_TRUE(Get(pkg, Servers().Nginx("localhash/download/")));
  EXPECT_EQ(tampered, ReadFileBytes(Local.File("l.exe")));

  pkg->SetAttribute("sha256", Sha256Hex(content).c_str());
  EXPECT_TRUE(Get(pkg, Servers().Nginx("localhash/download/")));
  EXPECT_EQ(content, ReadFileBytes(Local.File("l.exe")));

  // Now the copy is right: it is used as it is. A transfer would give it a
  // new write time; the copy is dated a day ahead to tell them apart.
  SYSTEMTIME tomorrow;
  GetSystemTime(&tomorrow);
  FILETIME ft;
  SystemTimeToFileTime(&tomorrow, &ft);
  ULARGE_INTEGER t = {{ft.dwLowDateTime, ft.dwHighDateTime}};
  t.QuadPart += 24ull * 3600 * 10000000;
  ft = {t.LowPart, t.HighPart};
  FileTimeToSystemTime(&ft, &tomorrow);
  ASSERT_TRUE(SetFileWriteTime(Local.File("l.exe"), tomorrow));
  Speed = -1;
  EXPECT_TRUE(Get(pkg, Servers().Nginx("localhash/download/")));
  EXPECT_EQ(0.0f, Speed);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(Local.File("l.exe").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(ft.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(ft.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime);
  EXPECT_EQ("", Dialog->LogText);
}

// The finished file stays held until the caller lets it go: nobody can
// write, replace or delete it meanwhile. The skip path holds it the same way.
TEST_F(DownloadTest, FinishedFileIsHeldUntilReleased) {
  const std::string content = FaultBody(20000);
  Servers().PutFile("held/download/s.exe", content);
  TXmlTreeNode* pkg = Package("s.exe");
  pkg->SetAttribute("sha256", Sha256Hex(content).c_str());
  const std::string path = Local.File("s.exe");
  WriteFileBytes(Local.File("other"), "other");
  for (const char* way : {"transferred", "found current"}) {
    TPackageDownload package;
    ASSERT_TRUE(DownloadFile(*Dialog, Local.Path().c_str(), pkg, Speed,
                             Servers().Nginx("held/download/").c_str(), 0, &package)) << way;
    EXPECT_TRUE(package.Held.IsHeld()) << way;
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << way;
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(path.c_str())) << way;
    EXPECT_FALSE(MoveFileExA(Local.File("other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) << way;
    EXPECT_EQ(content, ReadFileBytes(path)) << way;
  }
  // Without a holder, nothing stays held after the call.
  EXPECT_TRUE(Get(pkg, Servers().Nginx("held/download/")));
  EXPECT_TRUE(WriteFileBytes(path, "written after the call"));
  EXPECT_EQ("", Dialog->LogText);
}

// The announced length must fit in the free space of the folder's drive.
// procfs has no free space at all: a full drive, without filling one.
TEST_F(DownloadTest, NoRoomOnTheDriveEndsTheAttemptBeforeAnyWrite) {
  Servers().PutFile("room/download/r.exe", std::string(5000, 'r'));
  const char* full = "Z:\\proc\\self";
  ULARGE_INTEGER available;
  ASSERT_TRUE(GetDiskFreeSpaceExA(full, &available, nullptr, nullptr));
  ASSERT_EQ(0u, available.QuadPart);
  TPackageDownload package;
  EXPECT_FALSE(DownloadFile(*Dialog, full, Package("r.exe"), Speed,
                            Servers().Nginx("room/download/").c_str(), 0, &package));
  EXPECT_TRUE(package.NoRoom);
  EXPECT_FALSE(package.Held.IsHeld());
  EXPECT_EQ("磁盘空间不足。\r\n", Dialog->LogText);
  EXPECT_FALSE(Dialog->Downloading);
  // The same file where there is room.
  Dialog->LogText.clear();
  EXPECT_TRUE(DownloadFile(*Dialog, Local.Path().c_str(), Package("r.exe"), Speed,
                           Servers().Nginx("room/download/").c_str(), 0, &package));
  EXPECT_FALSE(package.NoRoom);
  EXPECT_EQ("", Dialog->LogText);
}

// A local file open elsewhere for writing (a document the user is editing)
// can be neither held nor replaced: the attempt fails as a check that could
// not be made, the part file goes, and the open file keeps its bytes.
TEST_F(DownloadTest, FileOpenElsewhereIsNotReplaced) {
  Servers().PutFile("inuse/download/u.exe", std::string(5000, 'u'));
  const std::string before = "being edited";
  WriteFileBytes(Local.File("u.exe"), before);
  HANDLE editor = CreateFileA(Local.File("u.exe").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, editor);
  EXPECT_FALSE(Get(Package("u.exe"), Servers().Nginx("inuse/download/")));
  CloseHandle(editor);
  EXPECT_EQ(before, ReadFileBytes(Local.File("u.exe")));
  EXPECT_FALSE(FileExists(Local.File("u.exe.part")));
  EXPECT_EQ("文件校验失败。\r\n", Dialog->LogText);
}

}  // namespace
