// DownloadFile against real servers on loopback, with the real main dialog:
// the ordinary transfer, "path" inheritance, the skip test, the faults a
// server can commit, time-outs and over-long names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/download.h"
#include "app_servers_helper.h"
#include "support/node_builder.h"
#include "support/test_times.h"

namespace {

TEST_F(DownloadTest, PathIsInheritedFromTheNearestElementThatHasIt) {
  // Each location holds another file, so the bytes received tell which URL
  // was asked for; the first is no multiple of the block size.
  const std::string root = FaultBody(123457), dated(22, 'd'), own(33, 'o');
  Servers().PutFile("inherit/download/p.exe", root);
  Servers().PutFile("inherit/download/dek/2008/p.exe", dated);
  Servers().PutFile("inherit/download/own/p.exe", own);
  struct Case {
    const char* rootPath;    // null: no attribute
    const char* groupPath;
    const char* ownPath;
    const std::string& content;
  } cases[] = {
      {nullptr, nullptr, nullptr, root},
      {"dek/2008", nullptr, nullptr, dated},
      {nullptr, "dek/2008", nullptr, dated},
      {"own", "dek/2008", nullptr, dated},   // the nearer one wins
      {"dek/2008", "", nullptr, root},       // an empty nearer path hides it
      {"dek/2008", nullptr, "", root},
      {"dek/2008", nullptr, "own", own},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.rootPath ? c.rootPath : "-") + " " +
                 (c.groupPath ? c.groupPath : "-") + " " + (c.ownPath ? c.ownPath : "-"));
    TXmlTreeNode root(nullptr, true);
    TXmlTreeNode* group = AddNode(&root, "Dek");
    TXmlTreeNode* pkg = AddNode(group, "Dek", {{"fileName", "p.exe"}});
    if (c.rootPath) root.SetAttribute("path", c.rootPath);
    if (c.groupPath) group->SetAttribute("path", c.groupPath);
    if (c.ownPath) pkg->SetAttribute("path", c.ownPath);
    DeleteFileA(Local.File("p.exe").c_str());
    EXPECT_TRUE(Get(pkg, Servers().Nginx("inherit/download/")));
    EXPECT_TRUE(c.content == ReadFileBytes(Local.File("p.exe")));
    EXPECT_FALSE(Dialog->Downloading);
    EXPECT_EQ(0, ProgressPos(*Dialog));  // the bar is reset to its full range
    EXPECT_EQ(100, ProgressHigh(*Dialog));
    EXPECT_GE(Speed, 0.0f);
  }
  EXPECT_EQ("", Dialog->LogText);
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
  };
  std::vector<Case> cases = {
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
      // Every year below 100 counts from 2000, a negative one too.
      {"0-1-1 0:0:0", Date(2000, 1, 1, 0, 0, 0), 1000, true},
      {"99-1-1 0:0:0", Date(2099, 1, 1, 0, 0, 0), 1000, true},
      {"-5-1-1 0:0:0", Date(1995, 1, 1, 0, 0, 0), 1000, true},
      {"-5-1-1 0:0:0", Date(1994, 12, 31, 23, 59, 59), 1000, false},
      {"2008-5-1\t\t12:00:00 UTC", Date(2008, 5, 1, 12, 0, 0), 1000, true},  // as sscanf reads it
  };
  // No such month, day, hour or time (year 100), or overflowing numbers: no date.
  for (const char* date : {"2008-13-1 0:0:0", "2008-5-0 0:0:0", "2008-2-30 0:0:0",
                           "2008-5-1 24:0:0", "70000-5-1 0:0:0", "100-1-1 0:0:0",
                           "99999999999999-5-1 0:0:0", "2008-5-1 12:0:99999999999999"}) {
    cases.push_back({date, Date(2020, 1, 1, 0, 0, 0), 1000, false});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.modifyDate ? c.modifyDate : "-") + ", written " +
                 TimeText(c.written) + ", " + std::to_string(c.localSize) + " bytes");
    TXmlTreeNode* pkg = Package("k.exe");
    if (c.modifyDate) pkg->SetAttribute("modifyDate", c.modifyDate);
    const std::string local(c.localSize, 'L');
    ASSERT_TRUE(WriteFileBytes(Local.File("k.exe"), local));
    ASSERT_TRUE(SetFileWriteTime(Local.File("k.exe"), c.written));
    Speed = -1;
    EXPECT_TRUE(Get(pkg, Servers().Nginx("skip/download/")));
    EXPECT_EQ(c.skipped ? local : server, ReadFileBytes(Local.File("k.exe")));
    if (c.skipped) {
      EXPECT_EQ(0.0f, Speed);
    }
  }
}

// A failed attempt, before or after the transfer began, leaves no part file
// behind, and a file of the same name that was there before keeps every
// byte: it may be the user's own document, or the last good copy of the
// package. Servers that say nothing, or trickle, end within the time-outs; a
// trickle never trips the receive time-out, so it fails as a stall.
TEST_F(DownloadTest, FailedTransfersLeaveAnEarlierFileAsItWas) {
  SetTransferLimits({1500, 1500, 1500, kTransferLimits.CatalogueDeadlineMs});
  std::vector<std::string> bases = {Servers().Dead("download/"), "http://127.0.0.1:0/download/",
                                    "ftp://127.0.0.1/download/", "not a url/"};
  for (const char* path : {"status/404/", "status/500/", "status/206/", "nolength/5000/",
                           "length/0/", "length/4294967296/", "length/18446744073709551617/",
                           "length/12abc/", "length/-5/", "length/0x40/", "length/abc/",
                           "short/100000/",        // the connection ends half way
                           "long/2000/",           // more than announced (with the head)
                           "flood/2000/",          // a body without end
                           "drip/100000/1/100/",   // 15 bytes a stall window: hours in all
                           "stall/",               // no answer at all
                           "stallbody/5000/"}) {   // a head, then silence
    bases.push_back(Servers().Fault(path));
  }
  const std::string before = "报价单: the user's own bytes\r\n";
  for (const std::string& base : bases) {
    WriteFileBytes(Local.File("b.xlsx"), before);
    DWORD start = GetTickCount();
    EXPECT_FALSE(Get(Package("b.xlsx"), base)) << base;
    EXPECT_LT(GetTickCount() - start, 10000u) << base;
    EXPECT_EQ(before, ReadFileBytes(Local.File("b.xlsx"))) << base;
    EXPECT_FALSE(FileExists(Local.File("b.xlsx.part"))) << base;
    EXPECT_FALSE(Dialog->Downloading);
    EXPECT_EQ(0, ProgressPos(*Dialog));
  }
  EXPECT_EQ("", Dialog->LogText);
  // Above the stall minimum the same pieces go through: 2 KB every 100 ms.
  EXPECT_TRUE(Get(Package("steady.exe"), Servers().Fault("drip/40000/2048/100/")));
  EXPECT_EQ(FaultBody(40000), ReadFileBytes(Local.File("steady.exe")));
  // The endless body was read no further than the first block past its
  // announced length: socket buffers hold some megabytes, the whole 16 GiB.
  const std::string log = Servers().FaultLogOnce(
      [](const std::string& l) { return l.find("flood 2000 sent") != std::string::npos; }, 10000);
  size_t at = log.find("flood 2000 sent ");
  ASSERT_NE(std::string::npos, at) << log;
  EXPECT_LT(std::stoull(log.substr(at + 16)), 64ull << 20);
}

// How many files and folders match the pattern, "." and ".." aside.
int Matches(const std::string& pattern) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int entries = 0;
  do {
    if (strcmp(data.cFileName, ".") && strcmp(data.cFileName, "..")) ++entries;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

// Names that would reach outside the folder, or open a device, are refused
// before anything is asked: no request, no file, and a failed attempt.
TEST_F(DownloadTest, NamesThatAreNoBareFileNameAreRefusedBeforeAnyRequest) {
  for (const char* name :
       {"..\\..\\x.exe", "../x.exe", "sub/x.exe", "C:x.exe", "nul.exe", "x.exe.", ""}) {
    size_t before = Servers().FaultLog().size();
    TXmlTreeNode* pkg = Package(name);
    EXPECT_FALSE(Get(pkg, Servers().Fault("ok/64/download/"))) << name;
    EXPECT_EQ(before, Servers().FaultLog().size()) << name;  // nothing was asked
    EXPECT_FALSE(Dialog->Downloading);
  }
  EXPECT_EQ(0, Matches(Local.File("*")));
  // A Chinese name whose second byte is a backslash is a plain file name.
  TXmlTreeNode* chinese = Package("墊層定額.exe");
  EXPECT_TRUE(Get(chinese, Servers().Fault("ok/64/download/")));
  EXPECT_EQ(FaultBody(64), ReadFileBytes(Local.File("墊層定額.exe")));
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
  const std::string request = "GET /ok/4/download/" + padding + "/n.exe HTTP/1.1\tInstallZelm\n";
  EXPECT_NE(std::string::npos, Servers().FaultLog().find(request));  // with the agent
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
  EXPECT_EQ(0, Matches(folder + "\\m*"));
  EXPECT_FALSE(Dialog->Downloading);
}

}  // namespace
