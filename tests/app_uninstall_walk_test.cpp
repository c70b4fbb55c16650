// The uninstall run and the settings-file helpers against the real
// "qmtz.ini" in the Windows directory (saved and restored around each test).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/uninstall_walk.h"
#include "support/fake_run_host.h"
#include "app/settings_file.h"
#include "markup/markup.h"
#include "support/node_builder.h"
#include "support/test_files.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    Ini = std::string(dir) + "\\qmtz.ini";
    HadIni = FileExists(Ini);
    if (HadIni) Saved = ReadFileBytes(Ini);
  }
  void TearDown() override {
    FlushSettingsFile();
    if (HadIni) WriteFileBytes(Ini, Saved); else DeleteFileA(Ini.c_str());
    FlushSettingsFile();
  }
  // Writes the settings file; every "%F" in it becomes the test folder.
  void SetIni(std::string text) {
    for (size_t at; (at = text.find("%F")) != std::string::npos;)
      text.replace(at, 2, Folder.Path());
    FlushSettingsFile();
    WriteFileBytes(Ini, text);
    FlushSettingsFile();
  }
  std::string Touch(const std::string& name) {
    std::string path = Folder.File(name);
    WriteFileBytes(path, "x");
    return path;
  }

  std::string Ini, Saved;
  TScratchDir Folder{"uninstall test"};  // a space in the paths of the records
  bool HadIni = false;
  TXmlTreeNode Doc{nullptr, true};
  TFakeRunHost Host;
};

// A record counts when it names an existing file; a path too long for the
// value's buffer is refused, never cut.
TEST_F(SettingsTest, RecordsNeedAnExistingFileAndAPathThatFits) {
  Touch("there.dek");
  std::string longPath = Folder.File(std::string(300, 'x'));
  std::string exact = "C:\\" + std::string(252, 'a');  // 255 characters: fits
  SetIni("[Dek Files]\r\n甲=%F\\there.dek\r\n乙=%F\\gone.dek\r\n丙=\r\n丁=" + longPath + "\r\n"
         "fits=" + exact + "\r\nlong=" + exact + "b\r\n[Other]\r\n戊=%F\\there.dek\r\n");
  const struct { const char* name; bool recorded; } cases[] = {
      {"甲", true}, {"乙", false}, {"丙", false}, {"丁", false}, {"戊", false}, {"己", false}};
  for (const auto& c : cases) EXPECT_EQ(IsDekRecorded(c.name), c.recorded) << c.name;
  char value[kDekValueSize];
  EXPECT_TRUE(ReadDekValue("fits", value));
  EXPECT_EQ(std::string(value), exact);
  EXPECT_FALSE(ReadDekValue("long", value));
  EXPECT_STREQ(value, "");
}

// A record is kept when a chosen quota library bears its name, compared as
// the settings file compares keys: without regard to case.
TEST_F(SettingsTest, UninstallKeepsExactlyTheChosenQuotaLibraries) {
  std::string keep = Touch("keep.dek"), tool = Touch("tool.dek");
  std::string partly = Touch("partly.dek"), other = Touch("other.dek");
  SetIni("[Dek Files]\r\n"
         "KEEP=%F\\keep.dek\r\n"     // chosen Dek (no fileName needed)
         "工具=%F\\tool.dek\r\n"     // a chosen non-Dek does not protect
         "部分=%F\\partly.dek\r\n"   // state 3 is not chosen
         "空=\r\n"                   // empty value: logged, kept
         "丢失=%F\\missing.dek\r\n"  // missing file: record removed anyway
         "其他=%F\\other.dek\r\n"
         "[Other]\r\nx=1\r\n");
  TXmlTreeNode* group = AddNode(&Doc, "Group", {{"name", "组"}, {"state", "2"}});
  AddNode(group, "Dek", {{"name", "Keep"}, {"state", " 2"}});
  AddNode(group, "Tool", {{"name", "工具"}, {"state", "2"}});
  AddNode(group, "Dek", {{"name", "部分"}, {"state", "3"}});
  AddNode(group, "Dek", {{"name", "其他"}, {"state", "1"}});
  UninstallUnselected(Doc, Host);
  FlushSettingsFile();
  // Each line is on screen when the queue drains after it.
  std::string lines;
  std::vector<std::string> atPump;
  for (const char* key : {"工具", "部分", "空", "丢失", "其他"})
    atPump.push_back(lines += std::string("卸载: ") + key + "...\r\n");
  EXPECT_EQ(Host.Appended, lines);
  EXPECT_EQ(Host.ShownAtPump, atPump);
  EXPECT_EQ(ReadDekKeys(), (std::vector<std::string>{"KEEP", "空"}));
  EXPECT_TRUE(FileExists(keep));
  EXPECT_FALSE(FileExists(tool));
  EXPECT_FALSE(FileExists(partly));
  EXPECT_FALSE(FileExists(other));
  char value[kDekValueSize];
  GetPrivateProfileStringA("Other", "x", "", value, sizeof value, "qmtz.ini");
  EXPECT_STREQ(value, "1");
}

// The settings file finds "DEK-A" and "dek-a" to be one record, so the
// keep set does too. Letters are compared as characters of the system code
// page: the second byte of a GBK character may be an ASCII letter's byte
// (0x81 0x41 and 0x81 0x61 are two different characters) and is never folded
// on its own.
TEST(KeepSetTest, NamesMatchIgnoringCaseByCharacters) {
  const struct {
    const char* chosen;
    const char* key;
    bool kept;
  } cases[] = {
      {"dek-a", "DEK-A", true},
      {"Beijing-B", "beijing-b", true},
      {"北京定额2008", "北京定额2008", true},
      {"定额ABC", "定额abc", true},
      {"\x81\x41", "\x81\x41", true},
      {"\x81\x41", "\x81\x61", false},      // two GBK characters, trail bytes 'A' and 'a'
      {"\x81\x5A\x81\x41", "\x81\x7A\x81\x61", false},
      {"dek-a", "deka", false},
      {"dek-a", "dek_a", false},
      {"dek-a", "dek-a ", false},
      {"dek", "dek-a", false},
      {"", "x", false},
  };
  for (const auto& c : cases) {
    TXmlTreeNode doc(nullptr, true);
    AddNode(&doc, "Dek", {{"name", c.chosen}, {"state", "2"}});
    std::vector<std::string> removed = KeysToRemove(doc, {c.key});
    EXPECT_EQ(c.kept, removed.empty()) << c.chosen << " / " << c.key;
  }
}

// Without a catalogue nothing is chosen, and removing "everything not
// chosen" would remove every library: the run removes nothing and says why.
TEST_F(SettingsTest, WithoutACatalogueNothingIsRemoved) {
  std::string a = Touch("a.dek"), b = Touch("b.dek");
  SetIni("[Dek Files]\r\na=%F\\a.dek\r\nb=%F\\b.dek\r\n");
  TXmlTreeNode onlyVersion(nullptr, true);
  AddNode(&onlyVersion, "Version", {{"name", "1.0"}, {"state", "2"}});
  for (TXmlTreeNode* catalogue : {&Doc, &onlyVersion}) {  // none fetched; an empty tree
    Host.Appended.clear();
    UninstallUnselected(*catalogue, Host);
    EXPECT_EQ(Host.Appended, "未取得配置文件，没有卸载任何定额库。\r\n");
    EXPECT_EQ(Host.Shown, Host.Appended);
  }
  FlushSettingsFile();
  EXPECT_EQ(ReadDekKeys(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(FileExists(a));
  EXPECT_TRUE(FileExists(b));
  EXPECT_EQ(Host.Pumps, 0);
}

TEST_F(SettingsTest, NoSettingsFileOrSectionDoesNothing) {
  AddNode(&Doc, "Dek", {{"name", "未选"}});
  SetIni("[Other]\r\nx=1\r\n");
  UninstallUnselected(Doc, Host);
  FlushSettingsFile();
  DeleteFileA(Ini.c_str());
  FlushSettingsFile();
  UninstallUnselected(Doc, Host);
  EXPECT_EQ(Host.Appended, "");
  EXPECT_EQ(Host.Pumps, 0);
}

// A record whose path does not fit is neither deleted nor forgotten, and a
// window closed during a pump stops the run after the record in hand.
TEST_F(SettingsTest, TooLongPathIsKeptAndAClosedWindowStopsAfterTheRecordInHand) {
  std::string shortened = Touch(std::string(250 - Folder.Path().size(), 'p'));
  ASSERT_EQ(shortened.size(), 251u);
  // The record names a longer file whose first 255 characters name an
  // existing one: deleting the cut path would hit the wrong file.
  SetIni("[Dek Files]\r\nlong=" + shortened + std::string(10, 'q') + "\r\n"
         "a=%F\\a.dek\r\nb=%F\\b.dek\r\nc=%F\\c.dek\r\n");
  Host.StopAtPump = 2;
  AddNode(&Doc, "Dek", {{"name", "未选"}});
  UninstallUnselected(Doc, Host);
  EXPECT_EQ(Host.Appended, "卸载: long...\r\n卸载: a...\r\n");
  EXPECT_TRUE(FileExists(shortened));
  EXPECT_EQ(ReadDekKeys(), (std::vector<std::string>{"long", "b", "c"}));
}

TEST_F(SettingsTest, KeyListStopsAtItsBufferWithoutOverrun) {
  // About 150,000 bytes of key names: more than the list holds.
  std::string text = "[Dek Files]\r\n";
  for (int i = 0; i < 10000; ++i) text += "key-number-" + std::to_string(100000 + i) + "=\r\n";
  SetIni(text);
  std::vector<std::string> keys = ReadDekKeys();
  ASSERT_GT(keys.size(), 5000u);
  EXPECT_LT(keys.size(), 10000u);
  size_t total = 0;
  for (auto& k : keys) total += k.size() + 1;
  EXPECT_LE(total, kDekKeyListSize);
  EXPECT_EQ(keys[0], "key-number-100000");
}

}  // namespace
