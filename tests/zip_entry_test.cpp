// Entry information from archives made by the test writer, handle checks and result texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_times.h"
#include "zip/unzip.h"
#include "zip_test_support.h"

namespace {

// Every entry's information, in order; fails fatally when one cannot be read.
void ReadEntries(const std::vector<TestEntry>& entries, std::vector<ZipEntryInfo>* infos) {
  TestZip zip = BuildZip(entries);
  OpenZip z(zip.Bytes);
  for (size_t i = 0; i < entries.size(); ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, static_cast<int>(i), &info)) << entries[i].Name;
    infos->push_back(info);
  }
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
  ZipEntryInfo info;
  for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, i, &info));
    EXPECT_STREQ(cases[i].Cleaned, info.Name) << cases[i].Stored;
    int index = -1;
    EXPECT_EQ(ZipOk, ZipFindEntry(z.Handle, cases[i].Stored, false, &index, nullptr));
    EXPECT_EQ(i, index) << cases[i].Stored;
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
  TScratchDir folder("longname");
  EXPECT_EQ(ZipCorrupt, ZipExtractToFile(z.Handle, 1, folder.File("x").c_str()));
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
  std::vector<ZipEntryInfo> infos;
  ASSERT_NO_FATAL_FAILURE(ReadEntries(entries, &infos));
  for (size_t i = 0; i < infos.size(); ++i)
    EXPECT_EQ(cases[i].Attributes, infos[i].Attributes) << i;
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
  std::vector<ZipEntryInfo> infos;
  ASSERT_NO_FATAL_FAILURE(ReadEntries(entries, &infos));
  // The first case has no extra block: every time it gives is the DOS time.
  ASSERT_EQ("2020-06-15 12:34:56.000", LocalTimeText(infos[0].CreationTime));
  const int64_t dos = Ticks(infos[0].CreationTime);
  auto expect = [&](int64_t seconds) { return seconds ? UnixTicks(seconds) : dos; };
  for (size_t i = 0; i < infos.size(); ++i) {
    EXPECT_EQ(expect(cases[i].Modification), Ticks(infos[i].ModificationTime)) << cases[i].What;
    EXPECT_EQ(expect(cases[i].Access), Ticks(infos[i].AccessTime)) << cases[i].What;
    EXPECT_EQ(expect(cases[i].Creation), Ticks(infos[i].CreationTime)) << cases[i].What;
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
    EXPECT_EQ(h ? "Caller: mixing creation and opening of zip" : "Caller: faulty arguments",
              RecentText());
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
