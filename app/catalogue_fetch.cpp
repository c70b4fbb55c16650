// The catalogue fetch of the main dialog.
#include "app/catalogue_fetch.h"

#include <windows.h>
#include <commctrl.h>

#include <new>
#include <string>
#include <vector>

#include "app/build_settings.h"
#include "app/catalogue_archive.h"
#include "app/catalogue_freshness.h"
#include "app/catalogue_serial_store.h"
#include "app/download.h"
#include "app/log_text.h"
#include "app/main_dialog.h"
#include "app/support_records.h"
#include "markup/markup.h"
#include "markup/memory_stream.h"
#include "treeview/my_tree_wnd.h"

namespace {

enum class TArchiveVerdict {
  Shown,         // the catalogue is in the tree
  Damaged,       // no archive, no member, or a member that cannot be read
  BadSignature,  // whole, but no key's signature of it
  Expired,       // signed, but past its "expires" (or without one)
  Older,         // signed, but its "serial" is below one accepted before
};

const char* VerdictLine(TArchiveVerdict verdict) {
  switch (verdict) {
    case TArchiveVerdict::Damaged: return kLogCatalogueDamaged;
    case TArchiveVerdict::BadSignature: return kLogCatalogueBadSignature;
    case TArchiveVerdict::Expired: return kLogCatalogueExpired;
    case TArchiveVerdict::Older: return kLogCatalogueOlder;
    default: return "";
  }
}

// The verdict in the support log's words.
const char* SupportVerdict(TArchiveVerdict verdict, bool checked) {
  switch (verdict) {
    case TArchiveVerdict::Shown: return checked ? "valid" : "not checked (no catalogue key in this build)";
    case TArchiveVerdict::Damaged: return "not checked (damaged archive)";
    case TArchiveVerdict::BadSignature: return "invalid";
    case TArchiveVerdict::Expired: return "valid, but expired";
    case TArchiveVerdict::Older: return "valid, but older than the catalogue accepted before";
  }
  return "";
}

// Parses the catalogue's bytes into the document and shows it in the tree.
void LoadCatalogue(TInstallZelmDlgClient& client, const std::string& bytes) {
  TMemoryStream in(bytes.data(), bytes.size());
  LoadDocument(client.CatalogueDoc, in);
  HWND tree = client.TreeWnd->GetHandle();
  if (tree) TreeView_DeleteItem(tree, TVI_ROOT);
  client.TreeWnd->FillTreeItem(&client.CatalogueDoc, TVI_ROOT);
}

// Every signature member the archive holds that can be read; one that
// cannot is passed over, as another may still vouch for the catalogue.
std::vector<std::string> ReadSignatures(ZipHandle zip) {
  std::vector<std::string> signatures;
  for (const char* member : kCatalogueSignatureMembers) {
    ZipEntryInfo info;
    int index = FindArchiveMember(zip, member, &info);
    std::string signature;
    if (index >= 0 && ReadArchiveMember(zip, index, info, kCatalogueSignatureMaxSize, &signature))
      signatures.push_back(signature);
  }
  return signatures;
}

uint64_t UtcNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Judges a signed catalogue by its root element's start tag alone, read the
// way the document's parse reads it (declarations and comments passed over),
// so that a refused catalogue is never parsed. On Fresh, *serial is its serial.
TFreshness JudgeFreshness(const std::string& catalogue, const TCatalogueTrust& trust,
                          uint64_t* serial) {
  TMemoryStream in(catalogue.data(), catalogue.size());
  TXmlElement root(true);
  bool read;
  do {
    read = ReadTag(root, in);
  } while (read && root.IsDeclaration);
  const uint64_t accepted = trust.Serials ? trust.Serials->Load() : 0;
  return JudgeCatalogueFreshness(read ? root.FindAttribute(kAttrExpires) : nullptr,
                                 read ? root.FindAttribute(kAttrSerial) : nullptr, UtcNow(),
                                 accepted, serial);
}

// Reads the downloaded archive. Without keys whatever a whole archive holds
// is shown. With keys, only a member whose exact bytes carry a key's
// signature, within its time and not older than before, is shown: the parser
// never sees anything else.
TArchiveVerdict ReadArchive(TInstallZelmDlgClient& client, ZipHandle zip,
                            const TCatalogueTrust& trust) {
  if (!zip) return TArchiveVerdict::Damaged;
  ZipEntryInfo info;
  std::string catalogue;
  int index = FindArchiveMember(zip, kCatalogueMember, &info);
  if (index < 0 || !ReadArchiveMember(zip, index, info, kCatalogueMaxSize, &catalogue))
    return TArchiveVerdict::Damaged;
  const bool checked = trust.Keys && trust.KeyCount;
  uint64_t serial = 0;
  if (checked) {
    if (!VerifyCatalogueSignatures(trust.Keys, trust.KeyCount, catalogue.data(), catalogue.size(),
                                   ReadSignatures(zip))) {
      return TArchiveVerdict::BadSignature;
    }
    TFreshness freshness = JudgeFreshness(catalogue, trust, &serial);
    if (freshness == TFreshness::Expired) return TArchiveVerdict::Expired;
    if (freshness == TFreshness::Older) return TArchiveVerdict::Older;
  }
  LoadCatalogue(client, catalogue);
  // Kept only once the catalogue is shown. There is no log for a failed
  // write: the next catalogue is judged against the older value, which is
  // no worse than before this one came.
  if (checked && trust.Serials) trust.Serials->Keep(serial);
  return TArchiveVerdict::Shown;
}

// ReadArchive on the archive file, which is closed afterwards. A catalogue
// too big for the address space is no catalogue: what was read of it goes,
// the tree stays empty and the program carries on.
TArchiveVerdict ReadArchiveFile(TInstallZelmDlgClient& client, const char* zipPath,
                                const TCatalogueTrust& trust) {
  TZipHandle zip(ZipOpenFile(zipPath, nullptr));
  TArchiveVerdict verdict = TArchiveVerdict::Shown;
  try {
    verdict = ReadArchive(client, zip.Get(), trust);
  } catch (const std::bad_alloc&) {
    HWND tree = client.TreeWnd->GetHandle();
    if (tree) TreeView_DeleteItem(tree, TVI_ROOT);
    client.CatalogueDoc.Clear();
  }
  return verdict;
}

}  // namespace

void FetchCatalogueFrom(TInstallZelmDlgClient& client, const char* baseUrl1, const char* baseUrl2,
                        const TCatalogueTrust& trust) {
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
    TArchiveVerdict verdict = ReadArchiveFile(client, zipPath, trust);
    DeleteFileA(zipPath);
    RecordCatalogueSignature(baseUrl, SupportVerdict(verdict, trust.Keys && trust.KeyCount));
    if (verdict == TArchiveVerdict::Shown) return;
    client.Log(VerdictLine(verdict));
  }
  // Only when no mirror could be reached: a mirror that answered with a
  // catalogue that could not be used has been reported already.
  if (!downloaded) {
    client.Log(kLogCatalogueNetwork);
  }
}

void TInstallZelmDlgClient::FetchCatalogue() {
  TCatalogueSerialStore serials(HKEY_LOCAL_MACHINE, kSerialStoreKey);
  TCatalogueTrust trust;
  trust.Keys = CatalogueKeys;
  trust.KeyCount = CatalogueKeyCount;
  trust.Serials = &serials;
  FetchCatalogueFrom(*this, BaseUrl1, BaseUrl2, trust);
}
