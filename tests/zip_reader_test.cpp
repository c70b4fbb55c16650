// The zip reader on archives made by the test writer: listing, piecewise
// extraction, data descriptors, encryption, and archives that are damaged,
// cut short or whose records lie.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32_handles.h"
#include "support/test_files.h"
#include "support/test_times.h"
#include "zip/unzip.h"
#include "zip_test_support.h"

namespace {

TEST(ZipReader, ListsFindsAndExtractsStoredAndDeflatedEntries) {
  std::string big = PatternText(100000);
  TestZip zip = BuildZip({Entry("InstallFiles.xml", big), Entry("notes.txt", "plain", 0),
                          Entry("empty", "", 8), Entry("empty0", "", 0)});
  OpenZip z(zip.Bytes);
  ASSERT_TRUE(z.Handle);
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, -1, &info));
  EXPECT_EQ(4, info.Index);
  const char* names[] = {"InstallFiles.xml", "notes.txt", "empty", "empty0"};
  const std::string data[] = {big, "plain", "", ""};
  // Backwards, so reaching an earlier entry restarts the walk.
  for (int i = 3; i >= 0; --i) {
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, i, &info)) << i;
    EXPECT_EQ(i, info.Index);
    EXPECT_STREQ(names[i], info.Name);
    EXPECT_EQ(static_cast<long>(data[i].size()), info.UncompressedSize);
    std::string out;
    EXPECT_EQ(ZipOk, ExtractAll(z.Handle, i, 16384, &out)) << i;
    EXPECT_EQ(data[i], out) << i;
  }
  int index = -2;
  EXPECT_EQ(ZipOk, ZipFindEntry(z.Handle, "notes.txt", false, &index, &info));
  EXPECT_EQ(1, index);
  EXPECT_STREQ("notes.txt", info.Name);
}

TEST(ZipReader, PiecewiseExtractionGivesEveryPieceSize) {
  std::string big = PatternText(40000, 3);
  TestZip zip = BuildZip({Entry("a", big, 8), Entry("b", big, 0)});
  OpenZip z(zip.Bytes);
  ASSERT_TRUE(z.Handle);
  for (unsigned piece : {1u, 7u, 4096u, 16383u, 16384u, 16385u, 39999u, 40000u, 100000u}) {
    for (int i = 0; i < 2; ++i) {
      std::string out;
      EXPECT_EQ(ZipOk, ExtractAll(z.Handle, i, piece, &out)) << piece << " entry " << i;
      EXPECT_TRUE(out == big) << piece << " entry " << i;
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

  TScratchDir folder("crc");
  TKernelHandle file(CreateFileA(folder.File("handle.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(ZipCorrupt, ZipExtractToHandle(z.Handle, 0, file.Get()));
  EXPECT_EQ(ZipCorrupt, ZipExtractToFile(z.Handle, 0, folder.File("file.bin").c_str()));
  EXPECT_EQ("Zipfile is corrupt or not a zipfile", RecentText());
}

TEST(ZipReader, DataThatEndsEarlyOrIsDamagedFails) {
  std::string text = PatternText(20000, 5);
  struct Case {
    const char* What;
    uint16_t Method;
    std::function<void(TestZip&)> Damage;
  };
  const Case cases[] = {
      {"stored, uncompressed size above the data", 0,
       [](TestZip& z) {
         Put32(z.Bytes, z.LocalOffsets[0] + 22, 20001);
         Put32(z.Bytes, z.CentralOffsets[0] + 24, 20001);
       }},
      {"deflated, uncompressed size above the stream", 8,
       [](TestZip& z) {
         Put32(z.Bytes, z.LocalOffsets[0] + 22, 20500);
         Put32(z.Bytes, z.CentralOffsets[0] + 24, 20500);
       }},
      {"deflated, compressed size cut short", 8,
       [](TestZip& z) {
         Put32(z.Bytes, z.LocalOffsets[0] + 18, 100);
         Put32(z.Bytes, z.CentralOffsets[0] + 20, 100);
       }},
      {"deflated, garbage in the stream", 8,
       [](TestZip& z) {
         for (int i = 10; i < 60; ++i) z.Bytes[z.DataOffsets[0] + i] = static_cast<char>(0xFF);
       }},
  };
  for (const Case& c : cases) {
    TestZip zip = BuildZip({Entry("x", text, c.Method)});
    c.Damage(zip);
    OpenZip z(zip.Bytes);
    ASSERT_TRUE(z.Handle) << c.What;
    std::string out;
    ZipResult r = ExtractAll(z.Handle, 0, 4096, &out);
    EXPECT_TRUE(r == ZipFlate || r == ZipCorrupt) << c.What << ": " << std::hex << r;
  }
}

// However much data an entry holds, no extraction writes more than the size
// its records give: a small archive must not fill the disk.
TEST(ZipReader, DataBeyondTheRecordedSizeIsNeverWritten) {
  std::string zeros(1 << 20, '\0');
  for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
    TestZip zip = BuildZip({Entry("bomb", zeros, method)});
    Put32(zip.Bytes, zip.LocalOffsets[0] + 22, 100);
    Put32(zip.Bytes, zip.CentralOffsets[0] + 24, 100);
    OpenZip z(zip.Bytes);
    ASSERT_TRUE(z.Handle) << method;
    TScratchDir folder("bomb");
    ZipResult r = ZipExtractToFile(z.Handle, 0, folder.File("file.bin").c_str());
    EXPECT_NE(ZipOk, r) << method;  // the CRC is that of the whole data
    EXPECT_EQ(100u, ReadFileBytes(folder.File("file.bin")).size()) << method;
    TKernelHandle file(CreateFileA(folder.File("handle.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ZipExtractToHandle(z.Handle, 0, file.Get());
    file.Close();
    EXPECT_EQ(100u, ReadFileBytes(folder.File("handle.bin")).size()) << method;
    // Into memory: nothing past the first 100 bytes of the buffer is touched.
    std::string buffer(4096, '\x7F');
    ZipExtractToMemory(z.Handle, 0, &buffer[0], static_cast<unsigned>(buffer.size()));
    EXPECT_EQ(std::string(100, '\0'), buffer.substr(0, 100)) << method;
    EXPECT_EQ(std::string(4096 - 100, '\x7F'), buffer.substr(100)) << method;
  }
}

// Archives whose records lie: each must give a result code, never a crash,
// a read outside the block or a hang (the sanitizers watch the native run).
TEST(ZipReader, HostileRecordsGiveResultCodes) {
  struct Case {
    const char* What;
    std::function<void(TestZip&)> Damage;
    bool Opens;
    ZipResult Info;    // for entry 0
    ZipResult Memory;  // extracting entry 0 into memory
  };
  const Case cases[] = {
      {"disk number 1", [](TestZip& z) { Put16(z.Bytes, z.EndOffset + 4, 1); }, false, 0, 0},
      {"central directory on disk 2", [](TestZip& z) { Put16(z.Bytes, z.EndOffset + 6, 2); },
       false, 0, 0},
      {"entry counts disagree", [](TestZip& z) { Put16(z.Bytes, z.EndOffset + 8, 3); }, false, 0, 0},
      {"directory past the end record",
       [](TestZip& z) { Put32(z.Bytes, z.EndOffset + 16, 0x7FFFFFF0); }, false, 0, 0},
      {"zip64 directory offset",
       [](TestZip& z) { Put32(z.Bytes, z.EndOffset + 16, 0xFFFFFFFF); }, false, 0, 0},
      {"zip64 directory size", [](TestZip& z) { Put32(z.Bytes, z.EndOffset + 12, 0xFFFFFFFF); },
       false, 0, 0},
      {"end record cut short", [](TestZip& z) { z.Bytes.resize(z.EndOffset + 10); }, false, 0, 0},
      {"wrong central signature", [](TestZip& z) { z.Bytes[z.CentralOffsets[0] + 3] = 9; }, true,
       ZipCorrupt, ZipCorrupt},
      {"local header far outside",
       [](TestZip& z) { Put32(z.Bytes, z.CentralOffsets[0] + 42, 0x7FFFFFF0); }, true, ZipCorrupt,
       ZipCorrupt},
      {"zip64 local header offset",
       [](TestZip& z) { Put32(z.Bytes, z.CentralOffsets[0] + 42, 0xFFFFFFFF); }, true, ZipCorrupt,
       ZipCorrupt},
      {"zip64 sizes", [](TestZip& z) {
         Put32(z.Bytes, z.LocalOffsets[0] + 18, 0xFFFFFFFF);
         Put32(z.Bytes, z.CentralOffsets[0] + 20, 0xFFFFFFFF);
       }, true, ZipCorrupt, ZipCorrupt},
      {"local header points at the central record",
       [](TestZip& z) {
         Put32(z.Bytes, z.CentralOffsets[0] + 42, static_cast<uint32_t>(z.CentralOffsets[0]));
       }, true, ZipCorrupt, ZipCorrupt},
      {"local method differs", [](TestZip& z) { Put16(z.Bytes, z.LocalOffsets[0] + 8, 0); }, true,
       ZipCorrupt, ZipCorrupt},
      {"method 12 (bzip2)", [](TestZip& z) {
         Put16(z.Bytes, z.LocalOffsets[0] + 8, 12);
         Put16(z.Bytes, z.CentralOffsets[0] + 10, 12);
       }, true, ZipCorrupt, ZipCorrupt},
      {"local name length differs", [](TestZip& z) { Put16(z.Bytes, z.LocalOffsets[0] + 26, 2); },
       true, ZipCorrupt, ZipCorrupt},
      {"local CRC differs", [](TestZip& z) { z.Bytes[z.LocalOffsets[0] + 14] ^= 1; }, true,
       ZipCorrupt, ZipCorrupt},
      {"local extra field runs past the end",
       [](TestZip& z) { Put16(z.Bytes, z.LocalOffsets[0] + 28, 0xFFFF); }, true, ZipReadFailed,
       ZipFlate},
      {"central name of 300 bytes", [](TestZip& z) { Put16(z.Bytes, z.CentralOffsets[0] + 28, 300); },
       true, ZipCorrupt, ZipCorrupt},
      {"more entries claimed than recorded", [](TestZip& z) {
         Put16(z.Bytes, z.EndOffset + 8, 0xFFFF);
         Put16(z.Bytes, z.EndOffset + 10, 0xFFFF);
       }, true, ZipOk, ZipOk},
  };
  for (const Case& c : cases) {
    TestZip zip = BuildZip({Entry("first.txt", PatternText(5000)), Entry("second.txt", "two")});
    c.Damage(zip);
    OpenZip z(zip.Bytes);
    EXPECT_EQ(c.Opens, z.Handle != nullptr) << c.What;
    if (!z.Handle) {
      EXPECT_EQ("Couldn't create/open file", RecentText()) << c.What;
      continue;
    }
    ZipEntryInfo info;
    EXPECT_EQ(c.Info, ZipGetEntry(z.Handle, 0, &info)) << c.What;
    if (c.Info != ZipOk) {
      EXPECT_STREQ("", info.Name) << c.What;
    }
    std::string first;
    EXPECT_EQ(c.Memory, ExtractAll(z.Handle, 0, 1000, &first)) << c.What;
    // Whatever the damage, nothing below may crash, hang or succeed wrongly.
    ZipGetEntry(z.Handle, -1, &info);
    int count = info.Index;
    for (int i : {0, 1, 2, count - 1, count}) {
      std::string out;
      ZipGetEntry(z.Handle, i, &info);
      ZipResult r = ExtractAll(z.Handle, i, 1000, &out);
      if (i >= 2) {
        EXPECT_NE(ZipOk, r) << c.What << " entry " << i;
      }
    }
    int index = 0;
    EXPECT_EQ(ZipNotFound, ZipFindEntry(z.Handle, "missing", true, &index, nullptr)) << c.What;
  }
}

TEST(ZipReader, TruncatedArchivesOpenOnlyWithTheirEndRecord) {
  std::string comment = "catalogue comment";
  TestZip zip = BuildZip({Entry("a.xml", PatternText(3000)), Entry("b/", "", 0)}, comment);
  for (size_t length = 0; length < zip.Bytes.size(); ++length) {
    ZipHandle z = ZipOpenMemory(zip.Bytes.data(), static_cast<unsigned>(length), nullptr);
    EXPECT_EQ(length >= zip.EndOffset + 22, z != nullptr) << length;
    if (z) ZipClose(z);
  }
}

TEST(ZipReader, EndRecordIsFoundBehindTheLongestComment) {
  for (size_t commentLength : {0u, 1000u, 1024u, 1025u, 4096u, 65513u}) {
    std::string comment(commentLength, 'c');
    TestZip zip = BuildZip({Entry("x", "data")}, "");
    Put16(zip.Bytes, zip.EndOffset + 20, static_cast<uint16_t>(commentLength));
    zip.Bytes += comment;
    OpenZip z(zip.Bytes);
    ASSERT_TRUE(z.Handle) << commentLength;
    std::string out;
    EXPECT_EQ(ZipOk, ExtractAll(z.Handle, 0, 100, &out));
    EXPECT_EQ("data", out);
  }
  // One byte further and the end record is out of reach.
  TestZip zip = BuildZip({Entry("x", "data")}, "");
  zip.Bytes += std::string(65514, 'c');
  OpenZip z(zip.Bytes);
  EXPECT_FALSE(z.Handle);
}

TEST(ZipReader, PrefixedArchiveReadsDataAndExtraAtShiftedPlaces) {
  TestEntry e = Entry("stamped", "payload", 0);
  e.LocalExtra = UtExtra(1, {1600000000});
  TestZip zip = BuildZip({e}, "", std::string(5000, 'M'));
  OpenZip z(zip.Bytes);
  ASSERT_TRUE(z.Handle);
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 0, &info));
  EXPECT_EQ(UnixTicks(1600000000), Ticks(info.ModificationTime));
  std::string out;
  EXPECT_EQ(ZipOk, ExtractAll(z.Handle, 0, 100, &out));
  EXPECT_EQ("payload", out);
}

}  // namespace
