// The zip reader on archives made by the test writer: listing, piecewise
// extraction, data descriptors, encryption, and archives that are damaged,
// cut short or whose records lie.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32_handles.h"
#include "support/test_files.h"
#include "zip/unzip.h"
#include "zip_test_support.h"

namespace {

TEST(ZipReader, ListsAndExtractsInPiecesOfEverySize) {
  std::string big = PatternText(40000, 3);
  TestZip zip = BuildZip({Entry("InstallFiles.xml", big), Entry("stored.xml", big, 0),
                          Entry("notes.txt", "plain", 0), Entry("empty", "", 8),
                          Entry("empty0", "", 0)});
  OpenZip z(zip.Bytes);
  ASSERT_TRUE(z.Handle);
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, -1, &info));
  EXPECT_EQ(5, info.Index);
  const char* names[] = {"InstallFiles.xml", "stored.xml", "notes.txt", "empty", "empty0"};
  const std::string data[] = {big, big, "plain", "", ""};
  for (unsigned piece : {1u, 7u, 4096u, 16383u, 16384u, 16385u, 39999u, 40000u, 100000u}) {
    // Backwards, so reaching an earlier entry restarts the walk.
    for (int i = 4; i >= 0; --i) {
      SCOPED_TRACE(testing::Message() << "piece " << piece << ", entry " << i);
      ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, i, &info));
      EXPECT_EQ(i, info.Index);
      EXPECT_STREQ(names[i], info.Name);
      EXPECT_EQ(static_cast<long>(data[i].size()), info.UncompressedSize);
      std::string out;
      EXPECT_EQ(ZipOk, ExtractAll(z.Handle, i, piece, &out));
      EXPECT_TRUE(out == data[i]);
    }
  }
}

TEST(ZipReader, InformationRequestEndsPiecewiseExtraction) {
  std::string text = PatternText(3000);
  TestZip zip = BuildZip({Entry("a", text), Entry("b", "other")});
  OpenZip z(zip.Bytes);
  char piece[1000];
  ASSERT_EQ(ZipMore, ZipExtractToMemory(z.Handle, 0, piece, sizeof piece));
  EXPECT_EQ(text.substr(0, 1000), std::string(piece, 1000));
  ASSERT_EQ(ZipMore, ZipExtractToMemory(z.Handle, 0, piece, sizeof piece));
  EXPECT_EQ(text.substr(1000, 1000), std::string(piece, 1000));
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 1, &info));
  // The extraction starts again from the first byte.
  ASSERT_EQ(ZipMore, ZipExtractToMemory(z.Handle, 0, piece, sizeof piece));
  EXPECT_EQ(text.substr(0, 1000), std::string(piece, 1000));
  // Another index ends this one and starts that.
  ASSERT_EQ(ZipOk, ZipExtractToMemory(z.Handle, 1, piece, sizeof piece));
  EXPECT_EQ("other", std::string(piece, 5));
  // An empty read delivers nothing, which ends the extraction in progress.
  ASSERT_EQ(ZipMore, ZipExtractToMemory(z.Handle, 0, piece, sizeof piece));
  EXPECT_EQ(ZipFlate, ZipExtractToMemory(z.Handle, 0, piece, 0));
  ASSERT_EQ(ZipMore, ZipExtractToMemory(z.Handle, 0, piece, sizeof piece));
  EXPECT_EQ(text.substr(0, 1000), std::string(piece, 1000));
  EXPECT_EQ(ZipFlate, ZipExtractToMemory(z.Handle, 1, nullptr, 0));
}

TEST(ZipReader, DataDescriptorsAndEncryption) {
  std::string text = PatternText(50000, 9);
  std::vector<TestEntry> entries = {Entry("plain", text), Entry("descr", text, 8),
                                    Entry("locked", text, 8), Entry("locked-stored", text, 0),
                                    Entry("locked-descr", text, 8), Entry("locked-empty", "", 0)};
  entries[1].Descriptor = true;
  entries[2].Password = "zelm";
  entries[3].Password = "zelm";
  entries[4].Password = "zelm";
  entries[4].Descriptor = true;
  entries[5].Password = "zelm";
  TestZip zip = BuildZip(entries);
  OpenZip right(zip.Bytes, "zelm");
  OpenZip wrong(zip.Bytes, "Zelm");
  OpenZip none(zip.Bytes);
  for (int i = 0; i < 6; ++i) {
    std::string expected = i == 5 ? "" : text;
    std::string out;
    EXPECT_EQ(ZipOk, ExtractAll(right.Handle, i, 10000, &out)) << i;
    EXPECT_TRUE(out == expected) << i;
    ZipResult locked = i >= 2 ? ZipPassword : ZipOk;
    EXPECT_EQ(locked, ExtractAll(wrong.Handle, i, 10000, &out)) << i;
    EXPECT_EQ(locked, ExtractAll(none.Handle, i, 10000, &out)) << i;
  }
  EXPECT_EQ("Correct password required", RecentText());
}

// Entry 0 extracted to a file and to a handle: the results and what each
// file holds afterwards.
struct TOnDisk {
  ZipResult File, Handle;
  std::string FileBytes, HandleBytes;
};

TOnDisk ExtractToDisk(ZipHandle zip) {
  TScratchDir folder("extract");
  TOnDisk out;
  out.File = ZipExtractToFile(zip, 0, folder.File("file.bin").c_str());
  TKernelHandle file(CreateFileA(folder.File("handle.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  out.Handle = ZipExtractToHandle(zip, 0, file.Get());
  file.Close();
  out.FileBytes = ReadFileBytes(folder.File("file.bin"));
  out.HandleBytes = ReadFileBytes(folder.File("handle.bin"));
  return out;
}

// The recorded CRC-32 is right but a data byte is wrong: every way of
// extracting must report it instead of passing the damage on as success.
TEST(ZipReader, CrcMismatchIsCorruptForMemoryHandleAndFile) {
  std::string text = PatternText(30000, 4);
  TestZip zip = BuildZip({Entry("stored", text, 0)});
  zip.Bytes[zip.DataOffsets[0] + 20000] ^= 0x01;
  OpenZip z(zip.Bytes);
  std::string out;
  EXPECT_EQ(ZipCorrupt, ExtractAll(z.Handle, 0, 30000, &out));
  EXPECT_EQ(ZipCorrupt, ExtractAll(z.Handle, 0, 777, &out));
  TOnDisk disk = ExtractToDisk(z.Handle);
  EXPECT_EQ(ZipCorrupt, disk.File);
  EXPECT_EQ(ZipCorrupt, disk.Handle);
  EXPECT_EQ("Zipfile is corrupt or not a zipfile", RecentText());
}

// However much data an entry holds, no extraction writes more than the size
// its records give: a small archive must not fill the disk.
TEST(ZipReader, DataBeyondTheRecordedSizeIsNeverWritten) {
  std::string zeros(1 << 20, '\0');
  for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
    SCOPED_TRACE(method);
    TestZip zip = BuildZip({Entry("bomb", zeros, method)});
    Put32(zip.Bytes, zip.LocalOffsets[0] + 22, 100);
    Put32(zip.Bytes, zip.CentralOffsets[0] + 24, 100);
    OpenZip z(zip.Bytes);
    ASSERT_TRUE(z.Handle);
    TOnDisk disk = ExtractToDisk(z.Handle);
    EXPECT_EQ(ZipCorrupt, disk.File);  // the CRC is that of the whole data
    EXPECT_EQ(ZipCorrupt, disk.Handle);
    EXPECT_EQ(std::string(100, '\0'), disk.FileBytes);
    EXPECT_EQ(std::string(100, '\0'), disk.HandleBytes);
    // Into memory: nothing past the first 100 bytes of the buffer is touched.
    std::string buffer(4096, '\x7F');
    EXPECT_EQ(ZipCorrupt, ZipExtractToMemory(z.Handle, 0, &buffer[0], 4096));
    EXPECT_EQ(std::string(100, '\0') + std::string(4096 - 100, '\x7F'), buffer);
  }
}

// One lie in an archive's records, Offset bytes into entry 0's local header,
// its central record, its data or the end record. Fields of the local header
// sit 2 bytes earlier than in the central record, so Both sets the local
// field at Offset and the central one at Offset + 2. CentralAtLocal points
// the central field at Offset (the local header's place) at the central
// record itself; CutAtEnd ends the archive there.
enum TWhere { Local, Central, Both, End, CutAtEnd, DataFill, CentralAtLocal };
struct TLie {
  TWhere Where;
  size_t Offset;
  uint32_t Value;
  int Width;  // 1: the byte is xor-ed with Value; 2 or 4: the field is set; DataFill: a count
};

void Apply(TestZip& z, const TLie& lie) {
  size_t at = lie.Where == Local || lie.Where == Both     ? z.LocalOffsets[0]
              : lie.Where == End || lie.Where == CutAtEnd ? z.EndOffset
              : lie.Where == DataFill                     ? z.DataOffsets[0]
                                                          : z.CentralOffsets[0];
  at += lie.Offset;
  uint32_t value =
      lie.Where == CentralAtLocal ? static_cast<uint32_t>(z.CentralOffsets[0]) : lie.Value;
  if (lie.Where == CutAtEnd) return z.Bytes.resize(at);
  if (lie.Where == DataFill) {
    z.Bytes.replace(at, lie.Width, lie.Width, static_cast<char>(value));
    return;
  }
  std::vector<size_t> places = {at};
  if (lie.Where == Both) places.push_back(z.CentralOffsets[0] + 2 + lie.Offset);
  for (size_t where : places) {
    if (lie.Width == 1) z.Bytes[where] ^= static_cast<char>(value);
    else if (lie.Width == 2) Put16(z.Bytes, where, static_cast<uint16_t>(value));
    else Put32(z.Bytes, where, value);
  }
}

// Archives whose records lie: each must give its result code, never a crash,
// a read outside the block or a hang (the sanitizers watch the native run).
TEST(ZipReader, HostileRecordsGiveResultCodes) {
  const ZipResult kNoOpen = 0xFFFFFFFF;
  const struct {
    const char* What;
    uint16_t Method;  // of entry 0, 5000 bytes
    std::vector<TLie> Lies;
    ZipResult Info;    // kNoOpen: the archive does not open
    ZipResult Memory;  // extracting entry 0 into memory
  } cases[] = {
      {"disk number 1", 8, {{End, 4, 1, 2}}, kNoOpen, 0},
      {"central directory on disk 2", 8, {{End, 6, 2, 2}}, kNoOpen, 0},
      {"entry counts disagree", 8, {{End, 8, 3, 2}}, kNoOpen, 0},
      {"directory past the end record", 8, {{End, 16, 0x7FFFFFF0, 4}}, kNoOpen, 0},
      {"zip64 directory offset", 8, {{End, 16, 0xFFFFFFFF, 4}}, kNoOpen, 0},
      {"zip64 directory size", 8, {{End, 12, 0xFFFFFFFF, 4}}, kNoOpen, 0},
      {"end record cut short", 8, {{CutAtEnd, 10, 0, 0}}, kNoOpen, 0},
      {"wrong central signature", 8, {{Central, 3, 0x0B, 1}}, ZipCorrupt, ZipCorrupt},
      {"local header far outside", 8, {{Central, 42, 0x7FFFFFF0, 4}}, ZipCorrupt, ZipCorrupt},
      {"zip64 local header offset", 8, {{Central, 42, 0xFFFFFFFF, 4}}, ZipCorrupt, ZipCorrupt},
      {"zip64 sizes", 8, {{Both, 18, 0xFFFFFFFF, 4}}, ZipCorrupt, ZipCorrupt},
      {"local header points at the central record", 8, {{CentralAtLocal, 42, 0, 4}}, ZipCorrupt,
       ZipCorrupt},
      {"local method differs", 8, {{Local, 8, 0, 2}}, ZipCorrupt, ZipCorrupt},
      {"method 12 (bzip2)", 8, {{Both, 8, 12, 2}}, ZipCorrupt, ZipCorrupt},
      {"local name length differs", 8, {{Local, 26, 2, 2}}, ZipCorrupt, ZipCorrupt},
      {"local CRC differs", 8, {{Local, 14, 1, 1}}, ZipCorrupt, ZipCorrupt},
      {"local extra field runs past the end", 8, {{Local, 28, 0xFFFF, 2}}, ZipReadFailed,
       ZipFlate},
      {"central name of 300 bytes", 8, {{Central, 28, 300, 2}}, ZipCorrupt, ZipCorrupt},
      {"more entries claimed than recorded", 8, {{End, 8, 0xFFFF, 2}, {End, 10, 0xFFFF, 2}},
       ZipOk, ZipOk},
      // The data ends before the sizes say, or is damaged.
      {"stored, uncompressed size above the data", 0, {{Both, 22, 5001, 4}}, ZipOk, ZipFlate},
      {"deflated, uncompressed size above the stream", 8, {{Both, 22, 5500, 4}}, ZipOk, ZipFlate},
      {"deflated, compressed size cut short", 8, {{Both, 18, 100, 4}}, ZipOk, ZipFlate},
      {"deflated, garbage in the stream", 8, {{DataFill, 10, 0xFF, 50}}, ZipOk, ZipFlate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TestZip zip =
        BuildZip({Entry("first.txt", PatternText(5000), c.Method), Entry("second.txt", "two")});
    for (const TLie& lie : c.Lies) Apply(zip, lie);
    OpenZip z(zip.Bytes);
    EXPECT_EQ(c.Info != kNoOpen, z.Handle != nullptr);
    if (!z.Handle) {
      EXPECT_EQ("Couldn't create/open file", RecentText());
      continue;
    }
    ZipEntryInfo info;
    EXPECT_EQ(c.Info, ZipGetEntry(z.Handle, 0, &info));
    if (c.Info != ZipOk) {
      EXPECT_STREQ("", info.Name);
    }
    std::string first;
    EXPECT_EQ(c.Memory, ExtractAll(z.Handle, 0, 1000, &first));
    // Whatever the damage, nothing below may crash, hang or succeed wrongly.
    ZipGetEntry(z.Handle, -1, &info);
    int count = info.Index;
    for (int i : {0, 1, 2, count - 1, count}) {
      std::string out;
      ZipGetEntry(z.Handle, i, &info);
      ZipResult r = ExtractAll(z.Handle, i, 1000, &out);
      if (i >= 2) {
        EXPECT_NE(ZipOk, r) << "entry " << i;
      }
    }
    int index = 0;
    EXPECT_EQ(ZipNotFound, ZipFindEntry(z.Handle, "missing", true, &index, nullptr));
  }
}

TEST(ZipReader, TruncatedArchivesOpenOnlyWithTheirEndRecord) {
  TestZip zip = BuildZip({Entry("a.xml", PatternText(3000)), Entry("b/", "", 0)}, "a comment");
  for (size_t length = 0; length < zip.Bytes.size(); ++length) {
    ZipHandle z = ZipOpenMemory(zip.Bytes.data(), static_cast<unsigned>(length), nullptr);
    EXPECT_EQ(length >= zip.EndOffset + 22, z != nullptr) << length;
    if (z) ZipClose(z);
  }
}

TEST(ZipReader, EndRecordIsFoundBehindTheLongestComment) {
  for (size_t commentLength : {0u, 1000u, 1024u, 1025u, 4096u, 65513u}) {
    TestZip zip = BuildZip({Entry("x", "data")}, std::string(commentLength, 'c'));
    OpenZip z(zip.Bytes);
    ASSERT_TRUE(z.Handle) << commentLength;
    std::string out;
    EXPECT_EQ(ZipOk, ExtractAll(z.Handle, 0, 100, &out));
    EXPECT_EQ("data", out);
  }
  // One byte further and the end record is out of reach.
  TestZip zip = BuildZip({Entry("x", "data")});
  zip.Bytes += std::string(65514, 'c');
  OpenZip z(zip.Bytes);
  EXPECT_FALSE(z.Handle);
}

}  // namespace
