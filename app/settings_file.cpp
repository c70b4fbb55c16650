#include "app/settings_file.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/win32_handles.h"

void FlushSettingsFile() {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, kSettingsFile);
}

bool ReadDekValue(const char* key, char* value) {
  DWORD length = GetPrivateProfileStringA(kDekSection, key, "", value, kDekValueSize, kSettingsFileUpper);
  if (length == 0) return false;
  if (length >= kDekValueSize - 1) {
    // The function cuts a long value to fit and says so only by filling the
    // buffer; look again with room to spare to tell 255 characters from more.
    char probe[kDekValueSize + 2];
    if (GetPrivateProfileStringA(kDekSection, key, "", probe, sizeof probe, kSettingsFileUpper) >=
        kDekValueSize) {
      value[0] = '\0';
      return false;
    }
  }
  return true;
}

bool IsDekRecorded(const char* name) {
  char value[kDekValueSize] = "";
  if (!ReadDekValue(name, value)) return false;
  // Access 0 asks only for the attributes: the file may be in use.
  TKernelHandle file(CreateFileA(value, 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsOpen();
}

std::vector<std::string> ReadDekKeys() {
  std::unique_ptr<char[]> list(new char[kDekKeyListSize]);
  DWORD length = GetPrivateProfileStringA(kDekSection, nullptr, "", list.get(), kDekKeyListSize,
                                          kSettingsFileUpper);
  std::vector<std::string> keys;
  DWORD pos = 0;
  while (pos < length && pos < kDekKeyListSize) {
    const char* key = list.get() + pos;
    size_t keyLength = strnlen(key, kDekKeyListSize - pos);
    keys.emplace_back(key, keyLength);
    pos += static_cast<DWORD>(keyLength) + 1;
  }
  return keys;
}

void RemoveDekRecord(const char* key) {
  WritePrivateProfileStringA(kDekSection, key, nullptr, kSettingsFileUpper);
}
