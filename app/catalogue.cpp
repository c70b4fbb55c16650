#include "app/catalogue.h"

#include <windows.h>

#include <cstring>

#include "app/support_log.h"
#include "markup/integer_text.h"
#include "markup/markup.h"

bool AppendPath(TPathBuffer& buffer, const char* text) {
  size_t used = strnlen(buffer, kPathSize - 1);
  size_t add = strlen(text);
  if (used + add >= kPathSize) return false;
  memcpy(buffer + used, text, add + 1);
  return true;
}

bool JoinPath(TPathBuffer& path, const char* folder, const char* name) {
  path[0] = 0;
  if (AppendPath(path, folder) && AppendPath(path, "\\") && AppendPath(path, name)) return true;
  path[0] = 0;
  return false;
}

namespace {

bool IsForbiddenInName(unsigned char c) { return c < 32 || strchr("\\/:*?\"<>|", c) != nullptr; }

// Device names that Windows opens instead of a file of that name, whatever
// the extension: "nul.exe" is the null device.
bool IsDeviceName(const char* name) {
  size_t stem = strcspn(name, ".");
  while (stem > 0 && name[stem - 1] == ' ') --stem;  // "CON .txt" is CON too
  char upper[5] = {};
  if (stem < 3 || stem > 4) return false;
  for (size_t i = 0; i < stem; ++i) {
    char c = name[i];
    upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : kDevices)
    if (strcmp(upper, device) == 0) return true;
  return stem == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

bool IsSupportLogName(const char* name) {
  return lstrcmpiA(name, kSupportLogName) == 0 || lstrcmpiA(name, kSupportLogOldName) == 0;
}

bool IsBareFileName(const char* name) {
  if (!name || !*name || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
  const char* last = name;
  for (const char* p = name; *p; p = CharNextA(p)) {
    last = p;
    // The trail byte of a double-byte character is part of the character.
    if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
      if (!p[1]) return false;  // a lead byte with nothing after it
      continue;
    }
    if (IsForbiddenInName(static_cast<unsigned char>(*p))) return false;
  }
  if (*last == '.' || *last == ' ') return false;
  return !IsDeviceName(name) && !IsSupportLogName(name);
}

int ReadInteger(const char* text) { return ReadIntegerText(text); }

bool IsChosen(const TXmlTreeNode& element) {
  return ReadInteger(element.GetAttribute(kAttrState)) == 2;
}
