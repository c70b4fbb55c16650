// The zip reader on archives made by the test writer: listing, finding,
// piecewise extraction, encryption, names, attributes, times, result codes,
// and archives whose records lie.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "zip/unzip.h"
#include "zip_test_support.h"

namespace {

const int64_t kUnixEpochTicks = 116444736000000000LL;

int64_t Ticks(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

int64_t UnixTicks(int64_t seconds) { return seconds * 10000000 + kUnixEpochTicks; }

// Closes the archive at the end of a test.
struct OpenZip {
  explicit OpenZip(const std::string& bytes, const char* password = nullptr)
      : Handle(ZipOpenMemory(bytes.data(), static_cast<unsigned>(bytes.size()), password)) {}
  ~OpenZip() {
    if (Handle) ZipClose(Handle);
  }
  ZipHandle Handle;
};

std::string RecentText() {
  char text[128];
  ZipResultText(ZipRecent, text, sizeof text);
  return text;
}

TestEntry Entry(const std::string& name, const std::string& data, uint16_t method = 8) {
  TestEntry e;
  e.Name = name;
  e.Data = data;
  e.Method = method;
  return e;
}

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

  std::string folder = ScratchFolder("crc");
  HANDLE h = CreateFileA((folder + "handle.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(ZipCorrupt, ZipExtractToHandle(z.Handle, 0, h));
  CloseHandle(h);
  EXPECT_EQ(ZipCorrupt, ZipExtractToFile(z.Handle, 0, (folder + "file.bin").c_str()));
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

TEST(ZipReader, EmptyArchive) {
  TestZip zip = BuildZip({});
  OpenZip z(zip.Bytes);
  ASSERT_TRUE(z.Handle);
  ZipEntryInfo info;
  EXPECT_EQ(ZipOk, ZipGetEntry(z.Handle, -1, &info));
  EXPECT_EQ(0, info.Index);
  EXPECT_EQ(ZipBadArguments, ZipGetEntry(z.Handle, 0, &info));
  EXPECT_EQ(ZipBadArguments, ZipGetEntry(z.Handle, -2, &info));
  int index = 5;
  EXPECT_EQ(ZipNotFound, ZipFindEntry(z.Handle, "x", true, &index, &info));
  EXPECT_EQ(-1, index);
  EXPECT_EQ(-1, info.Index);
  char buffer[4];
  EXPECT_EQ(ZipBadArguments, ZipExtractToMemory(z.Handle, 0, buffer, sizeof buffer));
}

TEST(ZipReader, NamesAreCleanedButFoundAsStored) {
  const struct {
    const char* Stored;
    const char* Cleaned;
  } cases[] = {
      {"C:\\a\\b.txt", "a\\b.txt"}, {"/etc/x", "etc/x"},       {"a/../../b", "b"},
      {"../x", "x"},                {"..\\..\\y", "y"},        {"d:/../z", "z"},
      {"a\\..\\b", "b"},            {"\\\\srv\\share\\f", "srv\\share\\f"},
      {"a\\../b/..\\c", "c"},       {"ok/../", ""},            {"plain/name.txt", "plain/name.txt"},
      {"..x/y", "..x/y"},
  };
  std::vector<TestEntry> entries;
  for (const auto& c : cases) entries.push_back(Entry(c.Stored, "x"));
  TestZip zip = BuildZip(entries);
  OpenZip z(zip.Bytes);
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, static_cast<int>(i), &info));
    EXPECT_STREQ(cases[i].Cleaned, info.Name) << cases[i].Stored;
    int index = -1;
    EXPECT_EQ(ZipOk, ZipFindEntry(z.Handle, cases[i].Stored, false, &index, nullptr));
    EXPECT_EQ(static_cast<int>(i), index) << cases[i].Stored;
  }
}

TEST(ZipReader, FindEntryFoldsOnlyAsciiLetters) {
  TestZip zip = BuildZip({Entry("dir/InstallFiles.xml", "a"), Entry("\xc4\xe3\xba\xc3.txt", "b"),
                          Entry("InstallFiles.xml", "c")});
  OpenZip z(zip.Bytes);
  const struct {
    const char* Name;
    bool IgnoreCase;
    int Index;
  } cases[] = {
      {"InstallFiles.xml", false, 2},  {"installfiles.XML", true, 2},
      {"installfiles.XML", false, -1}, {"DIR/installfiles.xml", true, 0},
      {"\xc4\xe3\xba\xc3.TXT", true, 1}, {"\xe4\xe3\xba\xc3.txt", true, -1},
      {"InstallFiles", true, -1},      {"InstallFiles.xml2", true, -1},
      {"", true, -1},
  };
  for (const auto& c : cases) {
    int index = 99;
    ZipEntryInfo info;
    ZipResult r = ZipFindEntry(z.Handle, c.Name, c.IgnoreCase, &index, &info);
    EXPECT_EQ(c.Index, index) << c.Name;
    EXPECT_EQ(c.Index < 0 ? ZipNotFound : ZipOk, r) << c.Name;
    EXPECT_EQ(c.Index, info.Index) << c.Name;
  }
  std::string longName(256, 'a');
  int index = 0;
  EXPECT_EQ(ZipNotFound, ZipFindEntry(z.Handle, longName.c_str(), true, &index, nullptr));
}

// A find starts from the current record: while that one could not be read,
// nothing is found; reaching a readable entry again makes finds work.
TEST(ZipReader, FindEntryFindsNothingFromAnUnreadableRecord) {
  TestZip zip = BuildZip({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")});
  zip.Bytes[zip.CentralOffsets[1] + 3] = 9;
  OpenZip z(zip.Bytes);
  ZipEntryInfo info;
  int index = 7;
  ASSERT_EQ(ZipOk, ZipFindEntry(z.Handle, "a", false, &index, &info));
  EXPECT_EQ(0, index);
  ASSERT_EQ(ZipCorrupt, ZipGetEntry(z.Handle, 1, &info));
  EXPECT_EQ(ZipNotFound, ZipFindEntry(z.Handle, "a", false, &index, &info));
  EXPECT_EQ(-1, index);
  EXPECT_EQ(-1, info.Index);
  // (The information on entry 0 would come from the cache; extracting walks.)
  char data[4];
  ASSERT_EQ(ZipOk, ZipExtractToMemory(z.Handle, 0, data, sizeof data));
  EXPECT_EQ(ZipOk, ZipFindEntry(z.Handle, "a", false, &index, nullptr));
  EXPECT_EQ(0, index);
  // Entries behind the broken record stay out of reach.
  EXPECT_EQ(ZipNotFound, ZipFindEntry(z.Handle, "c", false, &index, nullptr));
}

TEST(ZipReader, NamesOf260BytesAreRefusedNotCut) {
  TestZip zip = BuildZip({Entry(std::string(259, 'n'), "ok"), Entry(std::string(260, 'n'), "x"),
                          Entry(std::string(1000, 'n'), "y"), Entry("after", "z")});
  OpenZip z(zip.Bytes);
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 0, &info));
  EXPECT_EQ(std::string(259, 'n'), info.Name);
  EXPECT_EQ(ZipCorrupt, ZipGetEntry(z.Handle, 1, &info));
  EXPECT_STREQ("", info.Name);
  EXPECT_EQ(ZipCorrupt, ZipGetEntry(z.Handle, 2, &info));
  EXPECT_STREQ("", info.Name);
  std::string folder = ScratchFolder("longname");
  EXPECT_EQ(ZipCorrupt, ZipExtractToFile(z.Handle, 1, (folder + "x").c_str()));
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 3, &info));
  EXPECT_STREQ("after", info.Name);
}

TEST(ZipReader, AttributesFollowTheHostSystem) {
  const struct {
    uint16_t MadeBy;
    uint32_t External;
    DWORD Attributes;
  } cases[] = {
      {0x0014, 0x21, 0x21},                  // DOS: read-only, archive
      {0x0014, 0x16, 0x16},                  // DOS: hidden, system, directory
      {0x0014, 0xC8, 0x00},                  // DOS: bits without a Win32 meaning dropped
      {0x0B14, 0x03, 0x03},                  // NTFS
      {0x0E14, 0x10, 0x10},                  // VFAT
      {0x0714, 0x01, 0x01},                  // Macintosh
      {0x031E, 0x81A40000, 0x20},            // Unix rw-r--r--
      {0x031E, 0x81240000, 0x21},            // Unix r--r--r--
      {0x031E, 0x41ED0010, 0x30},            // Unix directory; DOS bits ignored
      {0x031E, 0x81A40002, 0x20},            // Unix: DOS hidden bit ignored
      {0x0A14, 0x00000000, 0x21},            // other hosts read like Unix
  };
  std::vector<TestEntry> entries;
  for (const auto& c : cases) {
    TestEntry e = Entry("e" + std::to_string(entries.size()), "x");
    e.VersionMadeBy = c.MadeBy;
    e.ExternalAttributes = c.External;
    entries.push_back(e);
  }
  TestZip zip = BuildZip(entries);
  OpenZip z(zip.Bytes);
  for (size_t i = 0; i < entries.size(); ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, static_cast<int>(i), &info));
    EXPECT_EQ(cases[i].Attributes, info.Attributes) << i;
  }
}

// The DOS time is local time; the "UT" block gives UTC seconds.
TEST(ZipReader, TimesFromDosFieldsAndTheUtBlock) {
  const int32_t m = 1614834368, a = 1614834000, c = 1500000000;
  const struct {
    const char* What;
    std::string Extra;
    int64_t Modification, Access, Creation;  // 0: the DOS time
  } cases[] = {
      {"no extra", "", 0, 0, 0},
      {"modification only", UtExtra(1, {m}), m, 0, 0},
      {"all three", UtExtra(7, {m, a, c}), m, a, c},
      {"modification and creation", UtExtra(5, {m, c}), m, 0, c},
      {"access only", UtExtra(2, {a}), 0, a, 0},
      {"after another block", std::string("\x0a\x00\x04\x00zzzz", 8) + UtExtra(1, {m}), m, 0, 0},
      {"before 1970", UtExtra(1, {-86400}), -86400, 0, 0},
      {"block cut short", UtExtra(7, {m}), m, 0, 0},
      {"size that lies", std::string("UT\x40\x00\x01", 5), 0, 0, 0},
      {"only a tag", std::string("UT", 2), 0, 0, 0},
  };
  std::vector<TestEntry> entries;
  for (const auto& t : cases) {
    TestEntry e = Entry(t.What, "x");
    e.DosDate = (40 << 9) | (6 << 5) | 15;  // 2020-06-15
    e.DosTime = (12 << 11) | (34 << 5) | 28;  // 12:34:56
    e.LocalExtra = t.Extra;
    entries.push_back(e);
  }
  TestZip zip = BuildZip(entries);
  OpenZip z(zip.Bytes);
  for (size_t i = 0; i < entries.size(); ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, static_cast<int>(i), &info)) << cases[i].What;
    FILETIME local;
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToLocalFileTime(&info.CreationTime, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    int64_t dos = Ticks(info.CreationTime);
    if (cases[i].Creation == 0) {
      EXPECT_EQ(2020, st.wYear);
      EXPECT_EQ(6, st.wMonth);
      EXPECT_EQ(15, st.wDay);
      EXPECT_EQ(12, st.wHour);
      EXPECT_EQ(34, st.wMinute);
      EXPECT_EQ(56, st.wSecond);
    } else {
      EXPECT_EQ(UnixTicks(cases[i].Creation), dos) << cases[i].What;
      ZipEntryInfo plain;
      ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 0, &plain));
      dos = Ticks(plain.CreationTime);
    }
    auto expect = [&](int64_t seconds) { return seconds ? UnixTicks(seconds) : dos; };
    EXPECT_EQ(expect(cases[i].Modification), Ticks(info.ModificationTime)) << cases[i].What;
    EXPECT_EQ(expect(cases[i].Access), Ticks(info.AccessTime)) << cases[i].What;
  }
}

TEST(ZipReader, InformationIsCachedForTheLastEntry) {
  TestZip zip = BuildZip({Entry("first", "1"), Entry("second", "2")});
  OpenZip z(zip.Bytes);
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 1, &info));
  // The memory block is not copied: renaming the entry there shows whether
  // the second request went back to the archive.
  zip.Bytes[zip.CentralOffsets[1] + 46] = 'S';
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 1, &info));
  EXPECT_STREQ("second", info.Name);
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 0, &info));
  ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, 1, &info));
  EXPECT_STREQ("Second", info.Name);
}

TEST(ZipReader, HandleChecksAndTheMostRecentResult) {
  struct FakeRecord {
    DWORD Kind;
    void* Unzip;
  } fake = {2, nullptr};
  ZipHandle other = reinterpret_cast<ZipHandle>(&fake);
  ZipEntryInfo info;
  char buffer[8];
  int index;
  for (ZipHandle h : {static_cast<ZipHandle>(nullptr), other}) {
    ZipResult expected = h ? ZipModeMix : ZipBadArguments;
    EXPECT_EQ(expected, ZipGetEntry(h, 0, &info));
    EXPECT_EQ(expected, ZipFindEntry(h, "x", false, &index, &info));
    EXPECT_EQ(expected, ZipExtractToFile(h, 0, "x"));
    EXPECT_EQ(expected, ZipExtractToHandle(h, 0, INVALID_HANDLE_VALUE));
    EXPECT_EQ(expected, ZipExtractToMemory(h, 0, buffer, sizeof buffer));
    EXPECT_EQ(expected, ZipSetBaseFolder(h, "x"));
    EXPECT_EQ(expected, ZipClose(h));
    char text[64];
    ZipResultText(ZipRecent, text, sizeof text);
    EXPECT_STREQ(h ? "Caller: mixing creation and opening of zip" : "Caller: faulty arguments", text);
  }
  // A failed open leaves its reason; a success replaces it.
  EXPECT_FALSE(ZipOpenMemory("not a zip", 9, nullptr));
  EXPECT_EQ("Couldn't create/open file", RecentText());
  EXPECT_FALSE(ZipOpenFile("no such folder\\no such file.zip", nullptr));
  EXPECT_EQ("Couldn't create/open file", RecentText());
  TestZip zip = BuildZip({Entry("x", "y")});
  ZipHandle z = ZipOpenMemory(zip.Bytes.data(), static_cast<unsigned>(zip.Bytes.size()), nullptr);
  EXPECT_EQ("Success", RecentText());
  EXPECT_EQ(ZipBadArguments, ZipGetEntry(z, 1, &info));
  EXPECT_EQ(ZipBadArguments, ZipExtractToMemory(z, 0, nullptr, sizeof buffer));
  EXPECT_EQ(ZipBadArguments, ZipSetBaseFolder(z, std::string(259, 'f').c_str()));
  EXPECT_EQ(ZipOk, ZipSetBaseFolder(z, (std::string(258, 'f') + "\\").c_str()));
  EXPECT_EQ(ZipOk, ZipClose(z));
  EXPECT_EQ("Success", RecentText());
}

TEST(ZipReader, ResultTexts) {
  const struct {
    ZipResult Code;
    const char* Text;
  } cases[] = {
      {ZipOk, "Success"},
      {ZipNoDuplicate, "Culdn't duplicate handle"},
      {ZipMore, "Still more data to unzip"},
      {ZipFlate, "Zip-bug: an internal error during flation"},
      {ZipSeek, "Zip-bug: trying to seek the unseekable"},
      {ZipNotInitialised, "Zip-bug: internal initialisation not completed"},
      {0x12345, "unknown zip result code"},
      {0x900, "unknown zip result code"},
  };
  for (const auto& c : cases) {
    char text[128];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(strlen(c.Text), ZipResultText(c.Code, text, sizeof text));
    EXPECT_STREQ(c.Text, text);
  }
  char small[8];
  memset(small, 'x', sizeof small);
  EXPECT_EQ(7u, ZipResultText(ZipOk, small, 5));
  EXPECT_STREQ("Succ", small);
  EXPECT_EQ('x', small[5]);
  EXPECT_EQ(7u, ZipResultText(ZipOk, nullptr, 100));
  EXPECT_EQ(7u, ZipResultText(ZipOk, small, 0));
  EXPECT_EQ('S', small[0]);
  EXPECT_EQ(7u, ZipResultText(ZipOk, small, 1));
  EXPECT_EQ(0, small[0]);
}

}  // namespace
