// DownloadFile with package hashes, with the real main dialog: a transfer or
// a local copy counts only with its hash, a finished file is held until
// released, and a full drive or a file open elsewhere ends the attempt.
#include <gtest/gtest.h>

#include "app/download.h"
#include "app_servers_helper.h"
#include "support/node_builder.h"
#include "support/test_times.h"

namespace {

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
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sha256);
    TXmlTreeNode* pkg = Package("h.exe");
    pkg->SetAttribute("sha256", c.sha256.c_str());
    DeleteFileA(Local.File("h.exe").c_str());
    Dialog->LogText.clear();
    EXPECT_EQ(c.ok, Get(pkg, Servers().Nginx("hashed/download/")));
    // On a mismatch nothing is left that a run could start.
    EXPECT_EQ(c.ok, FileExists(Local.File("h.exe")));
    EXPECT_EQ(c.ok ? content : "", ReadFileBytes(Local.File("h.exe")));
    EXPECT_EQ(c.ok ? "" : kVerificationFailed, Dialog->LogText);
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
  // new write time; the copy is dated ahead to tell them apart.
  ASSERT_TRUE(SetFileWriteTime(Local.File("l.exe"), Date(2100, 1, 1)));
  const int64_t written = FileWriteTicks(Local.File("l.exe"));
  Speed = -1;
  EXPECT_TRUE(Get(pkg, Servers().Nginx("localhash/download/")));
  EXPECT_EQ(0.0f, Speed);
  EXPECT_EQ(written, FileWriteTicks(Local.File("l.exe")));
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
    SCOPED_TRACE(way);
    TPackageDownload package;
    ASSERT_TRUE(DownloadFile(*Dialog, Local.Path().c_str(), pkg, Speed,
                             Servers().Nginx("held/download/").c_str(), 0, &package));
    EXPECT_TRUE(package.Held.IsHeld());
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(MoveFileExA(Local.File("other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(content, ReadFileBytes(path));
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
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, editor);
  EXPECT_FALSE(Get(Package("u.exe"), Servers().Nginx("inuse/download/")));
  CloseHandle(editor);
  EXPECT_EQ(before, ReadFileBytes(Local.File("u.exe")));
  EXPECT_FALSE(FileExists(Local.File("u.exe.part")));
  EXPECT_EQ(kVerificationFailed, Dialog->LogText);
}

}  // namespace
