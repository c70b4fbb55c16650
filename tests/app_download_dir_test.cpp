// ResolveDownloadDir against the real registry of the test's Wine prefix:
// the user's "Desktop" shell folder gives the sibling "Downloads", anything
// unusable gives "C:\Downloads". The registry value is put back afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "app_servers_helper.h"
#include "platform/win32_handles.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Saves the "Desktop" value on construction and restores it (or its absence)
// on destruction.
class TDesktopValue {
 public:
  TDesktopValue() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS)
      Key.Reset(key);
    DWORD size = 0;
    if (RegQueryValueExA(Key.Get(), "Desktop", nullptr, &Type, nullptr, &size) == ERROR_SUCCESS) {
      Saved.resize(size);
      HadValue = RegQueryValueExA(Key.Get(), "Desktop", nullptr, &Type,
                                  reinterpret_cast<BYTE*>(&Saved[0]), &size) == ERROR_SUCCESS;
    }
  }
  ~TDesktopValue() {
    if (HadValue) {
      RegSetValueExA(Key.Get(), "Desktop", 0, Type, reinterpret_cast<const BYTE*>(Saved.data()),
                     static_cast<DWORD>(Saved.size()));
    } else {
      RegDeleteValueA(Key.Get(), "Desktop");
    }
  }
  // Unterminated: stored as a careless writer might leave it.
  void Set(const std::string& value, bool terminated = true) {
    RegSetValueExA(Key.Get(), "Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + (terminated ? 1 : 0)));
  }
  void Remove() { RegDeleteValueA(Key.Get(), "Desktop"); }

 private:
  TRegKey Key;
  DWORD Type = REG_SZ;
  std::string Saved;
  bool HadValue = false;
};

// The sibling folder is made when only it is missing, and an existing one
// is kept; then the value read in every shape.
TEST(DownloadDir, FollowsTheDesktopFolder) {
  auto dialog = MakeDialog();
  TScratchDir profile;
  TDesktopValue desktop;
  desktop.Set(profile.Path() + "\\Desktop");
  dialog->ResolveDownloadDir();
  EXPECT_EQ(profile.Path() + "\\Downloads", std::string(dialog->DownloadDir));
  DWORD attributes = GetFileAttributesA((profile.Path() + "\\Downloads").c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  WriteFileBytes(profile.File("Downloads\\kept.exe"), "kept");
  dialog->ResolveDownloadDir();
  EXPECT_EQ("kept", ReadFileBytes(profile.File("Downloads\\kept.exe")));
  // Two missing levels: only one would be made, so nothing is.
  desktop.Set(profile.Path() + "\\missing\\Desktop");
  dialog->ResolveDownloadDir();
  EXPECT_FALSE(FileExists(profile.File("missing")));
  struct Case {
    std::string value;  // empty: no value at all
    bool raw;           // stored without terminator
    std::string expected;
  } cases[] = {
      {profile.Path() + "\\Desktop", false, profile.Path() + "\\Downloads"},
      {"D:\\Profiles\\ann\\Desktop", false, "D:\\Profiles\\ann\\Downloads"},
      {"C:\\Desktop\\", false, "C:\\Desktop\\Downloads"},
      {"", false, "C:\\Downloads"},
      {"Desktop", false, "C:\\Downloads"},              // no backslash
      {"C:\\" + std::string(242, 'a') + "\\Desktop", false, "C:\\" + std::string(242, 'a') + "\\Downloads"},  // 255 characters
      {"C:\\" + std::string(243, 'a') + "\\Desktop", false, "C:\\Downloads"},  // sibling won't fit
      {"C:\\" + std::string(300, 'a') + "\\Desktop", false, "C:\\Downloads"},  // over 256 bytes
      {"C:\\x\\" + std::string(251, 'b'), true, "C:\\Downloads"},             // 256, unterminated
      {"C:\\x\\Desk", true, "C:\\x\\Downloads"},
  };
  for (const Case& c : cases) {
    if (c.value.empty()) {
      desktop.Remove();
    } else {
      desktop.Set(c.value, !c.raw);
    }
    memset(dialog->DownloadDir, 'z', sizeof(dialog->DownloadDir));
    dialog->ResolveDownloadDir();
    EXPECT_EQ(c.expected, std::string(dialog->DownloadDir)) << c.value;
  }
}

}  // namespace
