// The download folder: the sibling "Downloads" of the user's desktop folder,
// as the registry names it, else C:\Downloads.
#include <windows.h>

#include <cstring>

#include "app/main_dialog.h"
#include "platform/win32_handles.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kFallbackDownloadDir[] = "C:\\Downloads";
const char kDownloadsLeaf[] = "\\Downloads";

// Reads a string value into a path buffer. False, with the buffer emptied,
// when the value is missing or does not fit with its terminator.
bool QueryPathValue(HKEY key, const char* name, TPathBuffer& buffer) {
  DWORD size = sizeof(buffer);
  buffer[0] = 0;
  if (!key || RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size) != ERROR_SUCCESS) {
    buffer[0] = 0;
    return false;
  }
  // A value stored without its terminator must not run past the buffer.
  if (size >= sizeof(buffer) && memchr(buffer, 0, sizeof(buffer)) == nullptr) {
    buffer[0] = 0;
    return false;
  }
  if (size < sizeof(buffer)) buffer[size] = 0;
  return true;
}

}  // namespace

void TInstallZelmDlgClient::ResolveDownloadDir() {
  // Opened for reading, and made when missing, as the shell itself would.
  TRegKey key;
  HKEY opened = nullptr;
  DWORD disposition;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ, nullptr, &opened,
                      &disposition) == ERROR_SUCCESS) {
    key.Reset(opened);
  }
  QueryPathValue(key.Get(), "Desktop", DownloadDir);
  // The folder is the desktop's sibling "Downloads". A desktop path so long
  // that the sibling's name would not fit gets the fallback folder instead.
  char* slash = strrchr(DownloadDir, '\\');
  if (slash && static_cast<size_t>(slash - DownloadDir) + sizeof(kDownloadsLeaf) <= sizeof(DownloadDir)) {
    strcpy(slash, kDownloadsLeaf);
  } else {
    strcpy(DownloadDir, kFallbackDownloadDir);
  }
  // One level only, result ignored: an existing folder is fine, and one that
  // cannot be made shows up as failed downloads.
  CreateDirectoryA(DownloadDir, nullptr);
}
