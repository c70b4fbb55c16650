// Moving a finished download into place and holding it: while it is held,
// no other process can change, replace or delete the file, and what is
// checked through the held handle is what lies on the disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/held_file.h"
#include "app/package_hash.h"
#include "support/fake_run_host.h"
#include "support/test_files.h"

namespace {

TSha256Digest DigestOf(const std::string& data) {
  TSha256 hash;
  TSha256Digest digest = {};
  EXPECT_TRUE(hash.Open() && hash.Update(data.data(), data.size()) && hash.Finish(&digest));
  return digest;
}

// A command run by another process (cmd.exe); its exit code.
int RunOther(const std::string& commandLine) {
  const int code = std::system(commandLine.c_str());
  EXPECT_NE(-1, code) << "cmd.exe did not start: " << commandLine;
  return code;
}

class HeldFileTest : public ::testing::Test {
 protected:
  TScratchDir Folder{"held file"};
  std::string Part = Folder.File("setup.exe.part");
  std::string Final = Folder.File("setup.exe");
  std::string Content = std::string(100000, 'p') + "published";
  TSha256Digest Digest = DigestOf(Content);
  THeldFile Held;
};

TEST_F(HeldFileTest, AnotherProcessCannotChangeOrRemoveTheHeldFile) {
  WriteFileBytes(Final, "an earlier copy");
  WriteFileBytes(Part, Content);
  ASSERT_EQ(kMoveHeld, MoveIntoPlaceAndHold(Part.c_str(), Final.c_str(), Content.size(), &Digest,
                                            nullptr, Held));
  EXPECT_FALSE(FileExists(Part));
  EXPECT_TRUE(Held.IsHeld());
  // Reading is allowed (the loader and the package itself read it), and shows
  // that the other process runs at all before its refusals are trusted.
  EXPECT_EQ(0, RunOther("type \"" + Final + "\" >nul"));
  WriteFileBytes(Folder.File("other.txt"), "other");
  RunOther("echo tampered> \"" + Final + "\"");
  RunOther("del /f /q \"" + Final + "\"");
  RunOther("copy /y \"" + Folder.File("other.txt") + "\" \"" + Final + "\"");
  RunOther("move /y \"" + Folder.File("other.txt") + "\" \"" + Final + "\"");
  EXPECT_EQ(Content, ReadFileBytes(Final));
  EXPECT_EQ(THeldFile::kSame, Held.Check(Content.size(), &Digest, nullptr));

  // Released, the same command does change the file: the hold was what
  // stopped it.
  Held.Release();
  RunOther("echo tampered> \"" + Final + "\"");
  EXPECT_EQ("tampered\r\n", ReadFileBytes(Final));
}

TEST_F(HeldFileTest, CheckReadsThroughTheHandle) {
  WriteFileBytes(Final, Content);
  ASSERT_TRUE(Held.Hold(Final.c_str()));
  TSha256Digest other = DigestOf(Content + "x");
  TFakeRunHost gone;
  gone.StopAtPump = 1;
  EXPECT_EQ(THeldFile::kSame, Held.Check(Content.size(), &Digest, nullptr));
  EXPECT_EQ(THeldFile::kSame, Held.Check(Content.size(), nullptr, nullptr));
  EXPECT_EQ(THeldFile::kDiffers, Held.Check(Content.size() + 1, nullptr, nullptr));
  EXPECT_EQ(THeldFile::kDiffers, Held.Check(Content.size(), &other, nullptr));
  EXPECT_EQ(THeldFile::kStopped,
            Held.Check(Content.size(), &Digest, &gone));
  // The file pointer left by one hash does not shorten the next.
  EXPECT_EQ(THeldFile::kSame, Held.Check(Content.size(), &Digest, nullptr));
  Held.Release();
  EXPECT_EQ(THeldFile::kDiffers, Held.Check(Content.size(), nullptr, nullptr));
  EXPECT_FALSE(Held.Hold(Folder.File("missing.exe").c_str()));
  EXPECT_FALSE(Held.Hold(Folder.Path().c_str()));  // a folder is no package
}

// The final name is open elsewhere (the user's document, another program):
// the move fails, the part file goes, and the earlier file keeps its bytes.
TEST_F(HeldFileTest, FileInUseIsNeitherReplacedNorHeld) {
  const std::string before = "the user's own document";
  WriteFileBytes(Final, before);
  WriteFileBytes(Part, Content);
  HANDLE open = CreateFileA(Final.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, open);
  EXPECT_EQ(kMoveFailed, MoveIntoPlaceAndHold(Part.c_str(), Final.c_str(), Content.size(), &Digest,
                                              nullptr, Held));
  CloseHandle(open);
  EXPECT_FALSE(Held.IsHeld());
  EXPECT_FALSE(FileExists(Part));
  EXPECT_EQ(before, ReadFileBytes(Final));
}

// What arrived is not what lies in the part file any more (changed after
// the transfer closed it): the file is not held and nothing is left to start.
TEST_F(HeldFileTest, ChangedAfterTheTransferIsRefusedAndRemoved) {
  std::string changed = Content;
  changed[5] = 'X';
  WriteFileBytes(Part, changed);
  EXPECT_EQ(kMoveCheckFailed, MoveIntoPlaceAndHold(Part.c_str(), Final.c_str(), Content.size(), &Digest,
                                                   nullptr, Held));
  EXPECT_FALSE(Held.IsHeld());
  EXPECT_FALSE(FileExists(Final));
  EXPECT_FALSE(FileExists(Part));
}

}  // namespace
