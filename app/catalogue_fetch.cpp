// The catalogue fetch of the main dialog.
#include "app/catalogue_fetch.h"

#include <windows.h>
#include <commctrl.h>

#include <new>
#include <string>

#include "app/build_settings.h"
#include "app/catalogue_archive.h"
#include "app/catalogue_signature.h"
#include "app/download.h"
#include "app/main_dialog.h"
#include "markup/markup.h"
#include "markup/memory_stream.h"
#include "treeview/my_tree_wnd.h"

namespace {

enum class TArchiveVerdict {
  Shown,         // the catalogue (or whatever the archive held) is in the tree
  BadSignature,  // the key's signature is missing or wrong: try the next mirror
};

// Parses the catalogue's bytes into the document and shows it in the tree.
void LoadCatalogue(TInstallZelmDlgClient& client, const std::string& bytes) {
  TMemoryStream in(bytes.data(), bytes.size());
  LoadDocument(client.CatalogueDoc, in);
  HWND tree = client.TreeWnd->GetHandle();
  if (tree) TreeView_DeleteItem(tree, TVI_ROOT);
  client.TreeWnd->FillTreeItem(&client.CatalogueDoc, TVI_ROOT);
}

// True when the archive holds the key's signature of `catalogue`.
bool IsSignedBy(ZipHandle zip, const TCatalogueKey& key, const std::string& catalogue) {
  ZipEntryInfo info;
  int index = FindArchiveMember(zip, kCatalogueSignatureMember, &info);
  std::string signature;
  return index >= 0 &&
         ReadArchiveMember(zip, index, info, kCatalogueSignatureMaxSize, &signature) &&
         VerifyCatalogueSignature(key.Pem, key.Length, catalogue.data(), catalogue.size(),
                                  signature.data(), signature.size());
}

// Reads the downloaded archive. Without a key, whatever it holds is shown
// (an archive that cannot be opened or lacks the member leaves the tree
// empty, silently). With a key, only a member whose exact bytes carry the
// key's signature is shown; anything else sends the fetch to the next mirror.
TArchiveVerdict ReadArchive(TInstallZelmDlgClient& client, ZipHandle zip, const TCatalogueKey& key) {
  const bool checked = key.Pem && key.Length;
  if (!zip) return checked ? TArchiveVerdict::BadSignature : TArchiveVerdict::Shown;
  ZipEntryInfo info;
  std::string catalogue;
  int index = FindArchiveMember(zip, kCatalogueMember, &info);
  bool read = index >= 0 && ReadArchiveMember(zip, index, info, kCatalogueMaxSize, &catalogue);
  // Verified first, parsed only then: the parser never sees unsigned bytes.
  bool trusted = read && (!checked || IsSignedBy(zip, key, catalogue));
  if (trusted) LoadCatalogue(client, catalogue);
  return trusted || !checked ? TArchiveVerdict::Shown : TArchiveVerdict::BadSignature;
}

// ReadArchive on the archive file, which is closed afterwards. A catalogue
// too big for the address space is no catalogue: what was read of it goes,
// the tree stays empty and the program carries on.
TArchiveVerdict ReadArchiveFile(TInstallZelmDlgClient& client, const char* zipPath,
                                const TCatalogueKey& key) {
  ZipHandle zip = ZipOpenFile(zipPath, nullptr);
  TArchiveVerdict verdict = TArchiveVerdict::Shown;
  try {
    verdict = ReadArchive(client, zip, key);
  } catch (const std::bad_alloc&) {
    HWND tree = client.TreeWnd->GetHandle();
    if (tree) TreeView_DeleteItem(tree, TVI_ROOT);
    client.CatalogueDoc.Clear();
  }
  if (zip) ZipClose(zip);
  return verdict;
}

}  // namespace

void FetchCatalogueFrom(TInstallZelmDlgClient& client, const char* baseUrl1, const char* baseUrl2,
                        const TCatalogueKey& key) {
  if (!client.CatalogueDoc.Children.IsEmpty()) return;
  TXmlTreeNode scratch(nullptr, false);
  scratch.SetAttribute(kAttrFileName, kCatalogueArchive);
  TPathBuffer zipPath;
  if (!JoinPath(zipPath, client.DownloadDir, kCatalogueArchive)) return;
  // No window is shown yet, so no cancel button: each attempt has a deadline.
  const unsigned long deadline = TransferLimits().CatalogueDeadlineMs;
  bool downloaded = false;
  for (const char* baseUrl : {baseUrl1, baseUrl2}) {
    float speed;
    if (!DownloadFile(client, client.DownloadDir, &scratch, speed, baseUrl, deadline)) continue;
    downloaded = true;
    TArchiveVerdict verdict = ReadArchiveFile(client, zipPath, key);
    DeleteFileA(zipPath);
    if (verdict == TArchiveVerdict::Shown) return;
    client.LogText += "配置文件签名无效。\r\n";
    client.RefreshLog();
  }
  // Only when no mirror could be reached: a mirror that answered with a
  // catalogue that failed its check has been reported already.
  if (!downloaded) {
    client.LogText += "无法联网取得配置文件，请检查网络设置。\r\n";
    client.RefreshLog();
  }
}

void TInstallZelmDlgClient::FetchCatalogue() {
  FetchCatalogueFrom(*this, BaseUrl1, BaseUrl2, TCatalogueKey{CatalogueKey, CatalogueKeyLength});
}
