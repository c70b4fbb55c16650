// The highest accepted catalogue serial in the registry: it only goes up,
// and anything unreadable counts as 0. The tests keep their value under the
// current user, in a key of their own that they remove again.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/catalogue_serial_store.h"

namespace {

const char kTestKey[] = "Software\\InstallZelmTests\\SerialStore";

class SerialStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey); }

  // Writes the value as another program (or an attacker with the rights)
  // might have left it.
  void Plant(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, kSerialStoreValue, 0, type,
                                            static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }

  // The stored text and its type, as the registry has it.
  std::string Stored(DWORD* type = nullptr) {
    char text[64] = {};
    DWORD size = sizeof(text) - 1;
    DWORD kind = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "(no key)";
    LONG result = RegQueryValueExA(key, kSerialStoreValue, nullptr, &kind, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (type) *type = kind;
    return result == ERROR_SUCCESS ? std::string(text) : "(no value)";
  }

  TCatalogueSerialStore Store{HKEY_CURRENT_USER, kTestKey};
};

TEST_F(SerialStoreTest, OnlyEverGoesUp) {
  EXPECT_EQ(0u, Store.Load());  // no key yet
  Plant(REG_SZ, "1234", 4);     // text without its terminator
  EXPECT_EQ(1234u, Store.Load());
  RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);  // the first Keep makes the key
  struct Step {
    uint64_t Keep;
    uint64_t After;
  } steps[] = {
      {1796739649, 1796739649},
      {1796739600, 1796739649},  // lower: the higher one stays
      {1796739649, 1796739649},  // the same again
      {1796739650, 1796739650},
      {0, 1796739650},
      {9223372036854775807ULL, 9223372036854775807ULL},
      {5, 9223372036854775807ULL},
  };
  for (const Step& s : steps) {
    EXPECT_TRUE(Store.Keep(s.Keep)) << s.Keep;
    EXPECT_EQ(s.After, Store.Load()) << s.Keep;
    // A fresh object sees the same: the value is in the registry, not here.
    EXPECT_EQ(s.After, TCatalogueSerialStore(HKEY_CURRENT_USER, kTestKey).Load());
  }
  DWORD type = 0;
  EXPECT_EQ("9223372036854775807", Stored(&type));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

TEST_F(SerialStoreTest, UnreadableStateCountsAsZeroAndIsReplaced) {
  const DWORD number = 900;
  struct Case {
    const char* Why;
    DWORD Type;
    std::string Data;
  } cases[] = {
      {"a number as REG_DWORD", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)},
      {"expandable text", REG_EXPAND_SZ, std::string("900", 4)},
      {"letters", REG_SZ, std::string("nine", 5)},
      {"a sign", REG_SZ, std::string("-900", 5)},
      {"blanks", REG_SZ, std::string(" 900", 5)},
      {"beyond 2^63-1", REG_SZ, std::string("9223372036854775808", 20)},
      {"longer than any serial", REG_SZ, std::string(40, '9') + '\0'},
      {"empty", REG_SZ, std::string("", 1)},
  };
  for (const Case& c : cases) {
    Plant(c.Type, c.Data.data(), static_cast<DWORD>(c.Data.size()));
    EXPECT_EQ(0u, Store.Load()) << c.Why;
    EXPECT_TRUE(Store.Keep(7)) << c.Why;
    EXPECT_EQ("7", Stored()) << c.Why;
  }
}

TEST_F(SerialStoreTest, AFailedWriteIsReportedNotFatal) {
  // A handle that is no key: nothing can be read or written under it.
  TCatalogueSerialStore broken(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654)), kTestKey);
  EXPECT_EQ(0u, broken.Load());
  EXPECT_FALSE(broken.Keep(5));
}

}  // namespace
