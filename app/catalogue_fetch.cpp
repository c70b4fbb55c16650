// The download folder and the catalogue fetch of the main dialog.
#include "app/catalogue_fetch.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <fstream>

#include "app/base_urls.h"
#include "app/download.h"
#include "app/main_dialog.h"
#include "markup/markup.h"
#include "treeview/my_tree_wnd.h"
#include "zip/unzip.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kFallbackDownloadDir[] = "C:\\Downloads";
const char kDownloadsLeaf[] = "\\Downloads";

// An open registry key; RegCloseKey when it goes.
class TRegKey {
 public:
  // Opens (creating it when missing) the key below root with read access.
  TRegKey(HKEY root, const char* subKey) {
    DWORD disposition;
    if (RegCreateKeyExA(root, subKey, 0, nullptr, 0, KEY_READ, nullptr, &Key, &disposition) !=
        ERROR_SUCCESS) {
      Key = nullptr;
    }
  }
  ~TRegKey() {
    if (Key) RegCloseKey(Key);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  // Reads a string value into a 256-byte buffer. False, with the buffer
  // emptied, when the value is missing or does not fit with its terminator.
  bool QueryValue(const char* name, char (&buffer)[256]) const {
    DWORD size = sizeof(buffer);
    buffer[0] = 0;
    if (!Key || RegQueryValueExA(Key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
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

 private:
  HKEY Key = nullptr;
};

// Joins folder and name into a 256-byte path; false when it would not fit.
bool JoinPath(char (&path)[256], const char* folder, const char* name) {
  size_t folderLength = strlen(folder);
  size_t nameLength = strlen(name);
  if (folderLength + 1 + nameLength >= sizeof(path)) return false;
  memcpy(path, folder, folderLength);
  path[folderLength] = '\\';
  memcpy(path + folderLength + 1, name, nameLength + 1);
  return true;
}

// Reads the member into the catalogue and shows it in the tree.
void LoadCatalogue(TInstallZelmDlgClient& client, const char* xmlPath) {
  // Read as stored: line ends stay "\r\n" as the document keeps them, a
  // stray Ctrl-Z does not end the file early, and the reader's seeks (HTML
  // repairs) land where they should, which the translated positions of a
  // text-mode stream would not guarantee.
  std::ifstream in(xmlPath, std::ios::binary);
  LoadDocument(client.CatalogueDoc, in);
  HWND tree = client.TreeWnd->GetHandle();
  if (tree) TreeView_DeleteItem(tree, TVI_ROOT);
  client.TreeWnd->FillTreeItem(&client.CatalogueDoc, TVI_ROOT);
  in.close();
  DeleteFileA(xmlPath);
}

// Looks through the archive's entries in order for the catalogue member at
// its top level and loads the first match.
void ReadArchive(TInstallZelmDlgClient& client, const char* zipPath) {
  char xmlPath[256];
  if (!JoinPath(xmlPath, client.DownloadDir, kCatalogueMember)) return;
  ZipHandle zip = ZipOpenFile(zipPath, nullptr);
  if (!zip) return;
  ZipEntryInfo info;
  int count = ZipGetEntry(zip, -1, &info) == ZipOk ? info.Index : 0;
  for (int i = 0; i < count; ++i) {
    if (ZipGetEntry(zip, i, &info) != ZipOk) continue;
    // The stored name carries any folder, so "data/InstallFiles.xml" fails.
    if (lstrcmpiA(info.Name, kCatalogueMember) != 0) continue;
    ZipExtractToFile(zip, i, xmlPath);
    LoadCatalogue(client, xmlPath);
    break;
  }
  ZipClose(zip);
}

}  // namespace

void FetchCatalogueFrom(TInstallZelmDlgClient& client, const char* baseUrl1, const char* baseUrl2) {
  if (!client.CatalogueDoc.Children.IsEmpty()) return;
  TXmlTreeNode scratch(nullptr, false);
  scratch.SetAttribute("fileName", kCatalogueArchive);
  float speed;
  if (!DownloadFile(client, client.DownloadDir, &scratch, speed, baseUrl1) &&
      !DownloadFile(client, client.DownloadDir, &scratch, speed, baseUrl2)) {
    client.LogText += "无法联网取得配置文件，请检查网络设置。\r\n";
    client.RefreshLog();
    return;
  }
  char zipPath[256];
  if (!JoinPath(zipPath, client.DownloadDir, kCatalogueArchive)) return;
  ReadArchive(client, zipPath);
  DeleteFileA(zipPath);
}

void TInstallZelmDlgClient::ResolveDownloadDir() {
  TRegKey key(HKEY_CURRENT_USER, kShellFolders);
  key.QueryValue("Desktop", DownloadDir);
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

void TInstallZelmDlgClient::FetchCatalogue() { FetchCatalogueFrom(*this, BaseUrl1, BaseUrl2); }
