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
#include "support/node_builder.h"

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

// The ranged answers since LogMark for request paths that start with
// `prefix`, in order.
std::vector<TRangedAnswer> RangedAnswers(const std::string& prefix) {
  std::vector<TRangedAnswer> found;
  const std::string all = Servers().FaultLog();
  const std::string log = all.size() >= LogMark ? all.substr(LogMark) : all;
  const std::string lead = "ranged " + prefix;
  for (size_t at = 0; (at = log.find(lead, at)) != std::string::npos;) {
    size_t end = log.find('\n', at);
    std::string line = log.substr(at, end - at);
    at = end;
    TRangedAnswer answer;
    char range[128] = {}, ifRange[128] = {};
    size_t fields = line.find(' ', lead.size());
    if (sscanf(line.c_str() + fields, " %d sent %llu range=%127s if-range=%127[^\n]", &answer.Status,
               &answer.Sent, range, ifRange) == 4) {
      answer.Range = range;
      answer.IfRange = ifRange;
      found.push_back(answer);
    }
  }
  return found;
}

unsigned long long SentInAll(const std::vector<TRangedAnswer>& answers) {
  unsigned long long sum = 0;
  for (const TRangedAnswer& a : answers) sum += a.Sent;
  return sum;
}

// Sets CancelRequested once the part file has grown to `Bytes`, from a timer
// that the transfer's own pump runs.
struct TCancelAt {
  TInstallZelmDlgClient* Dialog = nullptr;
  std::string Part;
  unsigned long long Bytes = 0;
};
TCancelAt* CancelAt = nullptr;

void CALLBACK CancelTimer(HWND, UINT, UINT_PTR, DWORD) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!CancelAt || !GetFileAttributesExA(CancelAt->Part.c_str(), GetFileExInfoStandard, &data)) return;
  unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size >= CancelAt->Bytes) CancelAt->Dialog->CancelRequested = true;
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
    TXmlTreeNode* element = AddNode(&Root, "Dek", {{"fileName", fileName}});
    if (withHash) element->SetAttribute("sha256", Sha256Hex(FaultBody(kSize)).c_str());
    Package.Resumed = false;
    return DownloadFile(*Dialog, Local.Path().c_str(), element, Speed, Servers().Fault(faultPath).c_str(),
                        0, &Package);
  }

  // Get, expecting the whole file at the end, resumed or not as said; the
  // server's answers to the path.
  std::vector<TRangedAnswer> GetWhole(const char* fileName, const std::string& faultPath, bool resumed) {
    EXPECT_TRUE(Get(fileName, faultPath)) << faultPath;
    EXPECT_EQ(resumed, Package.Resumed) << faultPath;
    EXPECT_TRUE(FaultBody(kSize) == ReadFileBytes(Local.File(fileName))) << faultPath;
    return RangedAnswers("/" + faultPath);
  }

  std::string Part(const char* fileName) const { return ReadFileBytes(Local.File(std::string(fileName) + ".part")); }
  bool HasRecord(const char* fileName) const {
    return FileExists(Local.File(std::string(fileName) + ".part.info"));
  }

  TXmlTreeNode Root{nullptr, true};
  TPackageDownload Package;
  float Speed = -1;
};

TEST_F(ResumeTest, CutAtEightyPercentFetchesOnlyTheRestOnTheSameMirror) {
  const std::string path = Ranged("same", 80, 1, "honest");
  std::vector<TRangedAnswer> answers = GetWhole("a.exe", path, true);
  EXPECT_FALSE(FileExists(Local.File("a.exe.part")));
  EXPECT_FALSE(HasRecord("a.exe"));
  ASSERT_EQ(2u, answers.size());
  EXPECT_EQ(200, answers[0].Status);
  EXPECT_EQ("-", answers[0].Range);
  EXPECT_EQ(206, answers[1].Status);
  EXPECT_EQ("bytes=800000-", answers[1].Range);
  EXPECT_EQ(kFaultETag, answers[1].IfRange);
  EXPECT_LE(SentInAll(answers), kSize + kSize / 5 + 65536);
  EXPECT_EQ("", Dialog->LogText);
}

TEST_F(ResumeTest, RetriesStopAfterThreeOrWhenOneMakesNoProgress) {
  // Every request sends a tenth of the file and hangs up: the first try
  // and three retries, then the call gives up with 40% kept.
  const std::string creeping = Ranged("creep", 10, 100, "honest");
  EXPECT_FALSE(Get("b.exe", creeping));
  EXPECT_EQ(4u, RangedAnswers("/" + creeping).size());
  EXPECT_TRUE(FaultBody(kSize).substr(0, 400000) == Part("b.exe"));
  EXPECT_TRUE(HasRecord("b.exe"));
  // A mirror whose answer to the retry brings nothing is left at once.
  const std::string stuck = Ranged("stuck", 80, 1, "stuck");
  EXPECT_FALSE(Get("c.exe", stuck));
  EXPECT_EQ(2u, RangedAnswers("/" + stuck).size());
  EXPECT_TRUE(FaultBody(kSize).substr(0, 800000) == Part("c.exe"));
  // The other mirror, with the same validator, sends the rest.
  const std::string other = Ranged("other", 100, 0, "honest");
  std::vector<TRangedAnswer> answers = GetWhole("c.exe", other, true);
  ASSERT_EQ(1u, answers.size());
  EXPECT_EQ(206, answers[0].Status);
  EXPECT_EQ(kSize / 5, answers[0].Sent);
}

TEST_F(ResumeTest, AnswersThatStartOverOrAreRefused) {
  // The file changed between the tries (If-Range no longer matches), and a
  // server that ignores Range: both send it whole, and it is taken whole.
  for (const char* after : {"changed", "norange"}) {
    const std::string path = Ranged(std::string("over-") + after, 80, 1, after);
    std::vector<TRangedAnswer> answers = GetWhole((std::string(after) + ".exe").c_str(), path, false);
    ASSERT_EQ(2u, answers.size()) << after;
    EXPECT_EQ("bytes=800000-", answers[1].Range) << after;
    EXPECT_EQ(200, answers[1].Status) << after;
  }
  // A 206 for another range than the one asked for: nothing is appended,
  // the kept bytes stay as they were, and an honest mirror finishes them.
  const std::string lying = Ranged("badrange", 80, 1, "badrange");
  EXPECT_FALSE(Get("d.exe", lying));
  EXPECT_EQ(2u, RangedAnswers("/" + lying).size());
  EXPECT_TRUE(FaultBody(kSize).substr(0, 800000) == Part("d.exe"));
  GetWhole("d.exe", Ranged("badrange-honest", 100, 0, "honest"), true);
}

TEST_F(ResumeTest, LastModifiedServesWhenThereIsNoETag) {
  const std::string path = Ranged("dateonly", 80, 1, "dateonly");
  std::vector<TRangedAnswer> answers = GetWhole("m.exe", path, true);
  ASSERT_EQ(2u, answers.size());
  EXPECT_EQ(206, answers[1].Status);
  EXPECT_EQ("Tue, 14 Nov 2023 22:13:20 GMT", answers[1].IfRange);
}

TEST_F(ResumeTest, NoTrustedValidatorNoPartKept) {
  // A weak ETag: the bytes kept could not be vouched for, so none are.
  const std::string weak = Ranged("weak", 80, 1, "weak");
  EXPECT_FALSE(Get("w.exe", weak, false));
  EXPECT_EQ(1u, RangedAnswers("/" + weak).size());
  EXPECT_FALSE(FileExists(Local.File("w.exe.part")));
  EXPECT_FALSE(HasRecord("w.exe"));
  // An ETag too long to keep: neither it nor the date beside it is used.
  const std::string longTag = Ranged("longtag", 80, 1, "longtag");
  EXPECT_FALSE(Get("l.exe", longTag, false));
  EXPECT_EQ(1u, RangedAnswers("/" + longTag).size());
  EXPECT_FALSE(FileExists(Local.File("l.exe.part")));
  // No validator at all (the fault server's plain short body).
  TXmlTreeNode* element = AddNode(&Root, "Dek", {{"fileName", "s.exe"}});
  EXPECT_FALSE(DownloadFile(*Dialog, Local.Path().c_str(), element, Speed,
                            Servers().Fault("short/50000/").c_str()));
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
       "InstallZelm part 1\r\ntotal=999999\r\nvalidator=" + std::string(kFaultETag) + "\r\n", true, false},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string path = Ranged("hostile" + std::to_string(index++), 100, 0, "honest");
    ASSERT_TRUE(WriteFileBytes(Local.File(std::string(c.name) + ".part"), c.part));
    if (c.recordText.empty()) {
      ASSERT_TRUE(WriteResumeRecord(Local.File(std::string(c.name) + ".part.info").c_str(), record));
    } else {
      ASSERT_TRUE(WriteFileBytes(Local.File(std::string(c.name) + ".part.info"), c.recordText));
    }
    Dialog->LogText.clear();
    EXPECT_EQ(c.installs, Get(c.name, path)) << c.name;
    std::vector<TRangedAnswer> answers = RangedAnswers("/" + path);
    ASSERT_EQ(1u, answers.size()) << c.name;
    EXPECT_EQ(c.resumes, answers[0].Range != "-") << c.name;
    if (c.installs) {
      EXPECT_TRUE(body == ReadFileBytes(Local.File(c.name))) << c.name;
    } else {
      EXPECT_FALSE(FileExists(Local.File(c.name))) << c.name;
    }
  }
  // The spliced part failed its check: gone, and said so.
  EXPECT_FALSE(FileExists(Local.File("splice.exe.part")));
  EXPECT_FALSE(HasRecord("splice.exe"));
}

TEST_F(ResumeTest, CancelKeepsThePartForTheNextCall) {
  // 100 KB a second: the cancel comes at half the file.
  const std::string slow = Ranged("cancel", 100, 0, "honest", kSize, "10240/100");
  TCancelAt cancel;
  cancel.Dialog = Dialog.get();
  cancel.Part = Local.File("k.exe.part");
  cancel.Bytes = kSize / 2;
  CancelAt = &cancel;
  UINT_PTR timer = SetTimer(nullptr, 0, 20, CancelTimer);
  bool ok = Get("k.exe", slow);
  KillTimer(nullptr, timer);
  CancelAt = nullptr;
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

TEST_F(ResumeTest, NginxHonoursTheRangeOfItsOwnValidator) {
  // nginx's ETag and Range handling, as a real mirror's: a part cut from
  // its file, with the validator nginx sent, is finished with a 206.
  const std::string body = FaultBody(300000);
  Servers().PutFile("resume/download/n.exe", body);
  TXmlTreeNode* element = AddNode(&Root, "Dek", {{"fileName", "n.exe"}});
  ASSERT_TRUE(DownloadFile(*Dialog, Local.Path().c_str(), element, Speed,
                           Servers().Nginx("resume/download/").c_str(), 0, &Package));
  EXPECT_FALSE(Package.Resumed);
  Package.Held.Release();
  // Cut it short, as a broken transfer would have left it, with nginx's tag.
  // The tag is read from a ranged answer of the fault server's twin: nginx
  // makes it from the file's time and size.
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA((Servers().Www + "\\resume\\download\\n.exe").c_str(),
                                   GetFileExInfoStandard, &data));
  unsigned long long ticks = (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                             data.ftLastWriteTime.dwLowDateTime;
  TResumeRecord record;
  record.Total = 300000;
  snprintf(record.Validator, sizeof record.Validator, "\"%llx-%x\"",
           ticks / 10000000ull - 11644473600ull, 300000u);
  ASSERT_TRUE(WriteFileBytes(Local.File("n.exe.part"), body.substr(0, 200000)));
  ASSERT_TRUE(WriteResumeRecord(Local.File("n.exe.part.info").c_str(), record));
  ASSERT_TRUE(WriteFileBytes(Local.File("n.exe"), "older"));  // not current: fetched again
  ASSERT_TRUE(DownloadFile(*Dialog, Local.Path().c_str(), element, Speed,
                           Servers().Nginx("resume/download/").c_str(), 0, &Package));
  EXPECT_TRUE(Package.Resumed);
  EXPECT_TRUE(body == ReadFileBytes(Local.File("n.exe")));
}

}  // namespace
