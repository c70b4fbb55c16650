// The catalogue fetch of the main dialog.
#include "app/catalogue_fetch.h"

#include <windows.h>
#include <commctrl.h>

#include <fstream>

#include "app/base_urls.h"
#include "app/download.h"
#include "app/main_dialog.h"
#include "markup/markup.h"
#include "treeview/my_tree_wnd.h"
#include "zip/unzip.h"

namespace {

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
  TPathBuffer xmlPath;
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
  scratch.SetAttribute(kAttrFileName, kCatalogueArchive);
  float speed;
  // No window is shown yet, so no cancel button: each attempt has a deadline.
  const unsigned long deadline = TransferLimits().CatalogueDeadlineMs;
  if (!DownloadFile(client, client.DownloadDir, &scratch, speed, baseUrl1, deadline) &&
      !DownloadFile(client, client.DownloadDir, &scratch, speed, baseUrl2, deadline)) {
    client.LogText += "无法联网取得配置文件，请检查网络设置。\r\n";
    client.RefreshLog();
    return;
  }
  TPathBuffer zipPath;
  if (!JoinPath(zipPath, client.DownloadDir, kCatalogueArchive)) return;
  ReadArchive(client, zipPath);
  DeleteFileA(zipPath);
}

void TInstallZelmDlgClient::FetchCatalogue() { FetchCatalogueFrom(*this, BaseUrl1, BaseUrl2); }
