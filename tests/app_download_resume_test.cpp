// DownloadFile with a part left by a broken transfer, against the scripted
// fault server's ranged files (Range and If-Range honoured, cuts, lies) and
// nginx: what is fetched again, what is appended, and what never is.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/download.h"
#include "app/package_hash.h"
#include "app/resume_state.h"
#include "app_servers_helper.h"
#include "markup/markup.h"
#include "support/test_times.h"

namespace {

constexpr size_t kSize = 1000000;
// The fault server's fixed date for unrouted ranged files, as its ETag has it.
const char kFaultETag[] = "\"6553f100-f4240\"";

// One answer of the fault server to a ranged request, from its log.
struct TRangedAnswer {
  int Status = 0;
  unsigned long long Sent = 0;
  std::string Range, IfRange;
};

// Where the fault server's log stood when the running test began: the log
// outlives the servers, so earlier runs' lines stay in it.
size_t LogMark = 0;

// The ranged answers since LogMark to request paths that start with
// `prefix`, in order: "ranged PATH STATUS sent N range=R if-range=I"; one
// for each request, waited for 5 s at most.
std::vector<TRangedAnswer> RangedAnswers(const std::string& prefix) {
  std::vector<TRangedAnswer> found;
  Servers().FaultLogOnce([&](const std::string& whole) {
    found.clear();
    const std::string log = whole.size() > LogMark ? whole.substr(LogMark) : "";
    const std::string lead = "ranged " + prefix;
    for (size_t at = 0; (at = log.find(lead, at)) != std::string::npos; ++at) {
      TRangedAnswer a;
      char range[128] = {}, ifRange[128] = {};
      const size_t space = log.find(' ', at + lead.size());
      if (space == std::string::npos) break;  // a line still being written
      if (sscanf(log.c_str() + space, " %d sent %llu range=%127s if-range=%127[^\n]", &a.Status,
                 &a.Sent, range, ifRange) == 4) {
        a.Range = range;
        a.IfRange = ifRange;
        found.push_back(a);
      }
    }
    size_t requests = 0;
    for (size_t at = 0; (at = log.find("GET " + prefix, at)) != std::string::npos; ++at) ++requests;
    return found.size() >= requests;
  }, 5000);
  return found;
}

// Sets CancelRequested on CancelDialog once the part file CancelPart holds
// half the file, from a timer that the transfer's own pump runs.
TInstallZelmDlgClient* CancelDialog = nullptr;
std::string CancelPart;

void CALLBACK CancelTimer(HWND, UINT, UINT_PTR, DWORD) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (CancelDialog && GetFileAttributesExA(CancelPart.c_str(), GetFileExInfoStandard, &data) &&
      data.nFileSizeLow >= kSize / 2) {
    CancelDialog->CancelRequested = true;
  }
}

class ResumeTest : public TServedDialogTest {
 protected:
  void SetUp() override {
    LogMark = Servers().FaultLog().size();
    TServedDialogTest::SetUp();
  }

  // The fault server's ranged file: KSIZE bytes, CUTS requests cut after
  // CUT percent, then AFTER; `tag` keeps each test's counts apart.
  static std::string Ranged(const std::string& tag, int cut, int cuts, const char* after,
                            size_t size = kSize, const char* pace = "0/0") {
    char path[160];
    snprintf(path, sizeof path, "ranged/%u/%d/%d/%s/%s/%s/", static_cast<unsigned>(size), cut, cuts,
             after, pace, tag.c_str());
    return path;
  }

  bool Get(const char* fileName, const std::string& faultPath, bool withHash = true) {
    TXmlTreeNode* element = Package(fileName);
    if (withHash) element->SetAttribute("sha256", Sha256Hex(FaultBody(kSize)).c_str());
    Download.Resumed = false;
    return DownloadFile(*Dialog, Local.Path().c_str(), element, Speed,
                        Servers().Fault(faultPath).c_str(), 0, &Download);
  }

  // Get, expecting the whole file at the end, resumed or not as said; the
  // server's answers to the path.
  std::vector<TRangedAnswer> GetWhole(const char* fileName, const std::string& faultPath,
                                      bool resumed) {
    EXPECT_TRUE(Get(fileName, faultPath)) << faultPath;
    EXPECT_EQ(resumed, Download.Resumed) << faultPath;
    EXPECT_TRUE(FaultBody(kSize) == ReadFileBytes(Local.File(fileName))) << faultPath;
    return RangedAnswers("/" + faultPath);
  }

  std::string Part(const char* fileName) const {
    return ReadFileBytes(Local.File(std::string(fileName) + ".part"));
  }
  bool HasRecord(const char* fileName) const {
    return FileExists(Local.File(std::string(fileName) + ".part.info"));
  }

  TPackageDownload Download;
};

// A cut at 80%, then the second request's answer: the rest against the
// validator kept (a strong ETag, else the date), or the file whole when it
// changed meanwhile (If-Range no longer matches) or the server ignores Range.
TEST_F(ResumeTest, CutTransferAsksForTheRestOnTheSameMirror) {
  struct Case {
    const char* after;
    bool resumed;
    const char* ifRange;  // null: the changed file's own
  } cases[] = {
      {"honest", true, kFaultETag},
      {"dateonly", true, "Tue, 14 Nov 2023 22:13:20 GMT"},
      {"changed", false, nullptr},
      {"norange", false, kFaultETag},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.after);
    const std::string name = std::string(c.after) + ".exe";
    std::vector<TRangedAnswer> answers = GetWhole(name.c_str(), Ranged(c.after, 80, 1, c.after),
                                                  c.resumed);
    EXPECT_FALSE(FileExists(Local.File(name + ".part")));
    EXPECT_FALSE(HasRecord(name.c_str()));
    ASSERT_EQ(2u, answers.size());
    EXPECT_EQ(200, answers[0].Status);
    EXPECT_EQ("-", answers[0].Range);
    EXPECT_EQ(c.resumed ? 206 : 200, answers[1].Status);
    EXPECT_EQ("bytes=800000-", answers[1].Range);
    if (c.ifRange) {
      EXPECT_EQ(c.ifRange, answers[1].IfRange);
    }
    if (c.resumed) {
      EXPECT_LE(answers[0].Sent + answers[1].Sent, kSize + kSize / 5 + 65536);
    }
    EXPECT_EQ("", Dialog->LogText);
  }
}

// A failed attempt keeps its part, with a record, only while it made
// progress and the server vouched for the bytes with a strong validator;
// another mirror with the same validator finishes what was kept.
TEST_F(ResumeTest, WhatAFailedAttemptKeeps) {
  struct Case {
    const char* after;
    int cut, cuts;
    size_t requests, kept;
  } cases[] = {
      {"honest", 10, 100, 4, 400000},  // a tenth, then a hang-up, every time: three retries
      {"stuck", 80, 1, 2, 800000},     // a retry that brings nothing ends the call
      {"badrange", 80, 1, 2, 800000},  // a 206 for another range: nothing is appended
      {"weak", 80, 1, 1, 0},           // a weak ETag vouches for nothing
      {"longtag", 80, 1, 1, 0},        // an ETag too long to keep: not its date either
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.after);
    const std::string name = std::string(c.after) + ".exe";
    const std::string path = Ranged(std::string("retry-") + c.after, c.cut, c.cuts, c.after);
    EXPECT_FALSE(Get(name.c_str(), path));
    EXPECT_EQ(c.requests, RangedAnswers("/" + path).size());
    EXPECT_EQ(c.kept != 0, FileExists(Local.File(name + ".part")));
    EXPECT_EQ(c.kept != 0, HasRecord(name.c_str()));
    EXPECT_TRUE(FaultBody(kSize).substr(0, c.kept) == Part(name.c_str()));
    const std::string other = Ranged(std::string("other-") + c.after, 100, 0, "honest");
    std::vector<TRangedAnswer> answers = GetWhole(name.c_str(), other, c.kept != 0);
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(c.kept ? 206 : 200, answers[0].Status);
    EXPECT_EQ(kSize - c.kept, answers[0].Sent);
  }
  // No validator at all: the fault server's plain short body.
  EXPECT_FALSE(Get("s.exe", "short/50000/", false));
  EXPECT_FALSE(FileExists(Local.File("s.exe.part")));
  EXPECT_FALSE(HasRecord("s.exe"));
}

// Parts and records are in the user's folder, which any program of the
// user can write: what they hold is checked, never trusted.
TEST_F(ResumeTest, HostilePartsAndRecords) {
  const std::string body = FaultBody(kSize);
  TResumeRecord record;
  record.Total = kSize;
  strcpy(record.Validator, kFaultETag);
  struct Case {
    const char* name;
    std::string part;
    std::string recordText;  // "" for the good record
    bool resumes;            // a Range is sent
    bool installs;           // the download succeeds
  } cases[] = {
      // Spliced: changed kept bytes pass the range check but not the hash.
      {"splice.exe", std::string(500000, 'x'), "", true, false},
      {"good.exe", body.substr(0, 500000), "", true, true},
      {"whole.exe", body, "", false, true},  // no byte missing: no range to ask for
      {"long.exe", body + "extra", "", false, true},
      {"empty.exe", "", "", false, true},
      {"inject.exe", body.substr(0, 500000),
       "InstallZelm part 1\r\ntotal=1000000\r\nvalidator=\"a\"\r\nX-Evil: 1\r\n", false, true},
      {"total.exe", body.substr(0, 500000),
       "InstallZelm part 1\r\ntotal=999999\r\nvalidator=" + std::string(kFaultETag) + "\r\n", true,
       false},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Ranged("hostile" + std::to_string(index++), 100, 0, "honest");
    const std::string info = Local.File(std::string(c.name) + ".part.info");
    ASSERT_TRUE(WriteFileBytes(Local.File(std::string(c.name) + ".part"), c.part));
    ASSERT_TRUE(c.recordText.empty() ? WriteResumeRecord(info.c_str(), record)
                                     : WriteFileBytes(info, c.recordText));
    EXPECT_EQ(c.installs, Get(c.name, path));
    std::vector<TRangedAnswer> answers = RangedAnswers("/" + path);
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(c.resumes, answers[0].Range != "-");
    if (c.installs) {
      EXPECT_TRUE(body == ReadFileBytes(Local.File(c.name)));
    } else {
      EXPECT_FALSE(FileExists(Local.File(c.name)));
    }
  }
  // The spliced part failed its check: gone, and said so.
  EXPECT_FALSE(FileExists(Local.File("splice.exe.part")));
  EXPECT_FALSE(HasRecord("splice.exe"));
}

TEST_F(ResumeTest, CancelKeepsThePartForTheNextCall) {
  // 100 KB a second: the cancel comes at half the file.
  const std::string slow = Ranged("cancel", 100, 0, "honest", kSize, "10240/100");
  CancelDialog = Dialog.get();
  CancelPart = Local.File("k.exe.part");
  UINT_PTR timer = SetTimer(nullptr, 0, 20, CancelTimer);
  bool ok = Get("k.exe", slow);
  KillTimer(nullptr, timer);
  CancelDialog = nullptr;
  EXPECT_FALSE(ok);
  EXPECT_EQ("下载中止。\r\n", Dialog->LogText);
  const size_t kept = Part("k.exe").size();
  EXPECT_GE(kept, kSize / 2);
  EXPECT_LT(kept, kSize);
  EXPECT_TRUE(HasRecord("k.exe"));
  // Another call with the cancel still set asks, but leaves the part alone.
  EXPECT_FALSE(Get("k.exe", Ranged("cancel-again", 100, 0, "honest")));
  EXPECT_EQ(kept, Part("k.exe").size());
  EXPECT_TRUE(HasRecord("k.exe"));

  Dialog->CancelRequested = false;
  const std::string rest = Ranged("cancel-rest", 100, 0, "honest");
  std::vector<TRangedAnswer> answers = GetWhole("k.exe", rest, true);
  ASSERT_EQ(1u, answers.size());
  EXPECT_EQ(kSize - kept, answers[0].Sent);
  EXPECT_LE(answers[0].Sent, kSize / 2 + 65536);
}

// nginx's ETag and Range handling, as a real mirror's: a part cut from its
// file, with the validator nginx sent, is finished with a 206.
TEST_F(ResumeTest, NginxHonoursTheRangeOfItsOwnValidator) {
  const std::string body = FaultBody(300000);
  Servers().PutFile("resume/download/n.exe", body);
  TXmlTreeNode* element = Package("n.exe");
  auto get = [&] {
    return DownloadFile(*Dialog, Local.Path().c_str(), element, Speed,
                        Servers().Nginx("resume/download/").c_str(), 0, &Download);
  };
  ASSERT_TRUE(get());
  EXPECT_FALSE(Download.Resumed);
  Download.Held.Release();
  // Cut short as a broken transfer leaves it, with the tag nginx makes from
  // the file's time and size.
  const int64_t ticks = FileWriteTicks(Servers().Www + "\\resume\\download\\n.exe");
  ASSERT_NE(0, ticks);
  TResumeRecord record;
  record.Total = 300000;
  snprintf(record.Validator, sizeof record.Validator, "\"%llx-%x\"",
           static_cast<unsigned long long>(ticks / 10000000 - 11644473600LL), 300000u);
  ASSERT_TRUE(WriteFileBytes(Local.File("n.exe.part"), body.substr(0, 200000)));
  ASSERT_TRUE(WriteResumeRecord(Local.File("n.exe.part.info").c_str(), record));
  ASSERT_TRUE(WriteFileBytes(Local.File("n.exe"), "older"));  // not current: fetched again
  ASSERT_TRUE(get());
  EXPECT_TRUE(Download.Resumed);
  EXPECT_TRUE(body == ReadFileBytes(Local.File("n.exe")));
}

}  // namespace
