// The catalogue fetch behind TInstallZelmDlgClient::FetchCatalogue, with the
// two server base URLs and the trust material as parameters so that tests can
// point it at servers, keys and a serial store of their own. The program
// itself passes BaseUrl1, BaseUrl2, the keys it was built with and the
// machine's serial store.
#pragma once

#include <cstddef>

#include "app/catalogue_signature.h"

class TInstallZelmDlgClient;
class TCatalogueSerialStore;

// What a catalogue must satisfy to be trusted. Without keys (KeyCount 0)
// nothing is checked and nothing is stored: the build behaves as one that
// knows no signatures.
struct TCatalogueTrust {
  const TCatalogueKey* Keys = nullptr;  // not owned; KeyCount of them
  size_t KeyCount = 0;
  // Not owned. Where the highest accepted serial is kept; null: every serial
  // counts as new and none is recorded.
  TCatalogueSerialStore* Serials = nullptr;
};

// Does nothing when client.CatalogueDoc already has children. Otherwise, for
// baseUrl1 and then baseUrl2, downloads "InstallFiles.zip" into
// client.DownloadDir and takes its first top-level member named
// "InstallFiles.xml" (letter case ignored, recorded size at most
// kCatalogueMaxSize). The archive file is deleted after each attempt that
// downloaded it. An attempt whose archive cannot be used logs one line and
// the next mirror is tried, as if its download had failed (the lines are
// in app/log_text.h):
//   - an archive that cannot be opened, lacks the member, or whose member
//     cannot be read in full: kLogCatalogueDamaged;
// and with keys:
//   - no member "InstallFiles.xml.sig" to ".sig4" holds a signature of the
//     member's exact bytes by any of the keys: kLogCatalogueBadSignature;
//   - the root element's "expires" is missing, malformed or before the PC's
//     UTC time: kLogCatalogueExpired;
//   - its "serial" is missing, malformed or lower than the stored one:
//     kLogCatalogueOlder.
// Nothing of a refused catalogue is parsed beyond its root's start tag. An
// accepted member is parsed into CatalogueDoc and shown in the package tree;
// with keys, its serial is then kept in trust.Serials (a failed write does not
// stop the program). kLogCatalogueNetwork is logged only when neither
// download succeeded.
void FetchCatalogueFrom(TInstallZelmDlgClient& client, const char* baseUrl1, const char* baseUrl2,
                        const TCatalogueTrust& trust = TCatalogueTrust());
